#!/bin/bash
# What the daemon adds to bringing the tunnel up: connect through the daemon, request to reply,
# against the same wg-quick up run directly through our wrapper, in the same namespaces and the same
# run, alternating. Also the idle daemon's resident memory. Needs root. Prints rows of the results
# table (table.sh).
set -u
tunneld=$1 client=$2 daemon=$3 wrapper=$4 rounds=${5:-20}

# shellcheck source=../tests/e2e/tunnel_namespaces.sh
. "$(dirname "$0")/../tests/e2e/tunnel_namespaces.sh"
# shellcheck source=table.sh
. "$(dirname "$0")/table.sh"

rss_measure="Daemon RSS, idle (korvel-tunneld as systemd starts it)"
overhead_measure="Daemon overhead: connect through the daemon vs wg-quick up directly (median of $rounds)"
skip_all() { # REASON
    bench_skipped "$rss_measure" "$1"
    bench_skipped "$overhead_measure" "$1"
}

missing=$(tunnel_missing_prerequisite)
if [ -n "$missing" ]; then
    skip_all "$missing"
    exit 0
fi

work=$(mktemp -d)
rss_pid=
trap 'tunnel_namespaces_down; [ -z "$rss_pid" ] || kill "$rss_pid" 2>/dev/null; rm -rf "$work"' EXIT
abort() {
    skip_all "failed: $1 $(tail -n 1 "$work/daemon.log" 2>/dev/null)"
    exit 1
}

vm_rss_kib() {
    awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"
}

# The installed daemon as systemd would start it, binding its socket in a /run of its own.
unshare -m --propagation private sh -c 'mount -t tmpfs tmpfs /run && exec "$1"' sh "$daemon" 2>/dev/null &
rss_pid=$!
for _ in $(seq 100); do
    nsenter -t "$rss_pid" -m sh -c 'test -S /run/*.sock' 2>/dev/null && break
    sleep 0.05
done
installed_rss=$(vm_rss_kib "$rss_pid" 2>/dev/null)
kill "$rss_pid" 2>/dev/null
rss_pid=

tunnel_namespaces_up "$work" >"$work/setup.log"
case $? in
    0) ;;
    77) skip_all "$(cat "$work/setup.log")" && exit 0 ;;
    *) abort "cannot set up the namespaces: $(cat "$work/setup.log")" ;;
esac
tunnel_tools "$work/tools" "$wrapper"
tunnel_start_daemon "$tunneld" "$client" || abort "the daemon did not start"
fresh_rss=$(vm_rss_kib "$daemon_pid")

mkdir -m 0700 "$work/direct"
(umask 077 && printf '[Interface]\nPrivateKey = %s\nAddress = 10.66.0.2/32\nDNS = 10.66.0.1\n\n[Peer]\nPublicKey = %s\nAllowedIPs = 10.66.0.0/24\nEndpoint = 10.99.0.1:51820\n' \
    "$client_private" "$server_public" >"$work/direct/korvel.conf")
[ ! -e /usr/bin/resolvconf ] || sed -i '/^DNS/d' "$work/direct/korvel.conf" # would be the real one

# wg-quick as the daemon runs it, in the daemon's namespaces, timed from inside.
direct() { # OPERATION; prints milliseconds
    env -i PATH="$work/tools:/usr/bin:/bin:/usr/sbin:/sbin" HOME=/root LANG=C \
        nsenter -t "$daemon_pid" -m -n bash -c '
            start=$EPOCHREALTIME
            "$1/bash" "$1/wg-quick" "$2" "$3" >/dev/null 2>&1 || exit 1
            awk -v s="$start" -v e="$EPOCHREALTIME" "BEGIN { printf \"%.3f\n\", (e - s) * 1000 }"' sh "$work/tools" "$1" "$work/direct/korvel.conf"
}
elapsed_since() { # START; prints milliseconds
    awk -v s="$1" -v e="$EPOCHREALTIME" 'BEGIN { printf "%.3f\n", (e - s) * 1000 }'
}
through_daemon() { # ARGUMENTS...; prints milliseconds
    local start=$EPOCHREALTIME reply
    reply=$("$client" --socket "$work/tunneld.sock" "$@" 2>&1)
    [ "$reply" = ok ] || return 1
    elapsed_since "$start"
}
client_start() { # a request to a socket that does not exist: the client's own cost
    local start=$EPOCHREALTIME
    "$client" --socket "$work/absent.sock" disconnect >/dev/null 2>&1
    elapsed_since "$start"
}

: >"$work/direct.ms"
: >"$work/daemon.ms"
: >"$work/overhead.ms"
: >"$work/client.ms"
for round in $(seq 0 "$rounds"); do
    # Which goes first alternates, so drift in the machine's load falls on both alike.
    for turn in $((round % 2)) $((1 - round % 2)); do
        if [ "$turn" = 0 ]; then
            direct_ms=$(direct up) || abort "wg-quick up failed when run directly"
            direct down >/dev/null || abort "wg-quick down failed when run directly"
        else
            daemon_ms=$(through_daemon connect "$work/direct/korvel.conf") || abort "connect through the daemon failed"
            through_daemon disconnect >/dev/null || abort "disconnect through the daemon failed"
        fi
    done
    [ "$round" != 0 ] || continue # the first round warms caches
    echo "$direct_ms" >>"$work/direct.ms"
    echo "$daemon_ms" >>"$work/daemon.ms"
    awk -v a="$daemon_ms" -v b="$direct_ms" 'BEGIN { printf "%.3f\n", a - b }' >>"$work/overhead.ms"
    client_start >>"$work/client.ms"
done
idle_rss=$(vm_rss_kib "$daemon_pid")

direct_ms=$(bench_median <"$work/direct.ms")
daemon_ms=$(bench_median <"$work/daemon.ms")
overhead_ms=$(bench_median <"$work/overhead.ms")
client_ms=$(bench_median <"$work/client.ms")
mib() { [ -n "$1" ] && echo "$(bench_mib "$1") MiB" || echo "n/a"; }

if [ -n "$installed_rss" ]; then
    bench_row "$rss_measure" "$(mib "$installed_rss")" \
        "$(mib "$fresh_rss") fresh / $(mib "$idle_rss") after $((2 * (rounds + 1))) requests (test daemon)" "" \
        "<= 4 MiB" "$(bench_met "$installed_rss" 4096)"
else
    bench_skipped "$rss_measure" "korvel-tunneld did not start"
fi
bench_row "$overhead_measure" "$daemon_ms ms" "$direct_ms ms" "$(bench_ratio "$daemon_ms" "$direct_ms")" \
    "<= +10 ms" "$(bench_met "$overhead_ms" 10) ($(printf %+.1f "$overhead_ms") ms; client start $client_ms ms)"
