#pragma once
// A small RAII layer over libgsf's compound-file (OLE2 / CFB) reader and
// writer, exposing only what the chromatogram file needs: the streams of the
// root storage by name, read whole, and a new file written stream by stream.
//
// A new file is written to a temporary file in the target's folder, flushed to
// disk and only then renamed over the target, so a failure at any point
// leaves an existing file byte-identical.

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/result.h"

namespace zelmora {

namespace gsf_detail {
struct GObjectUnref {
    void operator()(void* object) const;
};
}  // namespace gsf_detail

class CompoundReader {
  public:
    // Opens a compound file; a failure says why when the file cannot be
    // opened or is not a compound file.
    static Result<CompoundReader> open(const std::filesystem::path& path);
    // Reads a compound file from memory; `bytes` must outlive the reader.
    static Result<CompoundReader> fromMemory(std::string_view bytes);

    // Names of the root's children in the order the file lists them.
    std::vector<std::string> streamNames() const;
    bool hasStream(const char* name) const;
    // Size of a stream, nullopt when missing.
    std::optional<std::size_t> streamSize(const char* name) const;
    // A whole stream, nullopt when missing or when it cannot be read.
    std::optional<std::string> readStream(const char* name) const;
    // Reads the first `bytes` bytes of a stream into `out`; false when the
    // stream is missing or shorter.
    bool readStreamInto(const char* name, void* out, std::size_t bytes) const;

  private:
    using Handle = std::unique_ptr<void, gsf_detail::GObjectUnref>;
    CompoundReader() = default;
    static Result<CompoundReader> fromInput(void* input);
    // The size a stream claims, checked against the whole file: a damaged
    // directory cannot make the reader allocate more than the file holds.
    std::optional<std::size_t> checkedSize(void* stream) const;
    Handle input_;  // GsfInput*
    Handle root_;   // GsfInfile*
    std::size_t inputSize_ = 0;
};

class CompoundWriter {
  public:
    // Starts a new file that will replace `target` on commit().
    static Result<CompoundWriter> create(const std::filesystem::path& target);
    CompoundWriter(CompoundWriter&&) noexcept;
    CompoundWriter& operator=(CompoundWriter&&) noexcept;
    // Without commit() the temporary file is removed and the target untouched.
    ~CompoundWriter();

    // Adds a stream with its whole content, after the streams added before.
    // After a failure every further stream is refused with the same reason.
    Status addStream(const char* name, std::string_view content);
    // Closes the compound file, flushes it to disk and renames it over the
    // target. A failure of this or of an earlier step says why.
    Status commit();

  private:
    CompoundWriter() = default;
    void discard();
    using Handle = std::unique_ptr<void, gsf_detail::GObjectUnref>;
    std::filesystem::path target_;
    std::filesystem::path temp_;
    int fd_ = -1;
    std::FILE* file_ = nullptr;
    Handle output_;  // GsfOutput* over file_
    Handle root_;    // GsfOutfile*
    bool failed_ = false;
    std::string error_;
};

}  // namespace zelmora
