#!/bin/bash
# Runs our wg-quick wrapper the way the daemon does, against a scripted stand-in for the system's
# /usr/bin/wg-quick that replays what the real tool prints. The stand-in is bind-mounted over the
# real one inside a private mount and network namespace, so the host sees none of it.
set -u
wrapper=$1

skip() {
    echo "SKIP: $1"
    exit 77
}
if [ "${2:-}" != --inside ]; then
    [ "$(id -u)" = 0 ] || skip "needs root (private mount and network namespaces)"
    [ -e /usr/bin/wg-quick ] || skip "/usr/bin/wg-quick is missing (package wireguard-tools)"
    unshare -m -n true 2>/dev/null || skip "cannot make private mount and network namespaces here"
    exec unshare -m -n --propagation private "$0" "$wrapper" --inside
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mount -t tmpfs tmpfs /run # the marker folder /var/run/wireguard lives here
mkdir -p "$work/tools" "$work/case" "$work/conf"
ln -s /bin/bash "$work/tools/bash"
cp "$wrapper" "$work/tools/wg-quick"
config=$work/conf/korvel.conf
: >"$config"
marker=/var/run/wireguard/korvel.name

# The stand-in replays the case's output and exit status, and adds or removes the interface as the
# real tool would have.
cat >"$work/fake" <<EOF
#!/bin/bash
printf '%s\n' "\$*" >>"$work/calls"
printf '%s\n' "\${WG_ENDPOINT_RESOLUTION_RETRIES-unset}" >"$work/retries"
case \$(cat "$work/case/action") in
    add) ip link add korvel type veth peer name korvelpeer ;;
    delete) ip link delete korvel ;;
esac
printf '%b' "\$(cat "$work/case/stdout")"
printf '%b' "\$(cat "$work/case/stderr")" >&2
exit \$(cat "$work/case/status")
EOF
chmod 0755 "$work/fake"
mount --bind "$work/fake" /usr/bin/wg-quick

run_wrapper() {
    env -i PATH="$work/tools:/usr/bin:/bin:/usr/sbin:/sbin" HOME=/root LANG=C \
        "$work/tools/bash" "$work/tools/wg-quick" "$@" >/dev/null 2>"$work/stderr"
}

# The daemon's reading of the tool's standard error: its last non-empty line.
last_line() {
    grep -v '^$' "$work/stderr" | tail -n 1
}

failures=0
fail() {
    echo "FAIL $1"
    cat "$work/stderr"
    failures=$((failures + 1))
}

banner='┌────────┐\n│  Running wireguard-go is not required  │\n└────────┘\n'
fallback="[#] ip link add korvel type wireguard\nError: Unknown device type.\n[!] Missing WireGuard kernel module. Falling back to slow userspace implementation.\n[#] wireguard-go korvel\n$banner"
rollback='[#] ip link delete dev korvel\n'
configured="${fallback}[#] wg setconf korvel /dev/fd/63\n[#] ip -4 address add 10.66.0.2/32 dev korvel\n[#] ip link set mtu 1420 up dev korvel\n"

