#include "web/HttpClient.h"

#include <curl/curl.h>

#include <QMetaObject>
#include <QPointer>

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <utility>

namespace corvala::web {

Q_LOGGING_CATEGORY(lcWeb, "corvala.web", QtInfoMsg)

namespace {

// Progress is handed to the main thread at most this often (in bytes), and
// at the end; a fast loopback transfer would otherwise flood its queue.
constexpr qint64 ProgressStep = 64 * 1024;

void GlobalInit() {
    // Before the first transfer's thread: curl's global set-up is not
    // thread-safe.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Exchange {
    const HttpRequest* request = nullptr;
    const std::atomic<bool>* abort = nullptr;
    std::function<void(const HttpProgress&)> report;
    CURL* curl = nullptr;
    std::FILE* file = nullptr;
    QByteArray body;
    HttpProgress progress;
    qint64 reportedAt = -1;
    bool overLimit = false;
    bool writeFailed = false;

    qint64 ContentLength() const {
        curl_off_t length = -1;
        if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) return -1;
        return length;
    }
    void MaybeReport(bool force) {
        if (!force && reportedAt >= 0 && progress.Received - reportedAt < ProgressStep) return;
        if (progress.Received == reportedAt && !force) return;
        reportedAt = progress.Received;
        report(progress);
    }
};

size_t HeaderCallback(char* data, size_t size, size_t count, void* user) {
    auto& exchange = *static_cast<Exchange*>(user);
    const QByteArray line = QByteArray(data, qsizetype(size * count)).trimmed().toLower();
    // A redirection's headers come first; only the last response's count.
    if (line.startsWith("http/")) exchange.progress.Chunked = false;
    if (line.startsWith("transfer-encoding:") && line.contains("chunked")) exchange.progress.Chunked = true;
    return size * count;
}

size_t WriteCallback(char* data, size_t size, size_t count, void* user) {
    auto& exchange = *static_cast<Exchange*>(user);
    const qint64 bytes = qint64(size * count);
    const qint64 limit = exchange.request->MaxBytes;
    const qint64 announced = exchange.ContentLength();
    if (exchange.progress.Received + bytes > limit || announced > limit) {
        exchange.overLimit = true;
        return 0;  // ends the transfer with a write error
    }
    if (exchange.file) {
        if (std::fwrite(data, 1, size_t(bytes), exchange.file) != size_t(bytes)) {
            exchange.writeFailed = true;
            return 0;
        }
    } else {
        exchange.body.append(data, bytes);
    }
    exchange.progress.Received += bytes;
    exchange.progress.ContentLength = announced;
    return size * count;
}

int ProgressCallback(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto& exchange = *static_cast<Exchange*>(user);
    if (*exchange.abort) return 1;  // ends the transfer with "aborted by callback"
    if (exchange.progress.Received > 0) exchange.MaybeReport(false);
    return 0;
}

}  // namespace

std::optional<int> ProgressPercent(const HttpProgress& progress) {
    if (progress.Chunked || progress.ContentLength <= 0) return std::nullopt;
    return int(qint64(100) * progress.Received / progress.ContentLength);
}

std::optional<int> FollowProgress(HttpTransfer* transfer, const HttpProgress& progress, bool stop) {
    if (!stop) return ProgressPercent(progress);
    if (transfer) transfer->Abort();
    return std::nullopt;
}

HttpTransfer::HttpTransfer(HttpRequest request, ProgressHandler progress, DoneHandler done, QObject* parent)
    : QObject(parent), FRequest(std::move(request)), FProgress(std::move(progress)), FDone(std::move(done)) {
    GlobalInit();
    FThread = std::thread([this] { Run(); });
}

HttpTransfer::~HttpTransfer() {
    FAbort = true;
    if (FThread.joinable()) FThread.join();
}

void HttpTransfer::Report(const HttpProgress& progress) {
    {
        std::lock_guard lock(FMailLock);
        FMailProgress = progress;
    }
    Post();
}

void HttpTransfer::Finish(HttpResult result) {
    {
        std::lock_guard lock(FMailLock);
        FMailResult = std::move(result);
    }
    Post();
}

