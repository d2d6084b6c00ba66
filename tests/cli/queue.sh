#!/usr/bin/env bash
# The analysis queue from the command line: a laboratory system's file with a
# gap in its numbering loaded (the entries not taken named), the entries
# listed as text and JSON, the next sample, a processed sample sent round
# again, and the failures: a file that is not a queue leaves the working
# copy as it was, an unknown analysis number, nothing new to record.
set -euo pipefail
source "$(dirname "$0")/lib/home.bash"

entry() {  # entry N ID STATUS INFO
    printf '<analyse n="%s"><comments dt:dt="string">партия %s</comments><info dt:dt="string">%s</info><organization dt:dt="string">Цех 2</organization><type dt:dt="string">А</type><id dt:dt="i4">%s</id><vial dt:dt="i4">%s</vial><status dt:dt="i4">%s</status><MSt dt:dt="r8">0.5</MSt><MProbe dt:dt="r8">1.5</MProbe></analyse>' \
        "$1" "$1" "$4" "$2" "$1" "$3"
}
{
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo '<Document xmlns:dt="urn:schemas-microsoft-com:datatypes">'
    entry 1 501 0 "Бензин"
    entry 2 502 2 "Керосин"
    entry 3 503 0 "Дизель"
    entry 5 505 0 "Мазут"
    echo '</Document>'
} >"$home/aq-20261209.xml"

expect_rc 0 "$cli" queue --help
grep -q "zelmora-cli queue load" "$home/out.txt"
expect_rc 2 "$cli" queue
expect_rc 2 "$cli" queue shuffle
expect_rc 2 "$cli" queue reset пять

expect_rc 0 "$cli" queue list
grep -q "Очередь пуста" "$home/out.txt"
expect_rc 1 "$cli" queue next

expect_rc 0 "$cli" queue load "$home/aq-20261209.xml"
grep -q "Записей в очереди: 3" "$home/out.txt"
grep -q "взято записей: 3 из 4" "$home/err.txt"
test -f "$home/Queue/queue.xml"

# Processed samples first, the rest in the file's order.
expect_rc 0 "$cli" queue list --json
python3 - "$home/out.txt" <<'PY'
import json, sys
entries = json.load(open(sys.argv[1]))
assert [e["id"] for e in entries] == [502, 501, 503], entries
assert [e["state"] for e in entries] == ["Обработан", "Новая", "Новая"], entries
assert entries[1]["sampleText"] == "Виала № 1 Бензин # 501", entries[1]
assert entries[1]["organization"] == "Цех 2" and entries[1]["sampleMass"] == 1.5
PY
expect_rc 0 "$cli" queue next --json
python3 -c 'import json,sys; assert json.load(open(sys.argv[1]))["id"] == 501' "$home/out.txt"

expect_rc 0 "$cli" queue reset 502
expect_rc 0 "$cli" queue list
grep -q "502.*Новая" "$home/out.txt"
expect_rc 1 "$cli" queue reset 777
grep -q "нет анализа № 777" "$home/err.txt"

# A file that is not a queue: a clear message, the working copy untouched.
cp "$home/Queue/queue.xml" "$home/before.xml"
echo '<?xml version="1.0"?><Worklist/>' >"$home/aq-20261210.xml"
expect_rc 1 "$cli" queue load "$home/aq-20261210.xml"
grep -q "Ошибка загрузки очереди!" "$home/err.txt"
cmp "$home/before.xml" "$home/Queue/queue.xml"
expect_rc 1 "$cli" queue load "$home/absent.xml"
echo "queue: ok"
