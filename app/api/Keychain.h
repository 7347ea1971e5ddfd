#pragma once

#include "TokenStore.h"

namespace korvel::api {

// The token as one Secret Service item (through QtKeychain): service "korvel.app", key "bearer-token",
// value the token's UTF-8 bytes. Never falls back to a plaintext file.
//
// Every operation runs its keyring job on one process-wide worker thread and waits for it, without a
// limit of its own: a keyring that asks the person to unlock it answers when they have, or when the
// bus gives up on it. Jobs run one at a time in call order.
class Keychain final : public TokenStore {
public:
    // Deletes the item, then adds the new one; a failed add leaves no token at all.
    QCoro::Task<std::optional<QString>> save(QString token) override;
    // None when the item is missing or unreadable, or its bytes are not UTF-8.
    QCoro::Task<std::optional<QString>> load() override;
    QCoro::Task<> remove() override;
};

} // namespace korvel::api
