#pragma once
// The hand-over from the media engine's threads to the main thread: the
// engine thread waits while the main thread runs the work, so that what the
// engine handed over (a message, a frame in the component's picture) stays
// valid until it is handled. The engine calls back only from its own
// dispatch threads (received messages on one, frames and the rest on the
// other, so both may wait here at once), which none of its API calls waits
// for beyond a short limit, so a main thread busy in an engine call cannot
// deadlock with a waiting callback.
//
// Called on the main thread itself (tests drive the engine's events from
// there), the work runs at once: a blocking queued call to one's own thread
// would never run.

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <utility>

namespace corvala {

template <typename Work>
void RunOnMainThread(QObject* context, Work&& work) {
    if (QThread::currentThread() == context->thread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(context, std::forward<Work>(work), Qt::BlockingQueuedConnection);
}

}  // namespace corvala
