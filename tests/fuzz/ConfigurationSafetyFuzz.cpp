#include "ConfigurationSafety.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

// Runs the check on arbitrary bytes under the sanitizers, and holds it to two properties: ending every
// line with CR LF instead of LF never changes the verdict (an off-by-one in line splitting would), and
// the judged text, which the tools get, is itself judged safe and unchanged (a fixed point).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool safe = korvel::service::configurationIsSafe(text);
    const std::optional<std::string> judged = korvel::service::judgedConfiguration(text);
    if (judged.has_value() != safe || (judged && judged->size() <= korvel::service::kMaxConfigurationBytes &&
                                       korvel::service::judgedConfiguration(*judged) != judged)) {
        std::abort();
    }

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
