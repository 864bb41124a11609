#include "signalling/ReadThread.h"

#include <condition_variable>
#include <mutex>

namespace corvala {
namespace {
std::atomic<int> liveReaders{0};
}

struct TIdReadThread::Shared {
    std::shared_ptr<TlsLineConnection> connection;
    QObject* target;
    LineHandler onLine;
    EndHandler onEnd;

    std::mutex mutex;
    std::condition_variable handled;
    bool terminated = false;  // under mutex
    quint64 posted = 0;       // lines handed over, under mutex
    quint64 done = 0;         // lines the main thread finished, under mutex
    std::atomic<bool> finished{false};
};

TIdReadThread::TIdReadThread(std::shared_ptr<TlsLineConnection> connection, QObject* target, LineHandler onLine,
                             EndHandler onEnd)
    : shared_(std::make_shared<Shared>()) {
    shared_->connection = std::move(connection);
    shared_->target = target;
    shared_->onLine = std::move(onLine);
    shared_->onEnd = std::move(onEnd);
    ++liveReaders;
    thread_ = std::thread(&TIdReadThread::Run, shared_);
}

TIdReadThread::~TIdReadThread() {
    Terminate();
    WaitFor();
}

void TIdReadThread::Terminate() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->terminated = true;
    }
    shared_->handled.notify_all();
    shared_->connection->abort();
}

void TIdReadThread::WaitFor() {
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();
        return;
    }
    thread_.join();
}

bool TIdReadThread::Finished() const { return shared_->finished.load(); }

int TIdReadThread::LiveCount() { return liveReaders.load(); }

void TIdReadThread::Run(std::shared_ptr<Shared> s) {
    for (;;) {
        TlsLineConnection::ReadResult result = s->connection->readLine();
        std::unique_lock lock(s->mutex);
        if (s->terminated) break;
        // Posting happens under the mutex: once Terminate() has returned no
        // new call reaches the target, and calls already queued check the
        // flag before they run.
        if (result.kind != TlsLineConnection::ReadResult::Line) {
            QMetaObject::invokeMethod(
                s->target,
                [s, why = result.kind] {
                    {
                        std::lock_guard lock(s->mutex);
                        if (s->terminated) return;
                    }
                    s->onEnd(why);
                },
                Qt::QueuedConnection);
            break;
        }
        const quint64 number = ++s->posted;
        QMetaObject::invokeMethod(
            s->target,
            [s, number, line = std::move(result.line)] {
                bool terminated;
                {
                    std::lock_guard lock(s->mutex);
                    terminated = s->terminated;
                }
                if (!terminated) s->onLine(line);
                {
                    std::lock_guard lock(s->mutex);
                    s->done = number;
                }
                s->handled.notify_all();
            },
            Qt::QueuedConnection);
        s->handled.wait(lock, [&] { return s->terminated || s->done >= number; });
        if (s->terminated) break;
    }
    s->finished = true;
    --liveReaders;
}

}  // namespace corvala