void HttpTransfer::Post() {
    // Posted under the lock that Deliver takes: the queued event is then
    // published to the owner's thread by a release ThreadSanitizer sees.
    std::lock_guard lock(FMailLock);
    if (FMailPosted) return;
    FMailPosted = true;
    QMetaObject::invokeMethod(this, "Deliver", Qt::QueuedConnection);
}

void HttpTransfer::Deliver() {
    std::optional<HttpProgress> progress;
    std::optional<HttpResult> result;
    {
        std::lock_guard lock(FMailLock);
        progress = std::exchange(FMailProgress, std::nullopt);
        result = std::exchange(FMailResult, std::nullopt);
        FMailPosted = false;
    }
    // A progress handler may end the transfer's owner, and with it this.
    const QPointer<HttpTransfer> alive(this);
    if (progress && FProgress) FProgress(*progress);
    if (result && alive) {
        FFinished = true;
        if (FDone) FDone(*result);
    }
}

void HttpTransfer::Run() {
    namespace fs = std::filesystem;
    HttpResult result;
    Exchange exchange;
    exchange.request = &FRequest;
    exchange.abort = &FAbort;
    exchange.report = [this](const HttpProgress& p) { Report(p); };

    const bool toFile = !FRequest.TargetFile.isEmpty();
    const fs::path target = FRequest.TargetFile.toStdString();
    fs::path part = target;
    part += ".part";
    std::error_code ec;
    if (toFile) {
        exchange.file = std::fopen(part.c_str(), "wb");
        if (!exchange.file) {
            result.Error = "cannot create " + QString::fromStdString(part.string());
            Finish(std::move(result));
            return;
        }
    }

    CURL* curl = curl_easy_init();
    exchange.curl = curl;
    const QByteArray url = FRequest.Url.toUtf8();
    const QByteArray root = FRequest.RootCertificateFile.toLocal8Bit();
    char errorText[CURL_ERROR_SIZE] = {};
    CURLcode code = CURLE_FAILED_INIT;
    if (curl) {
        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        curl_easy_setopt(curl, CURLOPT_USERAGENT, UserAgent);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, MaxRedirections);
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        // A request that started over TLS never continues without it.
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, url.startsWith("https:") ? "https" : "http,https");
        curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, FRequest.StallSeconds);
        curl_easy_setopt(curl, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2));
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
        // Only the program's own root: not the system's store.
        curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
        curl_easy_setopt(curl, CURLOPT_CAINFO, root.isEmpty() ? nullptr : root.constData());
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, HeaderCallback);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &exchange);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteCallback);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &exchange);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, ProgressCallback);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &exchange);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        code = curl_easy_perform(curl);
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.Status);
        curl_easy_cleanup(curl);
    }
    exchange.MaybeReport(true);
    if (exchange.file && std::fclose(exchange.file) != 0) exchange.writeFailed = true;

    result.Aborted = code == CURLE_ABORTED_BY_CALLBACK;
    result.Ok = code == CURLE_OK && !exchange.writeFailed;
    if (exchange.overLimit)
        result.Error = QString("the answer of %1 is larger than %2 bytes").arg(FRequest.Url).arg(FRequest.MaxBytes);
    else if (exchange.writeFailed)
        result.Error = "cannot write " + QString::fromStdString(part.string());
    else if (!result.Ok)
        result.Error = QString("%1: %2").arg(FRequest.Url, errorText[0] ? errorText : curl_easy_strerror(code));
    if (toFile) {
        if (result.Ok) fs::rename(part, target, ec);
        if (ec) {
            result.Ok = false;
            result.Error = "cannot rename " + QString::fromStdString(part.string()) + ": " +
                           QString::fromStdString(ec.message());
        }
        if (!result.Ok) fs::remove(part, ec);
    } else if (result.Ok) {
        result.Body = std::move(exchange.body);
    }
    if (!result.Ok && !result.Aborted) qCWarning(lcWeb) << "web request failed:" << result.Error;
    Finish(std::move(result));
}

}  // namespace corvala::web
