#include "ToolMessage.h"

#include "Utf8.h"

namespace korvel::service {

std::string toolMessage(std::string_view errorOutput) {
    if (!isWellFormedUtf8(errorOutput)) {
        return {};
    }
    std::string_view last;
    std::size_t start = 0;
    for (std::size_t i = 0; i < errorOutput.size(); ++i) {
        if (errorOutput[i] == '\n' && (i == 0 || errorOutput[i - 1] != '\r')) {
            if (i > start) {
                last = errorOutput.substr(start, i - start);
            }
            start = i + 1;
        }
    }
    if (start < errorOutput.size()) {
        last = errorOutput.substr(start);
    }
    return std::string(last);
}

} // namespace korvel::service
