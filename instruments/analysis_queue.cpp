#include "instruments/analysis_queue.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <pugixml.hpp>
#include <sstream>

#include "app/paths.h"
#include "app/settings_store.h"
#include "app/text.h"

namespace zelmora {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDataTypes = "urn:schemas-microsoft-com:datatypes";

// The element name without a namespace prefix ("dt:x" -> "x").
std::string_view localName(const char* name) {
    std::string_view s(name);
    const std::size_t colon = s.find(':');
    return colon == std::string_view::npos ? s : s.substr(colon + 1);
}

pugi::xml_node child(pugi::xml_node parent, std::string_view name) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && localName(c.name()) == name)
            return c;
    return {};
}

// True when the XML declaration at the start names the Cyrillic code page
// of the laboratory systems that write their files in it.
bool declaresCp1251(std::string_view bytes) {
    if (bytes.substr(0, 5) != "<?xml")
        return false;
    const std::size_t end = bytes.find("?>");
    if (end == std::string_view::npos)
        return false;
    const std::string decl = text::foldCase(bytes.substr(0, end));
    return decl.find("windows-1251") != std::string::npos ||
           decl.find("cp1251") != std::string::npos;
}

std::string numberText(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// Reads one entry; `n` is its number in the file, for messages.
Result<QueueEntry> readEntry(pugi::xml_node analyse, int n) {
    QueueEntry e;
    auto textOf = [&](std::string_view name) -> std::string {
        return child(analyse, name).text().get();
    };
    e.comments = textOf("comments");
    e.info = textOf("info");
    e.organization = textOf("organization");
    e.type = textOf("type");

    auto integer = [&](std::string_view name, bool required, std::int32_t& out) -> Status {
        const pugi::xml_node node = child(analyse, name);
        if (!node) {
            if (!required)
                return {};
            return Status::failure(
                text::format("запись %d: нет элемента «%.*s»", n, int(name.size()), name.data()));
        }
        const std::optional<long long> v = text::parseInt(text::trim(node.text().get()));
        if (!v || *v < INT32_MIN || *v > INT32_MAX)
            return Status::failure(text::format("запись %d: в элементе «%.*s» не целое число «%s»",
                                                n, int(name.size()), name.data(),
                                                node.text().get()));
        out = static_cast<std::int32_t>(*v);
        return {};
    };
    auto real = [&](std::string_view name, double& out) -> Status {
        const pugi::xml_node node = child(analyse, name);
        const std::string_view t = text::trim(node.text().get());
        if (!node || t.empty())
            return {};
        const std::optional<double> v = text::parseDouble(t, true);
        if (!v || !std::isfinite(*v))
            return Status::failure(text::format("запись %d: в элементе «%.*s» не число «%s»", n,
                                                int(name.size()), name.data(), node.text().get()));
        out = *v;
        return {};
    };
    for (Status s : {integer("id", true, e.id), integer("vial", true, e.vial),
                     integer("status", true, e.status), real("MSt", e.standardMass),
                     real("MProbe", e.sampleMass)})
        if (!s.ok())
            return s;
    if (e.status < kQueueNew || e.status > kQueueProcessed)
        return Status::failure(
            text::format("запись %d: состояние %d (ожидалось 0, 1 или 2)", n, e.status));
    return e;
}

Result<std::string> readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return Status::failure(text::format("Не удалось открыть файл %s: %s", file.string().c_str(),
                                            std::strerror(errno)));
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return Status::failure(text::format("Не удалось прочитать файл %s", file.string().c_str()));
    return bytes.str();
}

std::string nowStamp() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
    return buf;
}

}  // namespace

