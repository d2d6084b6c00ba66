#pragma once
// The chromatograph's settings as the operator edits them in one sheet and
// as a method carries them: the column temperature programme, the heated
// zones with their names, maxima and tolerances, the gas channels, the
// detectors, the valves and their zones, and the Pelvio autosampler.
//
// The same values live in three places: the driver's run settings (what
// the instrument receives), the sheet, and a method's instrument block.
// This file converts between them and holds the rules that guard the
// instrument before anything is sent to it:
// - no programme temperature above the column's overheat limit, no zone set
//   above its own limit, and with "Tкол < Tдет" no programme temperature
//   above a detector zone;
// - a conductivity detector's balance within -100 ... 100;
// - every zone the instrument has carries a name;
// - a heating rate is never negative, and a rate of 0 ends the programme,
//   so no step after it may have a rate of its own (the programme time
//   divides by each rate in use);
// - a method's block goes into an instrument whose zones bear other names
//   (another column oven, another detector) only at the service access
//   levels: the operator's levels refuse its "Общие" page as a whole.

#include <array>
#include <optional>
#include <string>

#include "app/result.h"
#include "instruments/kalder_run_state.h"
#include "instruments/pelvio_sampler.h"
#include "method/instrument_settings.h"

namespace zelmora {

class CKalderInstrument;

// Everything the sheet edits: the block a method carries, and the
// chromatograph's own choices that no method stores.
struct KalderSheetData {
    MethodKalderSettings block;
    std::array<int, 4> auxSelector{0, 1, 2, 3};  // "Дополнительные каналы записи" 5-8
    bool startsAllChannels = false;              // "Запуск каналов"
    bool noWaitProgramme = false;  // "Не ожидать завершения температ. программы"

    bool operator==(const KalderSheetData&) const = default;
};

// Valves 1-4 of the block as (valve block in composition order, valve of
// the block); four slots of block 0 while the composition is unknown.
using ValveSlots = std::array<std::pair<int, int>, 4>;
ValveSlots valveSlots(const std::vector<std::uint8_t>& composition);

// The block from the driver's settings and back. `base` keeps what the
// block does not hold (valve availability, valves beyond the four).
MethodKalderSettings blockFromRunSettings(const KalderRunSettings& rs, const PelvioSettings& pelvio,
                                          const ValveSlots& slots);
// Only the pages in `pages` (bits of KalderPage) are taken.
KalderRunSettings runSettingsFromBlock(const MethodKalderSettings& b, KalderRunSettings base,
                                       const ValveSlots& slots, unsigned pages);
PelvioSettings pelvioFromBlock(const MethodKalderSettings& b, PelvioSettings base);

enum KalderPage : unsigned {
    kKalderPageGeneral = 1,     // "Общие"
    kKalderPageAdditional = 2,  // "Дополнительные"
    kKalderPageValves = 4,      // "Краны/Т.Зоны"
    kKalderPagePelvio = 8,      // "Pelvio"
    kKalderAllPages = 15,
};

// The settings of the bound chromatograph.
KalderSheetData kalderSettingsFromDevice(const CKalderInstrument& device);

// Zone names as the sheet shows them: the code's name, "" for a zone
// without a name (a code of 0 or below).
std::string kalderZoneName(int code);
// A detector's heated zone ("ПИД", "ДТП", "ЭЗД", ...).
bool isDetectorZoneCode(int code);

// The checks before applying; the message of the first one that fails.
// zonePresent: the zones the instrument has (all false: a method's block
// edited without an instrument).
std::optional<std::string> checkKalderSettings(const MethodKalderSettings& b,
                                               const std::array<bool, 8>& zonePresent);

// At access levels up to 3: the message when a zone 1-7 that the instrument
// has bears another name there than in `b`.
std::optional<std::string> zoneNameMismatch(const CKalderInstrument& device,
                                            const MethodKalderSettings& b);

// Writes the settings into the driver (its parameters become pending).
// The "Общие" page is refused at access levels up to 3 when the zone names
// differ: the failure carries the message, the other pages are applied.
Status applyKalderSettings(CKalderInstrument& device, const KalderSheetData& data, int accessLevel);

// A method started on a channel with "Использовать установки прибора из
// метода": the method's block (when it has one) goes into the chromatograph,
// with the work-log line of the outcome. A method without a block changes
// nothing and succeeds; a method that cannot be read, settings that fail
// their checks or zone names that differ are failures, logged as errors.
Status loadMethodIntoKalder(CKalderInstrument& device, const std::string& methodName,
                            int accessLevel);

}  // namespace zelmora
