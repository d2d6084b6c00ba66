#include "instruments/ht300_sampler.h"

#include <algorithm>
#include <chrono>

#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"

namespace zelmora {
namespace {

constexpr int kMaxVolumeHundredths = 50000;  // 500 µl, the largest syringe

struct IntField {
    const char* name;
    int Ht300Settings::*field;
};

constexpr IntField kFields[] = {
    {"IntStandartVial", &Ht300Settings::intStandartVial},
    {"PredSolvent", &Ht300Settings::predSolvent},
    {"PostSolvent", &Ht300Settings::postSolvent},
    {"HandWashSolvent", &Ht300Settings::handWashSolvent},
    {"HandWashVolume", &Ht300Settings::handWashVolume},
    {"HandWashCount", &Ht300Settings::handWashCount},
    {"AspSpeed", &Ht300Settings::aspSpeed},
    {"BUBBLE_delay", &Ht300Settings::bubbleDelay},
    {"BUBBLE_strokes", &Ht300Settings::bubbleStrokes},
    {"CLNCOUNT_post", &Ht300Settings::clnCountPost},
    {"CLNCOUNT_pre", &Ht300Settings::clnCountPre},
    {"CLNMODE_post", &Ht300Settings::clnModePost},
    {"CLNMODE_pre", &Ht300Settings::clnModePre},
    {"CLNSAMP", &Ht300Settings::clnSamp},
    {"EjeSpeed", &Ht300Settings::ejeSpeed},
    {"ISAir", &Ht300Settings::isAir},
    {"ISMode", &Ht300Settings::isMode},
    {"ISOENAB", &Ht300Settings::isoEnab},
    {"ISSolv", &Ht300Settings::isSolv},
    {"POSTIME", &Ht300Settings::posTime},
    {"PRETIME", &Ht300Settings::preTime},
    {"PREVOL", &Ht300Settings::preVol},
    {"POSTVOL", &Ht300Settings::postVol},
    {"ISVOL", &Ht300Settings::isVol},
    {"VOLAIR", &Ht300Settings::volAir},
    {"VOLFILL", &Ht300Settings::volFill},
    {"VOLSAMP", &Ht300Settings::volSamp},
    {"DeviceIndex", &Ht300Settings::deviceIndex},
    {"StartChannelBits0", &Ht300Settings::startChannelBits0},
    {"StartChannelBits1", &Ht300Settings::startChannelBits1},
    {"Injectors", &Ht300Settings::injectors},
    {"Repeat", &Ht300Settings::repeat},
};

// The range each value must keep to be sent as it is.
struct Range {
    int Ht300Settings::*field;
    int low, high;
    const char* label;
};

constexpr Range kRanges[] = {
    {&Ht300Settings::volSamp, 0, kMaxVolumeHundredths, "объём дозы"},
    {&Ht300Settings::volFill, 0, kMaxVolumeHundredths, "объём промывки пробой"},
    {&Ht300Settings::volAir, 0, kMaxVolumeHundredths, "объём воздуха"},
    {&Ht300Settings::preVol, 0, kMaxVolumeHundredths, "объём промывки перед дозированием"},
    {&Ht300Settings::postVol, 0, kMaxVolumeHundredths, "объём промывки после дозирования"},
    {&Ht300Settings::isVol, 0, kMaxVolumeHundredths, "объём внутреннего стандарта"},
    {&Ht300Settings::handWashVolume, 0, kMaxVolumeHundredths, "объём ручной промывки"},
    {&Ht300Settings::aspSpeed, 0, 100, "скорость набора"},
    {&Ht300Settings::ejeSpeed, 1, 100, "скорость дозирования"},
    {&Ht300Settings::preTime, 0, 99, "время перед дозированием"},
    {&Ht300Settings::posTime, 0, 99, "время внутри испарителя"},
    {&Ht300Settings::bubbleDelay, 0, 99, "задержка устранения пузырьков"},
    {&Ht300Settings::bubbleStrokes, 0, 99, "число ходов устранения пузырьков"},
    {&Ht300Settings::clnCountPre, 0, 99, "число промывок перед дозированием"},
    {&Ht300Settings::clnCountPost, 0, 99, "число промывок после дозирования"},
    {&Ht300Settings::clnModePre, 0, 255, "режим промывки перед дозированием"},
    {&Ht300Settings::clnModePost, 0, 255, "режим промывки после дозирования"},
    {&Ht300Settings::clnSamp, 0, 99, "число промывок пробой"},
    {&Ht300Settings::handWashCount, 0, 99, "число ручных промывок"},
    {&Ht300Settings::predSolvent, 0, 255, "растворитель перед дозированием"},
    {&Ht300Settings::postSolvent, 0, 255, "растворитель после дозирования"},
    {&Ht300Settings::handWashSolvent, 0, 255, "растворитель ручной промывки"},
    {&Ht300Settings::isMode, 0, 255, "режим внутреннего стандарта"},
    {&Ht300Settings::isAir, 0, 255, "воздух внутреннего стандарта"},
    {&Ht300Settings::isSolv, 0, 255, "растворитель внутреннего стандарта"},
    {&Ht300Settings::isoEnab, 0, 1, "внутренний стандарт"},
    {&Ht300Settings::intStandartVial, 0, kHt300MaxVials, "виала внутреннего стандарта"},
    {&Ht300Settings::deviceIndex, 0, 9, "прибор для запуска"},
    {&Ht300Settings::startChannelBits0, 0, 255, "каналы ближнего испарителя"},
    {&Ht300Settings::startChannelBits1, 0, 255, "каналы дальнего испарителя"},
    {&Ht300Settings::injectors, 0, 2, "испарители"},
    {&Ht300Settings::repeat, 0, 99, "число дозирований одной пробы"},
};

void putWord(std::vector<std::uint8_t>& d, int v) {
    d.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    d.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

// Every byte value below has passed checkHt300Ranges, so none is cut.
std::uint8_t byteOf(int v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

double ul(int hundredths) {
    return hundredths / 100.0;
}

}  // namespace

void Ht300Settings::load(const SettingsStore& store, const std::string& key) {
    const Ht300Settings defaults;
    for (const IntField& f : kFields)
        this->*f.field = store.readInt(key, f.name, defaults.*f.field);
}

void Ht300Settings::save(SettingsStore& store, const std::string& key) const {
    for (const IntField& f : kFields)
        store.setInt(key, f.name, this->*f.field);
}

std::optional<std::string> checkHt300Ranges(const Ht300Settings& s) {
    for (const Range& r : kRanges) {
        const int v = s.*r.field;
        if (v < r.low || v > r.high)
            return text::format("Значение \"%s\" (%d) вне пределов от %d до %d.", r.label, v, r.low,
                                r.high);
    }
    return std::nullopt;
}

std::optional<std::string> validateHt300Settings(const Ht300Settings& s, double syringeUl,
                                                 bool deviceUsable) {
    if (ul(s.volSamp) > syringeUl)
        return text::format(
            "Объём дозы (%.2f мкл) больше, чем объём шприца (%.2f)\nУменьшите объём дозы.",
            ul(s.volSamp), syringeUl);
    // An aspiration speed of 0 leaves the sampler at its own speed.
    if (s.aspSpeed != 0 && s.aspSpeed < 1)
        return text::format(
            "Скорость набора пробы (%.2f мкл/сек) очень маленькая\nСкорость "
            "набора пробы должна быль не менее 1 мкл/сек.",
            static_cast<double>(s.aspSpeed));
    if (s.aspSpeed > 100)
        return text::format(
            "Скорость набора пробы (%.2f мкл/сек) очень большаяя\nСкорость "
            "набора пробы должна быль не более 100 мкл/сек.",
            static_cast<double>(s.aspSpeed));
    if (s.ejeSpeed < 1)
        return text::format(
            "Скорость дозирования (%.2f мкл/сек) очень маленькая\nСкорость "
            "дозирования должна быль не менее 1 мкл/сек.",
            static_cast<double>(s.ejeSpeed));
    if (s.ejeSpeed > 100)
        return text::format(
            "Скорость дозирования (%.2f мкл/сек) очень большаяя\nСкорость "
            "дозирования должна быль не более 100 мкл/сек.",
            static_cast<double>(s.ejeSpeed));
    if (s.preTime < 0 || s.preTime > 99)
        return text::format(
            "Время перед дозированием (%.2f сек) должно находиться в пределах от 0 до 99 сек.",
            static_cast<double>(s.preTime));
    if (s.posTime < 0 || s.posTime > 99)
        return text::format(
            "Время внутри испарителя (%.2f сек) должно находиться в пределах от 0 до 99 сек.",
            static_cast<double>(s.posTime));
    if (!deviceUsable)
        return std::string(
            "Выбор прибора для запуска анализа не верен\nПопробуйте выбрать "
            "другой прибор для записи.");
    if (ul(s.preVol) > syringeUl)
        return text::format(
            "Объём промывки перед дозированием (%.2f мкл) больше, чем объём "
            "шприца (%.2f мкл)\nУменьшите объём промывки перед дозированием.",
            ul(s.preVol), syringeUl);
    if (ul(s.volFill) > syringeUl)
        return text::format(
            "Объём промывки пробой (%.2f мкл) больше, чем объём шприца (%.2f "
            "мкл)\nУменьшите объём промывки пробой.",
            ul(s.volFill), syringeUl);
    if (ul(s.postVol) > syringeUl)
        return text::format(
            "Объём промывки после дозирования (%.2f мкл) больше, чем объём "
            "шприца (%.2f мкл)\nУменьшите объём промывки после дозирования.",
            ul(s.postVol), syringeUl);
    if (ul(s.handWashVolume) > syringeUl)
        return text::format(
            "Объём ручной промывки (%.2f мкл) больше, чем объём шприца (%.2f "
            "мкл)\nУменьшите объём ручной промывки.",
            ul(s.handWashVolume), syringeUl);
    if (s.isoEnab != 0 && ul(s.isVol + s.volSamp) > syringeUl)
        return text::format(
            "Объём внутреннего стандарта (%.2f мкл) вместе с объёмом пробы (%.2f мкл) "
            "составляет (%.2f мкл), что больше, чем объёма шприца (%.2f мкл)\nУменьшите "
            "объём внутреннего стандарта или объём пробы.",
            ul(s.isVol), ul(s.volSamp), ul(s.isVol + s.volSamp), syringeUl);
    return checkHt300Ranges(s);
}

const char* ht300StateText(int state) {
    switch (state) {
        case 0:
            return "Инициализация";
        case 1:
            return "Ожидание";
        case 2:
            return "Запуск";
        case 3:
            return "Ожидание завершения работы дозатора";
        case 4:
            return "Ожидание готовности хроматографа";
        case 5:
            return "Ожидание набора пробы";
        case 6:
            return "Ожидание готовности хроматографа 2";
        case 7:
            return "Ожидание дозирования";
        default:
            return "Неизвестный режим";
    }
}

const char* ht300ModeText(int mode) {
    static const char* const kTexts[] = {
        "Ожидание",
        "Работа",
        "Ожидание готовности хроматографа",
        "Проверка",
        "Переключение",
        "Подготовка к вводу в ближний испаритель",
        "Подготовка к вводу в дальний испаритель",
        "Промывка",
        "Поиск неисправности",
        "Останов",
        "Ручная установка параметров",
        "Поиск опоры",
        "Предварительная промывка",
        "Промывка пробой",
        "Устранение пузырьков",
        "Готов для ввода",
        "Дозирование в ближний испаритель",
        "Дозирование в дальний испаритель",
        "Дозирование произведено",
        "Промывка после дозирования",
    };
    if (mode < 0 || mode >= static_cast<int>(std::size(kTexts)))
        return "Неизвестный режим";
    return kTexts[mode];
}

std::vector<std::string> ht300ErrorTexts(int bits) {
    static const char* const kTexts[] = {
        "===ERR=== Ошибка контрольной суммы в отправленой посылке",
        "===ERR=== Неправильная длина посылки",
        "===ERR=== Команду невозможно выполнить",
        "===ERR=== Неправильная команда",
        "===ERR=== Неправильные данные в переданной посылке",
    };
    std::vector<std::string> out;
    for (int i = 0; i < 5; ++i)
        if (bits & (1 << i))
            out.emplace_back(kTexts[i]);
    if (bits & ~0x1F)
        out.push_back(text::format("===ERR=== Неизвестные биты ошибки 0x%02X", bits & ~0x1F));
    return out;
}

int ht300TrayPlaces(int code) {
    switch (code) {
        case 16:
            return 10;
        case 64:
            return 40;
        case 153:
            return 110;
        default:
            return 0;
    }
}

double ht300SyringeUl(int code) {
    switch (code) {
        case 0:
            return 1;
        case 1:
            return 5;
        case 2:
            return 10;
        case 3:
            return 20;
        case 4:
            return 50;
        case 5:
            return 100;
        case 6:
            return 250;
        case 7:
            return 500;
        default:
            return 0;
    }
}

int ht300VolumeTenths(int hundredths) {
    const int h = std::clamp(hundredths, 0, kMaxVolumeHundredths);
    if (h < 10000)
        return (h + 5) / 10;
    return (h + 50) / 100 * 10;
}

std::vector<std::uint8_t> ht300SelectSampleData(const Ht300Settings& s, int vial, int places,
                                                bool farPass) {
    // In two passes the far injector takes the vials of the tray's second half.
    const int v = farPass && s.injectors == 2 ? vial + places / 2 : vial;
    return {9, byteOf(v), byteOf(s.intStandartVial), byteOf(s.isMode), byteOf(s.isSolv)};
}

std::vector<std::uint8_t> ht300InjectData(const Ht300Settings& s, bool far) {
    std::vector<std::uint8_t> d;
    d.push_back(far ? 1 : 0);
    putWord(d, ht300VolumeTenths(s.volSamp));
    d.push_back(byteOf(s.ejeSpeed));
    d.push_back(byteOf(s.preTime));
    d.push_back(byteOf(s.posTime));
    return d;
}

std::vector<std::uint8_t> ht300HandWashData(const Ht300Settings& s) {
    std::vector<std::uint8_t> d;
    d.push_back(byteOf(s.handWashSolvent));
    putWord(d, ht300VolumeTenths(s.handWashVolume));
    d.push_back(byteOf(s.handWashCount));
    return d;
}

std::vector<std::uint8_t> ht300SettingsBlock(const Ht300Settings& s) {
    std::vector<std::uint8_t> d;
    for (int v : {s.volSamp, s.volFill, s.volAir, s.preVol, s.postVol, s.isVol})
        putWord(d, ht300VolumeTenths(v));
    for (int v : {s.aspSpeed, s.ejeSpeed, s.preTime, s.posTime, s.bubbleDelay, s.bubbleStrokes,
                  s.clnCountPre, s.clnCountPost, s.clnModePre, s.clnModePost, s.clnSamp,
                  s.predSolvent, s.postSolvent, s.isMode, s.isAir, s.isSolv, s.isoEnab})
        d.push_back(byteOf(v));
    return d;  // 12 + 17 = 29 bytes
}

CHt300Sampler::CHt300Sampler() {
    for (int i = 0; i < kHt300MaxVials; ++i)
        vials_[static_cast<std::size_t>(i)].name = text::format("Проба %d", i + 1);
}

CHt300Sampler::~CHt300Sampler() {
    close();
}

void CHt300Sampler::log(const std::string& line) const {
    CWorkLog::instance().write(line);
}

std::string CHt300Sampler::statusText() const {
    const int s = state();
    std::string t = ht300StateText(s);
    if (isRunning() && s >= Start)
        t += text::format("; дозатор: %s", ht300ModeText(mode()));
    return t;
}

void CHt300Sampler::saveSettings(SettingsStore& store, const std::string& key) const {
    CDevice::saveSettings(store, key);
    std::lock_guard lock(mutex_);
    settings_.save(store, key);
    for (int i = 0; i < kHt300MaxVials; ++i) {
        const Ht300Vial& v = vials_[static_cast<std::size_t>(i)];
        store.setString(key, text::format("SampleName_%d", i), v.name);
        store.setInt(key, text::format("SampleUse_%d", i), v.use ? 1 : 0);
    }
}

void CHt300Sampler::loadSettings(const SettingsStore& store, const std::string& key) {
    CDevice::loadSettings(store, key);
    Ht300Settings s;
    s.load(store, key);
    std::lock_guard lock(mutex_);
    settings_ = s;
    for (int i = 0; i < kHt300MaxVials; ++i) {
        Ht300Vial& v = vials_[static_cast<std::size_t>(i)];
        v.name = store.readString(key, text::format("SampleName_%d", i),
                                  text::format("Проба %d", i + 1));
        v.use = store.readInt(key, text::format("SampleUse_%d", i), 0) != 0;
    }
}

Ht300Settings CHt300Sampler::settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

void CHt300Sampler::setSettings(const Ht300Settings& s) {
    std::lock_guard lock(mutex_);
    settings_ = s;
}

std::vector<Ht300Vial> CHt300Sampler::vials() const {
    std::lock_guard lock(mutex_);
    return {vials_.begin(), vials_.end()};
}

void CHt300Sampler::setVial(int index, const Ht300Vial& v) {
    if (index < 0 || index >= kHt300MaxVials)
        return;
    std::lock_guard lock(mutex_);
    vials_[static_cast<std::size_t>(index)] = v;
}

int CHt300Sampler::vialPlaces() const {
    std::lock_guard lock(mutex_);
    return places_;
}

double CHt300Sampler::syringeUl() const {
    std::lock_guard lock(mutex_);
    return syringeUl_;
}

std::string CHt300Sampler::identification() const {
    std::lock_guard lock(mutex_);
    return identification_;
}

int CHt300Sampler::currentVial() const {
    std::lock_guard lock(mutex_);
    return vialIndex_ < 0 ? 0 : vialIndex_ + 1;
}

void CHt300Sampler::setRecordingTarget(std::shared_ptr<Ht300RecordingTarget> target) {
    std::lock_guard lock(mutex_);
    target_ = std::move(target);
}

void CHt300Sampler::pushLocked(int code, std::vector<std::uint8_t> data) {
    pending_.push_back(Command{code, std::move(data)});
    wake_.notify_all();
}

void CHt300Sampler::setStateLocked(int s) {
    state_.store(s);
    wake_.notify_all();
}

int CHt300Sampler::nextVialLocked(int fromIndex) const {
    // Two passes use the first half of the tray; the second half holds the
    // far injector's vials.
    const int last = settings_.injectors == 2 ? places_ / 2 : places_;
    for (int i = std::max(fromIndex + 1, 0); i < last; ++i)
        if (vials_[static_cast<std::size_t>(i)].use)
            return i;
    return -1;
}

void CHt300Sampler::beginInjectionLocked() {
    farPass_ = settings_.injectors == 1 || (settings_.injectors == 2 && injectionNo_ % 2 == 1);
}

Status CHt300Sampler::startSeries() {
    std::lock_guard lock(mutex_);
    if (settings_.repeat <= 0)
        return Status::failure("Количество дозирований одной пробы должно быть больше нуля.");
    const int first = nextVialLocked(-1);
    if (first < 0)
        return Status::failure("Ни одна из проб не помечена как рабочая.");
    if (auto e = checkHt300Ranges(settings_))
        return Status::failure(*e);
    if (!isRunning())
        return Status::failure("Дозатор HT300 не подключён.");
    if (state_.load() != Waiting)
        return Status::failure(text::format("Дозатор занят: %s.", ht300StateText(state_.load())));
    vialIndex_ = first;
    injectionNo_ = 0;
    beginInjectionLocked();
    pushLocked(10);
    setStateLocked(Start);
    log(text::format("  HT300: Запуск серии анализов с виалы %d.", first + 1));
    return Status();
}

void CHt300Sampler::stopSeries() {
    std::lock_guard lock(mutex_);
    pending_.clear();
    vialIndex_ = -1;
    injectionNo_ = 0;
    if (isRunning())
        pushLocked(1);
    const int s = state_.load();
    if (s != Init)
        setStateLocked(Waiting);
    if (s >= Start && s <= AwaitInjection)
        log("  HT300: Серия анализов остановлена оператором.");
}

Status CHt300Sampler::handWash() {
    std::lock_guard lock(mutex_);
    if (ul(settings_.handWashVolume) > syringeUl_)
        return Status::failure(text::format(
            "Объём ручной промывки (%.2f мкл) больше, чем объём шприца (%.2f мкл)\nУменьшите "
            "объём ручной промывки.",
            ul(settings_.handWashVolume), syringeUl_));
    if (auto e = checkHt300Ranges(settings_))
        return Status::failure(*e);
    if (!isRunning())
        return Status::failure("Дозатор HT300 не подключён.");
    pushLocked(11, ht300HandWashData(settings_));
    return Status();
}

bool CHt300Sampler::handshake() {
    purgeLine();
    const std::string req = wire::buildHt300Request(3);
    if (!write(reinterpret_cast<const std::uint8_t*>(req.data()), req.size()))
        return false;
    const auto w = waitLine(handshakeTimeoutMs());
    purgeLine();
    if (w != SerialPort::Wait::Data) {
        setLastError("дозатор HT300 не ответил на команду 3");
        return false;
    }
    return true;
}

void CHt300Sampler::onReceive(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const auto e = parser_.feed(bytes[i]);
        if (e == wire::Ht300AnswerParser::Event::None)
            continue;
        std::lock_guard lock(mutex_);
        if (e == wire::Ht300AnswerParser::Event::Answer) {
            countFrame();
            received_.push_back(parser_.answer());
        } else {
            ++badReceived_;
            lastBad_ = parser_.fault();
        }
        wake_.notify_all();
    }
}

bool CHt300Sampler::startWorkers() {
    {
        std::lock_guard lock(mutex_);
        linkStop_ = false;
        pending_.clear();
        received_.clear();
        badReceived_ = 0;
        vialIndex_ = -1;
        injectionNo_ = 0;
        state_.store(Init);
        pushLocked(3);
        pushLocked(17);
        pushLocked(2, {1});
    }
    link_ = std::thread([this] {
        linkLoop();
        addCpuOfThisThread();
    });
    return true;
}

void CHt300Sampler::stopWorkers() {
    {
        std::lock_guard lock(mutex_);
        linkStop_ = true;
    }
    wake_.notify_all();
    if (link_.joinable())
        link_.join();
}

bool CHt300Sampler::linkPause(int ms) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(std::max(ms, 1)),
                   [this] { return linkStop_ || !pending_.empty(); });
    return !linkStop_;
}

