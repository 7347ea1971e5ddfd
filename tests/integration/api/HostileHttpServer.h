#pragma once

#include <QString>

#include <thread>

namespace korvel::api {

// A loopback HTTP server on a thread of its own that answers every request in one hostile way. Its
// thread never waits for the client's event loop, so it can outpace it.
class HostileHttpServer {
public:
    enum class Behaviour {
        resetBeforeResponse, // the connection is reset once the request is in
        resetMidBody,        // part of a body, then a reset
        stallMidBody,        // part of a body, then nothing more while the connection stays open
    };

    explicit HostileHttpServer(Behaviour behaviour);
    ~HostileHttpServer();
    HostileHttpServer(const HostileHttpServer&) = delete;
    HostileHttpServer& operator=(const HostileHttpServer&) = delete;

    // The API's base without a trailing "/".
    QString baseUrl() const;

private:
    void serve();
    void answer(int connection);
    // False when the peer is gone or the server is stopping.
    bool sendAll(int connection, const char* data, std::size_t size);
    bool waitFor(int connection, short events);

    Behaviour behaviour_;
    int listener_ = -1;
    int port_ = 0;
    int stop_ = -1;
    std::thread thread_; // last: it uses the members above
};

} // namespace korvel::api
