#pragma once
// The passport of a chromatogram: what the sample was, where and when it was
// taken, and how it was analysed (operator, method, column, eluent and reagent
// or, for a gas chromatograph, the gas and temperature parameters). Dates are
// calendar date-times in whole seconds (stored as seconds since 1970) and are
// shown in local time.

#include <cstdint>
#include <ctime>
#include <string>

namespace zelmora {

struct Passport {
    static constexpr std::size_t kPlaceMaxChars = 50;
    static constexpr std::size_t kPointMaxChars = 30;
    // A dead time of -1 marks the passport of a gas chromatograph.
    static constexpr double kGasDeadTime = -1.0;

    std::string sample;         // "ПРОБА:", first line
    std::string sample2;        // second line of the sample description
    double sampleAmount = 1.0;  // "Масса пробы" (printed as "Объём")
    double standardAmount = 1.0;  // "Масса стандарта" (printed as "Разведение")
    double norm = 100.0;          // "Норма:"
    std::time_t samplingTime = 0;      // "Дата и время отбора"
    std::string place;                 // "Пункт отбора", at most kPlaceMaxChars
    std::string point;                 // "Точка отбора", at most kPointMaxChars
    std::string method;                // method file name without folder and extension
    double duration = 0;               // "Продолж.", min
    std::int32_t calibration = 0;      // "Градуировочная"
    std::int32_t vial = 1;             // "Виала"
    std::int32_t numberInSeries = -1;  // "Номер в серии"
    std::string operatorName;          // "Оператор"
    std::string detector;              // "Детектор"
    std::string column;                // "Колонка"
    std::int32_t columnNumber = 0;     // "Номер"
    double grain = 0;                  // "Зерно", µm
    double diameter = 0;               // "Диаметр", mm
    double length = 0;                 // "Длина", mm
    double deadTime = kGasDeadTime;    // "Тм", s
    std::string eluent;            // "ЭЛЮЕНТ:" ("Газовые параметры" for gas)
    double eluentFlow = 0;         // "Поток", µl/min
    double eluentPressure = 0;     // "Давление"
    double eluentTemperature = 0;  // "Темп."
    std::string reagent;  // "РЕАГЕНТ:" ("Температурные праметры" for gas)
    double reagentFlow = 0;
    double reagentPressure = 0;
    double reagentTemperature = 0;
    std::time_t analysisTime = 0;  // "Дата": start of the recording
    std::int32_t databaseKey = 0;  // "Номер БД": analysis row, 0 = not saved there
    std::string reserved;          // carried through the file, not shown
    std::string comment;           // "Комментарий"
    double noise = 0;              // "Шум", mV
    double drift = 0;              // "Дрейф", mV/h
    std::string file;              // path the passport was read from; never stored

    // Sampling time today at 00:00:00 local time, analysis time now.
    Passport();
    // The same with `now` as the current time (tests fix the clock).
    explicit Passport(std::time_t now);

    bool isGas() const { return deadTime == kGasDeadTime; }

    // Copies every field of `other` except the comment, as copying a passport
    // from one chromatogram to the next does.
    void assignExceptComment(const Passport& other);

    // The one-page text used for the clipboard and the reports (CR LF lines).
    std::string text() const;

    bool operator==(const Passport&) const = default;
};

// "%d.%m.%y   %H:%M" and "%d.%m.%y   %H:%M:%S" in local time, as the passport
// text shows the sampling and analysis times.
std::string formatLocalTime(std::time_t t, const char* strftimeFormat);

}  // namespace zelmora
