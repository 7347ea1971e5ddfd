#!/usr/bin/env bash
# Runs a window test the way a desktop meets the window: on an X display (Xvfb) and a session bus of its
# own. Exits 77 (skipped) when one of those is not installed.
set -euo pipefail

for need in dbus-run-session xvfb-run xauth; do
    if ! command -v "$need" >/dev/null; then
        echo "skipped: $need is not installed (dbus, xvfb, xauth)" >&2
        exit 77
    fi
done
export QT_QPA_PLATFORM=xcb
exec dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$@"
