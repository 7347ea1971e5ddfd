#pragma once

#include <string_view>

namespace korvel::service {

// Well-formed UTF-8 as the Unicode standard defines it (Table 3-7): no overlong forms, no surrogates,
// nothing above U+10FFFF, no truncated sequences.
bool isWellFormedUtf8(std::string_view text);

} // namespace korvel::service
