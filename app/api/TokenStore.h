#pragma once

#include <QCoroTask>
#include <QString>

#include <optional>

namespace korvel::api {

// Where the bearer token persists between runs. The model holds one through this interface so its tests
// can substitute their own. Each operation takes as long as the store does, without blocking the
// caller's event loop.
class TokenStore {
public:
    virtual ~TokenStore() = default;

    // Replaces whatever is stored. Gives none once the token is stored; otherwise why it could not be,
    // as a sentence for the person who signed in.
    virtual QCoro::Task<std::optional<QString>> save(QString token) = 0;
    // The stored token, or none for every kind of failure.
    virtual QCoro::Task<std::optional<QString>> load() = 0;
    // Removing nothing is not a failure.
    virtual QCoro::Task<> remove() = 0;
};

} // namespace korvel::api
