#pragma once
// A valve block of the chromatograph (two or four valves, classes 18 and
// 19) as the computer drives it. The block's valve-position word (parameter
// 4) has one bit per valve; a set bit is position "2".
//
// - A dosing valve ("Кран-дозатор") goes to position 2 when a recording
//   starts on its bound detector channel and back to 1 when it stops, so
//   the sample loop is injected exactly at the start of the chromatogram.
// - A switching valve ("Перекл. кран") is held opposite to its initial
//   state while its channel records and the last recorded point lies
//   between its time 1 and time 2 (minutes), and in its initial state at
//   every other moment.
// Only valves that the block reports as present (availability word,
// parameter 1) and whose valve type (parameter 14 of the valve) is not 0
// are switched. Every change of the word is written once and logged.
//
// The block also reports its faults: per valve the error word (parameter
// 2 of the valve) with bits 0-2 for a valve that switches too slowly, is
// jammed or has a type the block does not know, and bits 8-10 for an
// overheat, an open or a shorted sensor of the valve's heated zone.
//
// Not thread-safe: the run-state supervision owns the blocks and guards
// them with its lock.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "instruments/param_queue.h"

namespace zelmora {

struct ValveConfig {
    int mode = 0;          // 0 "Кран-дозатор", 1 "Перекл. кран"
    int initialState = 0;  // 0 position "1", 1 position "2"
    int syncChannel = 0;   // detector channel 0-3
    double time1 = 0;      // minutes
    double time2 = 0;
};

// A fault found in a block: an alarm code with its detail.
struct ValveFault {
    int code = 0;
    std::string detail;
};

class CValveBlock {
  public:
    static constexpr std::uint16_t kParamAvailability = 1;
    static constexpr std::uint16_t kParamErrors = 2;
    static constexpr std::uint16_t kParamPosition = 4;
    static constexpr std::uint16_t kParamZoneTemp = 11;
    static constexpr std::uint16_t kParamValveType = 14;
    static constexpr std::uint16_t kParamZonePower = 18;

    // The block at the address; queue none: values kept, nothing sent. log
    // receives the work-log lines of the switching.
    CValveBlock(std::uint8_t address, CParamQueue* queue,
                std::function<void(std::string_view)> log = {});

    std::uint8_t address() const { return address_; }
    int valveCount() const { return static_cast<int>(valves_.size()); }
    // The valve numbers as the operator counts them on this chromatograph
    // (the first block's valves are 1, 2, ...): the first one.
    int firstValveNumber() const;

    // Loading the settings puts every valve into its initial state.
    void configure(const std::vector<ValveConfig>& valves, std::uint32_t availabilityWord);
    const ValveConfig& valve(int v) const { return valves_.at(static_cast<std::size_t>(v)); }
    // A change of mode moves the valve: a dosing valve to 1, a switching
    // valve to its initial state.
    void setValveMode(int v, int mode);
    bool available(int v) const;
    // Position bit of the valve (true = position "2").
    bool position(int v) const { return (word_ >> v) & 1u; }
    std::uint32_t positionWord() const { return word_; }

    void onRecordingStarted(int channel);
    void onRecordingStopped(int channel);
    // After every status frame: recording(c) and minutes(c) tell whether
    // detector channel c records and the time of its last point.
    void step(const std::function<bool(int)>& recording, const std::function<double(int)>& minutes);

    // Error words read from the block; the faults they show.
    std::vector<ValveFault> faults() const;
    // Every 10 s the valve zones' temperatures and powers and the error
    // words are read again.
    void requestReadings();

  private:
    void setPosition(int v, bool second);

    std::uint8_t address_;
    std::function<void(std::string_view)> log_;
    std::vector<ValveConfig> valves_;
    std::uint32_t availability_ = 0;
    std::uint32_t word_ = 0;
    ParamPtr positionParam_;
    ParamPtr availabilityParam_;
    std::vector<ParamPtr> types_, errors_, zoneTemps_, zonePowers_;
};

}  // namespace zelmora
