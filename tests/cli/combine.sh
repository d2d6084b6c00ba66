#!/usr/bin/env bash
# Combined composition tables from the command line: the demo chromatogram
# (five hydrocarbons, 100 %) with 20 % of permanent gases from an ".et" file
# made here, in volume per cent (hydrocarbons × 0.8) and in mass per cent
# against the densities of a density map made here; the result saved as
# ".et"; a missing density named; damaged and unreadable inputs refused.
set -euo pipefail
source "$(dirname "$0")/lib/home.bash"

"$cli" demo >/dev/null 2>&1
demo="$home/Chromatograms/Демо/demo.stg"

/usr/bin/python3 - "$home" <<'PY'
import struct, sys
home = sys.argv[1]
def counted(s):
    b = s.encode("cp1251")
    assert len(b) < 255
    return bytes([len(b)]) + b
rows = [["1", "", "", "", "15", "Азот", "1.165"], ["2", "", "", "", "5", "Кислород", ""]]
with open(home + "/gases.et", "wb") as f:
    f.write(struct.pack("<I", len(rows) + 1))
    for r in rows:
        for c in r:
            f.write(counted(c))
dens = {"Метан": 0.668, "Этан": 1.263, "Пропан": 1.872, "Изобутан": 2.489,
        "Н-бутан": 2.489, "Кислород": 1.331}
with open(home + "/Denseness.den", "wb") as f:
    f.write(struct.pack("<I", len(dens)))
    for k, v in dens.items():
        f.write(counted(k) + struct.pack("<d", v))
with open(home + "/partial.den", "wb") as f:
    f.write(struct.pack("<I", 1) + counted("Метан") + struct.pack("<d", 0.668))
with open(home + "/over.et", "wb") as f:
    f.write(struct.pack("<I", 3))
    for r in [["1", "", "", "", "60", "Азот", ""], ["2", "", "", "", "41", "Кислород", ""]]:
        for c in r:
            f.write(counted(c))
with open(home + "/broken.et", "wb") as f:
    f.write(struct.pack("<I", 1000000) + b"\x01A")
PY

expect_rc 0 "$cli" combine --help
grep -q "Использование: zelmora-cli combine" "$home/out.txt"
expect_rc 2 "$cli" combine "$demo"
expect_rc 2 "$cli" combine "$demo" --manual "$home/gases.et" --unit moles
expect_rc 2 "$cli" combine "$demo" --manual "$home/gases.et" --output "$home/r.txt"

expect_rc 0 "$cli" combine "$demo" --manual "$home/gases.et" --unit volume \
    --densities "$home/Denseness.den" --json --output "$home/result.et"
cp "$home/out.txt" "$home/volume.json"
/usr/bin/python3 - "$home/volume.json" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
assert d["unit"] == "volume"
rows = d["rows"]
assert [r["component"] for r in rows] == ["Метан", "Этан", "Пропан", "Изобутан", "Н-бутан",
                                          "Азот", "Кислород"], rows
# The hydrocarbons (100 %) make the 80 % the permanent gases leave.
assert abs(sum(r["concentration"] for r in rows[:5]) - 80) < 0.003
assert [r["concentration"] for r in rows[5:]] == [15, 5]
assert rows[-1]["density"] == 1.331  # completed from the map
PY
test -s "$home/result.et"

expect_rc 0 "$cli" combine "$demo" --manual "$home/gases.et" --densities "$home/Denseness.den" --json
/usr/bin/python3 - "$home/out.txt" "$home/volume.json" <<'PY'
import json, sys
m = json.load(open(sys.argv[1]))
v = json.load(open(sys.argv[2]))
assert m["unit"] == "mass"
d = sum(r["concentration"] * r["density"] for r in v["rows"])
for a, b in zip(m["rows"], v["rows"]):
    # From the rounded volume figures: within a hundredth.
    assert abs(a["concentration"] - b["concentration"] * b["density"] / d * 100) < 0.01, (a, b)
assert abs(sum(r["concentration"] for r in m["rows"]) - 100) < 0.01
PY

# The saved result reads back as a second table; a manual sum above 100 % is refused.
expect_rc 0 "$cli" combine "$demo" --manual "$home/result.et" --unit volume --json
grep -q '"component": "Кислород"' "$home/out.txt"
expect_rc 1 "$cli" combine "$demo" --manual "$home/over.et" --unit volume
grep -q "не больше 100" "$home/err.txt"

# Densities missing: named, volume kept, exit 1.
expect_rc 1 "$cli" combine "$demo" --manual "$home/gases.et" --densities "$home/partial.den"
grep -q "нет плотности для: Этан, Пропан" "$home/err.txt"
grep -q "объемные проценты" "$home/out.txt"

expect_rc 1 "$cli" combine "$demo" --manual "$home/broken.et"
grep -q "повреждён" "$home/err.txt"
expect_rc 1 "$cli" combine "$home/нет.stg" --manual "$home/gases.et"
printf 'garbage' >"$home/bad.den"
expect_rc 1 "$cli" combine "$demo" --manual "$home/gases.et" --densities "$home/bad.den"
echo ok
