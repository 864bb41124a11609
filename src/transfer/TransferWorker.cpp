#include "transfer/TransferWorker.h"

#include <QMetaObject>

namespace corvala::transfer {

TransferWorker::TransferWorker(QObject* context) : FContext(context), FThread([this] { Run(); }) {}

TransferWorker::~TransferWorker() {
    {
        std::lock_guard lock(FMutex);
        FStopping = true;
    }
    FChanged.notify_all();
    FThread.join();
}

void TransferWorker::Post(std::function<void()> job) {
    {
        std::lock_guard lock(FMutex);
        FJobs.push_back(std::move(job));
    }
    FChanged.notify_all();
}

void TransferWorker::Deliver(std::function<void()> result) {
    {
        std::lock_guard lock(FMutex);
        if (FStopping) return;
    }
    QMetaObject::invokeMethod(FContext, std::move(result), Qt::QueuedConnection);
}

void TransferWorker::Run() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(FMutex);
            FChanged.wait(lock, [this] { return FStopping || !FJobs.empty(); });
            if (FJobs.empty()) return;
            job = std::move(FJobs.front());
            FJobs.pop_front();
        }
        job();
    }
}

}  // namespace corvala::transfer
