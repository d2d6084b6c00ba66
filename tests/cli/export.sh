#!/bin/bash
# A chromatogram with two identified hydrocarbons exported as text and as the
# result XML, then handed to an export program (a script that records its
# arguments) from the "Prg" setting: a refusal leaves the file alone, an
# acceptance rewrites it.
set -euo pipefail
cli="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZELMORA_HOME="$work/home"
cd "$work"

"$cli" export --help >help.txt
grep -q -- '--program' help.txt
"$cli" method new Газ >/dev/null
method=$(find "$ZELMORA_HOME" -name 'Газ.mtd')
common=(--samples 4000 --dt 0.002 --sigma 0.03 --noise 0.002 --method Газ)
"$cli" synth cal.stg "${common[@]}" --peak 2:10 --peak 4:20 --calibration \
    --analysis-time 1700000000 >/dev/null
"$cli" synth "проба 1.stg" "${common[@]}" --peak 2:15 --peak 4:30 \
    --analysis-time 1700010000 --sample 'Газ # 77' >/dev/null
"$cli" calibrate "$method" cal.stg --component C2:2:0 --component c3:4:0 \
    --amount C2=1 --amount c3=2 >/dev/null 2>&1
"$cli" process "проба 1.stg" --save >/dev/null

"$cli" export "проба 1.stg" --text out.txt --xml out.xml >/dev/null
# The text file: Windows-1251, CR LF, the peaks with their names.
iconv -f cp1251 -t utf-8 out.txt >out.utf8
grep -q $'^Proba=Газ # 77\r$' out.utf8
grep -q $'^TimeStamp=Wednesday, November 15, 2023\r$' out.utf8
grep -q $'^0, 2.000000, .*, C2\r$' out.utf8
grep -q $'^DataLen=4000\r$' out.utf8
[ "$(grep -c $'\r$' out.utf8)" = "$(wc -l <out.utf8)" ]
/usr/bin/python3 - out.xml <<'PY'
import sys
import xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
dt = "{urn:schemas-microsoft-com:datatypes}dt"
items = [(e.tag, e.text, e.get(dt)) for e in root.find("analyse")]
assert items[0] == ("id", "77", "string"), items
assert [t for t, _, _ in items[1:]] == ["c2", "c3", "ic4", "c4", "ic5", "c5", "c6", "ic6"], items
values = {t: float(v) for t, v, _ in items[1:]}
assert abs(values["c2"] - 0.015) < 0.0005 and abs(values["c3"] - 0.03) < 0.001, values
assert all(values[k] == 0.001 for k in ["ic4", "c4", "ic5", "c5", "c6", "ic6"]), values
assert all(kind == "r8" for _, _, kind in items[1:])
PY

# Without a number in the sample text the XML is refused.
"$cli" synth plain.stg --samples 100 --peaks 0 >/dev/null
if "$cli" export plain.stg --xml plain.xml 2>err.txt; then
    echo "an XML export without an analysis number succeeded"; exit 1
fi
grep -q 'Не найден уникальный номер анализа!' err.txt
[ ! -e plain.xml ]
# Usage errors.
set +e
"$cli" export "проба 1.stg" >/dev/null 2>&1; [ $? = 2 ] || { echo "no export asked: not 2"; exit 1; }
"$cli" export missing.stg --text x.txt >/dev/null 2>&1; [ $? = 1 ] || { echo "missing file: not 1"; exit 1; }
set -e

# The export program: records its arguments and exits with the code in $code.
mkdir "my tools"
cat >"my tools/take.sh" <<'SH'
#!/bin/sh
for a in "$@"; do printf '[%s]\n' "$a"; done >"$EXPORT_ARGS"
cp "$2" "$EXPORT_ARGS.xml"
exit "$EXPORT_CODE"
SH
chmod +x "my tools/take.sh"
mkdir -p "$ZELMORA_HOME"
printf 'Zelmora settings 1\n\n[Software\\Quendal\\Zelmora]\n"Prg"="\\"%s\\" \\"два слова\\""\n' \
    "$work/my tools/take.sh" >"$ZELMORA_HOME/user.reg"
export EXPORT_ARGS="$work/args.txt" TMPDIR="$work/tmp"
mkdir "$TMPDIR"

before=$(md5sum <"проба 1.stg")
if EXPORT_CODE=3 "$cli" export "проба 1.stg" --program >/dev/null 2>err.txt; then
    echo "a refusing export program was taken for success"; exit 1
fi
grep -q 'Программа экспорта вернула код завершения 3' err.txt
[ "$before" = "$(md5sum <"проба 1.stg")" ]
[ "$(sed -n 1p args.txt)" = "[два слова]" ]
[ "$(sed -n 3p args.txt)" = "[проба 1.stg]" ]
grep -q '<id dt:dt="string">77</id>' args.txt.xml
[ -z "$(ls -A "$TMPDIR")" ]

touch -d '2000-01-01' "проба 1.stg"
EXPORT_CODE=0 "$cli" export "проба 1.stg" --program >said.txt
grep -q 'хроматограмма записана' said.txt
[ "$(stat -c %Y "проба 1.stg")" -gt 946684800 ]
[ -z "$(ls -A "$TMPDIR")" ]
"$cli" info "проба 1.stg" >info.txt
grep -q 'Газ # 77' info.txt
iconv -f cp1251 -t utf-8 "$ZELMORA_HOME/Zelmora.log" >log.txt
grep -q 'переданы программе экспорта' log.txt
echo ok