Result<QueueFileContent> readQueueXml(std::string_view bytes) {
    std::string converted;
    pugi::xml_encoding encoding = pugi::encoding_auto;
    if (declaresCp1251(bytes)) {
        converted = text::fromCp1251(bytes);
        bytes = converted;
        encoding = pugi::encoding_utf8;
    }
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed =
        doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, encoding);
    if (!parsed)
        return Status::failure(text::format("это не XML: %s (позиция %lld)", parsed.description(),
                                            static_cast<long long>(parsed.offset)));
    const pugi::xml_node root = doc.document_element();
    if (!root || localName(root.name()) != "Document")
        return Status::failure(text::format("корневой элемент «%s», а в файле очереди — «Document»",
                                            root ? root.name() : ""));

    // Entries by their number "n", the first of a number winning as an
    // XPath selection would.
    std::map<long long, pugi::xml_node> numbered;
    int total = 0;
    for (pugi::xml_node c = root.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element || localName(c.name()) != "analyse")
            continue;
        ++total;
        const std::optional<long long> n = text::parseInt(text::trim(c.attribute("n").value()));
        if (n)
            numbered.emplace(*n, c);
    }

    QueueFileContent content;
    int n = 1;
    for (; n <= kQueueMaxEntries; ++n) {
        const auto it = numbered.find(n);
        if (it == numbered.end() || !child(it->second, "comments"))
            break;
        Result<QueueEntry> e = readEntry(it->second, n);
        if (!e)
            return e.status();
        content.entries.push_back(std::move(e).value());
    }
    const int taken = static_cast<int>(content.entries.size());
    if (total > taken) {
        const std::string why =
            n > kQueueMaxEntries
                ? text::format("в очередь берутся не более %d записей", kQueueMaxEntries)
                : text::format(
                      "нет записи № %d (или в ней нет элемента «comments»), "
                      "записи после неё не читаются",
                      n);
        content.warnings.push_back(text::format("Из файла очереди взято записей: %d из %d; %s.",
                                                taken, total, why.c_str()));
    }
    return content;
}

std::string writeQueueXml(const std::vector<QueueEntry>& entries) {
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = doc.append_child("Document");
    root.append_attribute("xmlns:dt") = kDataTypes;
    int n = 0;
    for (const QueueEntry& e : entries) {
        pugi::xml_node a = root.append_child("analyse");
        a.append_attribute("n") = ++n;
        auto field = [&](const char* name, const char* type, const std::string& value) {
            pugi::xml_node f = a.append_child(name);
            f.append_attribute("dt:dt") = type;
            f.text().set(value.c_str());
        };
        field("comments", "string", e.comments);
        field("info", "string", e.info);
        field("organization", "string", e.organization);
        field("type", "string", e.type);
        field("id", "i4", std::to_string(e.id));
        field("vial", "i4", std::to_string(e.vial));
        field("status", "i4", std::to_string(e.status));
        field("MSt", "r8", numberText(e.standardMass));
        field("MProbe", "r8", numberText(e.sampleMass));
    }
    std::ostringstream out;
    doc.save(out, "\t", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_utf8);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + out.str();
}

