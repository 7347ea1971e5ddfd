#!/usr/bin/env bash
# Runs `korvel-tunneld --check` as a user would: on files, on standard input, on missing input.
set -u
tunneld=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# expect NAME STATUS STDOUT STDERR (yes: some lines, no: none) COMMAND...
expect() {
    local name=$1 status=$2 stdout=$3 stderr=$4 got out err
    shift 4
    "$@" >"$work/out" 2>"$work/err"
    got=$?
    out=$(cat "$work/out")
    [ -s "$work/err" ] && err=yes || err=no
    if [ "$got" != "$status" ] || [ "$out" != "$stdout" ] || [ "$err" != "$stderr" ]; then
        echo "FAIL $name: status $got (want $status), stdout '$out' (want '$stdout'), stderr: $(cat "$work/err")"
        failures=$((failures + 1))
    fi
}

# The command's own output is kept apart from the files it judges, which must stay untouched.
files=$work/files
mkdir -p "$files/folder"
printf '[Interface]\r\nMTU = 1420\r\n[Peer]\r\nEndpoint = 10.0.0.1:51820\r\n' >"$files/safe.conf"
printf '[Interface]\nPostUp = reboot\n[Peer]\n' >"$files/unsafe.conf"
snapshot() { find "$files" -printf '%p %s %T@\n' | sort; }
before=$(snapshot)

expect "safe file" 0 safe no "$tunneld" --check "$files/safe.conf"
expect "unsafe file" 1 unsafe no "$tunneld" --check "$files/unsafe.conf"
expect "standard input" 0 safe no sh -c '"$1" --check - <"$2"' sh "$tunneld" "$files/safe.conf"
expect "empty standard input" 1 unsafe no sh -c '"$1" --check - </dev/null' sh "$tunneld"
expect "endless standard input is cut at the limit" 1 unsafe no sh -c '"$1" --check - </dev/zero' sh "$tunneld"
expect "missing file" 2 "" yes "$tunneld" --check "$files/missing.conf"
expect "folder" 2 "" yes "$tunneld" --check "$files/folder"
expect "no file given" 2 "" yes "$tunneld" --check
expect "unknown option" 2 "" yes "$tunneld" --verbose
[ "$(snapshot)" = "$before" ] || { echo "FAIL the check changed files" && failures=$((failures + 1)); }

[ "$failures" = 0 ] && echo "all checks passed"
exit $((failures > 0))
