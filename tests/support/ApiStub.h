#pragma once

// The web API on the loopback, served on the test's own event loop: a healthy account's answers with a
// test's in place of some, or raw bytes for what a broken server sends.
#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QTcpServer>

#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

class QTcpSocket;

namespace korvel::test {

using Answers = std::map<std::string, std::pair<int, std::string>>; // "GET account" → status, body

inline std::string data(const std::string& json) { return R"({"data":)" + json + "}"; }
inline std::string device(int id, const std::string& name) {
    return R"({"id":)" + std::to_string(id) + R"(,"name":")" + name +
           R"(","platform":"linux","protocol":"wg"})";
}
inline std::string server(const std::string& host, const std::string& status = "online") {
    return R"({"hostname":")" + host + R"(","location":")" + host +
           R"( City","country_code":"DE","status":")" + status + R"(","load":"low"})";
}
int freePort();
QString baseOn(int port);

class ApiStub {
public:
    // What follows an answer's bytes: the connection is closed, reset, or held open with nothing more.
    enum class Then { close, reset, hold };

    explicit ApiStub(int port = 0, const Answers& answers = {});
    void serve(const Answers& answers);
    // From now on every request is answered with these bytes, or only those on the route.
    void answer(const QByteArray& raw, Then then = Then::close, const std::string& route = {});
    // The body of the last request on the route.
    QJsonObject body(const std::string& route) const;
    QString baseUrl() const { return baseOn(server_.serverPort()); }
    static QByteArray http(int status, const QByteArray& body, const QByteArray& extraHeaders = {});

    std::vector<std::tuple<std::string, std::string, std::string>> requests; // route, body, authorization

private:
    void read(QTcpSocket* socket);

    std::map<std::string, std::pair<QByteArray, Then>> answers_; // "" for every route not listed
    QHash<QTcpSocket*, QByteArray> pending_;
    QTcpServer server_; // last: its sockets may still report to the members above while it closes
};

} // namespace korvel::test
