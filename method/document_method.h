#pragma once
// A chromatogram's own copy of its method: the method named in its passport,
// read from the methods folder when the chromatogram is opened and read
// again whenever that method is saved.
//
// installFolderMethodLoader() makes every document opened afterwards load
// its copy; MethodReloadLink keeps one open document's copy in step with
// the saved file.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/method_link.h"
#include "method/method_notifier.h"
#include "method/method_sheet.h"

namespace zelmora {

class CZelmoraDoc;
class MessageSink;

class DocumentMethod : public MethodAttachment {
  public:
    std::string name() const override { return sheet.name(); }
    CMethodSheet sheet;
};

// Reads methods by name from "MethodPath" with the method's read rules; the
// messages of a failed read go to the document's message sink.
class FolderMethodLoader : public MethodLoader {
  public:
    std::unique_ptr<MethodAttachment> load(const std::string& name, MessageSink& sink) override;
};

void installFolderMethodLoader();

// The method copy of a document, or nullptr when it has none.
Method* documentMethod(CZelmoraDoc& doc);
const Method* documentMethod(const CZelmoraDoc& doc);
CMethodSheet* documentMethodSheet(CZelmoraDoc& doc);
// The component names of a document's method copy; nullopt without one.
std::optional<std::vector<std::string>> documentMethodComponents(const CZelmoraDoc& doc);

// Reloads `doc`'s method copy when its method is saved (or when any method
// is saved under a new name), for as long as the link lives. The document
// must outlive the link.
class MethodReloadLink {
  public:
    MethodReloadLink(CZelmoraDoc& doc, MessageSink& sink);

  private:
    MethodSaveNotifier::Subscription subscription_;
};

}  // namespace zelmora
