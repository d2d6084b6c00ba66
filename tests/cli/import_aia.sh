#!/bin/bash
# Chromatograms of other systems: the real AIA/ANDI and CSV files of
# tests/data imported into ".stg" files, a refused file reported without
# stopping the others, an existing file kept, the AIA export read back by
# python3-netcdf4, and marking with parameters found from the trace.
set -euo pipefail
cli="$1"
data="$(cd "$(dirname "$0")/../data" && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZELMORA_HOME="$work/home"
cd "$work"
mkdir out

"$cli" import --help | grep -q -- '--signal-unit'
"$cli" import "$data/aia/SOLV001.CDF" "$data/csv/fid_agilent6890_dfa708.csv" --out out >report.txt
[ -f out/SOLV001.stg ] && [ -f out/fid_agilent6890_dfa708.stg ]
grep -q 'SOLV001.CDF -> out/SOLV001.stg' report.txt
grep -q 'таблица пиков: 13 пиков' report.txt
grep -q 'сигнал в uV, пересчитан в мВ' report.txt
grep -q '3601 точек' report.txt
"$cli" info out/SOLV001.stg >info.txt
grep -q 'SOLVENTS' info.txt

# A file that is no chromatogram fails alone; an existing .stg is not replaced.
echo 'nothing here' >junk.cdf
cp out/SOLV001.stg keep.stg
set +e
"$cli" import junk.cdf "$data/aia/SOLV001.CDF" "$data/aia/VARIAN1.CDF" --out out --json >r.json 2>err.txt
code=$?
set -e
[ "$code" = 1 ]
grep -q 'не файл AIA/ANDI' err.txt
grep -q 'уже существует' err.txt
cmp out/SOLV001.stg keep.stg
/usr/bin/python3 - r.json <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
assert [x["ok"] for x in r] == [False, False, True], r
assert r[2]["samples"] == 1302 and r[2]["peaks"] == 8, r[2]
assert r[2]["operator"] == "MEA", r[2]
PY

# CSV with a decimal comma and ';', units from the options.
printf 'время;сигнал\n0,0;1\n0,5;2\n1,0;3\n' >ru.csv
"$cli" import ru.csv --time-unit s --signal-unit uV --json >ru.json
/usr/bin/python3 - ru.json <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))[0]
assert r["ok"] and r["samples"] == 3, r
assert abs(r["dt"] - 0.5 / 60) < 1e-12, r
PY

# The AIA export, read by an independent netCDF reader.
"$cli" export out/SOLV001.stg --aia solv.cdf | grep -q 'AIA/ANDI'
/usr/bin/python3 "$data/aia/read_with_netcdf4.py" check solv.cdf >check.txt
head -1 check.txt | grep -qx complete
grep -q '^points 1200$' check.txt
grep -q '^peak .* METHANOL$' check.txt
"$cli" import solv.cdf --out out --force >/dev/null

# Marking with parameters from the trace: the proposal and the peaks.
"$cli" mark out/fid_agilent6890_dfa708.stg --auto >mark.txt 2>/dev/null
grep -q 'Подобранные параметры разметки' mark.txt
grep -q 'шум базовой линии' mark.txt
"$cli" mark out/fid_agilent6890_dfa708.stg --auto --json >mark.json 2>/dev/null
/usr/bin/python3 - mark.json <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
assert r["saved"] is False
p = r["proposal"]
assert p["MinHeight"] > 0 and p["Width"] > 0, p
times = [x["apexTime"] for x in r["peaks"]]
# The ChemStation report's peaks at 2.824, 4.057 and 9.209 min.
for t in (2.824, 4.057, 9.209):
    assert min(abs(t - x) for x in times) < 0.0034, (t, times)
PY
