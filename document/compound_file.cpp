#include "document/compound_file.h"

#include <fcntl.h>
#include <gsf/gsf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

namespace zelmora {

namespace gsf_detail {
void GObjectUnref::operator()(void* object) const {
    if (object != nullptr)
        g_object_unref(object);
}
}  // namespace gsf_detail

namespace {

// A damaged file is reported by the reader's result; the library's own
// warnings about it would only clutter the terminal of the command-line tool.
void dropLibraryWarning(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

void initGsf() {
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                                                        G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG);
        for (const char* domain : {"libgsf", "libgsf:msole"})
            g_log_set_handler(domain, levels, dropLibraryWarning, nullptr);
    });
}

// Takes the message out of a GError and frees it.
std::string takeError(GError* err, const char* fallback) {
    if (err == nullptr)
        return fallback;
    std::string message = err->message != nullptr ? err->message : fallback;
    g_error_free(err);
    return message;
}

GsfInfile* infile(const std::unique_ptr<void, gsf_detail::GObjectUnref>& h) {
    return static_cast<GsfInfile*>(h.get());
}

using ChildHandle = std::unique_ptr<GsfInput, gsf_detail::GObjectUnref>;

ChildHandle child(GsfInfile* root, const char* name) {
    return ChildHandle(gsf_infile_child_by_name(root, name));
}

// Reads in pieces so that no single request of the library is huge.
constexpr std::size_t kReadPiece = 1 << 20;

bool readAll(GsfInput* input, char* out, std::size_t bytes) {
    std::size_t done = 0;
    while (done < bytes) {
        const std::size_t n = std::min(kReadPiece, bytes - done);
        if (gsf_input_read(input, n, reinterpret_cast<guint8*>(out + done)) == nullptr)
            return false;
        done += n;
    }
    return true;
}

bool closeOnce(GsfOutput* output) {
    if (gsf_output_is_closed(output))
        return gsf_output_error(output) == nullptr;
    return gsf_output_close(output);
}

}  // namespace

Result<CompoundReader> CompoundReader::fromInput(void* input) {
    CompoundReader reader;
    reader.input_.reset(input);
    GError* err = nullptr;
    GsfInfile* root = gsf_infile_msole_new(static_cast<GsfInput*>(input), &err);
    if (root == nullptr)
        return Status::failure("не составной файл (" + takeError(err, "нет подписи") + ")");
    if (err != nullptr)
        g_error_free(err);
    reader.root_.reset(root);
    const gsf_off_t size = gsf_input_size(static_cast<GsfInput*>(input));
    reader.inputSize_ = size > 0 ? static_cast<std::size_t>(size) : 0;
    return reader;
}

Result<CompoundReader> CompoundReader::open(const std::filesystem::path& path) {
    initGsf();
    GError* err = nullptr;
    GsfInput* input = gsf_input_stdio_new(path.c_str(), &err);
    if (input == nullptr)
        return Status::failure(takeError(err, "файл не открывается"));
    if (err != nullptr)
        g_error_free(err);
    return fromInput(input);
}

Result<CompoundReader> CompoundReader::fromMemory(std::string_view bytes) {
    initGsf();
    GsfInput* input = gsf_input_memory_new(reinterpret_cast<const guint8*>(bytes.data()),
                                           static_cast<gsf_off_t>(bytes.size()), FALSE);
    if (input == nullptr)
        return Status::failure("не составной файл");
    return fromInput(input);
}

std::vector<std::string> CompoundReader::streamNames() const {
    std::vector<std::string> names;
    const int n = gsf_infile_num_children(infile(root_));
    for (int i = 0; i < n; ++i) {
        const char* name = gsf_infile_name_by_index(infile(root_), i);
        names.emplace_back(name != nullptr ? name : "");
    }
    return names;
}

bool CompoundReader::hasStream(const char* name) const {
    return child(infile(root_), name) != nullptr;
}

std::optional<std::size_t> CompoundReader::checkedSize(void* stream) const {
    const gsf_off_t size = gsf_input_size(static_cast<GsfInput*>(stream));
    if (size < 0 || static_cast<std::uint64_t>(size) > inputSize_)
        return std::nullopt;
    return static_cast<std::size_t>(size);
}

std::optional<std::size_t> CompoundReader::streamSize(const char* name) const {
    ChildHandle c = child(infile(root_), name);
    if (c == nullptr)
        return std::nullopt;
    return checkedSize(c.get());
}

std::optional<std::string> CompoundReader::readStream(const char* name) const {
    ChildHandle c = child(infile(root_), name);
    if (c == nullptr)
        return std::nullopt;
    const std::optional<std::size_t> size = checkedSize(c.get());
    if (!size)
        return std::nullopt;
    std::string out(*size, '\0');
    if (!readAll(c.get(), out.data(), out.size()))
        return std::nullopt;
    return out;
}