void CHt300Sampler::linkLoop() {
    std::int64_t lastStatus = nowMs() - statusPeriodMs_.load();
    for (;;) {
        stepSequencer();
        std::optional<Command> next;
        {
            std::lock_guard lock(mutex_);
            if (linkStop_)
                return;
            if (!pending_.empty()) {
                next = std::move(pending_.front());
                pending_.pop_front();
            }
        }
        if (next) {
            (void)transact(*next, true);
            continue;
        }
        const std::int64_t now = nowMs();
        const int period = statusPeriodMs_.load();
        // While an injection is awaited its moment is watched without pause.
        if (state() == AwaitInjection || now - lastStatus >= period) {
            lastStatus = now;
            (void)transact(Command{5, {}}, false);
            continue;
        }
        if (!linkPause(static_cast<int>(
                std::min<std::int64_t>(kIdleSleepMs, period - (now - lastStatus)))))
            return;
    }
}

CHt300Sampler::Outcome CHt300Sampler::sendOnce(const Command& c, wire::Ht300Answer& answer) {
    {
        std::lock_guard lock(mutex_);
        received_.clear();
        badReceived_ = 0;
    }
    const std::string req = wire::buildHt300Request(c.code, c.data);
    (void)write(reinterpret_cast<const std::uint8_t*>(req.data()), req.size());
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(answerTimeoutMs_.load());
    std::unique_lock lock(mutex_);
    for (;;) {
        const bool woken = wake_.wait_until(
            lock, deadline, [this] { return linkStop_ || !received_.empty() || badReceived_ > 0; });
        if (linkStop_)
            return Outcome::Stopped;
        if (!woken)
            return Outcome::NoAnswer;
        if (!received_.empty()) {
            wire::Ht300Answer a = std::move(received_.front());
            received_.pop_front();
            // A late answer to an earlier request is not this one's.
            if (a.command != c.code) {
                log(text::format("? HT300: получен ответ на команду %d вместо %d", a.command,
                                 c.code));
                continue;
            }
            answer = std::move(a);
            return Outcome::Answer;
        }
        badReceived_ = 0;
        return Outcome::Bad;
    }
}

