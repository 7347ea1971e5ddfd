#pragma once

#include <string>

namespace korvel::service {

// The daemon's capabilities, reduced once at start-up, before any thread or tool starts.
//
// The tools (bash, wg-quick, ip, wg, nft or iptables-restore, sysctl, resolvconf and the long-lived,
// network-facing wireguard-go) need CAP_NET_ADMIN (links, addresses, routes, rules, nft tables, the TUN
// device, wg setconf, resolved's SetLinkDNS), CAP_NET_RAW (iptables-restore where nft is missing) and
// CAP_NET_BIND_SERVICE (a ListenPort below 1024 for wireguard-go); every file they write is root's own.
// The daemon itself needs only CAP_SYS_PTRACE, to read /proc/<pid>/exe of a caller that runs as
// another user.
//
// After the lock-down:
//   bounding     the tools' set: no later exec, by anyone in this process tree, gets more;
//   inheritable  and ambient empty;
//   permitted    the tools' set and CAP_SYS_PTRACE;
//   effective    CAP_SYS_PTRACE alone: the daemon's own work uses nothing else.
// A tool that root execs gets permitted = effective = bounding, the tools' set. The tools' set stays in
// the daemon's permitted set because of NoNewPrivileges= (the unit's, or any other no_new_privs): an
// exec under it never gains a permitted capability its parent lacked, so a daemon permitted
// CAP_SYS_PTRACE alone would start tools with no capability at all. CAP_SETPCAP, needed to shrink the
// bounding set, is gone from every set afterwards. A capability the process never had is left out,
// not asked for.
//
// Returns "" when done, else what failed (the process may then hold a partly reduced set).
std::string lockDownCapabilities();

} // namespace korvel::service
