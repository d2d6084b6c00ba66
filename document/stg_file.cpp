#include "document/stg_file.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "app/text.h"
#include "document/archive/archive.h"
#include "document/compound_file.h"
#include "document/message_sink.h"

namespace zelmora::stg {
namespace {

// Smallest stored size of one peak record of a table version, so that a
// count can be checked against the bytes left before anything is allocated:
// three doubles, a name of length 0, the right neighbour, the reference flag
// from version 2 and an empty property list from version 3.
std::size_t minPeakRecordSize(int version) {
    std::size_t size = 3 * 8 + 1 + 4;
    if (version >= 2)
        size += 4;
    if (version >= 3)
        size += 4;
    return size;
}

// A property list: int32 count, then pairs of strings. Version 3 drops a pair
// whose key is empty or already in the list; version 4 keeps all as stored.
void readProperties(ArchiveReader& r, int version, PeakPropertyList& out) {
    const std::size_t n = r.count(r.i32(), 2, "свойств");
    out.clear();
    out.reserve(n);
    for (std::size_t i = 0; i < n && r.ok(); ++i) {
        std::string key = r.string();
        std::string value = r.string();
        if (!r.ok())
            break;
        if (version == 3 && (key.empty() || findProperty(out, key) != nullptr))
            continue;
        out.emplace_back(std::move(key), std::move(value));
    }
}

void writeProperties(ArchiveWriter& w, const PeakPropertyList& list) {
    w.i32(static_cast<std::int32_t>(list.size()));
    for (const PeakProperty& p : list) {
        w.string(p.key);
        w.string(p.value);
    }
}

bool decodeVersion0(std::string_view bytes, PeakTable& out) {
    const std::size_t n = bytes.size() / kVersion0RecordSize;
    out.peaks.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        ArchiveReader r(bytes.substr(i * kVersion0RecordSize, kVersion0RecordSize));
        Peak p;
        p.endTime = r.f64();
        p.startTime = r.f64();
        p.concentration = r.f64();
        std::string_view name = r.bytes(kVersion0NameSize);
        const std::size_t nul = name.find('\0');
        if (nul != std::string_view::npos)
            name = name.substr(0, nul);
        p.componentName = text::fromCp1251(name);
        p.nextInGroup = r.i32();
        if (!r.ok())
            return false;
        p.ownIndex = static_cast<std::int32_t>(i);
        out.peaks.push_back(std::move(p));
    }
    return true;
}

}  // namespace

std::string encodeSamples(const Signal& signal) {
    ArchiveWriter w;
    for (float v : signal.samples)
        w.f32(v);
    return w.take();
}

void decodeSamples(std::string_view bytes, std::vector<float>& samples) {
    const std::size_t n = bytes.size() / 4;
    samples.resize(n);
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(samples.data(), bytes.data(), n * 4);
    } else {
        ArchiveReader r(bytes);
        for (float& v : samples)
            v = r.f32();
    }
}

std::string encodeTime(const Signal& signal, double carriedStep) {
    const float first = static_cast<float>(signal.t0);
    const float second = static_cast<float>(signal.t0 + signal.dt);
    const float third = static_cast<float>(static_cast<double>(second) + carriedStep);
    ArchiveWriter w;
    w.f32(first);
    w.f32(second);
    w.f32(third);
    return w.take();
}

TimeBase decodeTime(std::string_view bytes) {
    TimeBase tb;
    if (bytes.size() < 12)
        return tb;
    ArchiveReader r(bytes);
    const double first = r.f32(), second = r.f32(), third = r.f32();
    const double dt = second - first;
    // A time base the trace cannot be drawn or measured with (a step that is
    // not positive, or values that are not numbers) counts as no time record.
    if (!std::isfinite(first) || !std::isfinite(dt) || !(dt > 0))
        return tb;
    tb.t0 = first;
    tb.dt = dt;
    const double carried = third - second;
    tb.carriedStep = std::isfinite(carried) ? carried : 1.0;
    return tb;
}

