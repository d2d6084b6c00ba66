#!/usr/bin/env bash
# What every user of the command-line tool meets first: help, version, exit
# codes, clear failures on files that cannot be read, methods made and shown,
# marking printed as JSON, and a damaged settings file that is reported
# instead of being replaced silently.
set -euo pipefail
source "$(dirname "$0")/lib/home.bash"

expect_rc 0 "$cli" --help
grep -q "Команды:" "$home/out.txt"
expect_rc 0 "$cli" --version
grep -q "^zelmora-cli Версия [0-9]" "$home/out.txt"
expect_rc 2 "$cli"
expect_rc 2 "$cli" нет-такой-команды
grep -q "неизвестная команда" "$home/err.txt"
for command in info mark method process db devices; do
    expect_rc 0 "$cli" "$command" --help
    grep -q "Использование" "$home/out.txt"
done
# Every command's help, however it is asked for, ends its last line.
commands=$("$cli" --help | sed -n '/^Команды:/,/^$/p' | awk 'NF > 1 {print $1}')
[[ -n $commands ]]
for command in $commands; do
    for asked in "$command --help" "help $command" "$command -h --нет"; do
        # shellcheck disable=SC2086
        expect_rc 0 "$cli" $asked
        [[ $(tail -c 1 "$home/out.txt" | od -An -tx1) == *0a* ]] || {
            echo "help of $asked ends without a line feed" >&2
            exit 1
        }
    done
done

# Files that cannot be read: a clear message and exit 1; no arguments: 2.
expect_rc 2 "$cli" info
expect_rc 1 "$cli" info "$home/нет.stg"
test -s "$home/err.txt"
printf 'не хроматограмма' >"$home/мусор.stg"
expect_rc 1 "$cli" info "$home/мусор.stg"
test -s "$home/err.txt"
test "$(cat "$home/мусор.stg")" = "не хроматограмма"
expect_rc 1 "$cli" mark "$home/мусор.stg" --save
test "$(cat "$home/мусор.stg")" = "не хроматограмма"

# A default method: written once, not replaced without --force, shown whole.
expect_rc 0 "$cli" method new Проба
test -s "$home/Methods/Проба.mtd"
expect_rc 1 "$cli" method new Проба
expect_rc 0 "$cli" method new Проба --force
expect_rc 1 "$cli" method new ../вне
test ! -e "$home/вне.mtd"
expect_rc 0 "$cli" method show "$home/Methods/Проба.mtd" --json
/usr/bin/python3 - "$home/out.txt" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
for key in ("info", "capture", "filter", "marking", "calculation", "report"):
    assert key in d, key
PY
printf 'не метод' >"$home/Methods/Плохой.mtd"
expect_rc 1 "$cli" method show "$home/Methods/Плохой.mtd"

# Marking the demo chromatogram prints its peaks; without --save the file
# stays as it was.
"$cli" demo >/dev/null 2>&1
demo="$home/Chromatograms/Демо/demo.stg"
sum_before=$(md5sum <"$demo")
expect_rc 0 "$cli" mark "$demo" --json
/usr/bin/python3 - "$home/out.txt" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
assert len(d["peaks"]) == 5, d["peaks"]
assert all(p["area"] > 0 and p["startTime"] < p["apexTime"] < p["endTime"] for p in d["peaks"])
PY
test "$(md5sum <"$demo")" = "$sum_before"

# Synthetic peaks of different heights have different areas, and the
# summary says so.
expect_rc 0 "$cli" synth "$home/разные.stg" --samples 2000 --peak 0.5:10 --peak 1.2:30
grep -q "площади от" "$home/out.txt"
expect_rc 0 "$cli" synth "$home/равные.stg" --samples 2000 --peaks 3
grep -q "площадь каждого" "$home/out.txt"

# A damaged settings file: put aside, the defaults taken, and said so on
# stderr and in the work log.
printf '\x00\x01 мусор [[[' >"$home/user.reg"
expect_rc 0 "$cli" status
grep -q "повреждён" "$home/err.txt"
ls "$home"/user.reg.damaged-* >/dev/null
iconv -f CP1251 -t UTF-8 "$home/Zelmora.log" | grep -q "? Файл настроек"
