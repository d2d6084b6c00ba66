#pragma once
// The rules of the database windows as core operations: the catalogue of
// stations, points, components and critical values, editing one analysis
// and its results, and the check of a passport's station and point against
// the catalogue. The windows only show what these return and ask what they
// are told to ask.
//
// Names match exactly, without regard to case: "ГРС-1" is the station
// "грс-1", and "ГРС" is not a station just because "ГРС-1" begins with it.

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/recordsets.h"
#include "database/sqlite_db.h"

namespace zelmora::db {

// Text limits of the editing dialogs, in characters.
inline constexpr std::size_t kStationMaxChars = 50;
inline constexpr std::size_t kPlaceMaxChars = 30;
inline constexpr std::size_t kMethodMaxChars = 30;
inline constexpr std::size_t kSampleMaxChars = 200;
inline constexpr std::size_t kOperatorMaxChars = 20;
inline constexpr std::size_t kParametrMaxChars = 30;
inline constexpr std::size_t kQuantMaxChars = 10;

// Number of characters (code points) of a UTF-8 text.
std::size_t charCount(std::string_view utf8);

// --- catalogue

// Adds a station, a point of a station or a component, only when the name is
// not empty, within its limit and matches no existing one; the new key.
Result<int> addStation(Connection& db, std::string_view name);
Result<int> addPlace(Connection& db, int keyStation, std::string_view name);
Result<int> addParametr(Connection& db, std::string_view name, std::string_view quant,
                        double defValue);

// Key of the station named so (ignoring case), of a point of a station, of a
// component; nullopt when there is none.
Result<std::optional<int>> stationKey(Connection& db, std::string_view name);
Result<std::optional<int>> placeKey(Connection& db, int keyStation, std::string_view name);
Result<std::optional<int>> parametrKey(Connection& db, std::string_view name);

// Puts components under control at a point with their default critical
// values ("+  Параметр"); components already controlled are left as they are.
Status controlComponents(Connection& db, int keyPlace, const std::vector<int>& keyParametres);

// A number typed into a results or critical-value cell: a whole double, with
// a comma or a point as the decimal separator; nullopt for anything else.
std::optional<double> parseTypedValue(std::string_view typed);

// How the value cell of a result is shaded against the component's critical
// value at the point: red over the whole cell at or above it, otherwise a
// cyan bar of value * 100 / critical per cent; nothing without a critical
// value (|critical| <= 1e-50).
struct CellShade {
    enum class Kind { None, Red, Cyan } kind = Kind::None;
    int percent = 0;
    bool operator==(const CellShade&) const = default;
};
CellShade shadeForCriticalValue(std::optional<double> value, std::optional<double> critical);

// --- one analysis

// The fields of the analysis dialog.
struct AnalysisFields {
    std::string station;
    std::string place;
    std::optional<std::time_t> date;
    std::string method;
    std::string sample;
    std::string operatorName;
};

// Writes the fields into the analysis (an empty station or point as "-нет-"),
// only when one of them changed; true when the row was written.
Result<bool> applyAnalysisFields(Connection& db, int keyAnalys, const AnalysisFields& fields);

// "Новый анализ": an empty row written at once; its key.
Result<int> newEmptyAnalysis(Connection& db);
// "&Новый" of the found-analyses window: a row with station, point, method
// and operator taken from the search criteria.
Result<int> newAnalysisFrom(Connection& db, const AnalysisFields& criteria);

// True for an analysis with nothing in it: station and point missing ("-нет-"
// or empty), no operator, method, sample, comment or file name, no results.
bool isEmptyAnalysis(const AnalysisRow& row, std::size_t resultCount);
// Closing the analysis dialog: deletes the analysis when it was just made by
// "Новый анализ" (`createdEmpty`) and is still empty. True when deleted.
Result<bool> closeAnalysis(Connection& db, int keyAnalys, bool createdEmpty);

// Deletes analyses (their results go with them); the chromatogram file names
// of the deleted ones, for the question whether to delete the files too.
// Every key is tried; the failures are listed with their messages.
struct DeleteOutcome {
    std::vector<std::string> fileNames;
    std::vector<std::string> errors;
};
DeleteOutcome deleteAnalyses(Connection& db, const std::vector<int>& keys);
// Deletes chromatogram files; the failures with the system's message.
std::vector<std::string> deleteChromatogramFiles(const std::vector<std::string>& files);

// Results of the analysis dialog: a typed value for a component (false with
// no change when the text is not a number), components added with an empty
// value, and rows removed.
Result<bool> setTypedResult(Connection& db, int keyAnalys, std::string_view parametr,
                            std::string_view typed);
Status addEmptyResults(Connection& db, int keyAnalys, const std::vector<std::string>& names);
Status removeResults(Connection& db, int keyAnalys, const std::vector<std::string>& names);

// --- passport check

enum class Answer { Yes, No, Cancel };
// Asks the operator a yes/no/cancel question with the given text.
using AskYesNoCancel = std::function<Answer(const std::string& text)>;

struct PassportPlaceCheck {
    bool keepDialogOpen = false;  // the operator cancelled
    bool stationAdded = false;
    bool placeAdded = false;
};
// When the passport dialog takes its data over: a station the catalogue does
// not know is offered for adding (string 195), then a point the station does
// not know (string 196). Empty names add nothing; "no" to the station skips
// the point.
Result<PassportPlaceCheck> checkPassportPlace(Connection& db, std::string_view station,
                                              std::string_view place, const AskYesNoCancel& ask);

// Strings 195 and 196.
std::string unknownStationQuestion(std::string_view station);
std::string unknownPlaceQuestion(std::string_view place, std::string_view station);

}  // namespace zelmora::db
