#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace korvel::service {

// The daemon's side of its varlink protocol: each message is one JSON object followed by a NUL byte.
enum class Method { connect, disconnect };

struct Request {
    Method method = Method::disconnect;
    std::string config;
};

// A varlink error reply: the error's name and at most one string parameter.
struct WireError {
    std::string name;
    std::string parameter;
    std::string value;
};

inline constexpr std::string_view connectMethod = "korvel.tunneld.Connect";
inline constexpr std::string_view disconnectMethod = "korvel.tunneld.Disconnect";
inline constexpr std::string_view methodNotFoundError = "org.varlink.service.MethodNotFound";
inline constexpr std::string_view invalidParameterError = "org.varlink.service.InvalidParameter";
inline constexpr std::string_view invalidRequestError = "korvel.tunneld.InvalidRequest";
inline constexpr std::string_view requestTooLargeError = "korvel.tunneld.RequestTooLarge";

using ParsedRequest = std::variant<Request, WireError>;

// Reads one request message (without its NUL byte). Only the two methods with exactly their parameters
// are requests; everything else is the error to reply with.
ParsedRequest parseRequest(std::string_view message);

// The reply to a request, NUL included: success without a message, failure with one.
std::string encodeReply(const std::optional<std::string>& message);
std::string encodeError(const WireError& error);

// Sends the whole message, waiting at most `patience` for room in the socket. The peer may have gone:
// nothing signals, and the outcome is not reported because nobody is left to tell.
void sendMessage(int socket, std::string_view message, std::chrono::milliseconds patience);

} // namespace korvel::service
