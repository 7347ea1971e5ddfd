#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

namespace korvel::api {

// A loopback HTTP server that records each request and answers every one with the same raw bytes, or
// those set for its target.
class CannedHttpServer {
public:
    struct Request {
        QByteArray method;
        QByteArray target;
        QMap<QByteArray, QByteArray> headers; // names lowercased, values trimmed
        QByteArray body;
    };

    CannedHttpServer();

    // The API's base without a trailing "/".
    QString baseUrl() const;
    // Then the connection is closed. Nothing set: requests are never answered.
    void answer(QByteArray raw) { answer_ = std::move(raw); }
    void answer(const QByteArray& target, QByteArray raw) { answersAt_.insert(target, std::move(raw)); }
    const QList<Request>& requests() const { return requests_; }

private:
    void read(QTcpSocket* socket);

    QByteArray answer_;
    QHash<QByteArray, QByteArray> answersAt_;
    QHash<QTcpSocket*, QByteArray> pending_;
    QList<Request> requests_;
    QTcpServer server_; // last: its sockets may still report to the members above while it closes
};

} // namespace korvel::api