std::string encodeTable(const PeakTable& table) {
    const bool withProperties = table.hasAnyProperty();
    const int version = withProperties ? kTableVersionProperties : kTableVersionPlain;
    ArchiveWriter w;
    w.u32(kTableSignature1);
    w.u32(kTableSignature2);
    w.i32(version);
    w.i32(static_cast<std::int32_t>(table.peaks.size()));
    for (const Peak& p : table.peaks) {
        w.f64(p.startTime);
        w.f64(p.endTime);
        w.f64(p.concentration);
        w.string(p.componentName);
        w.i32(p.nextInGroup);
        w.i32(p.isReference);
        if (withProperties)
            writeProperties(w, p.properties);
    }
    if (withProperties)
        writeProperties(w, table.properties);
    return w.take();
}

Status decodeTable(std::string_view bytes, PeakTable& table) {
    PeakTable out;
    out.detection = table.detection;
    out.attach(table.signal());
    if (bytes.size() <= 7) {
        table = std::move(out);
        return {};
    }
    ArchiveReader r(bytes);
    const std::uint32_t sig1 = r.u32(), sig2 = r.u32();
    if (sig1 != kTableSignature1 || sig2 != kTableSignature2) {
        if (!decodeVersion0(bytes, out))
            return Status::failure("таблица пиков повреждена");
    } else {
        const std::int32_t version = r.i32();
        if (!r.ok() || version < 0 || version > kTableVersionMax)
            return Status::failure(r.ok()
                                       ? text::format("версия таблицы пиков %d не поддерживается",
                                                      static_cast<int>(version))
                                       : "таблица пиков обрывается");
        // A signed table of version 0 is read with the layout of version 1,
        // the fields every signed table has.
        const int layout = version == 0 ? 1 : version;
        const std::size_t n = r.count(r.i32(), minPeakRecordSize(layout), "пиков");
        out.peaks.reserve(n);
        for (std::size_t i = 0; i < n && r.ok(); ++i) {
            Peak p;
            p.startTime = r.f64();
            p.endTime = r.f64();
            p.concentration = r.f64();
            p.componentName = r.string();
            p.nextInGroup = r.i32();
            if (layout >= 2)
                p.isReference = r.i32();
            if (layout >= 3)
                readProperties(r, layout, p.properties);
            p.ownIndex = static_cast<std::int32_t>(i);
            out.peaks.push_back(std::move(p));
        }
        if (layout >= 3)
            readProperties(r, layout, out.properties);
        if (!r.ok())
            return Status::failure("таблица пиков повреждена: " + r.error());
    }
    out.renumber();
    out.relinkFromRightLinks();
    table = std::move(out);
    return {};
}

std::string encodePassport(const Passport& p) {
    ArchiveWriter w;
    w.u32(kPassportSignature);
    w.i32(kPassportVersion);
    w.string(p.sample);
    w.string(p.sample2);
    w.f64(p.sampleAmount);
    w.f64(p.standardAmount);
    w.f64(p.norm);
    w.dateTime(p.samplingTime);
    w.string(p.point);
    w.string(p.method);
    w.f64(p.duration);
    w.i32(p.vial);
    w.i32(p.numberInSeries);
    w.i32(p.calibration);
    w.string(p.operatorName);
    w.string(p.detector);
    w.string(p.column);
    w.i32(p.columnNumber);
    w.f64(p.grain);
    w.f64(p.diameter);
    w.f64(p.length);
    w.f64(p.deadTime);
    w.string(p.eluent);
    w.f64(p.eluentFlow);
    w.f64(p.eluentPressure);
    w.f64(p.eluentTemperature);
    w.string(p.reagent);
    w.f64(p.reagentFlow);
    w.f64(p.reagentPressure);
    w.f64(p.reagentTemperature);
    w.dateTime(p.analysisTime);
    w.i32(p.databaseKey);
    w.string(p.reserved);
    w.string(p.comment);
    w.string(p.place);
    w.f64(p.noise);
    w.f64(p.drift);
    return w.take();
}

