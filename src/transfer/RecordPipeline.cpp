#include "transfer/RecordPipeline.h"

#include <algorithm>

#include "transfer/TransferProtocol.h"

namespace corvala::transfer {

std::vector<std::pair<std::int64_t, int>> ReadAhead::NextReads() {
    std::lock_guard lock(FMutex);
    std::vector<std::pair<std::int64_t, int>> reads;
    while (FError.empty() && FUnderWay + int(FReady.size()) < Depth && FNextOffset < FSize) {
        const int count = int(std::min<std::int64_t>(MaxRecordBytes, FSize - FNextOffset));
        reads.emplace_back(FNextOffset, count);
        FNextOffset += count;
        ++FUnderWay;
        FUnderWayBytes += count;
    }
    return reads;
}

bool ReadAhead::Done(std::optional<QByteArray> record, const std::string& error) {
    std::lock_guard lock(FMutex);
    --FUnderWay;
    if (record) {
        FUnderWayBytes -= record->size();
        FReady.push_back(std::move(*record));
    } else if (FError.empty()) {
        FError = error.empty() ? "cannot read" : error;
    }
    return std::exchange(FWaiting, false);
}

ReadAhead::Next ReadAhead::Take(QByteArray& record, std::string& error) {
    std::lock_guard lock(FMutex);
    if (!FReady.empty()) {
        record = std::move(FReady.front());
        FReady.pop_front();
        return Next::Record;
    }
    if (!FError.empty()) {
        error = FError;
        return Next::Failed;
    }
    FWaiting = true;
    return Next::Wait;
}

std::int64_t ReadAhead::BufferedBytes() const {
    std::lock_guard lock(FMutex);
    std::int64_t bytes = FUnderWayBytes;
    for (const QByteArray& record : FReady) bytes += record.size();
    return bytes;
}

bool WriteBehind::Queued(std::int64_t bytes) {
    std::lock_guard lock(FMutex);
    ++FPending;
    FPendingBytes += bytes;
    FAckOwed = FPending > MaxPending;
    return !FAckOwed;
}

bool WriteBehind::Written(std::int64_t bytes, bool ok, const std::string& error) {
    std::lock_guard lock(FMutex);
    --FPending;
    FPendingBytes -= bytes;
    if (!ok && FFailure.empty()) FFailure = error.empty() ? "cannot write" : error;
    if (!FAckOwed || (FPending > MaxPending && FFailure.empty())) return false;
    FAckOwed = false;
    return true;
}

std::string WriteBehind::Failure() const {
    std::lock_guard lock(FMutex);
    return FFailure;
}

std::int64_t WriteBehind::BufferedBytes() const {
    std::lock_guard lock(FMutex);
    return FPendingBytes;
}

}  // namespace corvala::transfer
