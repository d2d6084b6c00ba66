#!/usr/bin/env bash
# The report of a chromatogram from the command line: the demo chromatogram
# processed by its method, its report as RTF and as PDF with every
# identified component and the chromatogram picture; a chromatogram that
# cannot be read and a wrong output name are refused.
set -euo pipefail
source "$(dirname "$0")/lib/home.bash"
cd "$home"

expect_rc 0 "$cli" report --help
grep -q "zelmora-cli report ФАЙЛ.stg" "$home/out.txt"
expect_rc 0 "$cli" demo --folder "$home/demo"
cp "$home/demo/demo.stg" demo.stg
expect_rc 2 "$cli" report demo.stg
expect_rc 2 "$cli" report demo.stg --out отчёт.doc
expect_rc 1 "$cli" report absent.stg --out отчёт.rtf

# A build without the desktop program (the sanitizer build) cannot draw the
# chromatogram picture and says so.
if ! "$cli" report demo.stg --out отчёт.rtf >/dev/null 2>"$home/err.txt"; then
    grep -q "только сборка с окнами" "$home/err.txt"
    echo "report: refused without the desktop program's Qt, as it should"
    exit 0
fi
"$cli" process demo.stg --json >peaks.json
grep -q '\\pict' отчёт.rtf
python3 - peaks.json отчёт.rtf <<'PY'
import json, sys
peaks = json.load(open(sys.argv[1]))["files"][0]
import re
rtf = open(sys.argv[2], encoding="latin-1").read()
# Cyrillic stands as \uN followed by its code-page fallback \'xx.
text = re.sub(r"\\u(-?\d+)(?:\\'[0-9a-f]{2}|\?)?", lambda m: chr(int(m.group(1)) % 65536), rtf)
names = {p["component"] for p in peaks["peaks"] if p.get("component")}
assert names, peaks
for n in names:
    assert n in text, n
PY

expect_rc 0 "$cli" report demo.stg --out отчёт.pdf
head -c 5 отчёт.pdf | grep -q '%PDF-'
if command -v pdftotext >/dev/null; then
    pdftotext отчёт.pdf отчёт.txt
    python3 - peaks.json отчёт.txt <<'PY'
import json, sys
peaks = json.load(open(sys.argv[1]))["files"][0]
text = open(sys.argv[2]).read()
assert "demo.stg" in text, "the report names its chromatogram file"
for p in peaks["peaks"]:
    if p.get("component"):
        assert p["component"] in text, p["component"]
PY
fi
echo "report: ok"
