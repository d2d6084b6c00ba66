#!/bin/bash
# A recording from the simulated converter becomes a chromatogram named after
# its method and analysis time, processed and saved in the chromatograms
# folder; without a loadable method it is named "Zelmora_..." and kept as it
# was recorded.
set -euo pipefail
cli=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZELMORA_HOME="$work/home"
cd "$work"

"$cli" devices add --type "Демо АЦП" >/dev/null
"$cli" method new Газ >/dev/null
"$cli" acquire --device 1 --channel 1 --seconds 2 --method Газ --sample 'проба 7' \
    --out raw.csv >first.txt 2>/dev/null
first=$(cat first.txt)
[[ -f $first && $first == "$ZELMORA_HOME"/Chromatograms/* ]]
[[ $(basename "$first") =~ ^Газ_[0-9]{6}_[0-9]{6}(\ \([0-9]+\))?\.stg$ ]]
[[ $(head -1 raw.csv) == time_s,value_mv ]]
"$cli" info "$first" --json >info.json
/usr/bin/python3 - info.json <<'PY'
import json, sys
info = json.load(open(sys.argv[1]))
text = json.dumps(info, ensure_ascii=False)
assert "проба 7" in text, text
PY
# No method loaded: the file is named "Zelmora_..." and nothing is processed.
second=$("$cli" acquire --device 1 --channel 1 --seconds 1 --method Нет 2>/dev/null)
[[ $(basename "$second") == Zelmora_* ]]
# Ctrl+C (or a SIGTERM) ends a long recording early and keeps what it has.
"$cli" acquire --device 1 --channel 1 --seconds 600 --method Газ --out cut.csv \
    >cut.txt 2>cut.err &
pid=$!
for _ in $(seq 100); do
    grep -q 'точек [1-9]' cut.err 2>/dev/null && break
    sleep 0.1
done
sleep 1
kill -INT "$pid"
set +e
wait "$pid"
status=$?
set -e
[[ $status -eq 130 ]] || { cat cut.err; exit 1; }
(($(wc -l <cut.csv) > 2))
[[ -f $(cat cut.txt) ]]
grep -q 'записанное сохранено' cut.err
# Missing options are a usage error.
set +e
"$cli" acquire --device 1 --channel 1 --seconds 1 >/dev/null 2>&1
[[ $? -eq 2 ]]