bool CompoundReader::readStreamInto(const char* name, void* out, std::size_t bytes) const {
    ChildHandle c = child(infile(root_), name);
    if (c == nullptr)
        return false;
    const std::optional<std::size_t> size = checkedSize(c.get());
    if (!size || *size < bytes)
        return false;
    return readAll(c.get(), static_cast<char*>(out), bytes);
}

Result<CompoundWriter> CompoundWriter::create(const std::filesystem::path& target) {
    initGsf();
    CompoundWriter w;
    w.target_ = target;
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::string tmpl = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    w.fd_ = ::mkstemp(tmpl.data());
    if (w.fd_ < 0)
        return Status::failure(std::strerror(errno));
    w.temp_ = tmpl;
    w.file_ = ::fdopen(w.fd_, "w+b");
    if (w.file_ == nullptr)  // the destructor closes and removes the temporary file
        return Status::failure(std::strerror(errno));
    GError* err = nullptr;
    GsfOutput* output = gsf_output_stdio_new_FILE(tmpl.c_str(), w.file_, TRUE);
    if (output == nullptr)
        return Status::failure(takeError(err, "файл не создаётся"));
    w.output_.reset(output);
    GsfOutfile* root = gsf_outfile_msole_new(output);
    if (root == nullptr)
        return Status::failure("составной файл не создаётся");
    w.root_.reset(root);
    return w;
}

CompoundWriter::CompoundWriter(CompoundWriter&& o) noexcept {
    *this = std::move(o);
}

CompoundWriter& CompoundWriter::operator=(CompoundWriter&& o) noexcept {
    if (this != &o) {
        discard();
        target_ = std::move(o.target_);
        temp_ = std::move(o.temp_);
        fd_ = std::exchange(o.fd_, -1);
        file_ = std::exchange(o.file_, nullptr);
        output_ = std::move(o.output_);
        root_ = std::move(o.root_);
        failed_ = o.failed_;
        error_ = std::move(o.error_);
        o.temp_.clear();
    }
    return *this;
}

CompoundWriter::~CompoundWriter() {
    discard();
}

void CompoundWriter::discard() {
    // Closing the compound file writes its directory into the temporary file,
    // which is removed right after; the target is never touched here.
    if (root_ != nullptr) {
        closeOnce(static_cast<GsfOutput*>(root_.get()));
        root_.reset();
    }
    if (output_ != nullptr) {
        closeOnce(static_cast<GsfOutput*>(output_.get()));
        output_.reset();
    }
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
        fd_ = -1;
    } else if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

Status CompoundWriter::addStream(const char* name, std::string_view content) {
    if (failed_ || root_ == nullptr)
        return Status::failure(error_.empty() ? "составной файл не создан" : error_);
    auto fail = [&](const char* what) {
        failed_ = true;
        error_ = std::string("поток ") + name + what;
        return Status::failure(error_);
    };
    using OutHandle = std::unique_ptr<GsfOutput, gsf_detail::GObjectUnref>;
    OutHandle stream(gsf_outfile_new_child(static_cast<GsfOutfile*>(root_.get()), name, FALSE));
    if (stream == nullptr)
        return fail(" не создаётся");
    std::size_t done = 0;
    while (done < content.size()) {
        const std::size_t n = std::min(kReadPiece, content.size() - done);
        if (!gsf_output_write(stream.get(), n,
                              reinterpret_cast<const guint8*>(content.data() + done))) {
            gsf_output_close(stream.get());
            return fail(" не записывается");
        }
        done += n;
    }
    if (!gsf_output_close(stream.get()))
        return fail(" не записывается");
    return {};
}

Status CompoundWriter::commit() {
    if (failed_ || root_ == nullptr) {
        const std::string reason = error_.empty() ? "составной файл не создан" : error_;
        discard();
        return Status::failure(reason);
    }
    auto fail = [&](std::string reason) {
        discard();
        return Status::failure(std::move(reason));
    };
    // Closing the compound file writes its directory and closes the file
    // output under it as well.
    const bool rootClosed = closeOnce(static_cast<GsfOutput*>(root_.get()));
    root_.reset();
    const bool outputClosed = closeOnce(static_cast<GsfOutput*>(output_.get()));
    output_.reset();
    if (!rootClosed || !outputClosed)
        return fail("составной файл не записывается");
    if (std::fflush(file_) != 0 || std::ferror(file_))
        return fail(std::strerror(errno));
    // Keep the permissions of the file being replaced (mkstemp gives 0600).
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0) {
        ::fchmod(fd_, st.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_, 0666 & ~mask);
    }
    if (::fsync(fd_) != 0)
        return fail(std::strerror(errno));
    const int closed = std::fclose(file_);
    file_ = nullptr;
    fd_ = -1;
    if (closed != 0)
        return fail(std::strerror(errno));
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
        return fail(std::strerror(errno));
    temp_.clear();
    return {};
}

}  // namespace zelmora
