#include "MessageReader.h"

namespace korvel::service {

MessageReader::MessageReader(std::size_t maxBytes) : maxBytes_(maxBytes) {}

bool MessageReader::append(std::string_view bytes) {
    if (result_) {
        return true;
    }
    const std::size_t end = bytes.find('\0');
    const std::string_view part = bytes.substr(0, end);
    if (part.size() > maxBytes_ - buffer_.size()) {
        result_ = WireError{std::string(requestTooLargeError), {}, {}};
    } else if (end == std::string_view::npos) {
        buffer_.append(part);
        return false;
    } else {
        buffer_.append(part);
        result_ = parseRequest(buffer_);
    }
    buffer_ = std::string();
    return true;
}

void MessageReader::endOfInput() {
    if (!result_) {
        result_ = WireError{std::string(invalidRequestError), {}, {}};
        buffer_ = std::string();
    }
}

} // namespace korvel::service
