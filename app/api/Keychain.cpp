#include "Keychain.h"

#include <QCoroFuture>
#include <QObject>
#include <QPromise>
#include <QStringDecoder>
#include <QThread>
#include <qt6keychain/keychain.h>

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
QFuture<Outcome> start(Prepare prepare) {
    auto promise = std::make_shared<QPromise<Outcome>>();
    QFuture<Outcome> future = promise->future();
    promise->start();
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
                promise->addResult(std::move(outcome));
                promise->finish();
                job->deleteLater();
            });
            job->start();
        },
        Qt::QueuedConnection);
    return future;
}

QFuture<Outcome> startDelete() {
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

// Why the keyring did not take the token, for the person who signed in.
std::optional<QString> whyNotStored(QKeychain::Error error) {
    switch (error) {
    case QKeychain::NoError:
        return std::nullopt;
    case QKeychain::AccessDenied:
    case QKeychain::AccessDeniedByUser:
        return QStringLiteral("Could not store the sign-in: the keyring is locked or refused access.");
    default:
        return QStringLiteral("Could not store the sign-in: no keyring (Secret Service) answered on the "
                              "session bus.");
    }
}

} // namespace

QCoro::Task<std::optional<QString>> Keychain::save(QString token) {
    // Binary data: the text mode would cut the token at a NUL byte.
    const QByteArray bytes = token.toUtf8();
    startDelete();
    // The queue runs the delete before the add, so waiting for the add covers both. Started outside the
    // co_await: GCC 12 destroys a lambda's captures twice when the lambda is a temporary there.
    const QFuture<Outcome> adding = start<QKeychain::WritePasswordJob>(
        [bytes](QKeychain::WritePasswordJob& job) { job.setBinaryData(bytes); });
    const Outcome added = co_await adding;
    co_return whyNotStored(added.error);
}

QCoro::Task<std::optional<QString>> Keychain::load() {
    const QFuture<Outcome> reading = start<QKeychain::ReadPasswordJob>([](QKeychain::ReadPasswordJob&) {});
    const Outcome read = co_await reading;
    if (read.error != QKeychain::NoError) {
        co_return std::nullopt;
    }
    co_return decodeUtf8(read.data);
}

QCoro::Task<> Keychain::remove() {
    const QFuture<Outcome> deleting = startDelete();
    co_await deleting;
}

} // namespace korvel::api
