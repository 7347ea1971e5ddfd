#pragma once

#include <iosfwd>
#include <string_view>

namespace korvel::service {

// Exit statuses of `korvel-tunneld --check`.
inline constexpr int kCheckSafe = 0;
inline constexpr int kCheckUnsafe = 1;
inline constexpr int kCheckUnreadable = 2;

// Judges the configuration in the file at `path` ("-" is standard input): prints "safe" or "unsafe" to
// `out`, or one line to `err` when the file cannot be read. Reads at most one byte past the size limit,
// so an endless input is judged without being held in memory.
int runCheckCommand(std::string_view path, std::ostream& out, std::ostream& err);

} // namespace korvel::service
