#pragma once
// The chromatograph's gas channels: the carrier-gas regulators (two channels
// each, gas channels 2i and 2i+1) and the hydrogen/air regulators (gas
// channels 8+2j and 9+2j). The computer decides from each channel's mode
// which set point the instrument receives:
//
//   mode 0  constant flow               the flow set value (см3/мин)
//   mode 1  constant pressure           the pressure set value (кгс/см2)
//   mode 2  constant linear velocity    the pressure that gives the wanted
//                                       carrier velocity in the capillary
//                                       column (см/сек)
//   mode 3-5  programmed flow, pressure or velocity during the analysis
//   mode 6-11 a flow that changes during flame ignition
//
// Linear velocity through a capillary column from the inlet gauge pressure
// P (кгс/см2, taken as atmospheres), the column radius r (cm), length L
// (cm) and the gas viscosity eta (poise, a quadratic in the column
// temperature):
//     Pi = (P + 1) * 1013000,  Po = 1013000   (dyn/cm2)
//     u  = 3 r^2 (Pi^2 - Po^2)^2 / (32 eta L (Pi^3 - Po^3))
// The pressure for a wanted velocity is found by bisection on [1e-5, 10].
//
// A velocity that no pressure in that range reaches is a fault of the
// settings: the channel never writes 0 (which would switch the carrier
// off), keeps its last good set point and fails its tolerance test, so the
// chromatograph does not report ready with a wrong carrier flow.
//
// Not thread-safe: the run-state supervision (CKalderRunState) owns the
// channels and guards them with its lock.

#include <cstdint>
#include <optional>
#include <string>

#include "instruments/param_queue.h"

namespace zelmora {

inline constexpr int kGasModes = 12;
inline constexpr int kGasChannels = 12;

// The mode names of the channel dialog "Установки газа-носителя".
const char* gasModeName(int mode);
// "см3/мин", "кгс/см2" or "см/сек" for the set value of a mode.
const char* gasModeUnit(int mode);
// True for the modes in which the instrument regulates pressure.
bool gasModeRegulatesPressure(int mode);

// Viscosity of a carrier gas in poise at t °C (gas type 0 nitrogen,
// 1 helium, 2 argon, 3 hydrogen, 4 air); 1 for an unknown type.
double gasViscosity(int gasType, double temperatureC);
// Linear velocity (см/сек) at the inlet gauge pressure; 0 for a pressure
// at or below 0 (no flow through the column), and for a column without
// length or diameter.
double linearVelocity(double gaugePressure, double lengthM, double diameterMm, double viscosity);
// The gauge pressure that gives the velocity; none when even the range
// 0.00001-10 кгс/см2 cannot reach it.
std::optional<double> pressureForVelocity(double velocity, double lengthM, double diameterMm,
                                          double viscosity);

// Pressure or flow programme of a gas channel: P1 held for t1 minutes, a
// ramp at |V12| per minute to P2, P2 held for t2, a ramp at |V23| to P3.
struct GasProgramme {
    double p1 = 0, p2 = 0, p3 = 0;
    double t1 = 0, t2 = 0;
    double v12 = 0, v23 = 0;
    double valueAt(double minutes) const;
};

// The channel's own part of the chromatograph's settings.
struct GasChannelConfig {
    int mode = 0;
    int gasType = 0;
    double flowSet = 0;      // см3/мин
    double pressureSet = 0;  // кгс/см2
    double velocityTarget = 0;
    double flowTolerance = 1.0;
    double pressureTolerance = 0.05;
    double columnLengthM = 0;
    double columnDiameterMm = 0;
    GasProgramme programme;
};

struct GasLive {
    double flow = 0;
    double valveVolts = 0;
    double inletPressure = 0;
    double outletPressure = 0;
};

class CGasChannel {
  public:
    // Parameter numbers of the channel's module; the second channel of a
    // module adds 8192.
    static constexpr std::uint16_t kParamFlow = 1;
    static constexpr std::uint16_t kParamGasType = 5;
    static constexpr std::uint16_t kParamRegulation = 6;
    static constexpr std::uint16_t kParamConfig = 10;
    static constexpr std::uint16_t kParamPressure = 14;

    // Registers the channel's parameters with the queue (none: the values
    // are kept but nothing is sent). number = gas channel 0-11.
    CGasChannel(int number, std::uint8_t moduleAddress, CParamQueue* queue);

    int number() const { return number_; }
    std::uint8_t moduleAddress() const { return address_; }
    // The channel within its module, 0 or 1.
    int subChannel() const { return number_ & 1; }
    bool isHydrogenAir() const { return number_ >= 8; }

    // Applies the stored settings: gas type, mode and set values.
    void configure(const GasChannelConfig& c);
    const GasChannelConfig& config() const { return cfg_; }

    void setGasMode(int mode);
    int gasMode() const { return cfg_.mode; }
    void setGasType(int type);
    void setGasValue(double x);
    double gasValue() const;
    void setTolerances(double flow, double pressure);
    void setColumn(double lengthM, double diameterMm);
    void setProgramme(const GasProgramme& p) { cfg_.programme = p; }

    void setLive(const GasLive& l) { live_ = l; }
    const GasLive& live() const { return live_; }

    // Once per step of the run states: outside the analysis (state below 6
    // or above 14) the programme's start value, during it the value at
    // analysisMinutes, with the column temperature for the viscosity.
    void updateGasSetPoint(int runState, double analysisMinutes, double columnTemperature);
    bool isGasWithinTolerance();
    // Flame ignition: on keeps the flow set value and writes the ignition
    // flow of the mode; off writes the kept value back.
    void setIgnitionOverride(bool on, int attempt);
    bool inIgnition() const { return ignition_; }

    // The current value the channel's mode shows: flow, outlet pressure or
    // the velocity from the outlet pressure.
    double currentValue() const;
    double viscosity() const { return gasViscosity(cfg_.gasType, temperature_); }
    double temperature() const { return temperature_; }
    double programmeValue() const { return programmeCurrent_; }
    // The flow set value as written to the instrument (an ignition flow
    // included).
    double writtenFlow() const { return writtenFlow_; }
    double writtenPressure() const { return writtenPressure_; }
    // Set while the wanted velocity cannot be reached.
    bool velocityUnreachable() const { return unreachable_; }
    // "Азот", ...; the gas-type name of the channel.
    std::string gasName() const;

  private:
    void writeFlow(double v);
    void writePressure(double p);
    void writeVelocity(double v);
    std::optional<double> pressureFor(double v) const;

    int number_;
    std::uint8_t address_;
    GasChannelConfig cfg_;
    GasLive live_;
    ParamPtr flow_, gasType_, regulation_, pressure_;
    double temperature_ = 20.0;
    double programmeCurrent_ = 0;
    double writtenFlow_ = 0;
    double writtenPressure_ = 0;
    bool unreachable_ = false;
    bool ignition_ = false;
    double keptFlow_ = 0;
    int attempt_ = 0;
};

}  // namespace zelmora
