#include "method/method_editing.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <system_error>

#include "app/program_settings.h"
#include "app/text.h"
#include "app/trash.h"
#include "app/work_log.h"
#include "method/method_file.h"
#include "method/method_sheet.h"

namespace zelmora {

namespace fs = std::filesystem;

namespace {
// No method file comes near this; the chooser does not read a larger one.
constexpr std::uintmax_t kMaxDescribedFileSize = 256u << 20;
}  // namespace

MethodSaveRule methodSaveRule(int accessLevel) {
    if (accessLevel <= 0)
        return MethodSaveRule::Refused;
    return accessLevel == 1 ? MethodSaveRule::Ask : MethodSaveRule::Save;
}

MethodSaveRule methodDeleteRule(int accessLevel) {
    return methodSaveRule(accessLevel);
}

void sortComponentsByTime(CalculationSettings& settings) {
    std::stable_sort(settings.components.begin(), settings.components.end(),
                     [](const MethodComponent& a, const MethodComponent& b) {
                         return a.retentionTime < b.retentionTime;
                     });
}

std::optional<double> parseTableNumber(std::string_view text) {
    const std::optional<double> v = text::parseDouble(text, true);
    if (!v)
        return std::nullopt;
    return std::abs(*v);
}

std::size_t addComponent(CalculationSettings& settings) {
    MethodComponent added;
    if (!settings.components.empty())
        for (const CalibrationPoint& p : settings.components.front().points) {
            CalibrationPoint empty;
            empty.dateTime = p.dateTime;
            added.points.push_back(empty);
        }
    settings.components.push_back(std::move(added));
    return settings.components.size() - 1;
}

bool renameComponent(CalculationSettings& settings, std::size_t index, std::string_view name) {
    if (index >= settings.components.size() || text::trim(name).empty())
        return false;
    for (std::size_t i = 0; i < settings.components.size(); ++i)
        if (i != index && text::equalsNoCase(settings.components[i].name, name))
            return false;
    MethodComponent& c = settings.components[index];
    // The standard and the main substance follow their component's new name.
    if (!c.name.empty() && settings.standard == c.name)
        settings.standard = std::string(name);
    c.name = std::string(name);
    return true;
}

bool deleteComponent(CalculationSettings& settings, std::size_t index,
                     const std::string& methodName) {
    if (index >= settings.components.size())
        return false;
    CWorkLog::instance().write(methodName.empty()
                                   ? std::string("~ Оператор удалил компонент из метода")
                                   : "~ Оператор удалил компонент из метода " + methodName);
    settings.components.erase(settings.components.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

bool deleteAllComponents(CalculationSettings& settings, const std::string& methodName) {
    if (settings.components.empty())
        return false;
    CWorkLog::instance().write(methodName.empty()
                                   ? std::string("~ Оператор удалил все компоненты из метода")
                                   : "~ Оператор удалил все компоненты из метода " + methodName);
    settings.components.clear();
    return true;
}

bool hasReferenceComponent(const CalculationSettings& settings) {
    return std::any_of(settings.components.begin(), settings.components.end(),
                       [](const MethodComponent& c) { return c.reference; });
}

bool usesStandard(int kind) {
    return kind == 2 || kind == 3 || kind == 6 || kind == 7;
}

bool calibrationApplies(int kind) {
    return kind != 4;
}

bool usesCurveForms(int kind) {
    return kind == 1 || kind == 3;
}

void rebuildCalibrationComponents(ReportSettings& report, const CalculationSettings& settings) {
    std::vector<std::pair<std::string, bool>> rebuilt;
    rebuilt.reserve(settings.components.size());
    for (const MethodComponent& c : settings.components) {
        bool flag = false;
        for (const auto& [name, printed] : report.calibrationComponents)
            if (name == c.name) {
                flag = printed;
                break;
            }
        rebuilt.emplace_back(c.name, flag);
    }
    report.calibrationComponents = std::move(rebuilt);
}

bool addGroupPair(std::vector<ComponentGroup>& groups, std::string_view component,
                  std::string_view group) {
    if (component.empty() || group.empty())
        return false;
    for (const ComponentGroup& g : groups)
        if (g.component == component)
            return false;
    auto at = groups.end();
    for (auto it = groups.begin(); it != groups.end(); ++it)
        if (it->group == group)
            at = it + 1;
    groups.insert(at, ComponentGroup{std::string(component), std::string(group)});
    return true;
}

std::vector<std::string> groupNames(const std::vector<ComponentGroup>& groups) {
    std::vector<std::string> names;
    for (const ComponentGroup& g : groups)
        if (std::find(names.begin(), names.end(), g.group) == names.end())
            names.push_back(g.group);
    return names;
}

MethodFileSummary describeMethodFile(const fs::path& file) {
    MethodFileSummary summary;
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec) {
        summary.error = "файл не найден";
        return summary;
    }
    if (size > kMaxDescribedFileSize) {
        summary.error = "файл слишком большой";
        return summary;
    }
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in || in.bad()) {
        summary.error = "файл не читается";
        return summary;
    }
    Method method;
    const Result<int> read = readMethodFile(bytes.str(), method);
    if (!read) {
        summary.error = read.message();
        return summary;
    }
    summary.readable = true;
    summary.description = method.info.description;
    summary.kalder = method.kalder.has_value();
    summary.ehd = method.ehd.has_value();
    return summary;
}

std::vector<std::string> methodNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const std::string& file : methodFiles(folder))
        names.push_back(file.substr(0, file.size() - 4));
    return names;
}

fs::path methodFileIn(const fs::path& folder, const std::string& name) {
    const fs::path exact = folder / (name + ".mtd");
    std::error_code ec;
    if (fs::is_regular_file(exact, ec))
        return exact;
    // The listing matches the extension without regard to case.
    for (const std::string& f : methodFiles(folder))
        if (f.substr(0, f.size() - 4) == name)
            return folder / f;
    return exact;
}

Result<fs::path> deleteMethodFile(const fs::path& folder, const std::string& name) {
    if (!isValidMethodName(name))
        return Status::failure("Недопустимое имя метода \"" + name + "\"");
    const fs::path file = methodFileIn(folder, name);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        return Status::failure("Файл метода \"" + file.string() + "\" не найден.");
    Result<fs::path> moved = moveToTrash(file);
    if (!moved)
        return Status::failure("Метод \"" + name + "\" не удалён: " + moved.message());
    CWorkLog::instance().write("~ Оператор удалил метод " + name);
    return moved;
}

}  // namespace zelmora
