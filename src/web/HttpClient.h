#pragma once
// One GET request of the program's web client over libcurl: into memory or
// into a file, with progress reports, an abort from the user, the product's
// user agent, at most 10 redirections and, over https, only the program's
// own root certificate ("cr2.dt") trusted. The transfer runs on a thread of
// its own; progress and the result arrive on the thread that started it
// (the main thread), queued, so the GUI never waits for the network.
//
// Whatever the server sends is bounded: a body larger than the request's
// limit (announced or received) ends the transfer as a failure.

#include <QByteArray>
#include <QLoggingCategory>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace corvala::web {

Q_DECLARE_LOGGING_CATEGORY(lcWeb)  // corvala.web: requests to the product web service

inline constexpr char UserAgent[] = "Mozilla/4.0 (compatible; MyApp)";
inline constexpr long MaxRedirections = 10;
// No byte for this long counts as a dead connection.
inline constexpr long ReadTimeoutSeconds = 10;
inline constexpr long ConnectTimeoutSeconds = 10;

struct HttpRequest {
    QString Url;
    // PEM root certificate that an https server must chain to.
    QString RootCertificateFile;
    // The most body bytes accepted.
    qint64 MaxBytes = 64 * 1024;
    // Empty: the body is kept in memory. Otherwise it is written to
    // TargetFile + ".part", which becomes TargetFile only when the whole body
    // arrived; a partial file is removed, so that it can never be run.
    QString TargetFile;
    // No byte for this long counts as a dead connection.
    long StallSeconds = ReadTimeoutSeconds;
};

// What the client knows while receiving.
struct HttpProgress {
    qint64 Received = 0;
    qint64 ContentLength = -1;  // -1: not announced
    bool Chunked = false;       // the response's transfer encoding contains "chunked"
};

// The percentage a progress bar shows; nothing when the response is chunked
// or announces no positive length (the bar then stays as it is).
std::optional<int> ProgressPercent(const HttpProgress& progress);

class HttpTransfer;
// The rule both downloads follow at each progress report: `stop` (the user
// pressed Abort, or the program is closing) aborts the transfer; otherwise
// the percentage to show, if any.
std::optional<int> FollowProgress(HttpTransfer* transfer, const HttpProgress& progress, bool stop);

struct HttpResult {
    bool Ok = false;
    bool Aborted = false;
    long Status = 0;    // the HTTP status of the last response; 0 without one
    QString Error;      // why it failed, for the log
    QByteArray Body;    // in memory only
};

class HttpTransfer : public QObject {
    Q_OBJECT
public:
    using ProgressHandler = std::function<void(const HttpProgress&)>;
    using DoneHandler = std::function<void(const HttpResult&)>;

    // Starts at once. `progress` and `done` run on the calling thread.
    HttpTransfer(HttpRequest request, ProgressHandler progress, DoneHandler done, QObject* parent = nullptr);
    // Aborts a running transfer and waits for its thread; nothing is reported
    // afterwards.
    ~HttpTransfer() override;

    // Stops the transfer at its next progress report; `done` then reports
    // Aborted. Any thread.
    void Abort() { FAbort = true; }
    bool Running() const { return !FFinished; }

private:
    void Run();
    void Report(const HttpProgress& progress);
    void Finish(HttpResult result);
    void Post();
    // Runs on the owner's thread: hands over what the transfer thread left
    // in the mailbox.
    Q_INVOKABLE void Deliver();

    HttpRequest FRequest;
    ProgressHandler FProgress;
    DoneHandler FDone;
    std::atomic<bool> FAbort{false};
    std::atomic<bool> FFinished{false};
    // The transfer thread's mailbox. The hand-over goes through this lock,
    // not through data captured in a queued call, so that it is visible to
    // ThreadSanitizer (Qt's own queue is not instrumented). Only the newest
    // progress is kept: the owner shows where the transfer is, not its path.
    std::mutex FMailLock;
    std::optional<HttpProgress> FMailProgress;
    std::optional<HttpResult> FMailResult;
    bool FMailPosted = false;
    std::thread FThread;
};

}  // namespace corvala::web
