#pragma once

#include "JsonReader.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

namespace korvel::api {

namespace detail {

template <class T>
struct ValueReader {
    static T read(JsonReader& json) { return T::read(json); }
};

template <class T>
struct ValueReader<QList<T>> {
    static QList<T> read(JsonReader& json) {
        QList<T> list;
        json.readArray([&] { list.append(ValueReader<T>::read(json)); });
        return list;
    }
};

} // namespace detail

// The top-level object of every response: a result under "data" or a sentence for the user under "error".
template <class T>
struct ApiEnvelope {
    std::optional<T> data;
    std::optional<QString> error;

    // The envelope in a response body, or none when the body is not one, whatever part of it is at fault.
    static std::optional<ApiEnvelope> decode(QByteArrayView body) {
        try {
            JsonReader json(body);
            ApiEnvelope envelope;
            json.readObject([&](const QString& key) {
                if (key == QStringLiteral("data")) {
                    envelope.data =
                        json.skipNull() ? std::nullopt : std::optional(detail::ValueReader<T>::read(json));
                } else if (key == QStringLiteral("error")) {
                    envelope.error = json.readOptionalString();
                } else {
                    json.skipValue();
                }
            });
            json.finish();
            return envelope;
        } catch (const JsonReader::Failure&) {
            return std::nullopt;
        }
    }
};

} // namespace korvel::api
