#pragma once

#include <QString>

#include <optional>

namespace korvel::api {

// Where the bearer token persists between runs. The model holds one through this interface so its tests
// can substitute their own. No operation reports a failure: a token that could not be stored shows up
// as none at the next load.
class TokenStore {
public:
    virtual ~TokenStore() = default;

    // Replaces whatever is stored.
    virtual void save(const QString& token) = 0;
    // The stored token, or none for every kind of failure.
    virtual std::optional<QString> load() = 0;
    // Removing nothing is not a failure.
    virtual void remove() = 0;
};

} // namespace korvel::api
