#include "ApiStub.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QTcpSocket>

#include <sys/socket.h>

namespace korvel::test {

int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

QString baseOn(int port) { return QStringLiteral("http://127.0.0.1:%1/api/v1").arg(port); }

ApiStub::ApiStub(int port, const Answers& answers) {
    serve(answers);
    server_.listen(QHostAddress::LocalHost, static_cast<quint16>(port));
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

QByteArray ApiStub::http(int status, const QByteArray& body, const QByteArray& extraHeaders) {
    return "HTTP/1.1 " + QByteArray::number(status) +
           " Stub\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n" +
           extraHeaders + "\r\n" + body;
}

void ApiStub::serve(const Answers& answers) {
    Answers all = answers;
    all.insert({{"POST auth/token", {200, data(R"({"token":"t1","id":1,"name":"n"})")}},
                {"GET account", {200, data(R"({"email":"me@korvel.example"})")}},
                {"GET devices", {200, data("[" + device(7, "Linux (Desk)") + "]")}},
                {"POST devices", {200, data(device(9, "new"))}},
                {"GET servers", {200, data("[" + server("fra") + "," + server("ams") + "]")}},
                {"POST vpn/configs/wireguard", {200, data(R"({"config":"[Interface]"})")}}});
    answers_ = {{"", {http(404, "{}"), Then::close}}};
    for (const auto& [route, answer] : all) {
        answers_[route] = {http(answer.first, QByteArray::fromStdString(answer.second)), Then::close};
    }
}

void ApiStub::answer(const QByteArray& raw, Then then, const std::string& route) {
    if (route.empty()) {
        answers_.clear();
    }
    answers_[route] = {raw, then};
}

QJsonObject ApiStub::body(const std::string& route) const {
    QJsonObject last;
    for (const auto& [r, body, authorization] : requests) {
        last = r == route ? QJsonDocument::fromJson(QByteArray::fromStdString(body)).object() : last;
    }
    return last;
}

void ApiStub::read(QTcpSocket* socket) {
    QByteArray& buffer = pending_[socket];
    buffer += socket->readAll();
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        return;
    }
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.front().trimmed().split(' ');
    QHash<QByteArray, QByteArray> headers; // names lowercased
    for (const QByteArray& line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    const qsizetype length = headers.value("content-length").toLongLong();
    if (buffer.size() < headEnd + 4 + length) {
        return;
    }
    const QByteArray target = QByteArray(requestLine.value(1)).replace("/api/v1/", "");
    const std::string route = (requestLine.value(0) + " " + target).toStdString();
    requests.emplace_back(route, buffer.mid(headEnd + 4, length).toStdString(),
                          headers.value("authorization").toStdString());
    buffer.clear();
    const auto& [raw, then] = answers_.contains(route) ? answers_.at(route) : answers_.at("");
    socket->write(raw);
    socket->flush();
    if (then == Then::reset) {
        const linger abrupt{1, 0};
        ::setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abrupt,
                     sizeof abrupt);
        socket->abort();
    } else if (then == Then::close) {
        socket->disconnectFromHost();
    }
}

} // namespace korvel::test
