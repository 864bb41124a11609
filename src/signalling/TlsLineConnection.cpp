#include "signalling/TlsLineConnection.h"

#include "signalling/SignallingMessage.h"

#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <fcntl.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace corvala {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point until) {
    if (until == Clock::time_point::max()) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

QString openSslError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return QStringLiteral("unknown TLS error");
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

bool isIpAddress(const QByteArray& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.constData(), buffer) == 1 ||
           inet_pton(AF_INET6, host.constData(), buffer) == 1;
}

}  // namespace

TlsLineConnection::TlsLineConnection()
    : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), framer_(wire::MaxLineLength) {
    // OpenSSL writes with write(2): a server that went away must show up as a
    // failed write, not as a signal that ends the program.
    static std::once_flag ignoreSigpipe;
    std::call_once(ignoreSigpipe, [] { std::signal(SIGPIPE, SIG_IGN); });
}

TlsLineConnection::~TlsLineConnection() {
    if (ssl_) SSL_free(ssl_);
    if (ctx_) SSL_CTX_free(ctx_);
    if (fd_ >= 0) ::close(fd_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void TlsLineConnection::setError(const QString& text) {
    std::lock_guard lock(errorMutex_);
    error_ = text;
}

QString TlsLineConnection::error() const {
    std::lock_guard lock(errorMutex_);
    return error_;
}

TlsLineConnection::Wait TlsLineConnection::waitFor(short events, Clock::time_point until) {
    for (;;) {
        if (aborted_) return Wait::Aborted;
        pollfd fds[2] = {{fd_, events, 0}, {wakeFd_, POLLIN, 0}};
        const int n = ::poll(fds, 2, remainingMs(until));
        if (n < 0) {
            if (errno == EINTR) continue;
            return Wait::Failed;
        }
        if (aborted_ || (fds[1].revents & POLLIN)) return Wait::Aborted;
        if (n == 0) return Wait::TimedOut;
        // Errors and hang-ups count as ready: the next socket call reports them.
        if (fds[0].revents) return Wait::Ready;
    }
}

bool TlsLineConnection::connect(const QString& host, std::uint16_t port, const QString& rootCertificateFile,
                                std::chrono::milliseconds timeout) {
    if (wakeFd_ < 0) {
        setError(QStringLiteral("no wake-up descriptor"));
        return false;
    }
    const auto until = Clock::now() + timeout;
    return tcpConnect(host, port, until) && handshake(host, rootCertificateFile, until);
}

bool TlsLineConnection::tcpConnect(const QString& host, std::uint16_t port, Clock::time_point until) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const QByteArray hostBytes = host.toUtf8();
    const QByteArray portText = QByteArray::number(port);
    if (const int rc = getaddrinfo(hostBytes.constData(), portText.constData(), &hints, &found); rc != 0) {
        setError(QStringLiteral("cannot resolve %1: %2").arg(host, QString::fromLocal8Bit(gai_strerror(rc))));
        return false;
    }
    bool connected = false;
    for (addrinfo* a = found; a && !connected && !aborted_; a = a->ai_next) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd_ < 0) continue;
        if (::connect(fd_, a->ai_addr, a->ai_addrlen) == 0) {
            connected = true;
            break;
        }
        if (errno != EINPROGRESS) {
            setError(QStringLiteral("connect: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
            continue;
        }
        const Wait w = waitFor(POLLOUT, until);
        if (w == Wait::TimedOut) {
            setError(QStringLiteral("connect timed out"));
            break;
        }
        if (w != Wait::Ready) break;
        int soError = 0;
        socklen_t len = sizeof soError;
        getsockopt(fd_, SOL_SOCKET, SO_ERROR, &soError, &len);
        if (soError == 0) connected = true;
        else setError(QStringLiteral("connect: %1").arg(QString::fromLocal8Bit(std::strerror(soError))));
    }
    freeaddrinfo(found);
    if (aborted_) setError(QStringLiteral("aborted"));
    return connected && !aborted_;
}

bool TlsLineConnection::handshake(const QString& host, const QString& rootCertificateFile,
                                  Clock::time_point until) {
    ctx_ = SSL_CTX_new(TLS_client_method());
    if (!ctx_) {
        setError(openSslError());
        return false;
    }
    // TLS 1.2 and nothing else is offered.
    SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(ctx_, TLS1_2_VERSION);
    // Renegotiation would let a read need a write and the other way round.
    SSL_CTX_set_options(ctx_, SSL_OP_NO_RENEGOTIATION);
    // The library's own chain check decides, against our root only. Depth 2
    // means leaf, one intermediate and the root, as OpenSSL 1.0 counted it;
    // OpenSSL 1.1 and later count intermediates only, so the same chain
    // limit is their depth 1 (their depth 2 lets a second intermediate in).
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_verify_depth(ctx_, 1);
    if (SSL_CTX_load_verify_locations(ctx_, rootCertificateFile.toLocal8Bit().constData(), nullptr) != 1) {
        setError(QStringLiteral("cannot load root certificate %1: %2").arg(rootCertificateFile, openSslError()));
        return false;
    }
    // The handshake holds the lock so that abort() waits until it is over.
    std::lock_guard lock(ioMutex_);
    ssl_ = SSL_new(ctx_);
    if (!ssl_ || SSL_set_fd(ssl_, fd_) != 1) {
        setError(openSslError());
        return false;
    }
    const QByteArray hostBytes = host.toUtf8();
    if (!isIpAddress(hostBytes)) SSL_set_tlsext_host_name(ssl_, hostBytes.constData());
    for (;;) {
        ERR_clear_error();
        const int rc = SSL_connect(ssl_);
        if (rc == 1) break;
        const int e = SSL_get_error(ssl_, rc);
        short events = 0;
        if (e == SSL_ERROR_WANT_READ) events = POLLIN;
        else if (e == SSL_ERROR_WANT_WRITE) events = POLLOUT;
        else {
            const long verdict = SSL_get_verify_result(ssl_);
            setError(verdict != X509_V_OK
                         ? QStringLiteral("certificate rejected: %1")
                               .arg(QString::fromLatin1(X509_verify_cert_error_string(verdict)))
                         : QStringLiteral("TLS handshake failed: %1").arg(openSslError()));
            broken_ = true;
            return false;
        }
        const Wait w = waitFor(events, until);
        if (w != Wait::Ready) {
            setError(w == Wait::TimedOut ? QStringLiteral("TLS handshake timed out") : QStringLiteral("aborted"));
            broken_ = true;
            return false;
        }
    }
    if (SSL_get_verify_result(ssl_) != X509_V_OK || !SSL_get0_peer_certificate(ssl_)) {
        setError(QStringLiteral("server certificate not verified"));
        broken_ = true;
        return false;
    }
    established_ = true;
    return true;
}

bool TlsLineConnection::writeLine(QByteArrayView line, std::chrono::milliseconds timeout) {
    QByteArray bytes;
    bytes.reserve(line.size() + 2);
    bytes.append(line.data(), line.size());
    bytes.append(wire::LineEnd);
    const auto until = Clock::now() + timeout;
    std::lock_guard lock(ioMutex_);
    if (broken_ || !ssl_ || aborted_) return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        ERR_clear_error();
        const int rc = SSL_write(ssl_, bytes.constData() + done, static_cast<int>(bytes.size() - done));
        if (rc > 0) {
            done += rc;
            continue;
        }
        const int e = SSL_get_error(ssl_, rc);
        short events = 0;
        if (e == SSL_ERROR_WANT_WRITE) events = POLLOUT;
        else if (e == SSL_ERROR_WANT_READ) events = POLLIN;
        if (events == 0 || waitFor(events, until) != Wait::Ready) {
            setError(events == 0 ? QStringLiteral("write failed: %1").arg(openSslError())
                                 : QStringLiteral("write timed out or aborted"));
            broken_ = true;
            return false;
        }
    }
    return true;
}

