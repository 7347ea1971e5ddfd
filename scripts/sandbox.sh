# shellcheck shell=bash
# Sourced by scripts/demo and the end-to-end test of the installation: Korvel installed into a
# throwaway copy of this system and run there against a WireGuard peer and korvel-devapi.
#
#   - the copy is an overlay over / whose changes live in memory: the installation, the daemon's
#     socket and state, the tunnel's marker and resolver settings never reach the real system;
#   - two network namespaces joined by a veth pair: the peer side (10.99.0.1) holds a wireguard-go
#     peer (10.64.0.1 inside the tunnel) and korvel-devapi, which tells the peer about each device;
#     the client side (10.99.0.2) runs the installed daemon and the installed application;
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
    [ "$(id -u)" = 0 ] || return 0 # sandbox_missing_prerequisite explains
    KORVEL_SANDBOX_NAMESPACE=1 exec unshare -m --propagation private "$@"
}

# Prints why this machine cannot host the sandbox, if it cannot.
sandbox_missing_prerequisite() {
    local missing tool
    missing=$(tunnel_missing_prerequisite)
    [ -z "$missing" ] || { echo "$missing" && return; }
    for tool in chroot:coreutils dbus-daemon:dbus gnome-keyring-daemon:gnome-keyring Xvfb:xvfb \
        xwd:x11-apps xwdtopnm:netpbm; do
        command -v "${tool%%:*}" >/dev/null || { echo "${tool%%:*} is missing (package ${tool#*:})" && return; }
    done
    [ -n "${KORVEL_SANDBOX_NAMESPACE-}" ] || echo "not in a private mount namespace (sandbox_enter)"
}

# sandbox_up WORK BUILD: the copy at WORK/root with Korvel installed from BUILD, the namespaces, the
# peer, korvel-devapi, the daemon and a secret service. Sets sandbox_root, sandbox_api and
# sandbox_daemon_pid. Returns 77 when this machine cannot host it (reason on standard output).
sandbox_up() {
    local work=$1 build status
    build=$(cd "$2" && pwd) || return 1
    sandbox_copy "$work" || return $?
    DESTDIR=$sandbox_root cmake --install "$build" --strip >"$work/install.log" || return 1
    sandbox_resolvconf

    tunnel_namespaces_up "$work"
    status=$?
    [ "$status" = 0 ] || return "$status"
    nsenter -t "$server_pid" -m -n ip addr add 10.64.0.1/16 dev wgsrv || return 1
    sandbox_start_devapi "$build" || return 1
    sandbox_start_daemon || return 1
    sandbox_start_secret_service
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

# sandbox_copy WORK: the throwaway copy with its own /proc, /run, /tmp and devices, and an empty
# home for root: the host's keyrings and settings never reach it.
sandbox_copy() {
    sandbox_overlay "$1" || return $?
    mount -t proc proc "$sandbox_root/proc" &&
        mount -t tmpfs -o mode=0755 tmpfs "$sandbox_root/run" &&
        mount -t tmpfs -o mode=1777 tmpfs "$sandbox_root/tmp" &&
        mount -t tmpfs -o mode=0700 tmpfs "$sandbox_root/root" &&
        sandbox_devices
}

# The copy's /dev holds only the devices the programs use, each bound to the real one.
sandbox_devices() {
    local dev=$sandbox_root/dev device
    mount -t tmpfs -o mode=0755 korvel-sandbox-dev "$dev" || return 1
    mkdir -m 0755 "$dev/net" && mkdir -m 1777 "$dev/shm" || return 1
    for device in null zero full random urandom tty net/tun; do
        touch "$dev/$device" && mount --bind "/dev/$device" "$dev/$device" || return 1
    done
    ln -s /proc/self/fd "$dev/fd" && ln -s /proc/self/fd/0 "$dev/stdin" &&
        ln -s /proc/self/fd/1 "$dev/stdout" && ln -s /proc/self/fd/2 "$dev/stderr"
}

# The system's resolvconf would change the real resolver settings (systemd-resolved's over the
# system bus); the copy gets one that keeps them in its own /etc/resolv.conf.
sandbox_resolvconf() {
    rm -f "$sandbox_root/usr/sbin/resolvconf" "$sandbox_root/etc/resolv.conf"
    echo "nameserver 10.99.0.1" >"$sandbox_root/etc/resolv.conf"
    cat >"$sandbox_root/usr/sbin/resolvconf" <<'EOF'
#!/bin/sh
# resolvconf -a IF ... < "nameserver X" lines, or resolvconf -d IF: the sandbox's resolver settings.
case $1 in
-a) cp /etc/resolv.conf /run/resolv.conf.orig 2>/dev/null; cat >/etc/resolv.conf ;;
-d) [ ! -e /run/resolv.conf.orig ] || mv /run/resolv.conf.orig /etc/resolv.conf ;;
esac
EOF
    chmod 0755 "$sandbox_root/usr/sbin/resolvconf"
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