Status decodePassport(std::string_view bytes, Passport& passport) {
    ArchiveReader r(bytes);
    if (r.u32() != kPassportSignature || !r.ok())
        return Status::failure("неверная подпись паспорта");
    const std::int32_t version = r.i32();
    if (!r.ok() || version < 0 || version > kPassportVersion)
        return Status::failure(
            r.ok() ? text::format("версия паспорта %d не поддерживается", static_cast<int>(version))
                   : "паспорт обрывается");
    Passport p = passport;
    p.sample = r.string();
    p.sample2 = r.string();
    p.sampleAmount = r.f64();
    p.standardAmount = r.f64();
    p.norm = r.f64();
    p.samplingTime = r.dateTime();
    p.point = r.string();
    p.method = r.string();
    p.duration = r.f64();
    p.vial = r.i32();
    p.numberInSeries = r.i32();
    p.calibration = r.i32();
    p.operatorName = r.string();
    p.detector = r.string();
    p.column = r.string();
    p.columnNumber = r.i32();
    p.grain = r.f64();
    p.diameter = r.f64();
    p.length = r.f64();
    p.deadTime = r.f64();
    p.eluent = r.string();
    p.eluentFlow = r.f64();
    p.eluentPressure = r.f64();
    p.eluentTemperature = r.f64();
    p.reagent = r.string();
    p.reagentFlow = r.f64();
    p.reagentPressure = r.f64();
    p.reagentTemperature = r.f64();
    p.analysisTime = r.dateTime();
    p.databaseKey = r.i32();
    p.reserved = r.string();
    p.comment = r.string();
    if (version >= 2)
        p.place = r.string();
    if (version >= 3) {
        p.noise = r.f64();
        p.drift = r.f64();
    }
    if (!r.ok())
        return Status::failure("паспорт повреждён: " + r.error());
    passport = std::move(p);
    return {};
}

Status ReadPassport(const std::filesystem::path& path, Passport& passport) {
    Result<CompoundReader> file = CompoundReader::open(path);
    if (!file)
        return file.status();
    const std::optional<std::string> bytes = file->readStream(kPassportStream);
    if (!bytes)
        return Status::failure("нет потока Passport");
    Passport p = passport;
    if (Status decoded = decodePassport(*bytes, p); !decoded)
        return decoded;
    p.file = path.string();
    passport = std::move(p);
    return {};
}

bool RewritePassport(const std::filesystem::path& path, const Passport& passport,
                     MessageSink& sink) {
    std::string streams[4];
    const char* names[4] = {kRawDataStream, kTimeStream, kTableStream, kPassportStream};
    {
        Result<CompoundReader> file = CompoundReader::open(path);
        if (!file)
            return false;
        bool ok = true;
        for (int i = 0; i < 3 && ok; ++i) {
            std::optional<std::string> s = file->readStream(names[i]);
            ok = s.has_value();
            if (ok)
                streams[i] = std::move(*s);
        }
        if (!ok || !file->hasStream(kPassportStream)) {
            sink.message(kMsgPassportRewriteError,
                         messageText(kMsgPassportRewriteError, path.string()));
            return false;
        }
    }
    streams[3] = encodePassport(passport);
    Result<CompoundWriter> out = CompoundWriter::create(path);
    bool ok = out.ok();
    for (int i = 0; i < 4 && ok; ++i)
        ok = out->addStream(names[i], streams[i]).ok();
    if (ok)
        ok = out->commit().ok();
    if (!ok) {
        sink.message(kMsgPassportRewriteError,
                     messageText(kMsgPassportRewriteError, path.string()));
        return false;
    }
    return true;
}

}  // namespace zelmora::stg
