# shellcheck shell=bash
# Sourced by container.sh: a throwaway copy of this system for Korvel to be installed into, and
# what it runs against, a WireGuard peer and korvel-devapi.
#
#   - the copy is an overlay over / whose changes live in memory: the installation, the daemon's
#     socket and state, the tunnel's marker and resolver settings never reach the real system;
#   - two network namespaces joined by a veth pair: the peer side (10.99.0.1) holds a wireguard-go
#     peer (10.64.0.1 inside the tunnel) and korvel-devapi, which tells the peer about each device;
#     the client side (10.99.0.2) runs the installed service and the installed application;
#   - korvel-devapi speaks HTTPS, as the application insists for any host but its own, with a
#     certificate from a certificate authority made for the run that only the copy trusts.
#
# The caller runs inside a private mount namespace of its own (sandbox_enter), so every mount below
# disappears with it, even when it is killed.

sandbox_source=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=../tests/e2e/tunnel_namespaces.sh
. "$sandbox_source/tests/e2e/tunnel_namespaces.sh"

readonly sandbox_password=korvel-demo
readonly sandbox_email=demo@korvel.example

# sandbox_enter "$0" "$@": re-runs the calling script in a private mount namespace, once.
sandbox_enter() {
    [ -n "${KORVEL_SANDBOX_NAMESPACE-}" ] && return 0
    [ "$(id -u)" = 0 ] || return 0 # container_missing_prerequisite explains
    KORVEL_SANDBOX_NAMESPACE=1 exec unshare -m --propagation private "$@"
}

# sandbox_overlay WORK: this system as it lies on disk, at WORK/root, its changes in memory. Sets
# sandbox_work and sandbox_root. Returns 77 when the kernel cannot make one.
sandbox_overlay() {
    sandbox_work=$1
    sandbox_root=$1/root
    mkdir -p "$sandbox_work/layers" "$sandbox_root"
    mount -t tmpfs -o mode=0755 korvel-sandbox "$sandbox_work/layers" || return 1
    mkdir "$sandbox_work/layers/upper" "$sandbox_work/layers/work"
    if ! mount -t overlay korvel-sandbox \
        -o "lowerdir=/,upperdir=$sandbox_work/layers/upper,workdir=$sandbox_work/layers/work" "$sandbox_root" 2>/dev/null; then
        echo "this kernel cannot lay an overlay over /" && return 77
    fi
}

# korvel-devapi in the peer's namespaces, with every server location at the peer.
sandbox_start_devapi() {
    local build=$1 work=$sandbox_work
    sed -e 's/"endpoint": "[^"]*"/"endpoint": "10.99.0.1:51820"/' \
        -e "s|\"public_key\": \"[^\"]*\"|\"public_key\": \"$server_public\"|" \
        -e 's/"dns": "[^"]*"/"dns": "10.64.0.1"/' \
        "$sandbox_source/devapi/demo-seed.json" >"$work/seed.json"
    printf '#!/bin/sh\nexec wg set wgsrv peer "$1" allowed-ips "$2"\n' >"$work/peer-hook"
    chmod 0755 "$work/peer-hook"
    sandbox_certificate || return 1
    nsenter -t "$server_pid" -m -n "$build/devapi/korvel-devapi" --seed "$work/seed.json" \
        --host 10.99.0.1 --port 0 --hook "$work/peer-hook" \
        --tls-cert "$work/devapi.pem" --tls-key "$work/devapi.key" >"$work/devapi.log" 2>&1 &
    sandbox_devapi_pid=$!
    for _ in $(seq 100); do
        sandbox_api=$(sed -n 's/^Listening on //p' "$work/devapi.log")
        [ -n "$sandbox_api" ] && return 0
        sleep 0.05
    done
    cat "$work/devapi.log"
    return 1
}

# A certificate authority for this run, trusted by the copy alone, and the API server's certificate for
# 10.99.0.1 signed by it.
sandbox_certificate() {
    local work=$sandbox_work
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
        -subj "/CN=Korvel sandbox authority" -keyout "$work/authority.key" -out "$work/authority.pem" \
        >"$work/certificate.log" 2>&1 &&
        openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=10.99.0.1" \
            -keyout "$work/devapi.key" -out "$work/devapi.csr" >>"$work/certificate.log" 2>&1 &&
        openssl x509 -req -in "$work/devapi.csr" -CA "$work/authority.pem" -CAkey "$work/authority.key" \
            -CAcreateserial -days 2 -extfile <(echo "subjectAltName=IP:10.99.0.1") \
            -out "$work/devapi.pem" >>"$work/certificate.log" 2>&1 &&
        install -D -m 0644 "$work/authority.pem" "$sandbox_root/usr/local/share/ca-certificates/korvel-sandbox.crt" &&
        chroot "$sandbox_root" update-ca-certificates >>"$work/certificate.log" 2>&1 ||
        { cat "$work/certificate.log" && return 1; }
}

# sandbox_unlocked_keyring BUS RUN...: once the session bus listens at BUS, an unlocked keyring on it.
# RUN... runs a command in that session.
sandbox_unlocked_keyring() {
    local bus=$1
    shift
    for _ in $(seq 100); do
        "$@" test -S "$bus" && break
        sleep 0.05
    done
    printf korvel-keyring | "$@" gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
    for _ in $(seq 100); do
        "$@" dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q true && return 0
        sleep 0.1
    done
    echo "the secret service did not start"
    return 1
}

# Ends every process in the namespaces and takes the copy apart. Only then may WORK be deleted, and
# only with rm --one-file-system: the copy holds bind mounts of real devices.
sandbox_down() {
    tunnel_namespaces_down
    [ -z "${sandbox_root-}" ] || umount -R -l "$sandbox_root" 2>/dev/null
    [ -z "${sandbox_work-}" ] || umount -l "$sandbox_work/layers" 2>/dev/null
}
