#!/bin/bash
# Three components calibrated at two levels from two synthetic calibration
# chromatograms; "process" must then report the amounts the curves give for
# a third chromatogram within 0.5 %.
set -euo pipefail
cli="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZELMORA_HOME="$work/home"
cd "$work"

"$cli" method new Смесь >/dev/null
method=$(find "$ZELMORA_HOME" -name 'Смесь.mtd')
common=(--samples 4000 --dt 0.002 --sigma 0.03 --noise 0.002 --drift 0.02 --method Смесь)
"$cli" synth cal1.stg "${common[@]}" --peak 2:10 --peak 4:20 --peak 6:5 --calibration \
    --analysis-time 1700000000 --seed 2 >/dev/null
"$cli" synth cal2.stg "${common[@]}" --peak 2:20 --peak 4:40 --peak 6:12 --calibration \
    --analysis-time 1700003600 --seed 3 >/dev/null
"$cli" synth sample.stg "${common[@]}" --peak 2:15 --peak 4:30 --peak 6:8 \
    --analysis-time 1700010000 --seed 4 >/dev/null

"$cli" calibrate "$method" cal1.stg --kind 1 --response area \
    --component Метан:2:1 --component Этан:4:0 --component Пропан:6:13 \
    --amount Метан=1 --amount Этан=2 --amount Пропан=0.5 >/dev/null 2>&1
"$cli" calibrate "$method" cal2.stg --amount Метан=2.2 --amount Этан=3.9 --amount Пропан=1.5 \
    >/dev/null 2>&1
# The same chromatogram again replaces its level instead of adding one.
"$cli" calibrate "$method" cal2.stg --amount Метан=2.2 --amount Этан=3.9 --amount Пропан=1.5 \
    2>"$work/again.txt" | grep -q 'уровней 2'
grep -q 'Данная хроматограмма уже использована в калибровке.' "$work/again.txt"
# A bad amount is refused and leaves the method as it was.
before=$(md5sum <"$method")
if "$cli" calibrate "$method" cal1.stg --amount Бутан=1 >/dev/null 2>&1; then
    echo "an amount of a component without a peak was accepted"; exit 1
fi
[ "$before" = "$(md5sum <"$method")" ]

"$cli" process sample.stg --json >"$work/out.json"
/usr/bin/python3 - "$work/out.json" <<'PY'
import json, math, sys
peaks = json.load(open(sys.argv[1]))["files"][0]["peaks"]
got = {p["component"]: p["concentration"] for p in peaks}
# Areas are proportional to the heights; amounts by hand from the curves:
# a line with constant through (10, 1) and (20, 2.2); a line through zero
# fitted to (20, 2) and (40, 3.9); a power law through (5, 0.5) and (12, 1.5).
want = {
    "Метан": 1 + 1.2 * (15 - 10) / 10,
    "Этан": (20 * 2 + 40 * 3.9) / (20 * 20 + 40 * 40) * 30,
    "Пропан": 0.5 * (8 / 5) ** (math.log(3) / math.log(12 / 5)),
}
for name, value in want.items():
    if abs(got.get(name, 0) - value) > 0.005 * value:
        sys.exit(f"{name}: {got.get(name)} instead of {value}")
PY

# Several files: progress and the summary on stderr, exit 1 for a failure.
if "$cli" process sample.stg missing.stg >/dev/null 2>"$work/err.txt"; then
    echo "a missing file was not reported"; exit 1
fi
grep -q '\[2/2\] missing.stg' "$work/err.txt"
grep -q 'Обработано файлов: 1, с ошибками: 1' "$work/err.txt"
echo ok
