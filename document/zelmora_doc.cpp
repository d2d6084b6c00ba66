#include "document/zelmora_doc.h"

#include <bit>

#include "app/program_settings.h"
#include "app/text.h"
#include "document/compound_file.h"
#include "document/results_store.h"
#include "document/stg_file.h"
#include "document/table_normalisation.h"

namespace zelmora {
namespace {

bool overlaps(const Peak& p, double a, double b) {
    return (a >= p.startTime && a <= p.endTime) || (b >= p.startTime && b <= p.endTime) ||
           (p.startTime >= a && p.endTime <= b);
}

}  // namespace

CZelmoraDoc::CZelmoraDoc(std::unique_ptr<DocumentState> state) : state_(std::move(state)) {
    if (state_ == nullptr)
        state_ = std::make_unique<PlainDocumentState>();
    peaks.attach(&signal);
}

CZelmoraDoc::~CZelmoraDoc() = default;

int CZelmoraDoc::findPeakByName(std::string_view name) const {
    if (name.empty())
        return -1;
    for (std::size_t i = 0; i < peaks.size(); ++i)
        if (text::equalsNoCase(peaks.peaks[i].componentName, name))
            return static_cast<int>(i);
    return -1;
}

Peak* CZelmoraDoc::peakByName(std::string_view name) {
    return peaks.at(findPeakByName(name));
}

int CZelmoraDoc::FindPeak(double a, double b) {
    findCursor = 0;
    return FindNextPeak(a, b);
}

int CZelmoraDoc::FindNextPeak(double a, double b) {
    if (a > b)
        std::swap(a, b);
    const std::size_t from = findCursor < 0 ? 0 : static_cast<std::size_t>(findCursor);
    for (std::size_t i = from; i < peaks.size(); ++i) {
        if (overlaps(peaks.peaks[i], a, b)) {
            findCursor = static_cast<std::int32_t>(i + 1);
            return static_cast<int>(i);
        }
    }
    findCursor = static_cast<std::int32_t>(peaks.size());
    return -1;
}

bool CZelmoraDoc::reloadMethod(MessageSink& sink) {
    std::shared_ptr<MethodLoader> loader = methodLoader();
    reloadMethod(loader != nullptr ? loader->load(passport.method, sink) : nullptr);
    return hasMethod;
}

void CZelmoraDoc::reloadMethod(std::unique_ptr<MethodAttachment> loaded) {
    method = std::move(loaded);
    hasMethod = method != nullptr;
}

std::string CZelmoraDoc::makeTitle() const {
    const std::string name = pathName().stem().string();
    if (hasMethod && method != nullptr)
        return text::format("%s; Метод: %s", name.c_str(), method->name().c_str());
    return name;
}

void CZelmoraDoc::updateTitle() {
    state_->setTitle(makeTitle());
    redraw(Change::Title);
}

void CZelmoraDoc::changed(Change what) {
    state_->setModified(true);
    redraw(what);
}

void CZelmoraDoc::redraw(Change what) {
    state_->updateAllViews();
    // A listener may unsubscribe itself while it is called: walk a copy.
    const auto listeners = listeners_;
    for (const auto& [id, listener] : listeners)
        listener(what);
}

int CZelmoraDoc::subscribe(ChangeListener listener) {
    const int id = nextListenerId_++;
    listeners_.emplace_back(id, std::move(listener));
    return id;
}

void CZelmoraDoc::unsubscribe(int id) {
    std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

Status CZelmoraDoc::Read(const std::filesystem::path& path) {
    Result<CompoundReader> file = CompoundReader::open(path);
    if (!file)
        return file.status();
    return readCompound(*file, path);
}

Status CZelmoraDoc::ReadFromMemory(std::string_view bytes, const std::filesystem::path& path) {
    Result<CompoundReader> file = CompoundReader::fromMemory(bytes);
    if (!file)
        return file.status();
    return readCompound(*file, path);
}

Status CZelmoraDoc::readCompound(const CompoundReader& file, const std::filesystem::path& path) {
    // Everything is read into new objects first, so that a damaged file
    // leaves the document as it was.
    const std::optional<std::size_t> rawSize = file.streamSize(stg::kRawDataStream);
    if (!rawSize)
        return Status::failure("нет потока Raw_data");
    std::vector<float> samples(*rawSize / 4);
    if (!file.readStreamInto(stg::kRawDataStream, samples.data(), samples.size() * 4))
        return Status::failure("поток Raw_data не читается");
    if constexpr (std::endian::native != std::endian::little) {
        for (float& v : samples)
            v = std::bit_cast<float>(__builtin_bswap32(std::bit_cast<std::uint32_t>(v)));
    }

    const std::optional<std::size_t> timeSize = file.streamSize(stg::kTimeStream);
    if (!timeSize)
        return Status::failure("нет потока Time");
    std::string timeBytes(std::min<std::size_t>(*timeSize, 12), '\0');
    if (!file.readStreamInto(stg::kTimeStream, timeBytes.data(), timeBytes.size()))
        return Status::failure("поток Time не читается");
    const stg::TimeBase timeBase = stg::decodeTime(timeBytes);

    const std::optional<std::string> tableBytes = file.readStream(stg::kTableStream);
    if (!tableBytes)
        return Status::failure("нет потока Table");
    PeakTable table;
    table.detection = peaks.detection;
    if (Status decoded = stg::decodeTable(*tableBytes, table); !decoded)
        return decoded;

    const std::optional<std::string> passportBytes = file.readStream(stg::kPassportStream);
    if (!passportBytes)
        return Status::failure("нет потока Passport");
    Passport pass;
    if (Status decoded = stg::decodePassport(*passportBytes, pass); !decoded)
        return decoded;
    pass.file = path.string();
    if (pass.databaseKey > 0) {
        if (std::shared_ptr<ResultsStore> store = resultsStore()) {
            if (store->checkAnalysisKey(pass.databaseKey, pass.analysisTime, pass.samplingTime) ==
                ResultsStore::KeyCheck::Mismatch)
                pass.databaseKey = 0;
        }
    }

    {
        std::lock_guard lock(recordingMutex);
        signal.samples = std::move(samples);
        signal.t0 = timeBase.t0;
        signal.dt = timeBase.dt;
    }
    carriedStep = timeBase.carriedStep;
    undo = TraceUndo{signal.samples, 0, false};
    peaks = std::move(table);
    peaks.attach(&signal);
    normaliseAfterRead(peaks);
    passport = std::move(pass);
    findCursor = 0;
    return {};
}

Status CZelmoraDoc::writeFile(const std::filesystem::path& path, MessageSink& sink) {
    const std::string failed = messageText(kMsgSaveError, path.string());
    Result<CompoundWriter> out = CompoundWriter::create(path);
    if (!out)
        return Status::failure(failed);
    std::string samplesBytes;
    std::string_view raw;
    if constexpr (std::endian::native == std::endian::little) {
        // The samples are written straight from the trace, without a copy.
        raw = std::string_view(reinterpret_cast<const char*>(signal.samples.data()),
                               signal.samples.size() * sizeof(float));
    } else {
        samplesBytes = stg::encodeSamples(signal);
        raw = samplesBytes;
    }
    // A failed stream makes the writer refuse the rest and commit() report it.
    out->addStream(stg::kRawDataStream, raw);
    out->addStream(stg::kTimeStream, stg::encodeTime(signal, carriedStep));
    out->addStream(stg::kTableStream, stg::encodeTable(peaks));
    out->addStream(stg::kPassportStream, stg::encodePassport(passport));
    if (!out->commit()) {
        sink.message(kMsgSaveError, failed);
        return Status::failure(failed);
    }
    return {};
}

Status CZelmoraDoc::Write(const std::filesystem::path& path, MessageSink& sink, bool saveResults) {
    if (Status written = writeFile(path, sink); !written)
        return written;
    setModified(false);
    if (saveResults && (passport.databaseKey > 0 || databaseSaveRequest)) {
        if (std::shared_ptr<ResultsStore> store = resultsStore())
            store->saveResults(*this, path, sink);
    }
    return {};
}

bool CZelmoraDoc::OnOpenDocument(const std::filesystem::path& path, MessageSink& sink) {
    if (!text::equalsNoCase(path.extension().string(), ".stg"))
        return false;
    if (!Read(path)) {
        sink.message(kMsgOpenError, messageText(kMsgOpenError, path.string()));
        return false;
    }
    state_->setPathName(path);
    reloadMethod(sink);
    reportState = 0;
    state_->setModified(false);
    updateTitle();
    return true;
}

bool CZelmoraDoc::OnSaveDocument(const std::filesystem::path& path, MessageSink& sink) {
    return OnSaveDocument(path, sink, programOptions());
}

bool CZelmoraDoc::OnSaveDocument(const std::filesystem::path& path, MessageSink& sink,
                                 const ProgramOptions& options) {
    if (options.checkSaveDb)
        databaseSaveRequest = true;
    const bool written = Write(path, sink, true).ok();
    databaseSaveRequest = false;
    if (!written)
        sink.messageBox("Ошибка записи хроматограммы",
                        text::format("Хроматограма не может быть записана в следующее место:\r\n%s",
                                     path.string().c_str()),
                        MessageIcon::Error);
    bool copyWritten = true;
    if (options.checkSaveCopy) {
        const std::filesystem::path copy = backupCopyPath(path, options.copiesFolder());
        // The copy neither saves the results again nor marks the document saved.
        copyWritten = writeFile(copy, sink).ok();
        if (!copyWritten)
            sink.messageBox(
                "Ошибка записи копии хроматограммы",
                text::format("Копия хроматограмы не может быть записана в следующее место:\r\n%s",
                             copy.string().c_str()),
                MessageIcon::Error);
    }
    return written && copyWritten;
}

std::filesystem::path CZelmoraDoc::backupCopyPath(const std::filesystem::path& path,
                                                  const std::filesystem::path& copiesFolder) {
    return copiesFolder / path.filename();
}

}  // namespace zelmora
