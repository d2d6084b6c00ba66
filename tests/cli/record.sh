#!/bin/bash
# zelmora-cli record on the simulated converter: a series of three analyses
# gives three processed files with distinct names, numbers 1, 2, 3 and
# database keys; a recording killed with SIGKILL leaves its journal, and
# zelmora-cli recover makes it a chromatogram holding every point up to a
# second before the kill, marked as interrupted.
set -euo pipefail
cli=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZELMORA_HOME="$work/home"
cd "$work"

"$cli" devices add --type "Демо АЦП" >/dev/null
"$cli" demo >/dev/null 2>&1
"$cli" record --device 1 --channel 1 --method Демо --minutes 0.05 --series 3 \
    --sample 'проба 5' >files.txt 2>series.err || { cat series.err; exit 1; }
(($(wc -l <files.txt) == 3))
(($(sort -u files.txt | wc -l) == 3))
n=0
while read -r f; do
    n=$((n + 1))
    [[ -f $f && $(basename "$f") == Демо_* ]]
    "$cli" info "$f" --json >info.json
    /usr/bin/python3 - info.json "$n" <<'PY'
import json, sys
info = json.load(open(sys.argv[1]))
p = info["passport"]
assert p["numberInSeries"] == int(sys.argv[2]), p
assert p["sample"] == "проба 5", p
assert p["databaseKey"] > 0, p
assert info["samples"] == 30, info["samples"]
PY
done <files.txt
keys=$(for f in $(cat files.txt); do "$cli" info "$f" --json; done |
    /usr/bin/python3 -c 'import sys,json,re; print(len(set(re.findall(r"\"databaseKey\": (\d+)", sys.stdin.read()))))')
[[ $keys == 3 ]]
[[ -z $(ls "$ZELMORA_HOME/Recovery") ]]

# A kill in the middle of a recording: nothing but the last second is lost.
"$cli" record --device 1 --channel 1 --method Демо --minutes 5 >/dev/null 2>kill.err &
pid=$!
for _ in $(seq 100); do
    grep -q 'точек [3-9][0-9]' kill.err 2>/dev/null && break
    sleep 0.1
done
sleep 0.5
seen=$(grep -o 'точек [0-9]*' kill.err | tail -1 | cut -d' ' -f2)
kill -KILL "$pid"
wait "$pid" 2>/dev/null || true
"$cli" recover --list --json >list.json
/usr/bin/python3 - list.json "$seen" <<'PY'
import json, sys
found = json.load(open(sys.argv[1]))
assert len(found) == 1, found
# The demo converter gives 10 points a second; the last progress line was
# printed before the kill.
assert found[0]["points"] + 10 >= int(sys.argv[2]), (found, sys.argv[2])
PY
recovered=$("$cli" recover 2>/dev/null)
[[ -f $recovered ]]
"$cli" info "$recovered" --json | grep -q 'Запись прервана'
[[ -z $(ls "$ZELMORA_HOME/Recovery") ]]
# The earlier files are untouched.
for f in $(cat files.txt); do "$cli" info "$f" >/dev/null; done
# Nothing left: recover has nothing to do.
[[ $("$cli" recover --list --json | tr -d '[:space:]') == "[]" ]]
