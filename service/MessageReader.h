#pragma once

#include "WireFormat.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvel::service {

// Collects the bytes of one request as they arrive, up to its NUL byte. Bytes after it are not looked
// at: a connection carries one request.
class MessageReader {
public:
    explicit MessageReader(std::size_t maxBytes);

    // True once the request, or the error that stands for it, is known.
    bool append(std::string_view bytes);
    // The sender stopped before the NUL byte.
    void endOfInput();

    const std::optional<ParsedRequest>& result() const { return result_; }

private:
    std::size_t maxBytes_;
    std::string buffer_;
    std::optional<ParsedRequest> result_;
};

} // namespace korvel::service
