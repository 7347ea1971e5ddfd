#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace korvel::api {

// The one failure of the web API client: a sentence shown to the user unchanged.
class ApiError : public std::exception {
public:
    explicit ApiError(QString message);

    const QString& message() const { return message_; }
    const QString& errorDescription() const { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

} // namespace korvel::api