# sandbox_exec COMMAND...: runs a command in the copy, on the client side, with a clean environment.
# Not through "ip netns exec", which gives each command a mount namespace of its own: the daemon
# must see the application's executable where it was installed.
sandbox_exec() {
    nsenter --net="/run/netns/$client_ns" chroot "$sandbox_root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LANG=C.UTF-8 XDG_RUNTIME_DIR=/run/user/0 DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/0/bus \
        KORVEL_API="$sandbox_api" ${DISPLAY:+DISPLAY=$DISPLAY} ${XAUTHORITY:+XAUTHORITY=$XAUTHORITY} "$@"
}

# The installed daemon, started as systemd would start it on the first connection.
sandbox_start_daemon() {
    sandbox_exec /opt/korvel/libexec/korvel-tunneld >"$sandbox_work/daemon.log" 2>&1 &
    sandbox_daemon_pid=$!
    for _ in $(seq 100); do
        [ -S "$sandbox_root/run/korvel.tunneld.sock" ] && return 0
        kill -0 "$sandbox_daemon_pid" 2>/dev/null || break
        sleep 0.05
    done
    cat "$sandbox_work/daemon.log"
    return 1
}

# A session bus and an unlocked keyring in the copy, where the application keeps its sign-in.
sandbox_start_secret_service() {
    mkdir -p -m 0700 "$sandbox_root/run/user/0"
    cat >"$sandbox_root/run/user/0/bus.conf" <<'EOF'
<busconfig>
  <type>session</type>
  <listen>unix:path=/run/user/0/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy>
</busconfig>
EOF
    sandbox_exec dbus-daemon --nofork --config-file=/run/user/0/bus.conf >/dev/null 2>&1 &
    sandbox_unlocked_keyring /run/user/0/bus sandbox_exec
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

# sandbox_korvel ARGUMENTS...: the installed command line; standard input passes through.
sandbox_korvel() {
    sandbox_exec timeout 60 /opt/korvel/bin/korvel "$@"
}

# sandbox_start_display: Xvfb in the copy, for windows to be photographed. Sets sandbox_display.
sandbox_start_display() {
    sandbox_display=:73
    sandbox_exec Xvfb "$sandbox_display" -screen 0 1280x1024x24 -nolisten tcp >"$sandbox_work/xvfb.log" 2>&1 &
    for _ in $(seq 100); do
        sandbox_exec test -S "/tmp/.X11-unix/X${sandbox_display#:}" && return 0
        sleep 0.05
    done
    cat "$sandbox_work/xvfb.log"
    return 1
}

# sandbox_window_start: the installed application's window on the sandbox display. Sets window_pid.
sandbox_window_start() {
    DISPLAY=$sandbox_display sandbox_exec QT_QPA_PLATFORM=xcb /opt/korvel/bin/korvel \
        >>"$sandbox_work/window.log" 2>&1 &
    window_pid=$!
    for _ in $(seq 100); do
        sandbox_photograph /dev/null 2>/dev/null && return 0
        sleep 0.1
    done
    cat "$sandbox_work/window.log"
    return 1
}

sandbox_window_stop() {
    kill "$window_pid" 2>/dev/null
    wait "$window_pid" 2>/dev/null
}

# sandbox_photograph FILE: a PNG of Korvel's window, cut from the whole screen (a grab of the window
# alone comes out black on a display without a compositor).
sandbox_photograph() {
    local geometry width height left top
    geometry=$(DISPLAY=$sandbox_display sandbox_exec xwininfo -root -tree 2>/dev/null |
        sed -n 's/.*("korvel" "korvel") *\([0-9]*\)x\([0-9]*\)+\([0-9]*\)+\([0-9]*\).*/\1 \2 \3 \4/p')
    read -r width height left top <<<"$geometry"
    [ -n "${top-}" ] || return 1
    DISPLAY=$sandbox_display sandbox_exec xwd -silent -root >"$sandbox_work/screen.xwd" &&
        xwdtopnm <"$sandbox_work/screen.xwd" 2>/dev/null |
        pnmcut -left "$left" -top "$top" -width "$width" -height "$height" 2>/dev/null | pnmtopng >"$1" 2>/dev/null
}

# Ends every process in the namespaces and takes the copy apart. Only then may WORK be deleted, and
# only with rm --one-file-system: the copy holds bind mounts of real devices.
sandbox_down() {
    tunnel_namespaces_down
    [ -z "${sandbox_root-}" ] || umount -R -l "$sandbox_root" 2>/dev/null
    [ -z "${sandbox_work-}" ] || umount -l "$sandbox_work/layers" 2>/dev/null
}
