#include "DevApiServer.h"

#include "KeyPair.h"

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <sodium.h>

#include <algorithm>
#include <array>

namespace korvel::devapi {
namespace {

using nlohmann::json;

void answer(httplib::Response& response, int status, const json& envelope) {
    response.status = status;
    response.set_content(envelope.dump(-1, ' ', false, json::error_handler_t::replace), "application/json");
}

void data(httplib::Response& response, int status, json value) {
    answer(response, status, json{{"data", std::move(value)}});
}

void error(httplib::Response& response, int status, const std::string& message) {
    answer(response, status, json{{"error", message}});
}

// The request's JSON object, or none with a 400 answer written.
std::optional<json> body(const httplib::Request& request, httplib::Response& response) {
    json parsed = json::parse(request.body, nullptr, false);
    if (!parsed.is_object()) {
        error(response, 400, "The request body must be a JSON object.");
        return std::nullopt;
    }
    return parsed;
}

std::optional<std::string> stringMember(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

std::string newToken() {
    std::array<unsigned char, 32> bytes{};
    randombytes_buf(bytes.data(), bytes.size());
    std::array<char, bytes.size() * 2 + 1> hex{};
    sodium_bin2hex(hex.data(), hex.size(), bytes.data(), bytes.size());
    return hex.data();
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

int loadRank(const std::string& text) {
    const std::string load = lowered(text);
    if (load == "high") {
        return 2;
    }
    return load == "medium" || load == "med" ? 1 : 0;
}

// As the application reads it: "Online" is online, "online " is not.
bool isOnline(const Seed::Server& server) { return lowered(server.status) == "online"; }

} // namespace

DevApiServer::DevApiServer(Seed seed, std::optional<PeerHook> hook)
    : seed_(std::move(seed)), hook_(std::move(hook)), addresses_(seed_.addressPool) {
    for (const Seed::Account& account : seed_.accounts) {
        accounts_.push_back({account, {}});
    }
}

void DevApiServer::route(httplib::Server& server) {
    const auto bind = [this](void (DevApiServer::*handler)(const httplib::Request&, httplib::Response&)) {
        return [this, handler](const httplib::Request& request, httplib::Response& response) {
            (this->*handler)(request, response);
        };
    };
    const std::string prefix = kPrefix;
    server.Post(prefix + "auth/token", bind(&DevApiServer::signIn));
    server.Get(prefix + "account", bind(&DevApiServer::account));
    server.Get(prefix + "devices", bind(&DevApiServer::devices));
    server.Post(prefix + "devices", bind(&DevApiServer::createDevice));
    server.Get(prefix + "servers", bind(&DevApiServer::servers));
    server.Post(prefix + "vpn/configs/wireguard", bind(&DevApiServer::wireGuardConfig));
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty()) {
            error(response, response.status, response.status == 404 ? "Not found." : "The request failed.");
        }
    });
}

DevApiServer::Account* DevApiServer::authorize(const httplib::Request& request, httplib::Response& response) {
    const std::string header = request.get_header_value("Authorization");
    constexpr std::string_view scheme = "Bearer ";
    if (header.starts_with(scheme)) {
        if (const auto found = tokens_.find(header.substr(scheme.size())); found != tokens_.end()) {
            return &accounts_[found->second];
        }
    }
    error(response, 401, "Your session has ended. Please sign in again.");
    return nullptr;
}

void DevApiServer::signIn(const httplib::Request& request, httplib::Response& response) {
    const std::optional<json> object = body(request, response);
    if (!object) {
        return;
    }
    const std::optional<std::string> email = stringMember(*object, "email");
    const std::optional<std::string> password = stringMember(*object, "password");
    const std::string name = stringMember(*object, "name").value_or("");
    const std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < accounts_.size(); ++i) {
        const Seed::Account& account = accounts_[i].seed;
        if (email == account.email && password == account.password) {
            const std::string token = newToken();
            tokens_[token] = i;
            data(response, 200, {{"token", token}, {"id", nextTokenId_++}, {"name", name}});
            return;
        }
    }
    error(response, 401, "Invalid email or password.");
}

void DevApiServer::account(const httplib::Request& request, httplib::Response& response) {
    const std::lock_guard lock(mutex_);
    const Account* account = authorize(request, response);
    if (account == nullptr) {
        return;
    }
    data(response, 200,
         {{"email", account->seed.email},
          {"subscription", {{"plan", account->seed.plan}, {"status", account->seed.status}}},
          {"usage", account->seed.usage}});
}

void DevApiServer::devices(const httplib::Request& request, httplib::Response& response) {
    const std::lock_guard lock(mutex_);
    const Account* account = authorize(request, response);
    if (account == nullptr) {
        return;
    }
    json list = json::array();
    for (const Device& device : account->devices) {
        list.push_back({{"id", device.id},
                        {"name", device.name},
                        {"platform", device.platform},
                        {"protocol", device.protocol}});
    }
    data(response, 200, std::move(list));
}

