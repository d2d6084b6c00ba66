#include "processing/quantitation.h"

#include <cmath>

#include "app/text.h"
#include "app/work_log.h"

namespace zelmora {
namespace {

constexpr const char* kCurveCaptions[kCurveTypes] = {
    "Y=k1*X",
    "Y=k1*X + k0",
    "Y=k2*X^2 + k1*X",
    "Y=k2*X^2 + k1*X + k0",
    "Y=k3*X^3 + k2*X^2 + k1*X",
    "Y=k3*X^3 + k2*X^2 + k1*X + k0",
    "Y=k1/X",
    "Y=k1 / X + k0",
    "Y=k2 / (X^2) + k1 / X",
    "Y=k2 / (X^2) + k1 / X + k0",
    "Y=k3 / (X^3) + k2 / (X^2) + k1 / X",
    "Y=k3 / (X^3) + k2 / (X^2) + k1 / X + k0",
    "ln(Y)=k1*X",
    "ln(Y)=k1*ln(X) + k0",
    "ln(Y)=k2*ln(X)^2 + k1*ln(X)",
    "ln(Y)=k2*ln(X)^2 + k1*ln(X) + k0",
    "ln(Y)=k3*ln(X)^3 + k2*ln(X)^2 + k1*ln(X)",
    "ln(Y)=k3*ln(X)^3 + k2*ln(X)^2 + k1*ln(X) + k0",
};

double cubic(const MethodComponent& c, double u) {
    return c.k0 + u * (c.k1 + u * (c.k2 + u * c.k3));
}

double responseOf(const CalculationSettings& s, double height, double area) {
    return s.response == 1 ? area : height;
}

bool usesStandardFallback(int kind) {
    return kind == kInternalStandardClassic || kind == kInternalStandardAbsolute ||
           kind == kNormalisationRelative;
}

void setAllConcentrations(PeakTable& table, double value) {
    for (Peak& p : table.peaks)
        p.concentration = value;
}

Status notComputed(PeakTable& table, std::string message) {
    // Values left from an earlier calculation would look computed.
    setAllConcentrations(table, 0);
    CWorkLog::instance().write("? " + message);
    return Status::failure(std::move(message));
}

void thermalConductivity(PeakTable& table, const CalculationSettings& s) {
    const MethodComponent* nitrogen = findComponent(s, "Азот");
    const double kN = nitrogen != nullptr ? nitrogen->k1 : 0;
    static constexpr std::pair<const char*, double> kFactors[] = {
        {"Азот", 1.0}, {"Водород", 0.091}, {"Кислород", 0.9}, {"Метан", 0.37}};
    for (Peak& p : table.peaks) {
        p.concentration = 0;
        for (const auto& [gas, f] : kFactors)
            if (text::equalsNoCase(p.componentName, gas))
                p.concentration = kN * f * p.area;
    }
}

void mainByDifference(PeakTable& table, const CalculationSettings& s, double d) {
    Peak* main = nullptr;
    double others = 0;
    for (Peak& p : table.peaks) {
        if (main == nullptr && p.identified() &&
            text::equalsNoCase(p.componentName, s.mainSubstance))
            main = &p;
        else
            others += p.concentration;
    }
    if (main != nullptr) {
        main->concentration = d - others;
        return;
    }
    Peak added;
    added.componentName = s.mainSubstance;
    added.concentration = d - others;
    added.ownIndex = static_cast<std::int32_t>(table.size());
    table.peaks.push_back(std::move(added));
}

}  // namespace

const char* curveTypeCaption(int curveType) {
    if (curveType < 0 || curveType >= kCurveTypes)
        return "";
    return kCurveCaptions[curveType];
}

const char* calculationKindReportName(int kind) {
    switch (kind) {
        case 0:
            return "абсолютная градуировка (классическая)";
        case 1:
            return "абсолютная градуировка (метод наименьших квадратов)";
        case 2:
            return "внутренний стандарт (слассический)";
        case 3:
            return "внутренний стандарт (по абсолютным коэффициентам)";
        case 4:
            return "внутренняя нормализация";
        case 5:
            return "нормализация с абсолютными поправочными коеффициентами";
        case 6:
            return "нормализация с относительными поправочными коеффициентами";
        default:
            return "неизвестен";
    }
}

const char* responseReportName(int response) {
    return response == 1 ? "площадь" : "высота";
}

PassportLabels passportLabels(int kind, int extraKind, bool calibration) {
    PassportLabels l;
    if (kind == 0 || kind == 1) {
        l.sampleAmount = "Объем";
        l.standardAmount = "Разведение";
        if (extraKind == 1)
            l.norm = "Кол-во спирта в пробе";
    } else if (kind == 2 || kind == 3) {
        if (!calibration) {
            l.sampleAmount = "Масса пробы";
            l.standardAmount = "Масса стандарта";
        }
    } else if (kind == 4 || kind == 5 || kind == 6 || kind == 8) {
        l.norm = "Норма";
    }
    return l;
}

const MethodComponent* findComponent(const CalculationSettings& settings, std::string_view name) {
    if (name.empty())
        return nullptr;
    for (const MethodComponent& c : settings.components)
        if (text::equalsNoCase(c.name, name))
            return &c;
    return nullptr;
}

MethodComponent* findComponent(CalculationSettings& settings, std::string_view name) {
    return const_cast<MethodComponent*>(
        findComponent(static_cast<const CalculationSettings&>(settings), name));
}

double EvaluateCurve(const MethodComponent& c, double x) {
    if (c.curveType < 0 || c.curveType >= kCurveTypes)
        return 0;
    double y = 0;
    switch (c.curveType / 6) {
        case 0:
            y = cubic(c, x);
            break;
        case 1:
            if (x == 0)
                return 0;
            y = cubic(c, 1.0 / x);
            break;
        case 2:
            if (!(x > 0))
                return 0;  // ln X has no value
            y = std::exp(cubic(c, std::log(x)));
            break;
        default:
            return 0;
    }
    return std::isfinite(y) ? y : 0;
}

double Response(const CalculationSettings& settings, std::string_view name, double height,
                double area) {
    const MethodComponent* c = findComponent(settings, name);
    if (c == nullptr && usesStandardFallback(settings.kind) && !settings.standard.empty())
        c = findComponent(settings, settings.standard);
    if (c == nullptr)
        return 0;
    return EvaluateCurve(*c, responseOf(settings, height, area));
}

Status CalculateConcentrations(PeakTable& table, const Method& method, const Passport& passport) {
    const CalculationSettings& s = method.calculation;
    const double v = passport.sampleAmount, d = passport.standardAmount, n = passport.norm;
    double a = n / 100.0;
    if (a < 1e-50)
        a = 1;
    Status result;

    switch (s.kind) {
        case kAbsoluteClassic:
        case kAbsoluteLeastSquares:
            if (method.extra.kind == 2) {
                thermalConductivity(table, s);
                break;
            }
            for (Peak& p : table.peaks) {
                const double q = Response(s, p.componentName, p.height, p.area);
                const double c = v > 1e-50 ? q / v * d : 0;
                p.concentration = c / a;
            }
            break;
        case kInternalStandardClassic:
        case kInternalStandardAbsolute: {
            Peak* standard = nullptr;
            for (Peak& p : table.peaks)
                if (p.identified() && text::equalsNoCase(p.componentName, s.standard)) {
                    standard = &p;
                    break;
                }
            double cs = 0, qs = 0;
            if (standard != nullptr) {
                cs = v != 0 ? d / v * 100.0 : 0;
                qs = Response(s, s.standard, standard->height, standard->area);
                standard->concentration = cs;
            }
            for (Peak& p : table.peaks) {
                if (&p == standard)
                    continue;
                if (standard == nullptr || qs < 1e-50) {
                    p.concentration = 0;
                    continue;
                }
                double q = Response(s, p.componentName, p.height, p.area);
                if (q < 1e-50)
                    q = Response(s, s.standard, p.height, p.area);
                p.concentration = cs * q / qs;
            }
            break;
        }
        case kSimpleNormalisation:
        case kNormalisationAbsolute:
        case kNormalisationRelative: {
            std::vector<double> x(table.size());
            double sum = 0;
            for (std::size_t i = 0; i < table.size(); ++i) {
                const Peak& p = table.peaks[i];
                x[i] = responseOf(s, p.height, p.area);
                if (s.kind != kSimpleNormalisation) {
                    const MethodComponent* c = findComponent(s, p.componentName);
                    if (c == nullptr && s.kind == kNormalisationRelative)
                        c = findComponent(s, s.standard);
                    x[i] = c != nullptr ? x[i] * c->k1 : 0;
                }
                sum += x[i];
            }
            const double f = sum != 0 ? n / sum : 1;
            for (std::size_t i = 0; i < table.size(); ++i)
                table.peaks[i].concentration = x[i] * f;
            break;
        }
        case kExternalStandard: {
            const MethodComponent* st = findComponent(s, s.standard);
            if (st == nullptr) {
                result = notComputed(
                    table, "Концентрации не вычислены: в методе нет стандартного компонента \"" +
                               s.standard + "\"");
                break;
            }
            for (Peak& p : table.peaks) {
                double q = Response(s, p.componentName, p.height, p.area);
                if (!text::equalsNoCase(p.componentName, s.standard))
                    q *= st->k1;
                p.concentration = q;
            }
            break;
        }
        default:
            result = notComputed(table, text::format("Концентрации не вычислены: метод расчёта "
                                                     "%d не вычисляет концентраций",
                                                     s.kind));
            break;
    }

    if (s.mainByDifference && !s.mainSubstance.empty())
        mainByDifference(table, s, d);
    return result;
}

int componentGroupOf(const std::vector<ComponentGroup>& groups, std::string_view component) {
    if (component.empty())
        return -1;
    int group = -1;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        if (i == 0 || groups[i].group != groups[i - 1].group)
            ++group;
        if (text::equalsNoCase(groups[i].component, component))
            return group;
    }
    return -1;
}

std::vector<ComponentGroupTotal> componentGroupTotals(const std::vector<ComponentGroup>& groups,
                                                      const PeakTable& table) {
    std::vector<ComponentGroupTotal> totals;
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (i == 0 || groups[i].group != groups[i - 1].group)
            totals.push_back({groups[i].group});
    for (const Peak& p : table.peaks) {
        const int g = componentGroupOf(groups, p.componentName);
        if (g < 0)
            continue;
        ComponentGroupTotal& t = totals[static_cast<std::size_t>(g)];
        ++t.peaks;
        t.height += p.height;
        t.area += p.area;
        t.concentration += p.concentration;
    }
    return totals;
}

}  // namespace zelmora
