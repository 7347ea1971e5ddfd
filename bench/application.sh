#!/bin/bash
# The real korvel window against an empty Qt Widgets window of the same size, side by side: cold
# start to the first frame, then both idle with the application signed in: resident memory and
# wakeups per second, disconnected and, when a tunnel can be brought up here, connected. Runs inside
# a session bus with an unlocked keyring (tests/integration/keychain/keychain_session.sh) and in the
# network namespace of the API server. Prints rows of the results table; per-thread wakeups go to
# DETAILS.
# The same application on an X display (Xvfb), without a panel and in one (korvel-test-desktop as a
# panel that takes StatusNotifierItems), gives the panel icon's memory.
# Usage: application.sh KORVEL WINDOW_START BARE_WINDOW DESKTOP API EMAIL PASSWORD DETAILS [TOOLS CONFIG]
# With TOOLS and CONFIG, "TOOLS/bash TOOLS/wg-quick up CONFIG" brings a tunnel up that the
# application sees as its own; otherwise the connected row is skipped.
set -u
korvel=$1 window_start=$2 bare_window=$3 desktop=$4 api=$5 email=$6 password=$7 details=$8 tools=${9-}
config=${10-}
rounds=${KORVEL_BENCH_ROUNDS:-10} settle=5 window=10

# shellcheck source=table.sh
. "$(dirname "$0")/table.sh"

export KORVEL_API=$api QT_QPA_PLATFORM=offscreen
rm -f "$details" "$details".*
pids=()
trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done' EXIT

if ! printf '%s\n' "$password" | "$korvel" login "$email" >/dev/null 2>"$details.login"; then
    reason="korvel login failed: $(tail -n 1 "$details.login")"
    for measure in "Cold start to first frame" "Application RSS, signed in, idle" \
        "Application RSS in the panel" "Idle wakeups/s, disconnected" "Idle wakeups/s, connected"; do
        bench_skipped "$measure" "$reason"
    done
    exit 0
fi

# Cold start: launch to the first frame, the order turning each round. The empty window with one line
# of text shows what setting up the fonts alone adds.
for round in $(seq "$rounds"); do
    for turn in $((round % 3)) $(((round + 1) % 3)) $(((round + 2) % 3)); do
        case $turn in
            0) "$window_start" "$EPOCHREALTIME" >>"$details.start.korvel" ;;
            1) "$bare_window" --first-frame "$EPOCHREALTIME" >>"$details.start.bare" ;;
            2) "$bare_window" --text --first-frame "$EPOCHREALTIME" >>"$details.start.text" ;;
        esac
    done
done
start_korvel=$(bench_median <"$details.start.korvel")
start_bare=$(bench_median <"$details.start.bare")
start_text=$(bench_median <"$details.start.text")
bench_row "Cold start to first frame (median of $rounds, offscreen)" "$start_korvel ms" \
    "$start_bare ms (with a line of text: $start_text ms)" "$(bench_ratio "$start_korvel" "$start_bare")" \
    "<= x1.5" "$(bench_met "$start_korvel" "$(awk -v b="$start_bare" 'BEGIN { print b * 1.5 }')")"

rss_kib() {
    awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"
}

# x11_rss: the resident KiB of korvel on the X display, signed in and idle for the settling time; with
# its icon in the panel, what the icon's tooltip says goes to DETAILS.tooltip. One at a time: a second
# korvel on the same session bus would only raise the first one's window.
x11_rss() {
    DISPLAY=$x_display QT_QPA_PLATFORM=xcb "$korvel" &
    local pid=$! item
    sleep "$settle"
    item=$(sed -n 's/^item //p' "$details.panel" 2>/dev/null)
    if [ -n "$item" ]; then
        dbus-send --session --print-reply --dest="$item" /StatusNotifierItem org.freedesktop.DBus.Properties.Get \
            string:org.kde.StatusNotifierItem string:ToolTip >"$details.tooltip" 2>&1
    fi
    kill -0 "$pid" 2>/dev/null && rss_kib "$pid"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}
