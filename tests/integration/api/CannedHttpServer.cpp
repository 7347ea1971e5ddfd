#include "CannedHttpServer.h"

#include <QTcpSocket>

namespace korvel::api {

CannedHttpServer::CannedHttpServer() {
    server_.listen(QHostAddress::LocalHost);
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
                pending_.remove(socket);
                socket->deleteLater();
            });
        }
    });
}

QString CannedHttpServer::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1/api/v1").arg(server_.serverPort());
}

void CannedHttpServer::read(QTcpSocket* socket) {
    QByteArray& buffer = pending_[socket];
    buffer += socket->readAll();
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0) {
        return;
    }
    Request request;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.front().trimmed().split(' ');
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
    }
    const qsizetype length = request.headers.value("content-length", "0").toLongLong();
    if (buffer.size() < headerEnd + 4 + length) {
        return;
    }
    request.body = buffer.mid(headerEnd + 4, length);
    buffer.clear();
    requests_.append(request);
    const QByteArray answer = answersAt_.value(request.target, answer_);
    if (!answer.isEmpty()) {
        socket->write(answer);
        socket->disconnectFromHost();
    }
}

} // namespace korvel::api
