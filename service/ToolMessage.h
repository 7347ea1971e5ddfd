#pragma once

#include <string>
#include <string_view>

namespace korvel::service {

// The message a failed tool left on standard error: its last non-empty line, unchanged. Lines end at a
// lone line feed only; a carriage return and line feed pair stays inside the line. Empty when the output
// is not UTF-8 or holds no such line.
std::string toolMessage(std::string_view errorOutput);

} // namespace korvel::service
