#include "OperationQueue.h"

#include <chrono>

namespace korvel::service {
namespace {

// Replies are small; a client that does not take one within this time is not waited for.
constexpr std::chrono::milliseconds kReplyPatience{1000};

} // namespace

OperationQueue::OperationQueue(TunnelService& service) : service_(service), worker_([this] { work(); }) {}

OperationQueue::~OperationQueue() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void OperationQueue::enqueue(UniqueFd connection, Request request) {
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back({std::move(connection), std::move(request)});
    }
    wake_.notify_one();
}

std::size_t OperationQueue::size() const {
    const std::lock_guard lock(mutex_);
    return jobs_.size() + (running_ ? 1 : 0);
}

void OperationQueue::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (stopping_) {
            return;
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        running_ = true;
        lock.unlock();

        const std::optional<std::string> reply = job.request.method == Method::connect
                                                     ? service_.connect(job.request.config)
                                                     : service_.disconnect();
        sendMessage(job.connection.get(), encodeReply(reply), kReplyPatience);
        job.connection.reset();

        lock.lock();
        running_ = false;
    }
}

} // namespace korvel::service
