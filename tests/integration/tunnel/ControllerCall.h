#pragma once

#include "ApiError.h"

#include <QCoroTask>
#include <QEventLoop>
#include <QString>
#include <QTimer>

#include <chrono>
#include <optional>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace korvel::test {

// A controller call, watched from the moment it starts.
class ControllerCall {
public:
    explicit ControllerCall(QCoro::Task<> task) : watcher_(watch(std::move(task))) {}
    ControllerCall(const ControllerCall&) = delete;
    ControllerCall& operator=(const ControllerCall&) = delete;

    bool ended() const { return outcome_.has_value(); }

    // Runs the event loop until the call ends or `limit` passes. "ok", the ApiError's message, or
    // "still running".
    QString wait(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        if (!outcome_) {
            QEventLoop loop;
            loop_ = &loop;
            QTimer::singleShot(limit, &loop, &QEventLoop::quit);
            loop.exec();
            loop_ = nullptr;
        }
        return outcome_.value_or(QStringLiteral("still running"));
    }

private:
    QCoro::Task<> watch(QCoro::Task<> task) {
        try {
            co_await std::move(task);
            outcome_ = QStringLiteral("ok");
        } catch (const api::ApiError& error) {
            outcome_ = error.message();
        } catch (...) {
            outcome_ = QStringLiteral("an exception other than ApiError");
        }
        if (loop_ != nullptr) {
            loop_->quit();
        }
    }

    std::optional<QString> outcome_;
    QEventLoop* loop_ = nullptr;
    QCoro::Task<> watcher_;
};

} // namespace korvel::test
