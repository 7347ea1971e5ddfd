#pragma once

#include "ApiError.h"

#include <QCoroTask>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <ostream>
#include <variant>

// Readable texts in test failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace korvel::api {

struct Failure {
    QString message; // of the ApiError
};

// Nothing yet (the operation never ended), the operation's value, or its failure.
template <class T>
using Outcome = std::variant<std::monostate, T, Failure>;

namespace detail {

template <class T>
QCoro::Task<> capture(QCoro::Task<T> task, Outcome<T>& outcome, QEventLoop& loop) {
    try {
        outcome = co_await std::move(task);
    } catch (const ApiError& error) {
        outcome = Failure{error.message()};
    }
    loop.quit();
}

} // namespace detail

// Runs the event loop until the task ends or the limit passes.
template <class T>
Outcome<T> awaitTask(QCoro::Task<T> task, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    Outcome<T> outcome;
    QEventLoop loop;
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    auto running = detail::capture(std::move(task), outcome, loop);
    if (std::holds_alternative<std::monostate>(outcome)) {
        loop.exec();
    }
    return outcome;
}

// The failure message, or "" when the operation succeeded or never ended.
template <class T>
QString failureOf(const Outcome<T>& outcome) {
    const Failure* failure = std::get_if<Failure>(&outcome);
    return failure != nullptr ? failure->message : QString();
}

} // namespace korvel::api
