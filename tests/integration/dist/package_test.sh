#!/bin/bash
# The Debian package: lintian finds no error in it, its desktop entry is valid, and in a throwaway
# copy of this system "apt install ./korvel_*.deb" installs it with the socket unit enabled, after
# which both "apt purge" and Korvel's own uninstaller remove it and the unit's enablement again.
# Usage: package_test.sh SOURCE_DIR BUILD_DIR
set -u
source_dir=$1 build=$2

# shellcheck source=../../../scripts/sandbox.sh
. "$source_dir/scripts/sandbox.sh"
sandbox_enter "$0" "$@"

if [ "$(id -u)" != 0 ] || [ -z "${KORVEL_SANDBOX_NAMESPACE-}" ]; then
    echo "SKIP: needs root, to install the package into a throwaway copy of this system"
    exit 77
fi
for tool in cpack:cmake lintian:lintian desktop-file-validate:desktop-file-utils dpkg-shlibdeps:dpkg-dev; do
    command -v "${tool%%:*}" >/dev/null || { echo "SKIP: ${tool%%:*} is missing (package ${tool#*:})" && exit 77; }
done

work=$(mktemp -d /tmp/korvel-package-XXXXXX)
trap 'sandbox_down; rm -rf --one-file-system "$work"' EXIT

failures=0
fail() {
    echo "FAIL $1"
    failures=$((failures + 1))
}

desktop-file-validate "$build/dist/korvel.desktop" || fail "desktop-file-validate rejects the desktop entry"

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" && exit 1; }
deb=$(find "$work/out" -maxdepth 1 -name 'korvel_*.deb')
[ -f "$deb" ] || { echo "FAIL cpack made no package" && cat "$work/cpack.log" && exit 1; }
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || { fail "lintian finds errors:" && cat "$work/lintian.log"; }

sandbox_copy "$work"
case $? in
    0) ;;
    77) exit 77 ;;
    *) echo "FAIL the throwaway copy could not be made" && exit 1 ;;
esac
root=$sandbox_root
# apt in the copy fetches what the package needs and this system lacks (a resolvconf, pkexec).
rm -f "$root/etc/resolv.conf"
cat /etc/resolv.conf >"$root/etc/resolv.conf" 2>/dev/null
cp "$deb" "$root/tmp/"
in_copy() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"
}
wants=$root/etc/systemd/system/sockets.target.wants/korvel-tunneld.socket

install_package() {
    in_copy apt-get install -y --no-install-recommends "/tmp/$(basename "$deb")" >"$work/apt.log" 2>&1 ||
        { echo "FAIL apt install:" && cat "$work/apt.log" && exit 1; }
}

install_package
[ -L "$wants" ] || fail "install: the socket unit is not enabled"
[ "$(stat -c '%U %a' "$root/opt/korvel/bin/korvel")" = "root 755" ] || fail "install: korvel is not root's 0755"
[ "$(stat -c '%U %a' "$root/opt/korvel/libexec/korvel-tunneld")" = "root 755" ] ||
    fail "install: korvel-tunneld is not root's 0755"
in_copy /opt/korvel/bin/korvel --help >/dev/null || fail "install: the installed korvel does not run"
in_copy /opt/korvel/libexec/korvel-tunneld --help >/dev/null || fail "install: the installed daemon does not run"

in_copy apt-get purge -y korvel >"$work/apt.log" 2>&1 || { fail "apt purge:" && cat "$work/apt.log"; }
[ -e "$root/opt/korvel" ] && fail "purge: /opt/korvel is still there"
[ -L "$wants" ] && fail "purge: the socket unit is still enabled"

install_package
said=$(in_copy "/opt/korvel/Resources/Uninstall Korvel/Uninstall Korvel.tool" 2>&1) ||
    fail "the uninstaller failed: $said"
grep -qx "Removed the package korvel." <<<"$said" || fail "the uninstaller did not remove the package: $said"
in_copy dpkg-query -W -f='${Status}' korvel 2>/dev/null | grep -q 'install ok installed' &&
    fail "uninstall: dpkg still lists korvel as installed"
[ -e "$root/opt/korvel" ] && fail "uninstall: /opt/korvel is still there"
[ -L "$wants" ] && fail "uninstall: the socket unit is still enabled"

[ "$failures" = 0 ] || exit 1
echo "the package is clean, installs with its socket enabled and uninstalls both ways"