std::string queueFileCaption(const std::string& fileName, const std::string& today) {
    if (fileName.size() < 3 + 8 + 4)
        return fileName;
    const std::string digits = fileName.substr(3, fileName.size() - 7);
    if (digits.size() != 8 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return fileName;
    const std::string date =
        digits.substr(6, 2) + "." + digits.substr(4, 2) + "." + digits.substr(0, 4);
    return date == today ? "Очередь за сегодня" : "Очередь от " + date;
}

std::vector<fs::path> listQueueFiles(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() >= 7 && text::startsWithNoCase(name, "aq-") &&
            text::equalsNoCase(name.substr(name.size() - 4), ".xml") && it->is_regular_file(ec))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

QueueSettings QueueSettings::load(const SettingsStore& store) {
    QueueSettings s;
    s.device = store.readInt(kRootKey, "Adc", -1);
    s.channel = store.readInt(kRootKey, "Canal", -1);
    s.workingMethod = store.readString(kRootKey, "MtdDefault", s.workingMethod);
    s.purgeMethod = store.readString(kRootKey, "MtdProduv", s.purgeMethod);
    s.loadFolder = store.readString(kRootKey, "LoadFolder");
    s.exportProgram = store.readString(kRootKey, "Prg");
    return s;
}

void QueueSettings::save(SettingsStore& store) const {
    store.setInt(kRootKey, "Adc", device);
    store.setInt(kRootKey, "Canal", channel);
    store.setString(kRootKey, "MtdDefault", workingMethod);
    store.setString(kRootKey, "MtdProduv", purgeMethod);
    store.setString(kRootKey, "LoadFolder", loadFolder);
    store.setString(kRootKey, "Prg", exportProgram);
}

AnalysisQueue::AnalysisQueue(fs::path workingCopy) : workingCopy_(std::move(workingCopy)) {}

fs::path AnalysisQueue::defaultWorkingCopy() {
    return paths::defaultQueueFolder() / "queue.xml";
}

Status AnalysisQueue::loadWorkingCopy(int* interruptedOut) {
    if (interruptedOut)
        *interruptedOut = 0;
    std::error_code ec;
    if (!fs::exists(workingCopy_, ec)) {
        std::lock_guard lock(mutex_);
        entries_.clear();
        return {};
    }
    Result<std::string> bytes = readFile(workingCopy_);
    if (!bytes)
        return bytes.status();
    Result<QueueFileContent> content = readQueueXml(bytes.value());
    if (!content) {
        const fs::path aside = workingCopy_.string() + ".damaged-" + nowStamp();
        fs::rename(workingCopy_, aside, ec);
        {
            std::lock_guard lock(mutex_);
            entries_.clear();
        }
        notify();
        return Status::failure(text::format(
            "Рабочая копия очереди %s повреждена (%s). %s Очередь пуста.",
            workingCopy_.string().c_str(), content.message().c_str(),
            ec ? "Отложить файл не удалось, он оставлен на месте."
               : text::format("Файл отложен как %s.", aside.filename().string().c_str()).c_str()));
    }
    int interrupted = 0;
    Status saved;
    {
        std::lock_guard lock(mutex_);
        entries_ = std::move(content).value().entries;
        for (QueueEntry& e : entries_)
            if (e.status == kQueueInWork) {
                e.status = kQueueNew;
                ++interrupted;
            }
        sortLocked();
        if (interrupted > 0)
            saved = saveLocked();
    }
    if (interruptedOut)
        *interruptedOut = interrupted;
    notify();
    return saved;
}

Status AnalysisQueue::readWorkingCopy() {
    std::vector<QueueEntry> entries;
    std::error_code ec;
    if (fs::exists(workingCopy_, ec)) {
        Result<std::string> bytes = readFile(workingCopy_);
        if (!bytes)
            return bytes.status();
        Result<QueueFileContent> content = readQueueXml(bytes.value());
        if (!content)
            return Status::failure(text::format("Рабочая копия очереди %s повреждена (%s).",
                                                workingCopy_.string().c_str(),
                                                content.message().c_str()));
        entries = std::move(content).value().entries;
    }
    {
        std::lock_guard lock(mutex_);
        entries_ = std::move(entries);
    }
    notify();
    return {};
}

Status AnalysisQueue::load(const fs::path& file, std::vector<std::string>* warnings) {
    Result<std::string> bytes = readFile(file);
    if (!bytes)
        return bytes.status();
    Result<QueueFileContent> content = readQueueXml(bytes.value());
    if (!content)
        return Status::failure(text::format("Ошибка загрузки очереди! %s: %s",
                                            file.filename().string().c_str(),
                                            content.message().c_str()));
    if (warnings)
        *warnings = content.value().warnings;
    {
        std::lock_guard lock(mutex_);
        std::vector<QueueEntry> previous = std::move(entries_);
        entries_ = std::move(content).value().entries;
        sortLocked();
        if (Status s = saveLocked(); !s.ok()) {
            entries_ = std::move(previous);
            return s;
        }
    }
    notify();
    return {};
}

Status AnalysisQueue::save() const {
    std::lock_guard lock(mutex_);
    return saveLocked();
}

Status AnalysisQueue::saveLocked() const {
    if (!paths::ensureFolder(workingCopy_.parent_path()))
        return Status::failure(text::format("Не удалось создать папку %s",
                                            workingCopy_.parent_path().string().c_str()));
    const Status s = paths::writeFileAtomically(workingCopy_, writeQueueXml(entries_));
    if (!s.ok())
        return Status::failure(text::format("Не удалось записать очередь в %s: %s",
                                            workingCopy_.string().c_str(), s.message().c_str()));
    return s;
}

std::vector<QueueEntry> AnalysisQueue::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

std::size_t AnalysisQueue::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void AnalysisQueue::sortProcessedFirst() {
    {
        std::lock_guard lock(mutex_);
        sortLocked();
    }
    notify();
}

void AnalysisQueue::sortLocked() {
    std::stable_partition(entries_.begin(), entries_.end(),
                          [](const QueueEntry& e) { return e.status == kQueueProcessed; });
}

void AnalysisQueue::swap(std::size_t a, std::size_t b) {
    {
        std::lock_guard lock(mutex_);
        if (a >= entries_.size() || b >= entries_.size())
            return;
        std::swap(entries_[a], entries_[b]);
    }
    notify();
}

int AnalysisQueue::firstNew() const {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].status == kQueueNew)
            return static_cast<int>(i);
    return -1;
}

