# shellcheck shell=bash disable=SC2034
# Sourced by the end-to-end tunnel test and the tunnel benchmark: two network namespaces joined by a
# veth pair (peer 10.99.0.1, client 10.99.0.2), a wireguard-go peer at 10.66.0.1 in the first, and
# the daemon in the second. Each side has its own /run/wireguard, so nothing reaches the host's
# interfaces, routes, nft ruleset or /etc/resolv.conf, and parallel runs do not meet.

# Prints why this machine cannot run a tunnel, if it cannot.
tunnel_missing_prerequisite() {
    local tool
    [ "$(id -u)" = 0 ] || { echo "needs root (network namespaces, WireGuard interfaces)" && return; }
    [ -c /dev/net/tun ] || { echo "/dev/net/tun is missing" && return; }
    for tool in ip:iproute2 wg:wireguard-tools wireguard-go:wireguard-go ping:iputils-ping \
        unshare:util-linux nsenter:util-linux; do
        command -v "${tool%%:*}" >/dev/null || { echo "${tool%%:*} is missing (package ${tool#*:})" && return; }
    done
    [ -x /usr/bin/wg-quick ] || echo "/usr/bin/wg-quick is missing (package wireguard-tools)"
}

# tunnel_namespaces_up WORK: sets server_ns, client_ns, server_pid, server_public, client_private.
# Returns 77 when this machine cannot host them (reason on standard output), 1 on other failures.
tunnel_namespaces_up() {
    local work=$1 id=$$-$RANDOM link
    tunnel_work=$work
    server_ns=korvel-srv-$id
    client_ns=korvel-cli-$id
    server_pid=
    ip netns add "$server_ns" || { echo "cannot create network namespaces" && return 77; }
    ip netns add "$client_ns" || { echo "cannot create network namespaces" && return 77; }
    ip -n "$client_ns" link add vc type veth peer name vs netns "$server_ns" || return 1
    ip -n "$server_ns" addr add 10.99.0.1/24 dev vs || return 1
    ip -n "$client_ns" addr add 10.99.0.2/24 dev vc || return 1
    for link in "$server_ns lo" "$server_ns vs" "$client_ns lo" "$client_ns vc"; do
        ip -n "${link% *}" link set "${link#* }" up || return 1
    done

    (umask 077 && wg genkey >"$work/server.key" && wg genkey >"$work/client.key") || return 1
    server_public=$(wg pubkey <"$work/server.key")
    client_private=$(cat "$work/client.key")

    # The mount point of the private /run/wireguard folders; the host's own content stays unseen.
    mkdir -p /run/wireguard
    ip netns exec "$server_ns" unshare -m --propagation private sh -c \
        'mount -t tmpfs -o mode=0700 tmpfs /run/wireguard && exec wireguard-go -f wgsrv' >"$work/server.log" 2>&1 &
    server_pid=$!
    for _ in $(seq 100); do
        [ "$(cat /proc/$server_pid/comm 2>/dev/null)" = wireguard-go ] &&
            nsenter -t "$server_pid" -m test -S /run/wireguard/wgsrv.sock && break
        kill -0 "$server_pid" 2>/dev/null || break
        sleep 0.05
    done
    if ! nsenter -t "$server_pid" -m test -S /run/wireguard/wgsrv.sock 2>/dev/null; then
        grep -q 'Failed to create TUN device' "$work/server.log" &&
            echo "wireguard-go cannot create a TUN device here" && return 77
        echo "the wireguard-go peer did not start:" && cat "$work/server.log"
        return 1
    fi
    nsenter -t "$server_pid" -m -n sh -c "wg set wgsrv listen-port 51820 private-key '$work/server.key' \
            peer '$(wg pubkey <"$work/client.key")' allowed-ips 10.66.0.2/32 &&
        ip addr add 10.66.0.1/24 dev wgsrv && ip link set wgsrv up"
}

# tunnel_tools DIR WRAPPER: the tools folder as installed, plus a resolvconf that only records what
# wg-quick asks of it (in DIR/../resolvconf.log).
tunnel_tools() {
    mkdir -p "$1"
    ln -s /bin/bash "$1/bash"
    install -m 0755 "$2" "$1/wg-quick"
    cat >"$1/resolvconf" <<EOF
#!/bin/sh
{ echo "resolvconf \$*"; cat; } >>"$1/../resolvconf.log"
EOF
    chmod 0755 "$1/resolvconf"
}

# tunnel_start_daemon TUNNELD CLIENT: the daemon in the client namespace, with its own /run/wireguard
# and, where there is one to cover, its own /etc/resolv.conf naming a server that never answers, so
# a server name fails at once and the same way everywhere. Socket, state and tools are in the work
# folder. Sets daemon_pid.
tunnel_start_daemon() {
    echo "nameserver 10.99.0.1" >"$tunnel_work/resolv.conf"
    ip netns exec "$client_ns" unshare -m --propagation private sh -c '
        mount -t tmpfs -o mode=0700 tmpfs /run/wireguard || exit 1
        if [ -e /etc/resolv.conf ]; then mount --bind "$1/resolv.conf" /etc/resolv.conf || exit 1; fi
        exec "$2" --socket "$1/tunneld.sock" --state-dir "$1/state" --tools-dir "$1/tools" --client "$3"' \
        sh "$tunnel_work" "$1" "$2" >"$tunnel_work/daemon.log" 2>&1 &
    daemon_pid=$!
    for _ in $(seq 100); do
        [ -S "$tunnel_work/tunneld.sock" ] && return 0
        kill -0 "$daemon_pid" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

# tunnel_ping ADDRESS: whether a ping from the client side reaches ADDRESS; the first packet waits for
# the handshake.
tunnel_ping() {
    local _
    for _ in 1 2 3; do
        ip netns exec "$client_ns" ping -c 1 -W 2 "$1" >/dev/null && return 0
    done
    return 1
}

# Ends every process left in the namespaces (all ours: the peer, the daemon and the wireguard-go
# that wg-quick started for the tunnel) and removes the namespaces.
tunnel_namespaces_down() {
    local ns pid
    for ns in "${client_ns-}" "${server_ns-}"; do
        [ -n "$ns" ] || continue
        for pid in $(ip netns pids "$ns" 2>/dev/null); do
            kill "$pid" 2>/dev/null
        done
    done
    for ns in "${client_ns-}" "${server_ns-}"; do
        [ -n "$ns" ] || continue
        for _ in $(seq 50); do
            [ -n "$(ip netns pids "$ns" 2>/dev/null)" ] || break
            sleep 0.1
        done
        for pid in $(ip netns pids "$ns" 2>/dev/null); do
            kill -KILL "$pid" 2>/dev/null
        done
        ip netns delete "$ns" 2>/dev/null
    done
}
