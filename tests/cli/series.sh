#!/bin/bash
# zelmora-cli series: the simulated HT300 autosampler injects vials 2-4 and
# each injection records one chromatogram on the demo converter, with its
# vial and sample name in the passport, while the sampler's line loses one
# answer and damages two (each survived with a work-log line). A vial
# beyond the tray, a device that is no sampler and a sampler that falls
# silent in the middle end with exit code 1, a bad vial list with 2.
set -euo pipefail
source "$(dirname "$0")/lib/home.bash" "$(realpath "$1")"
sim=$(dirname "$cli")/../tools/zelmora-sim
[[ -x $sim ]] || { echo "zelmora-sim is not built" >&2; exit 1; }
cd "$home"

simpid=
start_sim() {
    rm -f sim.out
    "$sim" ht300 "$@" >sim.out 2>sim.err &
    simpid=$!
    for _ in $(seq 50); do
        [[ -s sim.out ]] && break
        sleep 0.1
    done
    tty=$(head -1 sim.out)
}
stop_sim() {
    kill "$simpid" 2>/dev/null || true
    wait "$simpid" 2>/dev/null || true
}
trap 'stop_sim; rm -rf "$home"' EXIT

start_sim --tray 16 --fault noanswer@12 --fault badcheck@20 --fault short@30
"$cli" devices add --type "Демо АЦП" >/dev/null
"$cli" devices add --type "Дозатор HT300" --port 5 --path "$tty" >/dev/null
"$cli" demo >/dev/null 2>&1
expect_rc 0 "$cli" series --sampler 2 --vials 2-4 --device 1 --channel 1 --method Демо \
    --minutes 0.05
cp "$home/out.txt" files.txt
(($(wc -l <files.txt) == 3))
n=1
while read -r f; do
    n=$((n + 1))
    [[ -f $f ]]
    "$cli" info "$f" --json >info.json
    /usr/bin/python3 - info.json "$n" <<'PY'
import json, sys
info = json.load(open(sys.argv[1]))
p = info["passport"]
vial = int(sys.argv[2])
assert p["vial"] == vial, p
assert p["sample"] == "Проба %d" % vial, p
assert p["sample2"] == "Инжекция 1", p
assert p["databaseKey"] > 0, p
assert 29 <= info["samples"] <= 31, info["samples"]
PY
done <files.txt
grep -q 'Записано хроматограмм: 3 из 3' "$home/err.txt"
log=$(find "$home" -name Zelmora.log | head -1)
iconv -f cp1251 -t utf-8 "$log" >log.txt
grep -q '!!! Нет ответа за 1000 мсек' log.txt
grep -q 'отвергнут: ошибка контрольной суммы' log.txt
(($(grep -c 'HT300: Доза: виала' log.txt) == 3))
stop_sim
grep -q 'дозирований 3, сбоев 3' sim.err

# The tray has 10 places: vial 12 is refused before anything is injected.
start_sim --tray 16
"$cli" devices add --type "Дозатор HT300" --port 6 --path "$tty" >/dev/null
expect_rc 1 "$cli" series --sampler 3 --vials 9-12 --device 1 --channel 1 --method Демо
grep -q 'виала 12 вне лотка дозатора (10 мест)' "$home/err.txt"
# Not a sampler; a vial list that is no list.
expect_rc 1 "$cli" series --sampler 1 --vials 1 --device 3 --channel 1 --method Демо
expect_rc 2 "$cli" series --sampler 3 --vials 5-2 --device 1 --channel 1 --method Демо
expect_rc 2 "$cli" series --sampler 3 --vials 1-5 --device 1 --channel 1
# From its 20th request on the sampler hears nothing: its commands are given
# up after their retries (a status request after three in a row) and the
# series ends unfinished.
stop_sim
start_sim --tray 16 --fault noanswer@20/1
"$cli" devices add --type "Дозатор HT300" --port 7 --path "$tty" >/dev/null
expect_rc 1 "$cli" series --sampler 4 --vials 1-3 --device 1 --channel 1 --method Демо \
    --minutes 0.05
grep -q 'серия не закончена' "$home/err.txt"
iconv -f cp1251 -t utf-8 "$log" >log.txt
grep -Eq 'не выполнена после 3 попыток|не отвечает на 3 запроса состояния подряд' log.txt
grep -q 'Серия анализов остановлена: дозатор не принял команду' log.txt
