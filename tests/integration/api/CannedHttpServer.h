#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

namespace korvel::api {

// A loopback HTTP server that records each request and answers it with the same canned bytes.
class CannedHttpServer {
public:
    struct Request {
        QByteArray method;
        QByteArray target;
        QMap<QByteArray, QByteArray> headers; // names lowercased, values trimmed
        QByteArray body;
    };

    CannedHttpServer();

    // Base URL with the API's path, without a trailing "/".
    QString baseUrl() const;
    quint16 port() const { return server_.serverPort(); }

    // Raw bytes to answer with, then the connection is closed. Nothing set: requests are never answered.
    void answer(QByteArray raw) { answer_ = std::move(raw); }
    const QList<Request>& requests() const { return requests_; }

    // A complete HTTP/1.1 response.
    static QByteArray http(int status, const QByteArray& body, const QByteArray& extraHeaders = {});

private:
    void read(QTcpSocket* socket);

    QByteArray answer_;
    QHash<QTcpSocket*, QByteArray> pending_;
    QList<Request> requests_;
    QTcpServer server_; // last: its sockets may still report to the members above while it closes
};

} // namespace korvel::api
