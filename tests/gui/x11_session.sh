#!/usr/bin/env bash
# Runs a window test the way a desktop meets the window: on an X display (Xvfb) and a session bus of its
# own, with the accessibility bus of at-spi2-core on it and Qt's AT-SPI bridge switched on, as a screen
# reader finds them. Exits 77 (skipped) when one of those is not installed.
set -euo pipefail

for need in dbus-run-session dbus-send xvfb-run xauth /usr/libexec/at-spi-bus-launcher; do
    if ! command -v "$need" >/dev/null; then
        echo "skipped: $need is not installed (dbus, xvfb, xauth, at-spi2-core)" >&2
        exit 77
    fi
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "skipped: python3-pyatspi is not installed" >&2 && exit 77; }

export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# The accessibility bus's socket lives in the runtime folder, else in ~/.cache shared by every session.
XDG_RUNTIME_DIR="$(mktemp -d)"
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
# Qt joins the accessibility bus only when it is already there, as it is in a desktop session; the
# bus's launcher is slow to answer on a loaded machine.
dbus-run-session -- bash -c '
    dbus-send --session --reply-timeout=120000 --print-reply --dest=org.a11y.Bus /org/a11y/bus \
        org.a11y.Bus.GetAddress >/dev/null || { echo "the accessibility bus did not start" >&2 && exit 1; }
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$@"' session "$@"
