#include "Account.h"
#include "ApiEnvelope.h"
#include "Device.h"
#include "ServerLocation.h"
#include "TokenResponse.h"
#include "WireGuardConfig.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace korvel::api;

namespace {

// Whatever our strict reader takes as an envelope must be JSON to Qt's parser as well: a reader that
// accepted malformed text would hand the application values the server never sent.
template <class T>
void decode(QByteArrayView body) {
    if (!ApiEnvelope<T>::decode(body) || body.startsWith("\xEF\xBB\xBF")) {
        return;
    }
    QJsonParseError error{};
    QJsonDocument::fromJson(body.toByteArray(), &error);
    // Qt also refuses numbers beyond the range of a double, which the JSON grammar allows.
    if (error.error != QJsonParseError::NoError && error.error != QJsonParseError::IllegalNumber) {
        std::abort();
    }
}

} // namespace

// Every response body reaches exactly one of these decoders in the client.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView body(data, static_cast<qsizetype>(size));
    decode<TokenResponse>(body);
    decode<Account>(body);
    decode<Device>(body);
    decode<QList<Device>>(body);
    decode<QList<ServerLocation>>(body);
    decode<WireGuardConfig>(body);
    return 0;
}
