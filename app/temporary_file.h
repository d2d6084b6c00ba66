#pragma once
// A scratch file handed to another program (the XML results for the export
// program): created under a name nobody else can have taken, with the suffix
// the other program expects, and removed when the owner is done with it on
// every path, also when the work stops half way.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/result.h"

namespace zelmora {

// The system's folder for temporary files: TMPDIR when it names a folder,
// otherwise /tmp.
std::filesystem::path temporaryFolder();

class TemporaryFile {
  public:
    // Creates a new file "<prefix>XXXXXX<suffix>" in `folder` (the temporary
    // folder when empty) with exclusive creation, writes `content` and closes
    // it. A failure says why; nothing is left behind.
    static Result<TemporaryFile> create(std::string_view content, std::string_view prefix,
                                        std::string_view suffix,
                                        const std::filesystem::path& folder = {});

    TemporaryFile(TemporaryFile&& other) noexcept;
    TemporaryFile& operator=(TemporaryFile&& other) noexcept;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile();

    const std::filesystem::path& path() const { return path_; }
    // Removes the file now; the destructor then has nothing left to do.
    void remove();

  private:
    explicit TemporaryFile(std::filesystem::path path) : path_(std::move(path)) {}

    std::filesystem::path path_;  // empty once removed
};

}  // namespace zelmora
