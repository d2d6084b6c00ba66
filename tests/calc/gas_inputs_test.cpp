// What the natural-gas calculation is fed: the laboratory's component names
// and limits kept in the settings store, the named peaks of chromatogram
// files (a damaged file refused), the list of analyses in file order, and a
// composition typed on the command line.

#include <gtest/gtest.h>

#include "app/settings_store.h"
#include "calc/gas_chromatogram.h"
#include "calc/gas_component_names.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "processing/synthetic.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

TEST(GasInputs, NamesAndLimitsRoundTripThroughTheSettings) {
    test::TempDir dir;
    {
        SettingsStore store(dir / "user.reg", true);
        store.load();
        // Nothing stored: the table's names and r = 2.
        const GasComponentNames defaults = GasComponentNames::load(store);
        EXPECT_EQ(defaults.names[0], "Метан");
        EXPECT_EQ(defaults.names[21], "Водяной пар");
        EXPECT_EQ(defaults.limits[5], 2.0);
        EXPECT_TRUE(defaults.validate());

        GasComponentNames edited = defaults;
        edited.names[1] = "C2H6 (этан)";
        edited.limits[1] = 0.125;
        ASSERT_TRUE(edited.save(store));
        ASSERT_TRUE(store.flush());
    }
    SettingsStore store(dir / "user.reg", true);
    ASSERT_EQ(store.load(), SettingsStore::LoadStatus::Loaded);
    EXPECT_EQ(store.readString(kGasNamesKey, "Param1"), "C2H6 (этан)");
    EXPECT_EQ(store.readString(kGasNamesKey, "Param1_predel"), "0.125000");
    EXPECT_EQ(store.readString(kGasNamesKey, "Param21_predel"), "2.000000");
    GasComponentNames back = GasComponentNames::load(store);
    EXPECT_EQ(back.names[1], "C2H6 (этан)");
    EXPECT_DOUBLE_EQ(back.limits[1], 0.125);

    // Damaged values keep their defaults: no number, 0, an empty name, a name
    // already taken.
    store.setString(kGasNamesKey, "Param2_predel", "много");
    store.setString(kGasNamesKey, "Param3_predel", "0");
    store.setString(kGasNamesKey, "Param4", "  ");
    store.setString(kGasNamesKey, "Param5", "c2h6 (ЭТАН)");
    store.setString(kGasNamesKey, "Param6_predel", "0,5");
    back = GasComponentNames::load(store);
    EXPECT_EQ(back.limits[2], 2.0);
    EXPECT_EQ(back.limits[3], 2.0);
    EXPECT_EQ(back.names[4], "и-Бутан");
    EXPECT_EQ(back.names[5], "н-Пентан");
    EXPECT_EQ(back.limits[6], 0.5);
    EXPECT_TRUE(back.validate());

    GasComponentNames bad;
    bad.names[3] = "";
    EXPECT_FALSE(bad.validate());
    bad = GasComponentNames();
    bad.limits[7] = -1;
    EXPECT_NE(bad.validate().message().find("нео-Пентан"), std::string::npos);
}

TEST(GasInputs, ChromatogramFilesAndTheirList) {
    test::TempDir dir;
    const auto write = [&](const char* name, const char* sample) {
        CZelmoraDoc doc;
        SyntheticChromatogram spec;
        spec.samples = 400;
        spec.dt = 0.01;
        spec.peaks = {{1.0, 20.0, 0.05}, {2.0, 5.0, 0.05}, {3.0, 2.0, 0.05}};
        doc.signal = makeSyntheticSignal(spec);
        doc.passport.sample = sample;
        for (double t : {1.0, 2.0, 3.0})
            doc.peaks.peaks.emplace_back(t - 0.3, t + 0.3);
        doc.peaks.peaks[0].componentName = "Метан";
        doc.peaks.peaks[0].concentration = 96.5;
        doc.peaks.peaks[1].componentName = "Этан";
        doc.peaks.peaks[1].concentration = 3.25;
        doc.peaks.peaks[2].concentration = 0.25;  // not identified
        doc.peaks.renumber();
        RecordingMessageSink sink;
        EXPECT_TRUE(doc.Write(dir / name, sink, false));
    };
    write("b.stg", "Проба Б");
    write("a.stg", "Проба А");

    const Result<GasChromatogram> b = readGasChromatogram(dir / "b.stg");
    ASSERT_TRUE(b) << b.message();
    EXPECT_EQ(b->sample, "Проба Б");
    ASSERT_EQ(b->peaks.size(), 2u);  // named peaks only
    EXPECT_EQ(b->peaks[1].name, "Этан");
    EXPECT_DOUBLE_EQ(b->peaks[1].concentration, 3.25);

    test::writeFile(dir / "bad.stg", "не хроматограмма");
    const Result<GasChromatogram> bad = readGasChromatogram(dir / "bad.stg");
    ASSERT_FALSE(bad);
    EXPECT_NE(bad.message().find("bad.stg"), std::string::npos);
    EXPECT_FALSE(readGasChromatogram(dir / "нет.stg"));

    GasChromatogramList list;
    list.add(*b);
    list.add(*readGasChromatogram(dir / "a.stg"));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.entries()[0].sample, "Проба А");  // in file order
    GasChromatogram again = *b;
    again.sample = "заново";
    list.add(again);  // the same file replaces its entry
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.entries()[1].sample, "заново");
    EXPECT_TRUE(list.remove(dir / "a.stg"));
    EXPECT_FALSE(list.remove(dir / "a.stg"));
    EXPECT_EQ(list.size(), 1u);
}

TEST(GasInputs, TypedComposition) {
    const Result<GasChromatogram> c = parseGasComposition(" Метан=95.1, Этан=2.3;Азот = 0.5 ,");
    ASSERT_TRUE(c) << c.message();
    ASSERT_EQ(c->peaks.size(), 3u);
    EXPECT_EQ(c->peaks[0].name, "Метан");
    EXPECT_EQ(c->peaks[2].name, "Азот");
    EXPECT_DOUBLE_EQ(c->peaks[2].concentration, 0.5);
    EXPECT_TRUE(c->file.empty());
    for (const char* bad : {"", " , ", "Этан", "=2", "Этан=", "Этан=два", "Этан=-1", "Этан=inf"}) {
        const Result<GasChromatogram> r = parseGasComposition(bad);
        EXPECT_FALSE(r) << bad;
    }
    EXPECT_NE(parseGasComposition("Этан=2,Пропан=x").message().find("Пропан=x"), std::string::npos);
}

}  // namespace
}  // namespace zelmora