std::optional<wire::Ht300Answer> CHt300Sampler::transact(const Command& c, bool retry) {
    const int attempts = retry ? 1 + kRetries : 1;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        wire::Ht300Answer a;
        const Outcome o = sendOnce(c, a);
        if (o == Outcome::Stopped)
            return std::nullopt;
        if (o == Outcome::NoAnswer) {
            ++missedAnswers_;
            log(text::format("! HT300: !!! Нет ответа за %d мсек (команда %d, попытка %d из %d)",
                             answerTimeoutMs_.load(), c.code, attempt, attempts));
            continue;
        }
        if (o == Outcome::Bad) {
            ++badAnswers_;
            wire::Ht300Fault f;
            {
                std::lock_guard lock(mutex_);
                f = lastBad_;
            }
            log(text::format("! HT300: ответ на команду %d отвергнут: %s (попытка %d из %d)",
                             c.code, wire::ht300FaultText(f), attempt, attempts));
            continue;
        }
        ++answers_;
        statusMisses_ = 0;
        mode_.store(a.mode);
        if (a.error != 0) {
            log(text::format("! HT300: команда %d: Error=%d, Status=%d, Bits=%d", c.code, a.error,
                             a.mode, a.bits));
            for (const std::string& t : ht300ErrorTexts(a.error))
                log("! HT300: " + t);
            // The sampler did not read the request as it was sent: again.
            if ((a.error & 3) != 0 && attempt < attempts)
                continue;
        }
        handleAnswer(c, a);
        // A step of the series the sampler refused (impossible, unknown,
        // wrong data) would leave the sequencer waiting for a mode that
        // never comes: the series ends here.
        const bool seriesStep =
            c.code == 10 || c.code == 7 || c.code == 19 || c.code == 6 || c.code == 4;
        // A repeated command that is now "impossible" was most likely done
        // the first time, its answer lost on the way: the series goes on.
        if (attempt > 1 && (a.error & ~3) == 4)
            log(text::format("? HT300: повтор команды %d отвергнут: она уже выполнена", c.code));
        else if ((a.error & ~3) != 0 && seriesStep)
            endSeries(text::format("дозатор не выполнил команду %d", c.code));
        return a;
    }
    // Status requests are not repeated, but a sampler that leaves as many
    // of them in a row unanswered as a command may go is given up the same
    // way: a series never waits forever for a silent sampler.
    if (!retry && ++statusMisses_ < 1 + kRetries)
        return std::nullopt;
    statusMisses_ = 0;
    ++givenUp_;
    log(retry ? text::format("! HT300: команда %d не выполнена после %d попыток", c.code, attempts)
              : text::format("! HT300: дозатор не отвечает на %d запроса состояния подряд",
                             1 + kRetries));
    endSeries("дозатор не принял команду");
    return std::nullopt;
}

