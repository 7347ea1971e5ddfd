#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace korvel::devapi {

// The accounts and server locations the reference server starts with, read from a JSON file.
struct Seed {
    struct Account {
        std::string email;
        std::string password;
        std::string plan;
        std::string status;
        nlohmann::json usage; // an object, handed out as it stands
    };
    struct Server {
        std::string hostname;
        std::string location;
        std::string countryCode;
        std::string status;
        std::string load;
        std::string endpoint;
        std::string publicKey;
        std::string allowedIps;
    };

    std::string addressPool;
    std::string dns; // empty: no DNS line in configurations
    std::vector<Account> accounts;
    std::vector<Server> servers;

    // Throws std::runtime_error naming what is wrong.
    static Seed parse(const std::string& text);
    static Seed load(const std::string& path);
};

} // namespace korvel::devapi
