#!/usr/bin/env bash
# Runs `korvel-tunneld --check` as a user would: on files, on standard input, on missing input.
set -u
tunneld=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# expect NAME STATUS STDOUT STDERR_LINES -- COMMAND...   (STDERR_LINES "any" means at least one)
expect() {
    local name=$1 status=$2 stdout=$3 stderr_lines=$4
    shift 5
    "$@" >"$work/out" 2>"$work/err"
    local got=$?
    local out err_lines
    out=$(cat "$work/out")
    err_lines=$(wc -l <"$work/err")
    [ "$stderr_lines" = any ] && [ "$err_lines" -gt 0 ] && stderr_lines=$err_lines
    if [ "$got" != "$status" ] || [ "$out" != "$stdout" ] || [ "$err_lines" != "$stderr_lines" ]; then
        echo "FAIL $name: status $got (want $status), stdout '$out' (want '$stdout'), $err_lines stderr lines (want $stderr_lines)"
        cat "$work/err"
        failures=$((failures + 1))
    fi
}

# The command's own output is kept apart from the files it judges, which must stay untouched.
files=$work/files
mkdir "$files"
printf '[Interface]\r\nMTU = 1420\r\n[Peer]\r\nEndpoint = 10.0.0.1:51820\r\n' >"$files/safe.conf"
printf '[Interface]\nPostUp = reboot\n[Peer]\n' >"$files/unsafe.conf"
mkdir "$files/folder"
snapshot() { find "$files" -printf '%p %s %T@\n' | sort; }
before=$(snapshot)

expect "safe file" 0 safe 0 -- "$tunneld" --check "$files/safe.conf"
expect "unsafe file" 1 unsafe 0 -- "$tunneld" --check "$files/unsafe.conf"
expect "standard input" 0 safe 0 -- sh -c '"$1" --check - <"$2"' sh "$tunneld" "$files/safe.conf"
expect "empty standard input" 1 unsafe 0 -- sh -c '"$1" --check - </dev/null' sh "$tunneld"
expect "endless standard input is cut at the limit" 1 unsafe 0 -- sh -c '"$1" --check - </dev/zero' sh "$tunneld"
expect "missing file" 2 "" 1 -- "$tunneld" --check "$files/missing.conf"
expect "folder" 2 "" 1 -- "$tunneld" --check "$files/folder"
expect "no file given" 2 "" any -- "$tunneld" --check
expect "unknown option" 2 "" any -- "$tunneld" --verbose
if [ "$(snapshot)" != "$before" ]; then
    echo "FAIL the check changed files"
    failures=$((failures + 1))
fi

[ "$failures" = 0 ] && echo "all checks passed"
exit $((failures > 0))
