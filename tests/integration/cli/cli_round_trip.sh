#!/bin/bash
# korvel's command line from sign-in to sign-out, each step a new process as a person would run it:
# the token in a real keyring (run inside keychain_session.sh keyring), korvel-devapi's demo account,
# and the real daemon running a scripted wg-quick that keeps the interface marker as the real tools do.
# Usage: cli_round_trip.sh KORVEL_TEST_CLI KORVEL_TEST_TUNNELD KORVEL_DEVAPI KORVEL
set -u
cli=$1 tunneld=$2 devapi=$3 app=$4

if [ "$(id -u)" != 0 ]; then
    echo "SKIP: needs root: the daemon admits only a root-owned client and keeps root's files"
    exit 77
fi
read -r owner mode < <(stat -L -c '%u %a' "$cli")
if [ "$owner" != 0 ] || [ $((8#$mode & 8#022)) != 0 ]; then
    echo "SKIP: $cli is not root's or is writable by others, so the daemon would not admit it"
    exit 77
fi

work=$(mktemp -d /tmp/korvel-cli-XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait; rm -rf "$work"' EXIT

failures=0
fail() {
    echo "FAIL $1"
    failures=$((failures + 1))
}

# The daemon's tools: wg-quick logs the action and the configuration's endpoint, and adds or removes
# the marker that tells the application the interface is up.
mkdir -p "$work/tools" "$work/markers"
ln -s /bin/bash "$work/tools/bash"
cat >"$work/tools/wg-quick" <<TOOL
#!/bin/bash
echo "\$1 \$(sed -n 's/^Endpoint = //p' "\$2")" >>"$work/wg.log"
case \$1 in
up) echo korvel >"$work/markers/korvel.name" ;;
down) rm -f "$work/markers/korvel.name" ;;
esac
TOOL
chmod 0755 "$work/tools/wg-quick"
touch "$work/korvel-tunneld.socket"

"$devapi" --port 0 >"$work/devapi.out" 2>&1 &
pids+=($!)
"$tunneld" --socket "$work/tunneld.sock" --state-dir "$work/state" --tools-dir "$work/tools" \
    --client "$cli" >"$work/tunneld.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    grep -q '^Listening on ' "$work/devapi.out" && [ -S "$work/tunneld.sock" ] && break
    sleep 0.1
done
api=$(sed -n 's/^Listening on //p' "$work/devapi.out")
if [ -z "$api" ] || [ ! -S "$work/tunneld.sock" ]; then
    echo "FAIL the servers did not start"
    cat "$work/devapi.out" "$work/tunneld.out"
    exit 1
fi

export KORVEL_API=$api KORVEL_TEST_SOCKET=$work/tunneld.sock KORVEL_TEST_MARKER_DIR=$work/markers
export KORVEL_TEST_SERVICE_DEFINITION=$work/korvel-tunneld.socket LC_ALL=C.UTF-8

# korvel EXPECTED_STATUS [--stdin TEXT] ARGUMENTS...: runs one command; its outputs land in $out, $err.
korvel() {
    local expected=$1 input=
    shift
    if [ "$1" = --stdin ]; then
        input=$2
        shift 2
    fi
    out=$(printf '%s' "$input" | timeout 60 "$cli" "$@" 2>"$work/err")
    local status=$?
    err=$(cat "$work/err")
    [ "$status" = "$expected" ] || fail "korvel $* exited $status, not $expected; stderr: $err"
}
# same WHAT ACTUAL EXPECTED
same() {
    [ "$2" = "$3" ] || fail "$1: got
$2
instead of
$3"
}

fra=de-fra-1.korvel.example ams=nl-ams-1.korvel.example
demo_plan="Plan: Free plan: unlimited data, up to 100 Mbps
Usage: 1.5 GB used this month"

# The window has nowhere to go without a display: a sentence, not an abort. The named display is one no
# X server listens on (the window tests' servers start at :99).
absent=4242
while [ -e "/tmp/.X11-unix/X$absent" ] || [ -e "/tmp/.X$absent-lock" ]; do absent=$((absent + 1)); done
for display in "" ":$absent"; do
    err=$(env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY=$display timeout 60 "$app" 2>&1 >/dev/null)
    status=$?
    [ $status = 1 ] || fail "korvel with DISPLAY=$display exited $status, not 1"
    same "no display ($display)" "$err" "Korvel cannot open its window: no display is available. \
Run 'korvel --help' for the commands that work without one."
done

korvel 1 status
same "status, signed out" "$out
$err" "Tunnel: Not protected
Not signed in. Run: korvel login EMAIL"
# No keyring to keep the sign-in in: every later command would be signed out.
DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus korvel 1 --stdin "korvel-demo" login demo@korvel.example

korvel 1 --stdin "wrong
korvel-demo" login demo@korvel.example
same "wrong password" "$out|$err" "|Invalid email or password."
korvel 0 --stdin "korvel-demo
" login " demo@korvel.example"
same "sign-in" "$out" "Signed in.
Tunnel: Not protected
Location: Fastest location (automatic)
$demo_plan"

# From here each command restores the session from the keyring.
korvel 0 locations
same "recommended" "$out" "*      Smart Location  Fastest available server  auto
  ☆ 🇳🇱 Netherlands     Amsterdam                 $ams  Low load
  ☆ 🇩🇪 Germany         Frankfurt                 $fra  Medium load"
korvel 0 favorite $fra
same "favorite" "$out" "Added Frankfurt ($fra) to the favorites."
korvel 0 locations --json
same "favorites first" "$(grep -o '"hostname":"[^"]*"' <<<"$out" | cut -d'"' -f4 | paste -sd' ')" "$fra $ams"
grep -q "{\"country\":\"Germany\",\"country_code\":\"DE\",\"favorite\":true,\"flag\":\"🇩🇪\",\"hostname\":\"$fra\",\"load\":\"medium\",\"location\":\"Frankfurt\",\"selected\":false}" <<<"$out" ||
    fail "JSON record: $out"
korvel 0 locations --tab=recent --search zz
same "no match" "$out" "No locations match \"zz\""
korvel 1 select nowhere.korvel.example
same "unknown host name" "$err" \
    "No location has the host name \"nowhere.korvel.example\". Run 'korvel locations' to list them."
korvel 0 select $ams
same "select" "$out" "Location: Amsterdam"

korvel 0 connect
same "connect" "$out" "Tunnel: Protected
Location: Amsterdam
$demo_plan"
korvel 0 status --json
same "status --json" "$out" "{\"bytes_used\":1610612736,\"free_plan\":true,\"location\":\"$ams\",\
\"location_name\":\"Amsterdam\",\"plan\":\"Free plan: unlimited data, up to 100 Mbps\",\"signed_in\":true,\
\"speed_mbps\":100,\"tunnel\":\"connected\",\"tunnel_error\":null}"
korvel 0 connect $fra
same "tool runs" "$(cat "$work/wg.log")" "up 203.0.113.20:51820
down 203.0.113.20:51820
up 203.0.113.10:51820"
korvel 0 disconnect
same "disconnect" "$out" "Tunnel: Not protected"
[ ! -e "$work/markers/korvel.name" ] || fail "the marker outlived the disconnect"
KORVEL_TEST_SOCKET=$work/gone korvel 1 connect

korvel 0 settings --launch-at-login on --auto-connect=on
same "settings" "$out" "Launch at login: on
Auto-connect on launch: on"
grep -q "^Exec=$cli\$" "$XDG_CONFIG_HOME/autostart/korvel.desktop" || fail "no autostart entry"
# Auto-connect is for the application's start and for a sign-in, not for every command's restore.
korvel 0 status
same "no auto-connect on restore" "$(head -n 2 <<<"$out")" "Tunnel: Not protected
Location: Frankfurt"
korvel 0 connect
# With the sign-in gone from the keyring, the tunnel still comes down; a sign-in brings it up again.
secret-tool clear user bearer-token server korvel.app
korvel 0 disconnect
same "disconnect, signed out" "$out" "Tunnel: Not protected"
[ ! -e "$work/markers/korvel.name" ] || fail "disconnect without a session left the tunnel up"
korvel 0 --stdin "korvel-demo" login demo@korvel.example
[ -e "$work/markers/korvel.name" ] || fail "no auto-connect after the sign-in"

# Offline, the stored sign-in is kept and the reason shown; logout works regardless.
kill "${pids[0]}"
wait "${pids[0]}" 2>/dev/null
korvel 1 status
same "offline" "$err" "Could not reach Korvel. Check your internet connection."
korvel 0 logout
same "logout" "$out" "Signed out."
[ ! -e "$work/markers/korvel.name" ] || fail "logout left the tunnel up"
korvel 0 logout
same "signed out for good" "$out" "Not signed in."

[ $failures = 0 ] || exit 1
echo "PASS"
