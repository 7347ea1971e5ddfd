#include "Keychain.h"

#include <QObject>
#include <QStringDecoder>
#include <QThread>
#include <qt6keychain/keychain.h>

#include <future>
#include <memory>
#include <type_traits>

namespace korvel::api {
namespace {

const QString kService = QStringLiteral("korvel.app");
const QString kKey = QStringLiteral("bearer-token");

struct Outcome {
    QKeychain::Error error = QKeychain::NoError;
    QByteArray data;
};

// QtKeychain passes every job through one process-wide queue that stays bound to the thread of the
// first job, so all jobs start on one thread that lives as long as the process. It is never stopped:
// a job stuck in the keyring could not be abandoned safely anyway.
QObject* worker() {
    static QObject* const context = [] {
        auto* thread = new QThread;
        thread->setObjectName(QStringLiteral("korvel-keychain"));
        thread->start();
        auto* object = new QObject;
        object->moveToThread(thread);
        return object;
    }();
    return context;
}

// Starts a job on the worker. The job and the promise belong to the worker thread, so a caller that
// stopped waiting leaves nothing behind that the job could touch after the caller has gone.
template <class Job, class Prepare>
std::future<Outcome> start(Prepare prepare) {
    auto promise = std::make_shared<std::promise<Outcome>>();
    std::future<Outcome> future = promise->get_future();
    QMetaObject::invokeMethod(
        worker(),
        [promise, prepare = std::move(prepare)] {
            auto* job = new Job(kService);
            job->setAutoDelete(false);
            job->setInsecureFallback(false);
            job->setKey(kKey);
            prepare(*job);
            QObject::connect(job, &QKeychain::Job::finished, job, [promise, job] {
                Outcome outcome{job->error(), {}};
                if constexpr (std::is_same_v<Job, QKeychain::ReadPasswordJob>) {
                    outcome.data = job->binaryData();
                }
                promise->set_value(std::move(outcome));
                job->deleteLater();
            });
            job->start();
        },
        Qt::QueuedConnection);
    return future;
}

std::future<Outcome> startDelete() {
    return start<QKeychain::DeletePasswordJob>([](QKeychain::DeletePasswordJob&) {});
}

std::optional<QString> decodeUtf8(const QByteArray& bytes) {
    // A leading byte order mark is part of the token, not a marker to drop.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

} // namespace

Keychain::Keychain(std::chrono::milliseconds waitLimit) : waitLimit_(waitLimit) {}

void Keychain::save(const QString& token) {
    // Binary data: the text mode would cut the token at a NUL byte.
    const QByteArray bytes = token.toUtf8();
    startDelete();
    std::future<Outcome> added = start<QKeychain::WritePasswordJob>(
        [bytes](QKeychain::WritePasswordJob& job) { job.setBinaryData(bytes); });
    // The queue runs the delete before the add, so waiting for the add covers both.
    added.wait_for(waitLimit_);
}

std::optional<QString> Keychain::load() {
    std::future<Outcome> read = start<QKeychain::ReadPasswordJob>([](QKeychain::ReadPasswordJob&) {});
    if (read.wait_for(waitLimit_) != std::future_status::ready) {
        return std::nullopt;
    }
    const Outcome outcome = read.get();
    if (outcome.error != QKeychain::NoError) {
        return std::nullopt;
    }
    return decodeUtf8(outcome.data);
}

void Keychain::remove() {
    std::future<Outcome> deleted = startDelete();
    deleted.wait_for(waitLimit_);
}

} // namespace korvel::api
