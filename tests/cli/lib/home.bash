# The start every command-line test shares, sourced with the program under
# test as $1: a fresh ZELMORA_HOME (removed at the end) and expect_rc, which
# runs a command with its output in "$home/out.txt" and "$home/err.txt" and
# fails the test, showing both, when the exit code is not the one expected.
cli=$1
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export ZELMORA_HOME=$home

expect_rc() {  # expect_rc CODE COMMAND...
    local want=$1 rc=0
    shift
    "$@" >"$home/out.txt" 2>"$home/err.txt" || rc=$?
    if [[ $rc -ne $want ]]; then
        echo "expected exit $want, got $rc: $*" >&2
        cat "$home/out.txt" "$home/err.txt" >&2
        exit 1
    fi
}
