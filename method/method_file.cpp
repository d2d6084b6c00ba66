#include "method/method_file.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "app/text.h"
#include "document/archive/archive.h"

namespace zelmora {

namespace {

// Smallest stored sizes, for checking counts against the bytes left.
constexpr std::size_t kEventSize = 4 + 8 + 8 + 4;
constexpr std::size_t kComponentMinSize = 1 + 4 * 8 + 4;
constexpr std::size_t kPointMinSize = 5 * 8 + 4;
constexpr std::size_t kFlaggedNameMinSize = 1 + 4;
constexpr std::size_t kGroupMinSize = 1 + 1;

bool flag(ArchiveReader& ar) {
    return ar.i32() != 0;
}

void readInfo(ArchiveReader& ar, MethodInfo& info) {
    info.description = ar.string();
    info.comment = ar.string();
}

void readCapture(ArchiveReader& ar, int v, CaptureSettings& c) {
    c.analysisTime = ar.f32();
    c.samplingRate = ar.f32();
    if (v >= 10)
        c.passportKind = ar.i32();
    if (v >= 33) {
        c.saveToFolder = flag(ar);
        c.folder = ar.string();
    }
    if (v >= 35) {
        c.fixedBounds = flag(ar);
        c.displayMinimum = ar.f32();
        c.displayMaximum = ar.f32();
    }
}

void readFilter(ArchiveReader& ar, FilterSettings& f) {
    f.kind = ar.i32();
    f.window = ar.f32();
    f.threshold = ar.f32();
}

void readMarking(ArchiveReader& ar, int v, MarkingParameters& m) {
    m.MaxWidth = ar.f32();
    m.Width = ar.f32();
    m.WidthDoublingTime = ar.f32();
    m.MinHeight = ar.f32();
    m.MinArea = ar.f32();
    m.MarkingStart = ar.f32();
    if (v >= 3) {
        m.MaxCommonBaselineDistance = ar.f32();
        m.MaxRiderArea = ar.f32();
    } else if (ar.ok()) {
        // Old files kept the width in units of MaxWidth / 120. A zero or
        // unusable maximum leaves the width as stored instead of making it
        // infinite.
        const float width = m.Width / (m.MaxWidth / 120.0f);
        if (m.MaxWidth != 0 && std::isfinite(width))
            m.Width = width;
    }
    if (v >= 7) {
        const std::int64_t last = ar.i32();
        const std::size_t n = ar.count(last + 1, kEventSize, "событий разметки");
        std::vector<PeakEvent> events(n);
        for (PeakEvent& e : events) {
            e.kind = ar.i32();
            e.value = ar.f64();
            e.time = ar.f64();
            e.flag = ar.i32() != 0 ? 1 : 0;
        }
        m.events = std::move(events);
    }
}

void readComponent(ArchiveReader& ar, int v, MethodComponent& c) {
    c.name = ar.string();
    c.retentionTime = ar.f64();
    c.window = ar.f64();
    c.k0 = ar.f64();
    c.k1 = ar.f64();
    if (v >= 3) {
        ar.i32();  // unused
        c.manual = flag(ar);
        c.standardFactor = ar.f64();
    }
    const std::int32_t m = ar.i32();
    if (v < 3 && m == 0)
        c.manual = true;
    if (v >= 4)
        c.reference = flag(ar);
    if (v >= 22) {
        c.k2 = ar.f64();
        c.k3 = ar.f64();
        c.curveType = ar.i32();
    }
    if (v >= 54)
        c.retentionIndex = ar.f64();
    const std::size_t points = ar.count(m, kPointMinSize + (v >= 54 ? 8 : 0), "точек градуировки");
    c.points.assign(points, CalibrationPoint{});
    for (CalibrationPoint& p : c.points) {
        p.retentionTime = ar.f64();
        p.height = ar.f64();
        p.area = ar.f64();
        p.coefficient = ar.f64();
        p.amount = ar.f64();
        p.dateTime = ar.dateTime();
        if (v >= 54)
            p.retentionIndex = ar.f64();
    }
}

// Files of version 2 and older kept each component's calibration levels on
// their own. Levels are matched by the date of their calibration chromatogram:
// a date that one component has and another lacks becomes an empty level of
// the other, every component is padded to the same number of levels, and the
// levels are ordered by date.
void alignCalibrationLevels(std::vector<MethodComponent>& components) {
    std::set<std::time_t> dates;
    for (const MethodComponent& c : components)
        for (const CalibrationPoint& p : c.points)
            dates.insert(p.dateTime);
    for (MethodComponent& c : components) {
        for (std::time_t d : dates) {
            const bool has =
                std::any_of(c.points.begin(), c.points.end(),
                            [d](const CalibrationPoint& p) { return p.dateTime == d; });
            if (!has) {
                CalibrationPoint empty;
                empty.dateTime = d;
                c.points.push_back(empty);
            }
        }
    }
    std::size_t most = 0;
    for (const MethodComponent& c : components)
        most = std::max(most, c.points.size());
    for (MethodComponent& c : components) {
        c.points.resize(most);
        std::stable_sort(c.points.begin(), c.points.end(),
                         [](const CalibrationPoint& a, const CalibrationPoint& b) {
                             return a.dateTime < b.dateTime;
                         });
    }
}

void readCalculation(ArchiveReader& ar, int v, CalculationSettings& c) {
    c.kind = ar.i32();
    ar.f64();  // unused
    c.response = ar.i32();
    if (v >= 3 && v <= 27)
        ar.i32();  // unused
    if (v >= 3)
        c.standard = ar.string();
    if (v >= 4)
        c.referenceIdentification = ar.i32();
    if (v >= 15) {
        ar.i32();  // unused
        ar.i32();
    }
    if (v >= 48) {
        c.mainByDifference = flag(ar);
        c.mainSubstance = ar.string();
    }
    if (v >= 54) {
        c.identification = ar.i32();
        c.deadTime = ar.f64();
    }
    const std::size_t n = ar.count(ar.i32(), kComponentMinSize, "компонентов");
    // Each component read is a new row of the table and starts from the
    // defaults of a new component.
    std::vector<MethodComponent> components(n);
    for (MethodComponent& component : components) {
        readComponent(ar, v, component);
        if (!ar.ok())
            return;
    }
    if (v <= 2)
        alignCalibrationLevels(components);
    c.components = std::move(components);
}

// A count that the file may store as a negative number meaning "none".
std::size_t countOrNone(ArchiveReader& ar, std::size_t minSize, const char* what) {
    const std::int32_t n = ar.i32();
    return ar.count(n < 0 ? 0 : n, minSize, what);
}

void readReport(ArchiveReader& ar, int v, ReportSettings& r) {
    for (bool& section : r.sections)
        section = flag(ar);
    if (v >= 4)
        r.chartSize = ar.i32();
    if (v >= 8)
        r.labelNumber = flag(ar);
    if (v >= 12)
        r.groups = flag(ar);
    if (v >= 18) {
        r.calibration = flag(ar);
        const std::size_t n = countOrNone(ar, kFlaggedNameMinSize, "компонентов отчёта");
        std::vector<std::pair<std::string, bool>> names(n);
        for (auto& [name, print] : names) {
            name = ar.string();
            print = flag(ar);
        }
        r.calibrationComponents = std::move(names);
    }
    if (v >= 33) {
        r.autoGenerate = flag(ar);
        r.autoPrint = flag(ar);
        r.autoExport = flag(ar);
        r.labelName = flag(ar);
        r.labelTime = flag(ar);
        r.orientation = ar.i32();
    }
}

void readGroups(ArchiveReader& ar, std::vector<ComponentGroup>& groups) {
    const std::size_t n = countOrNone(ar, kGroupMinSize, "групп");
    std::vector<ComponentGroup> read(n);
    for (ComponentGroup& g : read) {
        g.component = ar.string();
        g.group = ar.string();
    }
    groups = std::move(read);
}

void readBlocks(ArchiveReader& ar, int v, Method& m) {
    // Every pass takes at least the four bytes of a tag, so the loop ends
    // with the data at the latest.
    while (ar.ok()) {
        const std::int32_t tag = ar.i32();
        if (!ar.ok() || tag == kMethodTagEnd)
            return;
        if (tag == kMethodTagKalder) {
            if (!m.kalder)
                m.kalder.emplace();
            m.kalder->read(ar, v);
        } else if (tag == kMethodTagEhd) {
            if (!m.ehd)
                m.ehd.emplace();
            m.ehd->read(ar);
        }
        // Any other tag carries nothing.
    }
}

void writeComponent(ArchiveWriter& ar, const MethodComponent& c) {
    ar.string(c.name);
    ar.f64(c.retentionTime);
    ar.f64(c.window);
    ar.f64(c.k0);
    ar.f64(c.k1);
    ar.i32(0);
    ar.i32(c.manual ? 1 : 0);
    ar.f64(c.standardFactor);
    ar.i32(static_cast<std::int32_t>(c.points.size()));
    ar.i32(c.reference ? 1 : 0);
    ar.f64(c.k2);
    ar.f64(c.k3);
    ar.i32(c.curveType);
    ar.f64(c.retentionIndex);
    for (const CalibrationPoint& p : c.points) {
        ar.f64(p.retentionTime);
        ar.f64(p.height);
        ar.f64(p.area);
        ar.f64(p.coefficient);
        ar.f64(p.amount);
        ar.dateTime(p.dateTime);
        ar.f64(p.retentionIndex);
    }
}

}  // namespace

Result<int> readMethodFile(std::string_view bytes, Method& method) {
    ArchiveReader ar(bytes);
    const std::uint32_t signature = ar.u32();
    const std::int32_t version = ar.i32();
    if (!ar.ok())
        return Status::failure("файл метода слишком короткий");
    if (signature != kMethodSignature)
        return Status::failure("файл не является файлом метода (неверная подпись)");
    if (version < 0 || version > kMethodVersion)
        return Status::failure(text::format("неизвестная версия файла метода %d", version));

    Method m = method;
    readInfo(ar, m.info);
    readCapture(ar, version, m.capture);
    readFilter(ar, m.filter);
    readMarking(ar, version, m.marking);
    readCalculation(ar, version, m.calculation);
    if (version >= 2)
        readReport(ar, version, m.report);
    if (version >= 12) {
        m.extra.kind = ar.i32();
        ar.f64();  // unused
    } else {
        m.extra.kind = 0;
    }
    if (version >= 14)
        readGroups(ar, m.groups);
    if (version >= 5)
        readBlocks(ar, version, m);
    if (!ar.ok())
        return Status::failure("файл метода повреждён: " + ar.error() +
                               text::format(" (позиция %zu)", ar.position()));
    method = std::move(m);
    return static_cast<int>(version);
}

std::string writeMethodFile(const Method& m) {
    ArchiveWriter ar;
    ar.u32(kMethodSignature);
    ar.i32(kMethodVersion);

    ar.string(m.info.description);
    ar.string(m.info.comment);

    const CaptureSettings& c = m.capture;
    ar.f32(c.analysisTime);
    ar.f32(c.samplingRate);
    ar.i32(c.passportKind);
    ar.i32(c.saveToFolder ? 1 : 0);
    ar.string(c.folder);
    ar.i32(c.fixedBounds ? 1 : 0);
    ar.f32(c.displayMinimum);
    ar.f32(c.displayMaximum);

    ar.i32(m.filter.kind);
    ar.f32(m.filter.window);
    ar.f32(m.filter.threshold);

    const MarkingParameters& mk = m.marking;
    ar.f32(mk.MaxWidth);
    ar.f32(mk.Width);
    ar.f32(mk.WidthDoublingTime);
    ar.f32(mk.MinHeight);
    ar.f32(mk.MinArea);
    ar.f32(mk.MarkingStart);
    ar.f32(mk.MaxCommonBaselineDistance);
    ar.f32(mk.MaxRiderArea);
    ar.i32(static_cast<std::int32_t>(mk.events.size()) - 1);
    for (const PeakEvent& e : mk.events) {
        ar.i32(e.kind);
        ar.f64(e.value);
        ar.f64(e.time);
        ar.i32(e.flag != 0 ? 1 : 0);
    }

    const CalculationSettings& calc = m.calculation;
    ar.i32(calc.kind);
    ar.f64(0);
    ar.i32(calc.response);
    ar.string(calc.standard);
    ar.i32(calc.referenceIdentification);
    ar.i32(0);
    ar.i32(0);
    ar.i32(calc.mainByDifference ? 1 : 0);
    ar.string(calc.mainSubstance);
    ar.i32(calc.identification);
    ar.f64(calc.deadTime);
    ar.i32(static_cast<std::int32_t>(calc.components.size()));
    for (const MethodComponent& component : calc.components)
        writeComponent(ar, component);

    const ReportSettings& r = m.report;
    for (bool section : r.sections)
        ar.i32(section ? 1 : 0);
    ar.i32(r.chartSize);
    ar.i32(r.labelNumber ? 1 : 0);
    ar.i32(r.groups ? 1 : 0);
    ar.i32(r.calibration ? 1 : 0);
    ar.i32(static_cast<std::int32_t>(r.calibrationComponents.size()));
    for (const auto& [name, print] : r.calibrationComponents) {
        ar.string(name);
        ar.i32(print ? 1 : 0);
    }
    ar.i32(r.autoGenerate ? 1 : 0);
    ar.i32(r.autoPrint ? 1 : 0);
    ar.i32(r.autoExport ? 1 : 0);
    ar.i32(r.labelName ? 1 : 0);
    ar.i32(r.labelTime ? 1 : 0);
    ar.i32(r.orientation);

    ar.i32(m.extra.kind);
    ar.f64(1.0);

    ar.i32(static_cast<std::int32_t>(m.groups.size()));
    for (const ComponentGroup& g : m.groups) {
        ar.string(g.component);
        ar.string(g.group);
    }

    if (m.kalder) {
        ar.i32(kMethodTagKalder);
        m.kalder->write(ar);
    }
    if (m.ehd) {
        ar.i32(kMethodTagEhd);
        m.ehd->write(ar);
    }
    ar.i32(kMethodTagEnd);
    return ar.take();
}

const char* calculationKindName(int kind) {
    static const char* const kNames[kCalculationKinds] = {
        "Абсолютная градуировка (классический)",
        "Абсолютная градуировка (метод наименьших квадратов)",
        "Внутренний стандарт (классический)",
        "Внутренний стандарт (по абсолютным коэффициентам)",
        "Простая нормировка",
        "Нормализация с абсолют. поправочными коэффициентами",
        "Нормализация с относит. поправочными коэффициентами",
        "Внешний стандарт",
        "Абсолютная градуировка по одному компоненту + относит. поправочные коэффициенты",
    };
    return kind >= 0 && kind < kCalculationKinds ? kNames[kind] : "?";
}

const char* reportSectionName(int section) {
    static const char* const kNames[kReportSections] = {
        "Колонка",
        "Комментарий",
        "Общая информация",
        "Элюент/Температуры",
        "Методика",
        "Хроматограмма",
        "Реагент/Газы",
        "Проба",
        "Таблица компонентов",
    };
    return section >= 0 && section < kReportSections ? kNames[section] : "?";
}

}  // namespace zelmora
