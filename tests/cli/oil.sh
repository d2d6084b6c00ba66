#!/usr/bin/env bash
# Transformer-oil diagnosis from the command line: a CSV history with two
# analyses of one moment (merged) against growth worked out by hand, the
# JSON verdict, a history from a database made here, and the refusals.
set -euo pipefail
source "$(dirname "$0")/lib/home.bash"

expect_rc 0 "$cli" oil --help
grep -q "zelmora-cli oil --history" "$home/out.txt"
expect_rc 2 "$cli" oil
expect_rc 2 "$cli" oil --station ТП-5
expect_rc 2 "$cli" oil --history x.csv --station ТП-5
expect_rc 1 "$cli" oil --history "$home/missing.csv"

# Two columns of the chromatograph on 9 February (no gas in common: they
# complete each other), 30 days after a full analysis. H2 up from 1 to 1.2:
# 0.2 %/month, 20 % a month -> out of service. p = 1/16, q = 0.5/1.2,
# r = 1/2: normal ratios; CO2/CO = 8.
cat >"$home/t1.csv" <<'CSV'
date,H2,CO,CO2,CH4,C2H2,C2H4,C2H6
2025-01-10 12:00:00,1,1,8,0.5,0.0625,1,2
2025-02-09 12:00:00,1.2,1,8,,,,
2025-02-09 12:00:00,,,,0.5,0.0625,1,2
CSV
expect_rc 0 "$cli" oil --history "$home/t1.csv"
grep -q "^V H2    = 0.2000 %об/мес, 20.000%" "$home/out.txt"
grep -q "Диагноз: Норма - слудет планировать вывод трансформатора из работы" "$home/out.txt"
expect_rc 0 "$cli" oil --history "$home/t1.csv" --json
/usr/bin/python3 - "$home/out.txt" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
assert d["analyses"] == 2 and d["mergedAway"] == 1, d
assert d["table"][1]["values"]["CH4"] == 0.5
assert abs(d["growth"]["H2"]["rate"] - 0.2) < 1e-12
assert abs(d["growth"]["H2"]["relative"] - 20) < 1e-9
assert abs(d["ratios"]["CH4/H2"] - 0.5 / 1.2) < 1e-9
assert d["code"] == 36 and d["removal"] and not d["developing"]
assert d["verdict"] == {"outOfService": True, "nextMonths": None, "nextDays": None}
assert d["defect"] == "Норма"
PY
# The first analysis: six months; with boundaries above every value, normal.
expect_rc 0 "$cli" oil --history "$home/t1.csv" --analysis 0 --json
grep -q '"nextMonths": 6' "$home/out.txt"
expect_rc 0 "$cli" oil --history "$home/t1.csv" --json \
    --boundaries H2=10,CO=10,CO2=10,CH4=10,C2H2=10,C2H4=10,C2H6=10
grep -q '"allBelowBoundaries": true' "$home/out.txt"
grep -q '"ratios": null' "$home/out.txt"
expect_rc 2 "$cli" oil --history "$home/t1.csv" --analysis 2
expect_rc 2 "$cli" oil --history "$home/t1.csv" --boundaries N2=1

# No H2 at all: no CH4/H2 ratio (null), no pattern.
cat >"$home/t2.csv" <<'CSV'
date,H2,CO,CO2,CH4,C2H2,C2H4,C2H6
2025-01-10 12:00:00,,1,8,0.5,0.0625,1,2
CSV
expect_rc 0 "$cli" oil --history "$home/t2.csv" --json
/usr/bin/python3 - "$home/out.txt" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
assert d["ratios"]["CH4/H2"] is None and d["code"] == -2, d
assert d["text"] == "Неизвестный дефект или ошибка данных"
PY
printf 'date,H2\n' >"$home/bad.csv"
expect_rc 1 "$cli" oil --history "$home/bad.csv"
grep -q "bad.csv" "$home/err.txt"

# From the database: a point with a quote in its name.
expect_rc 0 "$cli" db init --db "$home/z.db"
/usr/bin/python3 - "$home/z.db" <<'PY'
import sqlite3, sys
c = sqlite3.connect(sys.argv[1])
def add(date, values):
    cur = c.execute(
        "INSERT INTO Analyses (Station, Place, Date, StationFold, PlaceFold, OperatorFold,"
        " SampleFold, MethodFold) VALUES ('ТП-5', 'Т''1', ?, 'тп-5', 'т''1', '', '', '')", (date,))
    for name, v in values.items():
        c.execute("INSERT INTO Results (Analys, Parametr, Value, ParametrFold) VALUES (?,?,?,?)",
                  (cur.lastrowid, name, v, name.lower()))
gases = ["H2", "CO", "CO2", "CH4", "C2H2", "C2H4", "C2H6"]
add("2025-01-10 12:00:00", dict(zip(gases, [1, 1, 8, 0.5, 0.0625, 1, 2])))
add("2025-02-09 12:00:00", dict(zip(gases, [1.0005, 1, 8, 0.5, 0.0625, 1, 2])))
add("2999-01-01 12:00:00", dict(zip(gases, [50, 1, 8, 0.5, 0.0625, 1, 2])))
c.commit()
PY
expect_rc 0 "$cli" oil --db "$home/z.db" --station тп-5 --place "Т'1" --json
/usr/bin/python3 - "$home/out.txt" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
# The analysis of 2999 is not history yet. H2: 0.0005 %/month, 0.05 %:
# the next analysis when it has gained 5 x 0.0005, in 5 months.
assert d["analyses"] == 2, d
assert d["code"] == 0 and d["verdict"]["nextMonths"] == 5 and d["verdict"]["nextDays"] == 0, d
PY
expect_rc 1 "$cli" oil --db "$home/z.db" --station тп-5 --place "Нет"
grep -q "нет анализов" "$home/err.txt"
echo ok
