#pragma once

#include "TokenStore.h"

#include <chrono>

namespace korvel::api {

// The token as one Secret Service item (through QtKeychain): service "korvel.app", key "bearer-token",
// value the token's UTF-8 bytes. Never falls back to a plaintext file.
//
// Every operation runs its keyring job on one process-wide worker thread and blocks the caller until the
// job finishes or the wait limit passes, so the caller's own event loop never runs inside a call and a
// hung keyring costs at most the limit. A job that outlives its wait still completes, in call order,
// before any later job starts.
class Keychain final : public TokenStore {
public:
    // Far above a normal round trip (milliseconds), below the five seconds after which GNOME marks a
    // window that stopped answering as not responding.
    static constexpr std::chrono::milliseconds kWaitLimit{4000};

    explicit Keychain(std::chrono::milliseconds waitLimit = kWaitLimit);

    // Deletes the item, then adds the new one; a failed add leaves no token at all. Gives up waiting at
    // the limit.
    void save(const QString& token) override;
    // None when the wait passes the limit, the item is missing or unreadable, or its bytes are not UTF-8.
    std::optional<QString> load() override;
    void remove() override;

private:
    std::chrono::milliseconds waitLimit_;
};

} // namespace korvel::api