int AnalysisQueue::firstInWork() const {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].status == kQueueInWork)
            return static_cast<int>(i);
    return -1;
}

int AnalysisQueue::indexOfId(std::int32_t id) const {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].id == id)
            return static_cast<int>(i);
    return -1;
}

void AnalysisQueue::setSelected(std::size_t index, bool on) {
    std::lock_guard lock(mutex_);
    if (index < entries_.size())
        entries_[index].selected = on;
}

void AnalysisQueue::clearSelection() {
    std::lock_guard lock(mutex_);
    for (QueueEntry& e : entries_)
        e.selected = false;
}

Result<bool> AnalysisQueue::moveSelectedUp() {
    Status saved;
    {
        std::lock_guard lock(mutex_);
        std::vector<std::size_t> chosen;
        for (std::size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].selected)
                chosen.push_back(i);
        if (chosen.empty() || chosen.front() == 0)
            return false;
        for (std::size_t i : chosen)
            if (entries_[i].status != kQueueNew || entries_[i - 1].status != kQueueNew)
                return false;
        for (std::size_t i : chosen)
            std::swap(entries_[i], entries_[i - 1]);
        saved = saveLocked();
    }
    notify();
    if (!saved.ok())
        return saved;
    return true;
}

Result<bool> AnalysisQueue::moveSelectedDown() {
    Status saved;
    {
        std::lock_guard lock(mutex_);
        std::vector<std::size_t> chosen;
        for (std::size_t i = entries_.size(); i-- > 0;)
            if (entries_[i].selected)
                chosen.push_back(i);
        if (chosen.empty() || chosen.front() + 1 >= entries_.size())
            return false;
        for (std::size_t i : chosen)
            if (entries_[i].status != kQueueNew || entries_[i + 1].status != kQueueNew)
                return false;
        for (std::size_t i : chosen)
            std::swap(entries_[i], entries_[i + 1]);
        saved = saveLocked();
    }
    notify();
    if (!saved.ok())
        return saved;
    return true;
}

Status AnalysisQueue::redoSelected() {
    Status saved;
    {
        std::lock_guard lock(mutex_);
        for (QueueEntry& e : entries_)
            if (e.selected && e.status == kQueueProcessed)
                e.status = kQueueNew;
        sortLocked();
        saved = saveLocked();
    }
    notify();
    return saved;
}

Result<bool> AnalysisQueue::resetId(std::int32_t id) {
    Status saved;
    {
        std::lock_guard lock(mutex_);
        const auto it = std::find_if(entries_.begin(), entries_.end(),
                                     [&](const QueueEntry& e) { return e.id == id; });
        if (it == entries_.end())
            return false;
        it->status = kQueueNew;
        sortLocked();
        saved = saveLocked();
    }
    notify();
    if (!saved.ok())
        return saved;
    return true;
}

Result<std::optional<QueueEntry>> AnalysisQueue::takeNext() {
    std::optional<QueueEntry> taken;
    {
        std::lock_guard lock(mutex_);
        const auto it = std::find_if(entries_.begin(), entries_.end(),
                                     [](const QueueEntry& e) { return e.status == kQueueNew; });
        if (it == entries_.end())
            return taken;
        it->status = kQueueInWork;
        if (Status s = saveLocked(); !s.ok()) {
            it->status = kQueueNew;
            return s;
        }
        taken = *it;
    }
    notify();
    return taken;
}

Status AnalysisQueue::finishInWork(bool completed) {
    Status saved;
    {
        std::lock_guard lock(mutex_);
        const auto it = std::find_if(entries_.begin(), entries_.end(),
                                     [](const QueueEntry& e) { return e.status == kQueueInWork; });
        if (it == entries_.end())
            return {};
        it->status = completed ? kQueueProcessed : kQueueNew;
        saved = saveLocked();
    }
    notify();
    return saved;
}

void AnalysisQueue::setChangedCallback(std::function<void()> changed) {
    changed_ = std::move(changed);
}

void AnalysisQueue::notify() {
    if (changed_)
        changed_();
}

std::string queueSampleText(const QueueEntry& entry) {
    return text::format("Виала № %d %s # %d", entry.vial, entry.info.c_str(), entry.id);
}

}  // namespace zelmora
