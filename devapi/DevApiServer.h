#pragma once

#include "AddressPool.h"
#include "PeerHook.h"
#include "Seed.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace korvel::devapi {

// The reference account web API: sign-in with bearer tokens, account, devices, server list and per-device
// WireGuard configurations, every answer in the {"data": ...} / {"error": "..."} envelope. State lives in
// memory only; one lock guards it, so handlers may run on any number of threads.
class DevApiServer {
public:
    static constexpr const char* kPrefix = "/api/v1/";

    DevApiServer(Seed seed, std::optional<PeerHook> hook);

    // Adds the routes to an HTTP or HTTPS server.
    void route(httplib::Server& server);

private:
    struct Device {
        std::int64_t id = 0;
        std::string name;
        std::string platform;
        std::string protocol;
        std::string privateKey;
        std::string publicKey;
        std::string address;
    };
    struct Account {
        Seed::Account seed;
        std::vector<Device> devices;
    };
    struct Peer {
        std::string config;
        std::string publicKey;
        std::string address;
        std::string hostname;
    };

    void signIn(const httplib::Request& request, httplib::Response& response);
    void account(const httplib::Request& request, httplib::Response& response);
    void devices(const httplib::Request& request, httplib::Response& response);
    void createDevice(const httplib::Request& request, httplib::Response& response);
    void servers(const httplib::Request& request, httplib::Response& response);
    void wireGuardConfig(const httplib::Request& request, httplib::Response& response);

    // The signed-in account, or none with a 401 answer written. Call with the lock held.
    Account* authorize(const httplib::Request& request, httplib::Response& response);
    // The server a configuration goes to, or none with the answer written. Call with the lock held.
    const Seed::Server* chooseServer(const std::optional<std::string>& hostname,
                                     httplib::Response& response) const;

    Seed seed_;
    std::optional<PeerHook> hook_;
    std::mutex mutex_;
    std::vector<Account> accounts_;
    std::map<std::string, std::size_t> tokens_; // token -> index into accounts_
    AddressPool addresses_;
    std::int64_t nextDeviceId_ = 1;
    std::int64_t nextTokenId_ = 1;
};

} // namespace korvel::devapi
