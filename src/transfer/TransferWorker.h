#pragma once
// The transfer's file work off the main thread: one thread runs the posted
// jobs in order (digests, reads ahead, writes, removals), so that a large
// file never freezes the windows and the work on one file never overtakes
// itself. Jobs hand their results back to the main thread with Deliver.

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace corvala::transfer {

class TransferWorker {
public:
    // Results go to `context`'s thread; the context must outlive the worker.
    explicit TransferWorker(QObject* context);
    // Runs what is still posted (long jobs watch their cancel flags), then
    // ends the thread; results not yet handed over are dropped.
    ~TransferWorker();
    TransferWorker(const TransferWorker&) = delete;
    TransferWorker& operator=(const TransferWorker&) = delete;

    void Post(std::function<void()> job);
    // From a job: `result` runs on the context's thread later.
    void Deliver(std::function<void()> result);

private:
    void Run();

    QObject* FContext;
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::deque<std::function<void()>> FJobs;
    bool FStopping = false;
    std::thread FThread;
};

}  // namespace corvala::transfer
