#include "instruments/kalder_gas.h"

#include <cmath>

#include "instruments/kalder_modules.h"

namespace zelmora {

namespace {

constexpr double kDynPerAtm = 1013000.0;
constexpr double kLowPressure = 0.00001;
constexpr double kHighPressure = 10.0;
constexpr double kBisectionWidth = 0.00001;

}  // namespace

const char* gasModeName(int mode) {
    static const char* const kNames[kGasModes] = {"Постоянный расход",
                                                  "Постоянное давление",
                                                  "Постоянная скорость КК",
                                                  "Программируемый расход",
                                                  "Программируемое давление",
                                                  "Программируемая скорость КК",
                                                  "При поджиге *2 плюс добавка",
                                                  "При поджиге *3 плюс добавка",
                                                  "При поджиге +20 плюс добавка",
                                                  "При поджиге +40 плюс добавка",
                                                  "При поджиге уменьшать до 10",
                                                  "При поджиге выключать"};
    return mode >= 0 && mode < kGasModes ? kNames[mode] : "";
}

const char* gasModeUnit(int mode) {
    switch (mode) {
        case 1:
        case 4:
            return "кгс/см2";
        case 2:
        case 5:
            return "см/сек";
        default:
            return "см3/мин";
    }
}

bool gasModeRegulatesPressure(int mode) {
    return mode == 1 || mode == 2 || mode == 4 || mode == 5;
}

double gasViscosity(int gasType, double t) {
    auto q = [t](double a, double b, double c) { return a * t * t + b * t + c; };
    switch (gasType) {
        case 0:
            return q(2.104571e-12, 3.551964e-7, 0.0001769092);
        case 1:
            return q(-1.781065e-11, 4.398034e-7, 0.0001881758);
        case 2:
            return q(1.187168e-11, 3.495463e-7, 0.0001776878);
        case 3:
            return q(1.958458e-11, 1.809187e-7, 0.00009543821);
        case 4:
            return 1.031 * q(2.104571e-12, 3.551964e-7, 0.0001769092);
        default:
            return 1.0;
    }
}

double linearVelocity(double p, double lengthM, double diameterMm, double eta) {
    // At or below atmospheric inlet pressure nothing flows; the formula
    // would be 0/0 at exactly 0.
    if (!(p > 0) || !(lengthM > 0) || !(diameterMm > 0) || !(eta > 0))
        return 0.0;
    const double pi = (p + 1.0) * kDynPerAtm;
    const double po = kDynPerAtm;
    const double r = diameterMm / 20.0;
    const double l = lengthM * 100.0;
    const double d2 = pi * pi - po * po;
    return 3.0 * r * r * d2 * d2 / (32.0 * eta * l * (pi * pi * pi - po * po * po));
}

std::optional<double> pressureForVelocity(double v, double lengthM, double diameterMm, double eta) {
    double lo = kLowPressure;
    double hi = kHighPressure;
    double flo = linearVelocity(lo, lengthM, diameterMm, eta) - v;
    const double fhi = linearVelocity(hi, lengthM, diameterMm, eta) - v;
    if ((flo < 0) == (fhi < 0))
        return std::nullopt;
    while (hi - lo > kBisectionWidth) {
        const double mid = (lo + hi) / 2.0;
        const double fmid = linearVelocity(mid, lengthM, diameterMm, eta) - v;
        if ((fmid < 0) == (flo < 0)) {
            lo = mid;
            flo = fmid;
        } else {
            hi = mid;
        }
    }
    return (lo + hi) / 2.0;
}

double GasProgramme::valueAt(double x) const {
    auto towards = [](double from, double to, double step) {
        return to < from ? from - step : from + step;
    };
    if (v12 == 0 || x < t1)
        return p1;
    const double h = std::fabs((p2 - p1) / v12);
    if (x < t1 + h)
        return towards(p1, p2, (x - t1) * std::fabs(v12));
    if (v23 == 0 || x < t1 + h + t2)
        return p2;
    const double k = std::fabs((p3 - p2) / v23);
    if (x < t1 + h + t2 + k)
        return towards(p2, p3, (x - t1 - h - t2) * std::fabs(v23));
    return p3;
}

CGasChannel::CGasChannel(int number, std::uint8_t moduleAddress, CParamQueue* queue)
    : number_(number), address_(moduleAddress) {
    const std::uint16_t second = (number & 1) ? 8192 : 0;
    auto reg = [&](std::uint16_t n, std::uint8_t priority) {
        const auto num = static_cast<std::uint16_t>(n + second);
        if (queue)
            return queue->registerParam(address_, num, priority, param_kind::kSetting);
        return std::make_shared<CInstrumentParam>(address_, num, priority, param_kind::kSetting);
    };
    flow_ = reg(kParamFlow, 53);
    gasType_ = reg(kParamGasType, 54);
    regulation_ = reg(kParamRegulation, 52);
    pressure_ = reg(kParamPressure, 51);
}

std::string CGasChannel::gasName() const {
    return kalder::gasTypeName(static_cast<std::uint32_t>(cfg_.gasType));
}

void CGasChannel::configure(const GasChannelConfig& c) {
    const bool wasIgnition = ignition_;
    cfg_ = c;
    setGasType(c.gasType);
    setGasMode(c.mode);
    // The flow set value is written in every mode that regulates flow and
    // kept for the others (ignition writes it).
    if (wasIgnition) {
        keptFlow_ = c.flowSet;
        setIgnitionOverride(true, attempt_);
    } else if (!gasModeRegulatesPressure(c.mode) && c.mode != 3) {
        writeFlow(c.flowSet);
    }
    if (c.mode == 1)
        writePressure(c.pressureSet);
    else if (c.mode == 2)
        writeVelocity(c.velocityTarget);
}

void CGasChannel::setGasMode(int mode) {
    cfg_.mode = mode >= 0 && mode < kGasModes ? mode : 0;
    regulation_->setFloat(gasModeRegulatesPressure(cfg_.mode) ? 1.0f : 0.0f);
}

void CGasChannel::setGasType(int type) {
    cfg_.gasType = type;
    gasType_->setFloat(static_cast<float>(type));
}

void CGasChannel::setTolerances(double flow, double pressure) {
    cfg_.flowTolerance = flow;
    cfg_.pressureTolerance = pressure;
}

void CGasChannel::setColumn(double lengthM, double diameterMm) {
    cfg_.columnLengthM = lengthM;
    cfg_.columnDiameterMm = diameterMm;
}

void CGasChannel::writeFlow(double v) {
    writtenFlow_ = v;
    flow_->setFloat(static_cast<float>(v));
}

void CGasChannel::writePressure(double p) {
    writtenPressure_ = p;
    pressure_->setFloat(static_cast<float>(p));
}

std::optional<double> CGasChannel::pressureFor(double v) const {
    return pressureForVelocity(v, cfg_.columnLengthM, cfg_.columnDiameterMm, viscosity());
}

void CGasChannel::writeVelocity(double v) {
    if (v == 0) {
        unreachable_ = false;
        return;
    }
    if (const auto p = pressureFor(v)) {
        unreachable_ = false;
        writePressure(*p);
    } else {
        // Keep the last good pressure: 0 would switch the carrier off.
        unreachable_ = true;
    }
}

void CGasChannel::setGasValue(double x) {
    switch (cfg_.mode) {
        case 1:
            cfg_.pressureSet = x;
            writePressure(x);
            break;
        case 2:
            cfg_.velocityTarget = x;
            writeVelocity(x);
            break;
        case 3:
        case 4:
        case 5:
            break;
        default:
            cfg_.flowSet = x;
            if (ignition_) {
                keptFlow_ = x;
                setIgnitionOverride(true, attempt_);
            } else {
                writeFlow(x);
            }
    }
}

double CGasChannel::gasValue() const {
    switch (cfg_.mode) {
        case 1:
            return cfg_.pressureSet;
        case 2:
            return cfg_.velocityTarget;
        case 3:
        case 4:
        case 5:
            return programmeCurrent_;
        default:
            return cfg_.flowSet;
    }
}

void CGasChannel::updateGasSetPoint(int runState, double analysisMinutes,
                                    double columnTemperature) {
    double x = 0;
    if (runState >= 6 && runState <= 14) {
        temperature_ = columnTemperature;
        x = analysisMinutes;
    }
    switch (cfg_.mode) {
        case 2:
            writeVelocity(cfg_.velocityTarget);
            break;
        case 3:
            programmeCurrent_ = cfg_.programme.valueAt(x);
            writeFlow(programmeCurrent_);
            break;
        case 4:
            programmeCurrent_ = cfg_.programme.valueAt(x);
            writePressure(programmeCurrent_);
            break;
        case 5:
            programmeCurrent_ = cfg_.programme.valueAt(x);
            cfg_.velocityTarget = programmeCurrent_;
            writeVelocity(programmeCurrent_);
            break;
        default:
            break;
    }
}

bool CGasChannel::isGasWithinTolerance() {
    auto within = [](double measured, double wanted, double tol) {
        return wanted == 0 || std::fabs(measured - wanted) < tol;
    };
    const double pTol = cfg_.pressureTolerance;
    switch (cfg_.mode) {
        case 1:
            return within(live_.outletPressure, cfg_.pressureSet, pTol);
        case 2: {
            if (cfg_.velocityTarget == 0)
                return true;
            const auto p = pressureFor(cfg_.velocityTarget);
            return p && within(live_.outletPressure, *p, pTol);
        }
        case 3:
            return cfg_.programme.p1 == 0 ||
                   within(live_.flow, programmeCurrent_, cfg_.flowTolerance);
        case 4:
            return cfg_.programme.p1 == 0 || within(live_.outletPressure, programmeCurrent_, pTol);
        case 5: {
            if (cfg_.programme.p1 == 0)
                return true;
            cfg_.velocityTarget = cfg_.programme.p1;
            const auto p = pressureFor(cfg_.velocityTarget);
            return p && within(live_.outletPressure, *p, pTol);
        }
        default:
            return within(live_.flow, writtenFlow_, cfg_.flowTolerance);
    }
}

void CGasChannel::setIgnitionOverride(bool on, int attempt) {
    if (!on) {
        if (!ignition_)
            return;
        ignition_ = false;
        if (cfg_.mode < 2 || cfg_.mode > 5)
            writeFlow(keptFlow_);
        return;
    }
    if (!ignition_) {
        keptFlow_ = cfg_.flowSet;
        ignition_ = true;
    }
    attempt_ = attempt;
    const double v = keptFlow_;
    const double add = 2.5 * attempt;
    switch (cfg_.mode) {
        case 0:
        case 1:
            writeFlow(v);
            break;
        case 6:
            writeFlow(2 * v + add);
            break;
        case 7:
            writeFlow(3 * v + add);
            break;
        case 8:
            writeFlow(v + 20 + add);
            break;
        case 9:
            writeFlow(v + 40 + add);
            break;
        case 10:
            if (v > 10)
                writeFlow(10);
            break;
        case 11:
            writeFlow(0);
            break;
        default:
            break;
    }
}

double CGasChannel::currentValue() const {
    switch (cfg_.mode) {
        case 1:
        case 4:
            return live_.outletPressure;
        case 2:
        case 5:
            return linearVelocity(live_.outletPressure, cfg_.columnLengthM, cfg_.columnDiameterMm,
                                  viscosity());
        default:
            return live_.flow;
    }
}

}  // namespace zelmora
