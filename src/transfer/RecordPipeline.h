#pragma once
// The records between the main thread and the worker, so that the
// stop-and-wait exchange rarely waits for the disk and never for a thread
// switch it does not need: the sender's records are read ahead of the
// acknowledgements, the receiver's are written behind them. Each side holds
// at most a few records; the main thread hears from the worker only when
// it waits for it.

#include <QByteArray>

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corvala::transfer {

class ReadAhead {
public:
    // Records read or being read at once.
    static constexpr int Depth = 2;

    explicit ReadAhead(std::int64_t size) : FSize(size) {}

    // Main thread: the reads (offset, bytes) to post now, in order; each is
    // counted as under way.
    std::vector<std::pair<std::int64_t, int>> NextReads();
    // Worker: one read's result, in order. True when the main thread waits
    // for it (Take answered Wait).
    bool Done(std::optional<QByteArray> record, const std::string& error);

    enum class Next { Record, Wait, Failed };
    // Main thread: the next record; Wait marks the main thread as waiting.
    Next Take(QByteArray& record, std::string& error);
    std::int64_t BufferedBytes() const;

private:
    mutable std::mutex FMutex;
    const std::int64_t FSize;
    std::int64_t FNextOffset = 0;
    int FUnderWay = 0;
    std::int64_t FUnderWayBytes = 0;
    std::deque<QByteArray> FReady;
    std::string FError;
    bool FWaiting = false;
};

class WriteBehind {
public:
    // Records waiting to be written while the next one may already come.
    static constexpr int MaxPending = 2;

    // Main thread: a record handed to the worker. True when "D" may go now
    // (at most MaxPending records wait to be written); false marks it owed.
    bool Queued(std::int64_t bytes);
    // Worker: one write done. True when the main thread waits for it: the
    // owed "D" may go, or the failure is to be told.
    bool Written(std::int64_t bytes, bool ok, const std::string& error);
    // The first failure, empty while every write went through.
    std::string Failure() const;
    std::int64_t BufferedBytes() const;

private:
    mutable std::mutex FMutex;
    int FPending = 0;
    std::int64_t FPendingBytes = 0;
    bool FAckOwed = false;
    std::string FFailure;
};

}  // namespace corvala::transfer