void DevApiServer::createDevice(const httplib::Request& request, httplib::Response& response) {
    const std::optional<json> object = body(request, response);
    if (!object) {
        return;
    }
    const std::lock_guard lock(mutex_);
    Account* account = authorize(request, response);
    if (account == nullptr) {
        return;
    }
    const std::optional<std::string> name = stringMember(*object, "name");
    const std::optional<std::string> platform = stringMember(*object, "platform");
    const std::optional<std::string> protocol = stringMember(*object, "protocol");
    if (!name || name->empty() || !platform || !protocol) {
        error(response, 400, "A device needs a name, a platform and a protocol.");
        return;
    }
    if (*protocol != "wireguard") {
        error(response, 400, "Only the WireGuard protocol is offered.");
        return;
    }
    const std::optional<std::string> address = addresses_.next();
    if (!address) {
        error(response, 503, "No tunnel address is free for another device.");
        return;
    }
    const KeyPair keys = KeyPair::generate();
    Device device{nextDeviceId_++, *name, *platform, *protocol, keys.privateKey, keys.publicKey, *address};
    account->devices.push_back(device);
    data(response, 201,
         {{"id", device.id},
          {"name", device.name},
          {"platform", device.platform},
          {"protocol", device.protocol}});
}

void DevApiServer::servers(const httplib::Request& request, httplib::Response& response) {
    const std::lock_guard lock(mutex_);
    if (authorize(request, response) == nullptr) {
        return;
    }
    json list = json::array();
    for (const Seed::Server& server : seed_.servers) {
        list.push_back({{"hostname", server.hostname},
                        {"location", server.location},
                        {"country_code", server.countryCode},
                        {"status", server.status},
                        {"load", server.load}});
    }
    data(response, 200, std::move(list));
}

const Seed::Server* DevApiServer::chooseServer(const std::optional<std::string>& hostname,
                                               httplib::Response& response) const {
    if (hostname && !hostname->empty()) {
        const auto found =
            std::find_if(seed_.servers.begin(), seed_.servers.end(),
                         [&](const Seed::Server& server) { return server.hostname == *hostname; });
        if (found == seed_.servers.end()) {
            error(response, 404, "There is no server location " + *hostname + ".");
            return nullptr;
        }
        if (!isOnline(*found)) {
            error(response, 409, found->location + " is offline right now. Please choose another location.");
            return nullptr;
        }
        return &*found;
    }
    const Seed::Server* best = nullptr;
    for (const Seed::Server& server : seed_.servers) {
        if (isOnline(server) && (best == nullptr || loadRank(server.load) < loadRank(best->load))) {
            best = &server;
        }
    }
    if (best == nullptr) {
        error(response, 503, "No server location is online right now.");
    }
    return best;
}

void DevApiServer::wireGuardConfig(const httplib::Request& request, httplib::Response& response) {
    const std::optional<json> object = body(request, response);
    if (!object) {
        return;
    }
    Peer peer;
    {
        const std::lock_guard lock(mutex_);
        const Account* account = authorize(request, response);
        if (account == nullptr) {
            return;
        }
        const auto deviceId = object->find("device_id");
        if (deviceId == object->end() || !deviceId->is_number_integer()) {
            error(response, 400, "The request must name a device by its number.");
            return;
        }
        const auto device = std::find_if(account->devices.begin(), account->devices.end(),
                                         [&](const Device& d) { return *deviceId == d.id; });
        if (device == account->devices.end()) {
            error(response, 404, "This device is not registered on your account.");
            return;
        }
        const auto hostname = object->find("hostname");
        if (hostname != object->end() && !hostname->is_string() && !hostname->is_null()) {
            error(response, 400, "The location must be given by its host name.");
            return;
        }
        const Seed::Server* server = chooseServer(stringMember(*object, "hostname"), response);
        if (server == nullptr) {
            return;
        }
        peer.config =
            "[Interface]\nPrivateKey = " + device->privateKey + "\nAddress = " + device->address + "\n";
        if (!seed_.dns.empty()) {
            peer.config += "DNS = " + seed_.dns + "\n";
        }
        peer.config += "\n[Peer]\nPublicKey = " + server->publicKey + "\nAllowedIPs = " + server->allowedIps +
                       "\nEndpoint = " + server->endpoint + "\nPersistentKeepalive = 25\n";
        peer.publicKey = device->publicKey;
        peer.address = device->address;
        peer.hostname = server->hostname;
    }
    // The hook may take a while; other requests go on meanwhile.
    if (hook_ && !hook_->run(peer.publicKey, peer.address, peer.hostname)) {
        error(response, 502, "The server location could not be prepared for this device. Please try again.");
        return;
    }
    data(response, 200, {{"config", peer.config}});
}

} // namespace korvel::devapi
