#pragma once
// The chromatogram's own copy of its method, as the document holds it. The
// method library fills it in: it derives its method copy from MethodAttachment
// and installs a MethodLoader that reads a method by name from the methods
// folder. Without a loader a chromatogram simply has no method.

#include <memory>
#include <string>

namespace zelmora {

class MessageSink;

class MethodAttachment {
  public:
    virtual ~MethodAttachment() = default;
    // The method's name: its file name without folder and extension.
    virtual std::string name() const = 0;
};

class MethodLoader {
  public:
    virtual ~MethodLoader() = default;
    // Reads the method `name` (the passport's method field); nullptr when it
    // cannot be read, after telling the operator as the method's read rules say.
    virtual std::unique_ptr<MethodAttachment> load(const std::string& name, MessageSink& sink) = 0;
};

// The installed loader or nullptr; installation is guarded by a mutex inside.
std::shared_ptr<MethodLoader> methodLoader();
void installMethodLoader(std::shared_ptr<MethodLoader> loader);

}  // namespace zelmora
