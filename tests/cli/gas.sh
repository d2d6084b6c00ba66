#!/usr/bin/env bash
# Natural-gas properties from the command line: a typed composition against
# values worked out by hand, the demo chromatogram once and twice (one value
# per component, then two with their repeatability verdict), the laboratory's
# names taken from the settings, and the failures that must not pass as
# results: components above 100 %, an unknown typed name, an unreadable file.
set -euo pipefail
source "$(dirname "$0")/lib/home.bash"

expect_rc 0 "$cli" gas --help
grep -q "Использование: zelmora-cli gas" "$home/out.txt"
expect_rc 2 "$cli" gas
expect_rc 2 "$cli" gas --composition "Этан=1" --reference 15
expect_rc 2 "$cli" gas --composition "Этан=1" --unit btu
expect_rc 2 "$cli" gas --composition "Этан=1" --water 101
expect_rc 2 "$cli" gas --composition "Этан=1" --air 2
expect_rc 2 "$cli" gas --composition "Этан=много"

# Ethane 3 %, propane 1 %, butanes 0.2 % each, nitrogen 1 %, carbon dioxide
# 0.5 %; methane 94.1 % by difference. At 20 °C:
#   Hs = .941·37.1 + .03·65.38 + .01·93.98 + .002·123.72 + .002·123.25 = 38.30624
#   d  = .941·.5546 + .03·1.046 + .01·1.549 + .002·2.071 + .002·2.068
#        + .01·.967 + .005·1.528 = 0.5943373
gas="Метан=94,Этан=3,Пропан=1,н-Бутан=0.2,и-Бутан=0.2,Азот=1,Диоксид углерода=0.5"
expect_rc 0 "$cli" gas --composition "$gas"
grep -q "Теплота сгорания, высшая: 38.31 МДж/м3" "$home/out.txt"
grep -q "Относительная плотность:  0.5943" "$home/out.txt"
grep -q "^Метан  *94.10000" "$home/out.txt"
expect_rc 0 "$cli" gas --composition "$gas" --json
/usr/bin/python3 - "$home/out.txt" <<'PY'
import json, math, sys
d = json.load(open(sys.argv[1]))
hs = .941*37.1 + .03*65.38 + .01*93.98 + .002*123.72 + .002*123.25
rel = .941*.5546 + .03*1.046 + .01*1.549 + .002*2.071 + .002*2.068 + .01*.967 + .005*1.528
assert abs(d["higherHeat"] - hs) < 1e-7, d["higherHeat"]
assert abs(d["relativeDensity"] - rel) < 1e-8
assert abs(d["higherWobbe"] - hs / math.sqrt(rel)) < 1e-7
assert abs(d["absoluteDensity"] - rel * 1.2047) < 1e-8
assert d["conditions"]["temperatureC"] == 20 and d["conditions"]["unit"] == "МДж/м3"
names = [c["component"] for c in d["components"]]
assert names[0] == "Метан" and abs(d["components"][0]["percent"] - 94.1) < 1e-7, d["components"][0]
assert len(names) == 7, names
PY
# kcal at 0 °C with 1 % water, and the other air density.
expect_rc 0 "$cli" gas --composition "$gas" --reference 0 --unit kcal --water 1 --air 1 --json
/usr/bin/python3 - "$home/out.txt" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
x = {"CH4": .931, "C2": .03, "C3": .01, "nC4": .002, "iC4": .002, "N2": .01, "CO2": .005, "W": .01}
z = {"CH4": .9981, "C2": .992, "C3": .9834, "nC4": .9682, "iC4": .971, "N2": .9997, "CO2": .9947, "W": .952}
hs0k = {"CH4": 9510, "C2": 16790, "C3": 24170, "nC4": 31960, "iC4": 31760, "N2": 0, "CO2": 0}
bw = (x["W"] / z["W"]) / sum(x[k] / z[k] for k in x)
hs = sum(hs0k[k] * x[k] for k in hs0k) + 504 * bw
assert abs(d["higherHeat"] - hs) < 1e-5, (d["higherHeat"], hs)
assert d["conditions"]["airDensity"] == 1.2929, d["conditions"]
assert abs(d["components"][0]["percent"] - 93.1) < 1e-7
PY

# Failures: above 100 %, a typed name that is no component, unreadable files.
expect_rc 1 "$cli" gas --composition "Этан=60,Азот=45"
grep -q "больше 100 %" "$home/err.txt"
test ! -s "$home/out.txt"
expect_rc 1 "$cli" gas --composition "Этан=3,Етан=1"
grep -q "Етан" "$home/err.txt"
expect_rc 1 "$cli" gas "$home/нет.stg"
printf 'не хроматограмма' >"$home/мусор.stg"
expect_rc 1 "$cli" gas "$home/мусор.stg"
test "$(cat "$home/мусор.stg")" = "не хроматограмма"

# JSON numbers carry ten significant digits, hence the tolerances above.

# The demo chromatogram: its "Изобутан" is no table name until the
# laboratory's names say so.
"$cli" demo >/dev/null 2>&1
demo="$home/Chromatograms/Демо/demo.stg"
cp "$demo" "$home/second.stg"
expect_rc 0 "$cli" gas "$demo"
grep -q "Изобутан" "$home/err.txt"
/usr/bin/python3 - "$home/user.reg" <<'PY'
import sys
path = sys.argv[1]
try:
    text = open(path, encoding="utf-8").read()
except FileNotFoundError:
    text = "Zelmora settings 1\n"
text += '\n[Software\\Quendal\\Zelmora\\PrirGase]\n"Param4"="Изобутан"\n"Param4_predel"="0.500000"\n'
open(path, "w", encoding="utf-8").write(text)
PY
expect_rc 0 "$cli" gas "$demo" "$home/second.stg" --json
/usr/bin/python3 - "$home/out.txt" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
assert len(d["chromatograms"]) == 2 and d["unmatchedPeaks"] == [], d
by = {c["name"]: c for c in d["components"]}
assert by["Изобутан"]["component"] == "и-Бутан" and by["Изобутан"]["count"] == 2, by
assert by["Изобутан"]["verdict"] == "0.500 OK", by["Изобутан"]
assert by["Этан"]["verdict"] == "2.000 OK" and by["Этан"]["rangePercent"] == 0
assert by["Метан"]["count"] == 0  # by difference
assert abs(sum(c["percent"] for c in d["components"]) - 100) < 1e-7
PY
