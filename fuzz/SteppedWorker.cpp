#include "SteppedWorker.h"

#include "transfer/TransferWorker.h"

#include <QMetaObject>

#include <algorithm>
#include <utility>
#include <vector>

namespace corvala {

namespace {

struct LiveWorker {
    transfer::TransferWorker* Worker;
    std::function<bool()> RunOne;
};

std::vector<LiveWorker>& Live() {
    static std::vector<LiveWorker> live;
    return live;
}

std::uint64_t jobsRun = 0;
std::uint64_t deliveriesRun = 0;

}  // namespace

bool fuzz::RunWorkerJob() {
    for (const LiveWorker& live : Live())
        if (live.RunOne()) return true;
    return false;
}

std::uint64_t fuzz::JobsRun() { return jobsRun; }

std::uint64_t fuzz::DeliveriesRun() { return deliveriesRun; }

namespace transfer {

// FThread stays empty: nothing runs unless the target asks.
TransferWorker::TransferWorker(QObject* context) : FContext(context) {
    Live().push_back({this, [this] {
                          if (FJobs.empty()) return false;
                          std::function<void()> job = std::move(FJobs.front());
                          FJobs.pop_front();
                          ++jobsRun;
                          job();
                          return true;
                      }});
}

// As the real one: what is still posted runs (a partial file's removal
// among it), its results are dropped.
TransferWorker::~TransferWorker() {
    FStopping = true;
    Run();
    auto& live = Live();
    live.erase(std::remove_if(live.begin(), live.end(), [this](const LiveWorker& l) { return l.Worker == this; }),
               live.end());
}

void TransferWorker::Post(std::function<void()> job) { FJobs.push_back(std::move(job)); }

void TransferWorker::Deliver(std::function<void()> result) {
    if (FStopping) return;
    QMetaObject::invokeMethod(
        FContext,
        [result = std::move(result)] {
            ++deliveriesRun;
            result();
        },
        Qt::QueuedConnection);
}

void TransferWorker::Run() {
    for (const LiveWorker& live : Live())
        if (live.Worker == this)
            while (live.RunOne()) {}
}

}  // namespace transfer
}  // namespace corvala