# case NAME OPERATION INTERFACE_BEFORE MARKER_BEFORE STDERR STDOUT STATUS ACTION WANT_STATUS WANT_LAST_LINE
#       WANT_MARKER [WANT_CALLS]
# MARKER_BEFORE and WANT_MARKER: yes, no, file (a file where its folder belongs) or link (a symbolic link
# planted at its name, which must never be followed, written through or removed).
victim=$work/victim
case_() {
    local name=$1 operation=$2 interface_before=$3 marker_before=$4
    printf '%s' "$5" >"$work/case/stderr"
    printf '%s' "$6" >"$work/case/stdout"
    echo "$7" >"$work/case/status"
    echo "$8" >"$work/case/action"
    local want_status=$9 want_line=${10} want_marker=${11} want_calls=${12:-"$2 $config"}

    ip link delete korvel 2>/dev/null
    [ "$interface_before" = present ] && ip link add korvel type veth peer name korvelpeer
    rm -rf /run/wireguard "$work/calls"
    case $marker_before in
        yes) mkdir -p /run/wireguard && echo korvel >"$marker" ;;
        file) : >/run/wireguard ;;
        link) mkdir -p /run/wireguard && echo "the victim's own words" >"$victim" && ln -s "$victim" "$marker" ;;
    esac

    run_wrapper "$operation" "$config"
    local status=$? line
    line=$(last_line)
    [ "$status" = "$want_status" ] || fail "$name: status $status, want $want_status"
    [ "$line" = "$want_line" ] || fail "$name: last line '$line', want '$want_line'"
    case $want_marker in
        yes) [ -e "$marker" ] || fail "$name: the marker is missing" ;;
        no) [ ! -e "$marker" ] || fail "$name: the marker is left behind" ;;
        link) [ "$(readlink "$marker")" = "$victim" ] && [ "$(cat "$victim")" = "the victim's own words" ] ||
            fail "$name: the planted link or what it points to was touched" ;;
    esac
    [ "$(cat "$work/calls")" = "$want_calls" ] || fail "$name: the tool got '$(cat "$work/calls")'"
}

sentence_name="The VPN server's name could not be looked up; check your internet connection and try again."
sentence_exists="A network interface named korvel already exists; take it down and try again."

case_ "up" up absent no \
    "${configured}[#] ip -4 route add 10.66.0.0/24 dev korvel\n" "" 0 add 0 "[#] ip -4 route add 10.66.0.0/24 dev korvel" yes
# The application reads the marker folder and the marker, and nothing else is left there.
marker_folder=$(cd /run/wireguard && stat -c '%n %a' . .[!.]* * 2>/dev/null; cat korvel.name)
[ "$marker_folder" = $'. 755\nkorvel.name 644\nkorvel' ] || fail "up: the marker folder holds '$marker_folder'"
retries=$(cat "$work/retries")
[[ $retries =~ ^[1-5]$ ]] || fail "up: endpoint resolution retries '$retries', want a small number"

case_ "bad key, stale marker" up absent yes \
    "${fallback}[#] wg setconf korvel /dev/fd/63\nKey is not the correct length or format: \`============================================'\nConfiguration parsing error\n$rollback" \
    "" 1 none 1 "The VPN configuration holds a key that WireGuard cannot read; connect again to get a new configuration." no
case_ "no resolver" up absent no \
    "${fallback}[#] wg setconf korvel /dev/fd/63\nTemporary failure in name resolution: \`vpn.korvel.invalid:51820'. Trying again in 1.00 seconds...\nTemporary failure in name resolution: \`vpn.korvel.invalid:51820'\nConfiguration parsing error\n$rollback" \
    "" 1 none 1 "$sentence_name" no
case_ "unknown server name" up absent no \
    "${fallback}[#] wg setconf korvel /dev/fd/63\nName or service not known: \`vpn.korvel.invalid:51820'\nConfiguration parsing error\n$rollback" \
    "" 1 none 1 "$sentence_name" no
case_ "value out of range" up absent no \
    "${fallback}[#] wg setconf korvel /dev/fd/63\nPersistent keepalive interval is neither 0/off nor 1-65535: \`99999999'\nConfiguration parsing error\n$rollback" \
    "" 1 none 1 "WireGuard could not read the VPN configuration; connect again to get a new configuration." no
case_ "no resolvconf" up absent no \
    "${configured}[#] resolvconf -a korvel -m 0 -x\n/usr/bin/wg-quick: line 32: resolvconf: command not found\n$rollback" \
    "" 127 none 127 "The VPN's DNS servers cannot be set because resolvconf is missing; install openresolv or systemd-resolved." no
