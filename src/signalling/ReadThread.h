#pragma once
// The signalling reader thread. It only waits on the connection; every line
// it receives is handed to the main thread and the reader waits until the
// main thread has handled it, so lines are handled one at a time and in
// order, never on the reader thread itself.
//
// The hand-over is a queued call to `target` (a QObject living on the main
// thread) followed by a wait that Terminate() also ends: the main thread may
// therefore terminate and join the reader at any moment, even while a line
// is on its way, without a deadlock and without the reader touching anything
// after it was told to stop.

#include "signalling/TlsLineConnection.h"

#include <QByteArray>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace corvala {

class TIdReadThread {
public:
    using LineHandler = std::function<void(const QByteArray& line)>;
    // Called on the main thread when the reader ended on its own (closed
    // connection, read error, over-long line), never after Terminate().
    using EndHandler = std::function<void(TlsLineConnection::ReadResult::Kind why)>;

    // Starts running at once.
    TIdReadThread(std::shared_ptr<TlsLineConnection> connection, QObject* target, LineHandler onLine,
                  EndHandler onEnd);
    // Terminates and waits.
    ~TIdReadThread();
    TIdReadThread(const TIdReadThread&) = delete;
    TIdReadThread& operator=(const TIdReadThread&) = delete;

    // Asks the thread to end: aborts the connection (which wakes a pending
    // read) and releases a pending hand-over. Does not wait.
    void Terminate();
    // Waits for the thread to end, unless called from the thread itself.
    void WaitFor();
    bool Finished() const;

    // Reader threads whose body is running, process-wide.
    static int LiveCount();

private:
    struct Shared;
    static void Run(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace corvala