void CHt300Sampler::endSeries(const std::string& why) {
    std::lock_guard lock(mutex_);
    const int s = state_.load();
    if (s >= Start && s <= AwaitInjection) {
        pending_.clear();
        vialIndex_ = -1;
        setStateLocked(Waiting);
        log("! HT300: Серия анализов остановлена: " + why + ".");
    }
}

void CHt300Sampler::handleAnswer(const Command& c, const wire::Ht300Answer& a) {
    if (c.code == 3) {
        // Two bytes, then the five characters of the identification.
        if (a.data.size() < 7) {
            log(text::format("! HT300: короткий ответ на команду 3 (%zu байт из 7)",
                             a.data.size()));
            return;
        }
        std::string id(a.data.begin() + 2, a.data.begin() + 7);
        {
            std::lock_guard lock(mutex_);
            identification_ = id;
        }
        log("  HT300: Идентификация " + id);
        return;
    }
    if (c.code == 17) {
        // A byte, the syringe code at the third byte and the tray code at
        // the ninth.
        if (a.data.size() < 9) {
            log(text::format("! HT300: короткий ответ на команду 17 (%zu байт из 9)",
                             a.data.size()));
            return;
        }
        const int syringeCode = a.data[2];
        const int trayCode = a.data[8];
        const double syringe = ht300SyringeUl(syringeCode);
        const int places = ht300TrayPlaces(trayCode);
        std::lock_guard lock(mutex_);
        if (syringe > 0) {
            syringeUl_ = syringe;
        } else {
            log(text::format("? HT300: неизвестный код шприца %d; объём шприца оставлен %.0f мкл",
                             syringeCode, syringeUl_));
        }
        if (places == 0) {
            // Nothing of the list is thrown away on a code we do not know.
            log(text::format("? HT300: неизвестный код лотка %d; список виал оставлен (%d мест)",
                             trayCode, places_));
        } else if (places != places_) {
            places_ = places;
            log(text::format("  HT300: Лоток на %d виал, шприц %.0f мкл", places, syringeUl_));
        }
    }
}