case_ "no nft" up absent no \
    "${configured}[#] sysctl -q net.ipv4.conf.all.src_valid_mark=1\n[#] iptables-restore -n\n/usr/bin/wg-quick: line 32: iptables-restore: command not found\n[#] ip -4 rule delete table 51820\n$rollback" \
    "" 127 none 127 "Sending all traffic through the VPN needs nftables; install the nftables package." no
case_ "no TUN device" up absent no \
    "${fallback}Unable to access interface: Protocol not supported\n${rollback}Cannot find device \"korvel\"\n" \
    "ERROR: (korvel) 2026/01/01 00:00:00 Failed to create TUN device: CreateTUN(\"korvel\") failed; /dev/net/tun does not exist\n" \
    1 none 1 "WireGuard could not create its network interface because /dev/net/tun is missing; load the tun kernel module." no
case_ "no WireGuard at all" up absent no \
    "[#] ip link add korvel type wireguard\nError: Unknown device type.\nUnable to access interface: Protocol not supported\n${rollback}Cannot find device \"korvel\"\n" \
    "" 1 none 1 "This computer has no WireGuard support; install the wireguard-go package or a kernel with WireGuard." no
case_ "interface already up" up present yes \
    "wg-quick: \`korvel' already exists\n" "" 1 none 1 "$sentence_exists" yes
case_ "same name in another namespace" up absent no \
    "$fallback${rollback}Cannot find device \"korvel\"\n" \
    "ERROR: (korvel) 2026/01/01 00:00:00 UAPI listen error: unix socket in use\n" 1 none 1 "$sentence_exists" no
case_ "unknown failure" up absent no \
    "${configured}[#] ip link set mtu 70000 up dev korvel\nError: mtu greater than device maximum.\n$rollback" \
    "" 2 none 2 "Error: mtu greater than device maximum." no
case_ "failure that says nothing" up absent no "$configured$rollback" "" 1 none 1 "" no
case_ "down" down present yes "[#] ip link delete dev korvel\n" "" 0 delete 0 "[#] ip link delete dev korvel" no
case_ "down, tunnel gone" down absent yes \
    "wg-quick: \`korvel' is not a WireGuard interface\n" "" 1 none 1 "No WireGuard tunnel named korvel is up." no
case_ "down refused, tunnel still up" down present yes \
    "[#] ip link delete dev korvel\nRTNETLINK answers: Operation not permitted\n" "" 2 none 2 "The tunnel service is not allowed to change this computer's network settings; reinstall Korvel." yes

# Up, but the marker cannot be written: the tunnel must not stay up unseen, so it is taken down again.
up_down="up $config"$'\n'"down $config"
case_ "unwritable marker" up absent file "" "" 0 add 1 \
    "The tunnel could not be marked as up in /var/run/wireguard; check that this folder is writable." no "$up_down"
case_ "planted link, up" up absent link "" "" 0 add 1 \
    "The tunnel could not be marked as up because $marker is a symbolic link; remove it and connect again." link "$up_down"
case_ "planted link, down" down present link "" "" 0 delete 1 \
    "The tunnel is down, but $marker is a symbolic link that was left in place; remove it." link

# Other commands are the system tool's alone, output and status unchanged.
printf '[Interface]\n' >"$work/case/stdout"
printf 'Warning: world accessible\n' >"$work/case/stderr"
echo 3 >"$work/case/status"
echo none >"$work/case/action"
rm -f "$work/calls"
stdout=$(env -i PATH="$work/tools:/usr/bin:/bin" LANG=C "$work/tools/bash" "$work/tools/wg-quick" strip "$config" 2>/dev/null)
status=$?
[ "$status" = 3 ] && [ "$stdout" = "[Interface]" ] || fail "strip: status $status, stdout '$stdout'"
[ "$(cat "$work/calls")" = "strip $config" ] || fail "strip: the tool got '$(cat "$work/calls")'"

[ "$failures" = 0 ] && echo "all checks passed"
exit $((failures > 0))
