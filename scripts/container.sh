# shellcheck shell=bash
# Sourced by the end-to-end test of the package: a real systemd booted in a container over a
# throwaway copy of this system (systemd-nspawn over an overlay of /, changes in memory), in the client
# network namespace of the sandbox, with the WireGuard peer and korvel-devapi on the peer side.
# Everything in it runs as on an installed machine: the package's units, socket activation, the
# real polkitd, wg-quick, wireguard-go and resolvconf. The caller runs in a private mount namespace
# (sandbox_enter), so every mount made here goes with it.

# shellcheck source=sandbox.sh
. "$(dirname "${BASH_SOURCE[0]}")/sandbox.sh"

container_options=()

# Prints why this machine cannot boot the container, if it cannot.
container_missing_prerequisite() {
    local missing tool
    missing=$(tunnel_missing_prerequisite)
    [ -z "$missing" ] || { echo "$missing" && return; }
    for tool in systemd-nspawn:systemd-container chroot:coreutils setpriv:util-linux \
        dbus-daemon:dbus gnome-keyring-daemon:gnome-keyring resolvconf:openresolv pkexec:pkexec; do
        command -v "${tool%%:*}" >/dev/null || { echo "${tool%%:*} is missing (package ${tool#*:})" && return; }
    done
    [ -x /usr/lib/systemd/systemd ] || { echo "systemd is missing (package systemd)" && return; }
    [ -n "${KORVEL_SANDBOX_NAMESPACE-}" ] || echo "not in a private mount namespace (sandbox_enter)"
}

# container_up WORK BUILD: the namespaces, the peer, korvel-devapi, and the container booted to its
# default target, with systemd-nspawn's further options from the array container_options. Sets
# container_pid (the container's init as this system sees it). Returns 77 when this machine cannot
# host it (reason on standard output).
container_up() {
    local work=$1 build state status
    build=$(cd "$2" && pwd) || return 1
    sandbox_overlay "$work" || return $?
    python3 -c 'import uuid; print(uuid.uuid4().hex)' >"$sandbox_root/etc/machine-id" || return 1
    # A booted machine starts the services its packages install (a build image's policy forbids it).
    rm -f "$sandbox_root/usr/sbin/policy-rc.d"
    # The resolver settings as a network manager writes them, in a file resolvconf did not make.
    rm -f "$sandbox_root/etc/resolv.conf"
    echo "nameserver 10.99.0.1" >"$sandbox_root/etc/resolv.conf"
    tunnel_namespaces_up "$work"
    status=$?
    [ "$status" = 0 ] || return "$status"
    nsenter -t "$server_pid" -m -n ip addr add 10.64.0.1/16 dev wgsrv || return 1
    sandbox_start_devapi "$build" || return 1

    # nspawn cleans its propagation folder only on a file system of its own.
    mkdir -p /run/systemd/nspawn && mount -t tmpfs -o mode=0700 korvel-nspawn /run/systemd/nspawn || return 1
    systemd-nspawn --quiet --boot --directory="$sandbox_root" --keep-unit --register=no --link-journal=no \
        --network-namespace-path="/run/netns/$client_ns" --resolv-conf=off \
        --capability=CAP_NET_ADMIN --bind=/dev/net/tun --property="DeviceAllow=/dev/net/tun rwm" \
        --tmpfs=/root:mode=0700 --tmpfs=/home:mode=0755 "${container_options[@]}" >"$work/container.log" 2>&1 &
    container_nspawn_pid=$!
    container_pid=
    for _ in $(seq 600); do
        container_pid=$(pgrep -P "$container_nspawn_pid" -x systemd)
        [ -n "$container_pid" ] && break
        kill -0 "$container_nspawn_pid" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$container_pid" ] || { cat "$work/container.log" && return 1; }
    for _ in $(seq 600); do
        state=$(container_exec systemctl is-system-running 2>/dev/null)
        case $state in
            running | degraded) return 0 ;;
        esac
        kill -0 "$container_nspawn_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "the container did not boot (state: ${state:-none})"
    cat "$work/container.log"
    return 1
}

# container_exec COMMAND...: runs a command in the container as root, with a clean environment.
container_exec() {
    nsenter -t "$container_pid" -m -u -i -n -p -C -r -w \
        /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}

# container_add_user NAME: an ordinary account with its own session bus and an unlocked keyring, as a
# desktop login would give it.
container_add_user() {
    local name=$1 uid runtime
    container_exec useradd --create-home --shell /bin/bash "$name" || return 1
    uid=$(container_exec id -u "$name") || return 1
    runtime=/run/user/$uid
    container_exec install -d -m 0700 -o "$name" -g "$name" "$runtime" || return 1
    container_as "$name" dbus-daemon --session --nofork --address="unix:path=$runtime/bus" >/dev/null 2>&1 &
    sandbox_unlocked_keyring "$runtime/bus" container_as "$name"
}

# container_as NAME COMMAND...: runs a command in the container as that account, in its session.
container_as() {
    local name=$1 uid
    shift
    uid=$(container_exec id -u "$name") || return 1
    container_exec setpriv --reuid="$name" --regid="$name" --init-groups \
        /usr/bin/env HOME="/home/$name" USER="$name" XDG_RUNTIME_DIR="/run/user/$uid" \
        DBUS_SESSION_BUS_ADDRESS="unix:path=/run/user/$uid/bus" "$@"
}

# Ends the container, then takes the sandbox apart. Nothing in it is worth a clean shutdown, which
# would also wait on the processes started into it from outside: its init is killed, and with it
# every process in its PID namespace.
container_down() {
    if [ -n "${container_nspawn_pid-}" ]; then
        [ -z "${container_pid-}" ] || kill -KILL "$container_pid" 2>/dev/null
        for _ in $(seq 100); do
            kill -0 "$container_nspawn_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$container_nspawn_pid" 2>/dev/null
        wait "$container_nspawn_pid" 2>/dev/null
    fi
    sandbox_down
    umount -l /run/systemd/nspawn 2>/dev/null
}
