#include "Seed.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace korvel::devapi {
namespace {

std::string text(const nlohmann::json& object, const char* key, const char* fallback = nullptr) {
    const auto found = object.find(key);
    if (found == object.end() && fallback != nullptr) {
        return fallback;
    }
    if (found == object.end() || !found->is_string()) {
        throw std::runtime_error(std::string("seed: \"") + key + "\" must be a string");
    }
    return found->get<std::string>();
}

const nlohmann::json& array(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_array()) {
        throw std::runtime_error(std::string("seed: \"") + key + "\" must be an array");
    }
    return *found;
}

} // namespace

Seed Seed::parse(const std::string& source) {
    const nlohmann::json root = nlohmann::json::parse(source, nullptr, false);
    if (!root.is_object()) {
        throw std::runtime_error("seed: not a JSON object");
    }
    Seed seed;
    seed.addressPool = text(root, "address_pool", "10.64.0.0/16");
    seed.dns = text(root, "dns", "");
    for (const nlohmann::json& entry : array(root, "accounts")) {
        if (!entry.is_object()) {
            throw std::runtime_error("seed: every account must be an object");
        }
        const nlohmann::json usage = entry.value("usage", nlohmann::json::object());
        if (!usage.is_object()) {
            throw std::runtime_error("seed: \"usage\" must be an object");
        }
        seed.accounts.push_back({text(entry, "email"), text(entry, "password"), text(entry, "plan", "free"),
                                 text(entry, "status", "active"), usage});
    }
    for (const nlohmann::json& entry : array(root, "servers")) {
        if (!entry.is_object()) {
            throw std::runtime_error("seed: every server must be an object");
        }
        seed.servers.push_back({text(entry, "hostname"), text(entry, "location"), text(entry, "country_code"),
                                text(entry, "status", "online"), text(entry, "load", "low"),
                                text(entry, "endpoint"), text(entry, "public_key"),
                                text(entry, "allowed_ips", "0.0.0.0/0, ::/0")});
    }
    return seed;
}

Seed Seed::load(const std::string& path) {
    std::ifstream file(path);
    if (!file) {
        throw std::runtime_error("seed: cannot read " + path);
    }
    std::ostringstream contents;
    contents << file.rdbuf();
    return parse(contents.str());
}

} // namespace korvel::devapi
