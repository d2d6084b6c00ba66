#pragma once
// The records of a chromatographic method: how long and how fast to record,
// how to filter the signal, how to mark peaks, which components to look for
// and how to compute their concentrations, what to print, which extra
// calculation to run, how components are grouped, and optionally the
// instrument settings to load into the chromatograph before a run.
//
// Plain value types: a `Method` can be copied as a whole, which is how a
// method file is read into a scratch copy and taken over only when the whole
// read succeeded. Defaults are those of a new method.

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "method/instrument_settings.h"

namespace zelmora {

struct MethodInfo {
    std::string description;  // "Краткое описание"
    std::string comment;      // "Комментарий"

    bool operator==(const MethodInfo&) const = default;
};

// Acquisition: the run time and point rate of a recording, the passport kind
// of its chromatograms, where they are saved and the recording display range.
struct CaptureSettings {
    float analysisTime = 30.0f;     // min, 0 to 3000
    float samplingRate = 20.0f;     // points per second, 0 to 200
    std::int32_t passportKind = 1;  // 0 "Жидкостный", 1 "Газовый"
    bool saveToFolder = false;  // "Сохранять хроматограммы в каталог"
    std::string folder = "C:\\";
    bool fixedBounds = false;  // "Фикс. границы" of the recording display
    float displayMaximum = 0;  // mV
    float displayMinimum = 0;  // mV

    bool operator==(const CaptureSettings&) const = default;
};

struct FilterSettings {
    // 0 "Нет", 1 "Медианный", 2 "Выбросы", 3 "Гауссовский", 4 "ФНЧ", 5 "ФСП"
    std::int32_t kind = 0;
    float threshold = 0.1f;  // 0 to 10, used with kind 2 only
    float window = 1.0f;     // seconds, 0 to 600

    bool operator==(const FilterSettings&) const = default;
};

// One entry of the marking timetable: from `time` on, the event of `kind`
// changes the marking (forbids or allows it, merges peaks, or sets one of the
// marking parameters to `value` for kinds 4 to 10).
struct PeakEvent {
    std::int32_t kind = 0;
    double time = 0;  // min
    double value = 0;
    std::uint8_t flag = 0;  // 1 for an event that carries a value

    bool operator==(const PeakEvent&) const = default;
};

// The parameters of automatic peak marking, all single precision as stored.
struct MarkingParameters {
    float MaxWidth = 5.0f;
    float Width = 0.1f;
    float WidthDoublingTime = 0;
    float MinHeight = 0.01f;
    float MarkingStart = 0.1f;
    float MinArea = 0.01f;
    float MaxRiderArea = 0;
    float MaxCommonBaselineDistance = 0;
    std::vector<PeakEvent> events;  // in the order they were entered

    bool operator==(const MarkingParameters&) const = default;
};

// One calibration level of one component: the peak measured in a
// calibration chromatogram of known amount.
struct CalibrationPoint {
    std::time_t dateTime = 0;  // of the calibration chromatogram
    double retentionTime = 0;
    double height = 0;
    double area = 0;
    double coefficient = 0;
    double amount = 0;          // "Количество"
    double retentionIndex = 0;  // of the level's peak

    bool operator==(const CalibrationPoint&) const = default;
};

// One row of the component table: where the component elutes and how its
// response is turned into an amount.
struct MethodComponent {
    std::string name;
    double retentionTime = 0;               // min
    double window = 5.0;                    // identification window, percent of the retention time
    double k0 = 0, k1 = 0, k2 = 0, k3 = 0;  // calibration curve coefficients
    std::int32_t curveType = 0;             // calibration curve form 0 to 17
    double standardFactor = 1.0;  // internal standard's response coefficient k1 was divided by
    bool manual = false;          // coefficients entered by hand
    bool reference = false;       // a reference peak for identification
    double retentionIndex = 100.0;
    std::vector<CalibrationPoint> points;

    bool operator==(const MethodComponent&) const = default;
};

inline constexpr int kCalculationKinds = 9;
// Captions of the calculation kinds, by index.
const char* calculationKindName(int kind);

struct CalculationSettings {
    std::int32_t kind = 0;                     // "Метод расчёта", 0 to 8
    std::int32_t response = 0;                 // 0 "Высота", 1 "Площадь"
    std::string standard;                      // internal-standard component
    std::int32_t referenceIdentification = 0;  // 0 height, 1 area, 2 time, 3 number
    bool mainByDifference = false;             // main substance as 100 - impurities
    std::string mainSubstance;
    std::int32_t identification = 0;  // 0 time, 1 linear indices, 2 logarithmic indices
    double deadTime = 0;              // "Тм"
    std::vector<MethodComponent> components;

    bool operator==(const CalculationSettings&) const = default;
};

inline constexpr int kReportSections = 9;
// "Колонка", "Комментарий", ... "Таблица компонентов", by index.
const char* reportSectionName(int section);

struct ReportSettings {
    std::array<bool, kReportSections> sections{true, true, true, true, true,
                                               true, true, true, true};
    std::int32_t chartSize = 0;  // 0 "6 x 8 см", 1 "9 x 12 см", 2 "13.5 x 18 см"
    bool labelNumber = false;
    bool labelName = true;
    bool labelTime = false;
    bool groups = false;
    bool calibration = false;
    bool autoGenerate = false;
    bool autoPrint = false;
    bool autoExport = false;
    std::int32_t orientation = 1;  // 0 "Горизонтально", 1 "Вертикально"
    // Component names, each with "print this component's calibration".
    std::vector<std::pair<std::string, bool>> calibrationComponents;

    bool operator==(const ReportSettings&) const = default;
};

struct ExtraCalculation {
    // 0 none, 1 alcohols, 2 thermal-conductivity correction factors
    std::int32_t kind = 0;

    bool operator==(const ExtraCalculation&) const = default;
};

struct ComponentGroup {
    std::string component;
    std::string group;  // "В группу"

    bool operator==(const ComponentGroup&) const = default;
};

// The whole content of a method file. Whether the method carries instrument
// or detector settings is decided only by the presence of those blocks.
struct Method {
    MethodInfo info;
    CaptureSettings capture;
    FilterSettings filter;
    MarkingParameters marking;
    CalculationSettings calculation;
    ReportSettings report;
    ExtraCalculation extra;
    std::vector<ComponentGroup> groups;
    std::optional<MethodKalderSettings> kalder;
    std::optional<MethodEhdSettings> ehd;

    bool operator==(const Method&) const = default;
};

}  // namespace zelmora
