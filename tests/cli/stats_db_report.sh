#!/usr/bin/env bash
# Statistics and database reports from the command line: the demo analysis
# run twice gives two equal injections (every RSD 0, means equal to the single
# values) and the instrument check report; its results saved in a new
# database give the date, point and component reports as CSV, RTF and PDF,
# with the component missing from the command refused.
set -euo pipefail
source "$(dirname "$0")/lib/home.bash"

expect_rc 0 "$cli" demo --folder "$home/a"
expect_rc 0 "$cli" demo --folder "$home/b"
expect_rc 2 "$cli" stats
expect_rc 1 "$cli" stats "$home/a/demo.stg" "$home/нет.stg"
expect_rc 2 "$cli" stats "$home/a/demo.stg" --reference 3
expect_rc 0 "$cli" stats "$home/a/demo.stg" "$home/b/demo.stg" --kacp "0.5 мкг/мВ" --json \
    --report "$home/test.rtf"
/usr/bin/python3 - "$home/out.txt" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
names = [c["name"] for c in d["components"]]
assert sorted(names) == sorted(["Метан", "Этан", "Пропан", "Изобутан", "Н-бутан"]), names
for c in d["components"]:
    assert c["peaks"] == 2, c
    assert c["rsdArea"] == 0 and c["rsdTime"] == 0, c
assert d["chromatograms"][0]["reference"] and not d["chromatograms"][1]["reference"]
assert d["converted"]["unit"] == "мкг"
assert abs(d["converted"]["noise"] - 0.5 * d["noiseMv"]) < 1e-12
PY
# The report is the form test.rpt filled: no marker left.
grep -q "rtf1" "$home/test.rtf"
! grep -q "__" "$home/test.rtf"

# The results in a new database, and its reports.
expect_rc 0 "$cli" db init
expect_rc 0 "$cli" db save "$home/a/demo.stg"
expect_rc 0 "$cli" db find --from 1970-01-01 --json
day=$(/usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["analyses"][0]["date"][:10])' "$home/out.txt")
expect_rc 0 "$cli" db report date --date "$day" --out "$home/date.csv"
grep -q "Метан" "$home/date.csv"
test "$(wc -l <"$home/date.csv")" -eq 6  # the header and five components
expect_rc 0 "$cli" db report date --date "$day" --exclude-component "ЭТАН" --out "$home/date2.csv"
test "$(wc -l <"$home/date2.csv")" -eq 5
expect_rc 0 "$cli" db report parametr --component "Метан" --from 1970-01-01 --to 2100-12-31 \
    --out "$home/param.rtf"
grep -q "rtf1" "$home/param.rtf"
# PDF where the program is built with its windows (Qt lays out the pages);
# a build without them says so instead of writing something else.
if "$cli" db report place --from 1970-01-01 --to 2100-12-31 --out "$home/place.pdf" \
    >"$home/out.txt" 2>"$home/err.txt"; then
    head -c 5 "$home/place.pdf" | grep -q "%PDF-"
else
    grep -q "PDF пишет только сборка с окнами" "$home/err.txt"
    test ! -e "$home/place.pdf"
fi
# Nothing in the period: a report with its header, not an error.
expect_rc 0 "$cli" db report date --date 1999-01-01 --out "$home/empty.csv"
test "$(wc -l <"$home/empty.csv")" -eq 1
expect_rc 2 "$cli" db report parametr --out "$home/x.csv"
grep -q "Необходимо указать компонент" "$home/err.txt"
expect_rc 2 "$cli" db report month --out "$home/x.csv"
expect_rc 2 "$cli" db report date
echo "stats and database reports: ok"
