#include "WireFormat.h"

#include <cerrno>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/socket.h>

namespace korvel::service {
namespace {

using nlohmann::json;

// A valid request nests two levels deep; far deeper input is refused before a parser builds it.
constexpr int kMaxDepth = 8;

bool nestsTooDeep(std::string_view text) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > kMaxDepth) {
                return true;
            }
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return false;
}

WireError invalidRequest() { return {std::string(invalidRequestError), {}, {}}; }

WireError invalidParameter(std::string name) {
    return {std::string(invalidParameterError), "parameter", std::move(name)};
}

} // namespace

ParsedRequest parseRequest(std::string_view message) {
    if (nestsTooDeep(message)) {
        return invalidRequest();
    }
    const json document = json::parse(message.begin(), message.end(), nullptr, false);
    if (!document.is_object()) {
        return invalidRequest();
    }
    for (const auto& member : document.items()) {
        if (member.key() != "method" && member.key() != "parameters") {
            return invalidRequest();
        }
    }
    const auto method = document.find("method");
    if (method == document.end() || !method->is_string()) {
        return invalidRequest();
    }
    const json none = json::object();
    const auto parametersMember = document.find("parameters");
    if (parametersMember != document.end() && !parametersMember->is_object()) {
        return invalidRequest();
    }
    const json& parameters = parametersMember == document.end() ? none : *parametersMember;

    const auto& name = method->get_ref<const std::string&>();
    if (name == connectMethod) {
        for (const auto& member : parameters.items()) {
            if (member.key() != "config") {
                return invalidParameter(member.key());
            }
        }
        const auto config = parameters.find("config");
        if (config == parameters.end() || !config->is_string()) {
            return invalidParameter("config");
        }
        return Request{Method::connect, config->get<std::string>()};
    }
    if (name == disconnectMethod) {
        if (!parameters.empty()) {
            return invalidParameter(parameters.begin().key());
        }
        return Request{Method::disconnect, {}};
    }
    return WireError{std::string(methodNotFoundError), "method", name};
}

std::string encodeReply(const std::optional<std::string>& message) {
    json parameters = json::object();
    if (message) {
        parameters["message"] = *message;
    }
    return json{{"parameters", parameters}}.dump(-1, ' ', false, json::error_handler_t::replace) + '\0';
}

std::string encodeError(const WireError& error) {
    json parameters = json::object();
    if (!error.parameter.empty()) {
        parameters[error.parameter] = error.value;
    }
    return json{{"error", error.name}, {"parameters", parameters}}.dump(-1, ' ', false,
                                                                        json::error_handler_t::replace) +
           '\0';
}

void sendMessage(int socket, std::string_view message, std::chrono::milliseconds patience) {
    while (!message.empty()) {
        const ssize_t sent = ::send(socket, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0) {
            message.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        pollfd room{socket, POLLOUT, 0};
        if (errno != EAGAIN || ::poll(&room, 1, static_cast<int>(patience.count())) != 1) {
            return;
        }
    }
}

} // namespace korvel::service
