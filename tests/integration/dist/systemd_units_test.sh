#!/bin/bash
# systemd-analyze verify must accept the installed units. It insists that ExecStart= exists, so a
# copy of the units runs the built daemon in place of the installed path.
set -u
units=$1 daemon=$2 installed_daemon=$3

if ! command -v systemd-analyze >/dev/null; then
    echo "SKIP: systemd-analyze is missing (package systemd)"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for unit in korvel-tunneld.socket korvel-tunneld.service; do
    sed "s|^ExecStart=$installed_daemon\$|ExecStart=$daemon|" "$units/$unit" >"$work/$unit"
done
if ! grep -qx "ExecStart=$daemon" "$work/korvel-tunneld.service"; then
    echo "FAIL the service does not run $installed_daemon"
    exit 1
fi

# Unknown or misspelt settings are only warnings to systemd: any output counts as a failure.
output=$(cd "$work" && systemd-analyze verify --man=no korvel-tunneld.socket korvel-tunneld.service 2>&1)
status=$?
if [ $status != 0 ] || [ -n "$output" ]; then
    echo "FAIL systemd-analyze verify (status $status):"
    echo "$output"
    exit 1
fi
echo "the units verify"
