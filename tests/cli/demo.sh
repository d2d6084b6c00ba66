#!/usr/bin/env bash
# The demo runs a whole analysis in a fresh folder: five components are found
# and their normalised concentrations add up to 100 % and match the
# synthetic peaks within half a per cent (absolute).
set -euo pipefail
cli=$1
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export ZELMORA_HOME=$home
"$cli" demo --json >"$home/out.json" 2>"$home/err.txt"
test -s "$home/Chromatograms/Демо/demo.stg"
test -s "$home/Methods/Демо.mtd"
/usr/bin/python3 - "$home/out.json" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
names = [p["component"] for p in d["peaks"]]
assert names == ["Метан", "Этан", "Пропан", "Изобутан", "Н-бутан"], names
total = sum(p["concentration"] for p in d["peaks"])
assert abs(total - 100) < 1e-6, total
expected = [56.738, 20.426, 11.915, 4.539, 6.383]
for p, e in zip(d["peaks"], expected):
    assert abs(p["concentration"] - e) < 0.5, (p, e)
PY
# The passport tells the eight minutes the run took.
"$cli" info "$home/Chromatograms/Демо/demo.stg" | grep -q "Продолжительность: 8 мин"
# Progress goes to stderr, and the work log has the method save.
grep -q "1/4" "$home/err.txt"
iconv -f CP1251 -t UTF-8 "$home/Zelmora.log" | grep -q "Оператор сохранил метод Демо"
# A second run replaces the demo files and succeeds again.
"$cli" demo >/dev/null 2>&1
