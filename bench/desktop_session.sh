#!/bin/bash
# The application against what it is built on, side by side in one run, with korvel-devapi as the
# web API:
# - click to connected: the model's toggle() through the API server and the daemon running the real
#   wg-quick to a wireguard-go peer, against one configuration request plus wg-quick up of the same
#   configuration (korvel-connect-timing);
# - the real korvel window: cold start, memory (also with its icon in a panel) and idle wakeups
#   (application.sh).
# As root everything runs in the network namespaces of tests/e2e/tunnel_namespaces.sh; otherwise the
# API server listens on the loopback and the tunnel rows say why they were skipped. Prints rows of the
# results table.
# Usage: desktop_session.sh BUILD_DIR DETAILS_DIR
set -u
mkdir -p "$2"
build=$(cd "$1" && pwd) details=$(cd "$2" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
korvel=$build/app/cli/korvel
devapi=$build/devapi/korvel-devapi
tunneld=$build/tests/support/korvel-test-tunneld
timing=$build/bench/korvel-connect-timing
rounds=${KORVEL_BENCH_ROUNDS:-10}

# shellcheck source=table.sh
. "$source_dir/bench/table.sh"
# shellcheck source=../tests/e2e/tunnel_namespaces.sh
. "$source_dir/tests/e2e/tunnel_namespaces.sh"

work=$(mktemp -d)
devapi_pid=
trap '[ -z "$devapi_pid" ] || kill "$devapi_pid" 2>/dev/null; tunnel_namespaces_down; rm -rf "$work"' EXIT

# The prefix that runs a command where the API server and the daemon are: their namespaces, if any.
in_place=()
start_devapi() { # ARGUMENTS...; sets api
    "${in_place[@]}" "$devapi" --port 0 "$@" >"$work/devapi.out" 2>&1 &
    devapi_pid=$!
    api=
    for _ in $(seq 100); do
        api=$(sed -n 's/^Listening on //p' "$work/devapi.out")
        [ -n "$api" ] && return 0
        kill -0 "$devapi_pid" 2>/dev/null || break
        sleep 0.05
    done
    return 1
}

tunnel=
missing=$(tunnel_missing_prerequisite)
if [ -z "$missing" ]; then
    tunnel_namespaces_up "$work" >"$work/setup.log"
    case $? in
        0) tunnel=yes ;;
        *) missing="cannot set up the namespaces: $(tail -n 1 "$work/setup.log")" ;;
    esac
fi
if [ -n "$tunnel" ]; then
    tunnel_tools "$work/tools" "$source_dir/dist/wireguard/wg-quick"
    # The daemon admits only the timing program, as the installed daemon admits only korvel.
    if tunnel_start_daemon "$tunneld" "$timing"; then
        in_place=(nsenter -t "$daemon_pid" -m -n)
    else
        tunnel= missing="the daemon did not start: $(tail -n 1 "$work/daemon.log")"
    fi
fi

email=demo@korvel.example password=korvel-demo
if [ -n "$tunnel" ]; then
    # One server: the wireguard-go peer, which the API server tells about every device it configures.
    dns=
    [ -e /usr/bin/resolvconf ] || dns='"dns": "10.66.0.1",' # a real resolvconf would change the host
    cat >"$work/seed.json" <<SEED
{
  "address_pool": "10.66.0.0/24", $dns
  "accounts": [{"email": "$email", "password": "$password", "plan": "free",
                "usage": {"period": "2024-06", "bytes_used": 1610612736, "plan_is_free": true,
                          "unlimited_data": true, "speed_mbps": 100}}],
  "servers": [{"hostname": "peer-1.korvel.example", "location": "Peer", "country_code": "DE",
               "endpoint": "10.99.0.1:51820", "public_key": "$server_public", "allowed_ips": "10.66.0.0/24"}]
}
SEED
    printf '#!/bin/sh\nexec nsenter -t %s -m -n wg set wgsrv peer "$1" allowed-ips "$2"\n' "$server_pid" >"$work/hook"
    chmod 0755 "$work/hook"
    start_devapi --seed "$work/seed.json" --hook "$work/hook" ||
        { tunnel= missing="korvel-devapi did not start: $(tail -n 1 "$work/devapi.out")"; }
fi

measure="Click to connected: toggle() to connected, vs API request + wg-quick up (median of $rounds)"
if [ -n "$tunnel" ]; then
    mkdir "$work/timing"
    if "${in_place[@]}" "$timing" --api "$api" --socket "$work/tunneld.sock" --markers /var/run/wireguard \
        --tools "$work/tools" --work "$work/timing" --rounds "$rounds" --email "$email" \
        --password "$password" >"$work/timing.out" 2>&1; then
        figure() { awk -v n="$1" '$1 == n { print $2 }' "$work/timing.out"; }
        click=$(figure click-to-connected) reference=$(figure reference)
        bench_row "$measure" "$click ms" \
            "$reference ms ($(figure api-request) + $(figure wg-quick-up))" \
            "$(bench_ratio "$click" "$reference")" "<= x1.1 + 30 ms" \
            "$(bench_met "$click" "$(awk -v r="$reference" 'BEGIN { print r * 1.1 + 30 }')")"
    else
        bench_skipped "$measure" "$(tail -n 1 "$work/timing.out")"
        tunnel=
    fi
else
    bench_skipped "$measure" "$missing"
    start_devapi || { echo "korvel-devapi did not start:" >&2 && cat "$work/devapi.out" >&2 && exit 1; }
fi

# The application in a throwaway home with its own session bus and keyring, where the API server is.
"${in_place[@]}" "$source_dir/tests/integration/keychain/keychain_session.sh" keyring \
    "$source_dir/bench/application.sh" "$korvel" "$build/bench/korvel-window-start" \
    "$build/bench/korvel-bare-window" "$build/tests/support/korvel-test-desktop" "$api" "$email" "$password" \
    "$details/application.txt" \
    ${tunnel:+"$work/tools" "$work/timing/korvel.conf"} 2>"$details/application.log"
