#pragma once

#include "ApiError.h"

#include <QCoroTask>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

// Readable texts in test failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace korvel::api {

// Runs the event loop until the operation ends (the client's transfer timeout and the test's bound
// its wait); its failure message, or none when it succeeded and its value went to `value`.
template <class T>
std::optional<QString> failureOf(QCoro::Task<T> task, T* value = nullptr) {
    std::optional<QString> failure;
    // QCoro::waitFor would wait for ever for a task that throws.
    QCoro::waitFor([&]() -> QCoro::Task<> {
        try {
            T result = co_await std::move(task);
            if (value != nullptr) {
                *value = std::move(result);
            }
        } catch (const ApiError& error) {
            failure = error.message();
        }
    }());
    return failure;
}

template <class T>
T valueOf(QCoro::Task<T> task) {
    T value{};
    EXPECT_EQ(failureOf(std::move(task), &value), std::nullopt);
    return value;
}

} // namespace korvel::api
