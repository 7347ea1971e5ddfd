# Installed paths. Programs see them as compile-time constants; tests pass their own through constructors.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX "/opt/korvel" CACHE PATH "Installation prefix" FORCE)
endif()

set(KORVEL_SOCKET_PATH "/run/korvel.tunneld.sock" CACHE STRING "Socket the tunnel daemon listens on")
set(KORVEL_STATE_DIR "/run/korvel" CACHE PATH "Root-only folder of the tunnel configuration file")
set(KORVEL_MARKER_DIR "/var/run/wireguard" CACHE PATH "Folder of the WireGuard tools' interface marker files")
set(KORVEL_SYSTEMD_UNIT_DIR "/usr/lib/systemd/system" CACHE PATH "Folder of the daemon's systemd units")
set(KORVEL_SHARE_DIR "/usr/share" CACHE PATH "Folder of the desktop entry and the icon")
set(KORVEL_CONFIG_DIR "/etc/korvel" CACHE PATH "Folder of the administrator's settings, kept across upgrades")
set(KORVEL_COMMAND_DIR "/usr/bin" CACHE PATH "Folder on PATH that gets a link to the korvel command")