void CHt300Sampler::stepSequencer() {
    std::shared_ptr<Ht300RecordingTarget> target;
    int device = 0;
    unsigned bits = 0;
    {
        std::lock_guard lock(mutex_);
        const int s = state_.load();
        const int m = mode_.load();
        switch (s) {
            case Init:
                if (pending_.empty())
                    setStateLocked(Waiting);
                return;
            case Start:
                pushLocked(7, ht300InjectData(settings_, farPass_));
                pushLocked(19, ht300SettingsBlock(settings_));
                setStateLocked(AwaitIdle);
                return;
            case AwaitIdle:
                if (pending_.empty() && m == 0)
                    setStateLocked(AwaitReady);
                return;
            case AwaitSample:
                if (pending_.empty() && m == 15)
                    setStateLocked(AwaitReady2);
                return;
            case AwaitReady:
            case AwaitReady2:
                if (!pending_.empty() || !target_)
                    return;
                target = target_;
                device = settings_.deviceIndex;
                bits = static_cast<unsigned>(farPass_ ? settings_.startChannelBits1
                                                      : settings_.startChannelBits0);
                break;
            case AwaitInjection:
                if (!pending_.empty() || m != 18)
                    return;
                break;
            default:
                return;
        }
    }
    if (target) {
        // The front end's states are looked at with no lock of ours held.
        if (!target->readyToRecord(device, bits))
            return;
        std::lock_guard lock(mutex_);
        if (state_.load() == AwaitReady) {
            pushLocked(6, ht300SelectSampleData(settings_, vialIndex_ + 1, places_, farPass_));
            setStateLocked(AwaitSample);
        } else if (state_.load() == AwaitReady2) {
            pushLocked(4);
            setStateLocked(AwaitInjection);
        }
        return;
    }
    Ht300Injection inj;
    {
        std::lock_guard lock(mutex_);
        if (state_.load() != AwaitInjection || vialIndex_ < 0)
            return;
        const bool twoPassFar = farPass_ && settings_.injectors == 2;
        inj.deviceIndex = settings_.deviceIndex;
        inj.channelBits = static_cast<unsigned>(farPass_ ? settings_.startChannelBits1
                                                         : settings_.startChannelBits0);
        inj.vial = vialIndex_ + 1 + (twoPassFar ? places_ / 2 : 0);
        inj.injection = injectionNo_ + 1;
        inj.sampleName = vials_[static_cast<std::size_t>(vialIndex_)].name;
        target = target_;
        ++injectionNo_;
        ++injections_;
        log(text::format("  HT300: Доза: виала %d, ввод %d.", inj.vial, inj.injection));
        if (injectionNo_ >= settings_.repeat) {
            injectionNo_ = 0;
            vialIndex_ = nextVialLocked(vialIndex_);
        }
        if (vialIndex_ < 0) {
            setStateLocked(Waiting);
            log("  HT300: Конец серии анализов.");
        } else {
            beginInjectionLocked();
            setStateLocked(Start);
        }
    }
    if (target)
        target->startRecording(inj);
    else
        log("? HT300: прибор для запуска записи не назначен.");
}

}  // namespace zelmora
