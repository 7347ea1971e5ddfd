#include "MessageReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <variant>

namespace {

using namespace korvel::service;

// Small enough that inputs run into it.
constexpr std::size_t kLimit = 4096;

std::string outcome(const MessageReader& reader) {
    const ParsedRequest& parsed = *reader.result();
    if (const auto* request = std::get_if<Request>(&parsed)) {
        return std::string(1, static_cast<char>(request->method)) + request->config;
    }
    return encodeError(std::get<WireError>(parsed));
}

} // namespace

// Reads arbitrary bytes as one request under the sanitizers, and holds the reader to one property a
// framing slip would break: where the bytes are split between reads never changes the outcome.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    MessageReader whole(kLimit);
    if (!whole.append(bytes)) {
        whole.endOfInput();
    }
    const std::size_t cut = size == 0 ? 0 : data[0] % size;
    MessageReader split(kLimit);
    if (!split.append(bytes.substr(0, cut)) && !split.append(bytes.substr(cut))) {
        split.endOfInput();
    }
    if (outcome(whole) != outcome(split)) {
        std::abort();
    }
    if (const auto* request = std::get_if<Request>(&*whole.result())) {
        encodeReply(request->config);
    }
    return 0;
}
