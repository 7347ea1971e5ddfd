// korvel-devapi: the reference account web API for development, tests and the demo.

#include "DevApiServer.h"

#include <httplib.h>

#include <charconv>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "Usage: korvel-devapi [--seed FILE] [--host ADDRESS] [--port N] [--tls-cert FILE --tls-key FILE]\n"
    "                     [--hook /ABSOLUTE/PROGRAM]\n"
    "Serves the Korvel account web API under /api/v1/ from the accounts and servers in the seed file\n"
    "(default: the demo seed). --host defaults to 127.0.0.1, --port to 8080; port 0 picks a free one.\n"
    "With a certificate and key it speaks HTTPS. The hook runs as PROGRAM PUBLIC_KEY ADDRESS HOSTNAME\n"
    "whenever a device asks for a configuration, and must exit 0 for the configuration to be handed out.\n"
    "Prints \"Listening on URL\" once it accepts connections.\n";

struct Options {
    std::string seed = KORVEL_DEVAPI_DEMO_SEED;
    std::string host = "127.0.0.1";
    int port = 8080;
    std::string certificate;
    std::string key;
    std::optional<std::string> hook;
};

std::optional<Options> parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view flag = argv[i];
        if (i + 1 >= argc) {
            return std::nullopt;
        }
        const std::string value = argv[++i];
        if (flag == "--seed") {
            options.seed = value;
        } else if (flag == "--host") {
            options.host = value;
        } else if (flag == "--port") {
            const auto [end, status] =
                std::from_chars(value.data(), value.data() + value.size(), options.port);
            if (status != std::errc() || end != value.data() + value.size() || options.port < 0 ||
                options.port > 65535) {
                return std::nullopt;
            }
        } else if (flag == "--tls-cert") {
            options.certificate = value;
        } else if (flag == "--tls-key") {
            options.key = value;
        } else if (flag == "--hook") {
            options.hook = value;
        } else {
            return std::nullopt;
        }
    }
    if (options.certificate.empty() != options.key.empty()) {
        return std::nullopt;
    }
    return options;
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = parse(argc, argv);
    if (!options) {
        std::cerr << kUsage;
        return 2;
    }
    try {
        std::optional<korvel::devapi::PeerHook> hook;
        if (options->hook) {
            hook.emplace(*options->hook);
        }
        korvel::devapi::DevApiServer api(korvel::devapi::Seed::load(options->seed), std::move(hook));
        const bool tls = !options->certificate.empty();
        std::unique_ptr<httplib::Server> server;
        if (tls) {
            server = std::make_unique<httplib::SSLServer>(options->certificate.c_str(), options->key.c_str());
        } else {
            server = std::make_unique<httplib::Server>();
        }
        if (!server->is_valid()) {
            std::cerr << "korvel-devapi: cannot use the TLS certificate and key\n";
            return 1;
        }
        api.route(*server);
        const int port = options->port == 0
                             ? server->bind_to_any_port(options->host)
                             : (server->bind_to_port(options->host, options->port) ? options->port : -1);
        if (port < 0) {
            std::cerr << "korvel-devapi: cannot listen on " << options->host << " port " << options->port
                      << "\n";
            return 1;
        }
        const bool ipv6 = options->host.find(':') != std::string::npos;
        std::cout << "Listening on " << (tls ? "https" : "http") << "://" << (ipv6 ? "[" : "")
                  << options->host << (ipv6 ? "]" : "") << ":" << port
                  << korvel::devapi::DevApiServer::kPrefix << std::endl;
        return server->listen_after_bind() ? 0 : 1;
    } catch (const std::exception& failure) {
        std::cerr << "korvel-devapi: " << failure.what() << "\n";
        return 1;
    }
}