TlsLineConnection::ReadResult TlsLineConnection::readLine() {
    char chunk[16384];
    for (;;) {
        if (aborted_) return {ReadResult::Aborted, {}};
        if (!received_.empty()) {
            QByteArray line = std::move(received_.front());
            received_.pop_front();
            return {ReadResult::Line, std::move(line)};
        }
        if (framer_.overflowed()) {
            setError(QStringLiteral("received line longer than %1 characters").arg(wire::MaxLineLength));
            return {ReadResult::LineTooLong, {}};
        }
        int rc = 0;
        int e = SSL_ERROR_NONE;
        {
            std::lock_guard lock(ioMutex_);
            if (broken_ || !ssl_) return {ReadResult::Failed, {}};
            ERR_clear_error();
            rc = SSL_read(ssl_, chunk, sizeof chunk);
            if (rc <= 0) e = SSL_get_error(ssl_, rc);
        }
        if (rc > 0) {
            framer_.feed(std::string_view(chunk, static_cast<std::size_t>(rc)), [this](std::string_view line) {
                received_.emplace_back(line.data(), static_cast<qsizetype>(line.size()));
                return true;
            });
            continue;  // decrypted bytes may wait inside OpenSSL: read until it wants the socket
        }
        if (e == SSL_ERROR_ZERO_RETURN) return {ReadResult::Closed, {}};
        if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
            const Wait w = waitFor(e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, Clock::time_point::max());
            if (w == Wait::Aborted) return {ReadResult::Aborted, {}};
            if (w != Wait::Ready) return {ReadResult::Failed, {}};
            continue;
        }
        if (aborted_) return {ReadResult::Aborted, {}};
        // A peer that closes without a TLS close-notify ends up here too.
        setError(QStringLiteral("read failed: %1").arg(openSslError()));
        return {e == SSL_ERROR_SYSCALL || e == SSL_ERROR_SSL ? ReadResult::Closed : ReadResult::Failed, {}};
    }
}

void TlsLineConnection::abort() {
    if (aborted_.exchange(true)) return;
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
    }
    // A writer may hold the lock while it waits for the socket; the wake-up
    // above ends that wait, so taking the lock here cannot hang.
    std::lock_guard lock(ioMutex_);
    // Before the handshake ended the connecting thread owns the socket; the
    // wake-up alone ends its wait.
    if (!established_) return;
    if (!broken_) {
        ERR_clear_error();
        SSL_shutdown(ssl_);  // best effort close-notify; the socket is non-blocking
    }
    broken_ = true;
    ::shutdown(fd_, SHUT_RDWR);
}

}  // namespace corvala