panel_measure="Application RSS, signed in, idle ${settle} s, in the panel (Xvfb, StatusNotifierItem)"
if command -v Xvfb >/dev/null; then
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$details.display" 2>"$details.xvfb" &
    pids+=($!)
    for _ in $(seq 100); do
        [ -s "$details.display" ] && break
        sleep 0.1
    done
    x_display=:$(cat "$details.display")
    rss_plain=$(x11_rss)
    "$desktop" --watcher >"$details.panel" &
    pids+=($!)
    rss_panel=$(x11_rss)
    if [ -z "$rss_plain" ] || [ -z "$rss_panel" ]; then
        bench_skipped "$panel_measure" "korvel exited on the X display"
    elif ! grep -q 'Not protected · Fastest location' "$details.tooltip"; then
        bench_skipped "$panel_measure" "the icon did not show korvel signed in (see $details.tooltip)"
    else
        bench_row "$panel_measure" "$(bench_mib "$rss_panel") MiB" "without a panel $(bench_mib "$rss_plain") MiB" \
            "$(bench_ratio "$rss_panel" "$rss_plain")" "<= 60 MiB" "$(bench_met "$rss_panel" $((60 * 1024)))"
    fi
else
    bench_skipped "$panel_measure" "Xvfb is not installed"
fi

# Context switches of every thread, as "TID COUNT NAME" lines.
switches() {
    local task
    for task in /proc/"$1"/task/*; do
        awk -v tid="${task##*/}" -v name="$(cat "$task/comm" 2>/dev/null)" \
            '/^(non)?voluntary_ctxt_switches:/ { n += $2 } END { if (NR) printf "%s %d %s\n", tid, n, name }' \
            "$task/status" 2>/dev/null
    done
}
# wakeups PID BEFORE AFTER LABEL: per-second total over the window; the threads' share to DETAILS.
wakeups() {
    {
        echo "== $4 (pid $1), context switches over $window s, by thread:"
        awk 'NR == FNR { before[$1] = $2; next } {
            tid = $1; n = $2; $1 = $2 = ""; printf "  %6d  %s (%s)\n", n - before[tid], substr($0, 3), tid }' "$2" "$3" |
            sort -nr
    } >>"$details"
    awk -v w="$window" 'NR == FNR { before[$1] = $2; next } { n += $2 - before[$1] } END { printf "%.1f", n / w }' "$2" "$3"
}
# measure_idle LABEL: both windows' wakeups per second over the same window, as "KORVEL BARE".
measure_idle() {
    switches "$korvel_pid" >"$details.k0"
    switches "$bare_pid" >"$details.b0"
    sleep "$window"
    switches "$korvel_pid" >"$details.k1"
    switches "$bare_pid" >"$details.b1"
    echo "$(wakeups "$korvel_pid" "$details.k0" "$details.k1" "korvel, $1") \
$(wakeups "$bare_pid" "$details.b0" "$details.b1" "empty window, $1")"
}

"$korvel" &
korvel_pid=$!
pids+=("$korvel_pid")
"$bare_window" &
bare_pid=$!
pids+=("$bare_pid")
sleep "$settle" # the session restore ends in well under a second against a local server
if ! kill -0 "$korvel_pid" 2>/dev/null; then
    bench_skipped "Application RSS, signed in, idle" "korvel exited"
    exit 0
fi
rss_korvel=$(rss_kib "$korvel_pid")
rss_bare=$(rss_kib "$bare_pid")
bench_row "Application RSS, signed in, idle ${settle} s (offscreen)" "$(bench_mib "$rss_korvel") MiB" \
    "$(bench_mib "$rss_bare") MiB" "$(bench_ratio "$rss_korvel" "$rss_bare")" "<= 60 MiB" \
    "$(bench_met "$rss_korvel" $((60 * 1024)))"

read -r idle_korvel idle_bare < <(measure_idle disconnected)
bench_row "Idle wakeups/s, signed in, disconnected (${window} s)" "$idle_korvel" "$idle_bare" \
    "$(bench_ratio "$idle_korvel" "$idle_bare")" "<= 1" "$(bench_met "$idle_korvel" 1)"

if [ -z "$tools" ]; then
    bench_skipped "Idle wakeups/s, signed in, connected" "no tunnel here (needs root, see the tunnel rows)"
    exit 0
fi
tools_run() { # OPERATION
    env -i PATH="$tools:/usr/bin:/bin:/usr/sbin:/sbin" HOME=/root LANG=C \
        "$tools/bash" "$tools/wg-quick" "$1" "$config" >>"$details.tools" 2>&1
}
if ! tools_run up; then
    bench_skipped "Idle wakeups/s, signed in, connected" "wg-quick up failed: $(tail -n 1 "$details.tools")"
    exit 0
fi
sleep 4 # the application looks for the tunnel every 3 seconds
read -r busy_korvel busy_bare < <(measure_idle connected)
tools_run down
bench_row "Idle wakeups/s, signed in, connected (${window} s)" "$busy_korvel" "$busy_bare" \
    "$(bench_ratio "$busy_korvel" "$busy_bare")" "<= 2" "$(bench_met "$busy_korvel" 2)"
