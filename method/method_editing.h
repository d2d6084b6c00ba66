#pragma once
// What the method editor does to a method, apart from its windows: the
// saving rule of each access level, the edits of the component table, the
// report's list of calibration components, the pairs of the groups page,
// and what the method chooser says about a method file before it is opened.
//
// The component table keeps the calibration levels aligned: a component
// added by hand gets as many empty levels as the first component has, with
// the same date-times, so level i of every component still comes from the
// same calibration chromatogram.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/result.h"
#include "method/method_records.h"

namespace zelmora {

// How the method sheet was closed: saved with OK, cancelled with nothing
// saved, or closed after "Записать как" saved the method under a new name.
// Callers reload methods in open chromatograms after Ok and SavedAs.
enum class MethodSheetResult { Ok = 1, Cancelled = 2, SavedAs = 12321 };

// What OK does at an access level: level 0 ("Начинающий") may not save,
// level 1 ("Опытный") is asked "Сохранить метод?", higher levels save.
// "Записать как" follows the same gate: it is refused where OK is.
enum class MethodSaveRule { Refused, Ask, Save };
MethodSaveRule methodSaveRule(int accessLevel);
// Deleting a method file from the chooser: the same three answers.
MethodSaveRule methodDeleteRule(int accessLevel);

inline constexpr const char* kBeginnerMaySaveNot =
    "Ваш уровень доступа \"Начинающий\" не позволяет вам сохранять метод";
inline constexpr const char* kAskSaveMethod = "Сохранить метод?";
inline constexpr const char* kBeginnerMayDeleteNot =
    "Ваш уровень доступа \"Начинающий\" не позволяет вам удалять методы";
inline constexpr const char* kAskDeleteMethod = "Вы действительно хотите удалить метод?";

// --- the component table of the "Расчёт" page

// Components in ascending retention time; equal times keep their order.
void sortComponentsByTime(CalculationSettings& settings);

// A number typed into "Время, мин", "Окно", "Индекс" or a level's cell: its
// absolute value, or nothing for a text that is not a finite number.
std::optional<double> parseTableNumber(std::string_view text);

// Appends a component with the defaults of a new one and the method's empty
// levels; returns its index.
std::size_t addComponent(CalculationSettings& settings);

// Gives component `index` the name `name`. Refused (false, nothing changed)
// for an empty name and for the name of another component compared without
// regard to letter case.
bool renameComponent(CalculationSettings& settings, std::size_t index, std::string_view name);

// Removes one component, or all, writing the operator's line into the work
// log ("~ Оператор удалил компонент из метода <name>"). False when there was
// nothing to remove.
bool deleteComponent(CalculationSettings& settings, std::size_t index,
                     const std::string& methodName);
bool deleteAllComponents(CalculationSettings& settings, const std::string& methodName);

// Whether "Идентификация реперных по" applies: some component is a reference.
bool hasReferenceComponent(const CalculationSettings& settings);
// Whether "Стандарт" applies: the internal-standard kinds 2, 3, 6 and 7.
bool usesStandard(int calculationKind);
// Whether "&Калибровка" applies: every kind but 4 "Простая нормировка".
bool calibrationApplies(int calculationKind);
// Whether the least-squares curve forms apply (kinds 1 and 3).
bool usesCurveForms(int calculationKind);

// --- the report and groups pages

// The calibration section's list rebuilt from the method's components: a
// name already listed keeps its flag, a new one starts unflagged, names no
// longer in the method disappear.
void rebuildCalibrationComponents(ReportSettings& report, const CalculationSettings& settings);

// Adds the pair (component, group) right after the last pair of that group,
// or at the end. False (nothing added) when either text is empty or the
// component has a pair already.
bool addGroupPair(std::vector<ComponentGroup>& groups, std::string_view component,
                  std::string_view group);
// The group names in the order of their first pair.
std::vector<std::string> groupNames(const std::vector<ComponentGroup>& groups);

// --- the method chooser

// What the chooser shows about one method file: its description and which
// instrument settings it carries, or that it cannot be read (and why).
struct MethodFileSummary {
    bool readable = false;
    std::string description;
    bool kalder = false;  // GC instrument settings
    bool ehd = false;     // electrochemical-detector settings
    std::string error;    // why the file cannot be read
};
MethodFileSummary describeMethodFile(const std::filesystem::path& file);

// The method names (file titles of "*.mtd", folders excluded) of a folder.
std::vector<std::string> methodNames(const std::filesystem::path& folder);
// The file of method `name` in `folder`: "<name>.mtd", or the file of that
// title whose extension is written in other letters' case.
std::filesystem::path methodFileIn(const std::filesystem::path& folder, const std::string& name);

// Moves the method file `name` of `folder` into the desktop's trash, from
// where it can be restored, and writes "~ Оператор удалил метод <name>" into
// the work log. Where it is now.
Result<std::filesystem::path> deleteMethodFile(const std::filesystem::path& folder,
                                               const std::string& name);

}  // namespace zelmora
