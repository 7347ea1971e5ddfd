#pragma once

#include "TunnelService.h"
#include "UniqueFd.h"
#include "WireFormat.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>

namespace korvel::service {

// The serial queue: one worker thread runs every request of every client in arrival order, each to its
// end, and answers it on the request's own connection. It is the only lock over the configuration file
// and the tunnel. A client that has gone meanwhile changes nothing.
class OperationQueue {
public:
    explicit OperationQueue(TunnelService& service);
    // Lets the running operation finish; requests still waiting are dropped unanswered.
    ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    void enqueue(UniqueFd connection, Request request);
    // Requests waiting or running.
    std::size_t size() const;

private:
    struct Job {
        UniqueFd connection;
        Request request;
    };

    void work();

    TunnelService& service_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool running_ = false;
    bool stopping_ = false;
    std::thread worker_;
};

} // namespace korvel::service
