#!/bin/bash
# The chromatograph brought to readiness from the command line against the
# simulated instrument (cold start, 50 times speed): the state changes and
# readiness reasons on stderr, exit 0 when ready; a standing overheat ends
# in the error stop with its reason, which "state" and "alarms" show.
set -euo pipefail
cli=$(realpath "$1")
sim=$(dirname "$cli")/../tools/zelmora-sim
[[ -x $sim ]] || { echo "zelmora-sim is not built" >&2; exit 1; }
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
export ZELMORA_HOME="$work/home"
cd "$work"

# Starts the simulator; its pseudo-terminal goes to $tty.
start_sim() {
    rm -f sim.out
    "$sim" kalder --cold --speed 50 --heat-rate 0.1 "$@" >sim.out 2>/dev/null &
    pids+=($!)
    for _ in $(seq 50); do
        [[ -s sim.out ]] && break
        sleep 0.1
    done
    tty=$(head -1 sim.out)
}

start_sim
"$cli" devices add --type 1 --path "$tty" >/dev/null
"$cli" chromatograph --device 1 ready --time-scale 50 --timeout 60 --json >ready.json 2>ready.err
grep -q 'Состояние 1: Подготовка к анализу' ready.err
grep -q 'Состояние 5: Прибор готов к записи' ready.err
grep -q 'Задержка перед готовностью' ready.err
/usr/bin/python3 - ready.json <<'PY'
import json, sys
s = json.load(open(sys.argv[1]))
assert s["state"] == 5 and s["ready"] and s["lamps"] == 2, s
assert s["stopReason"] is None, s
PY
kill "${pids[0]}"

# An overheat of zone 2 that stays: the error stop with its reason. (Reading
# the fault words takes the parameter exchange a few seconds.)
start_sim --err-byte 01 --err-word 96:04
"$cli" devices remove 1 >/dev/null
"$cli" devices add --type 1 --path "$tty" >/dev/null
"$cli" chromatograph --device 1 alarms --json --timeout 6 --time-scale 50 >alarms.json 2>/dev/null
/usr/bin/python3 - alarms.json <<'PY'
import json, sys
a = json.load(open(sys.argv[1]))
assert a["stopReason"]["code"] == 50, a
assert a["stopReason"]["text"].startswith("Перегрев зоны 2"), a
PY
"$cli" chromatograph --device 1 state --timeout 6 --time-scale 50 >state.out 2>/dev/null
grep -q '^19 Ошибка в приборе' state.out
grep -q 'Перегрев зоны 2' state.out
"$cli" chromatograph --device 1 alarms --timeout 6 --time-scale 50 >alarms.out 2>/dev/null
grep -q 'Останов прибора произошёл по причине:' alarms.out
# Wrong use is a usage error.
set +e
"$cli" chromatograph ready >/dev/null 2>&1
[[ $? -eq 2 ]]
"$cli" chromatograph --device 1 warm >/dev/null 2>&1
[[ $? -eq 2 ]]
set -e
echo ok
