#include "ConfigurationSafety.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

// Runs the check on arbitrary bytes under the sanitizers, and holds it to one property an off-by-one in
// line splitting would break: ending every line with CR LF instead of LF never changes the verdict.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool safe = korvel::service::configurationIsSafe(text);

    std::string crlf;
    crlf.reserve(size * 2);
    for (const char c : text) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    if (crlf.size() <= korvel::service::kMaxConfigurationBytes &&
        korvel::service::configurationIsSafe(crlf) != safe) {
        std::abort();
    }
    return 0;
}
