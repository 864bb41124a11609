#pragma once
// The TLS line connection to the signalling server (the program's cliSignal
// socket): TCP with a connect time-out, TLS 1.2 only, the server verified
// against one root file with depth 2 (leaf, one intermediate, root), lines
// out with CR LF, lines in up to LF.
//
// Thread use: one thread connects, then one reader thread calls readLine()
// while any number of threads call writeLine(). Every OpenSSL call on the
// connection runs under one lock, so a line is always written whole and a
// read never runs beside a write on the same SSL object. abort() may be
// called from any thread: it wakes a pending connect or read, and every
// later operation fails.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>

#include "signalling/LineFramer.h"

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace corvala {

class TlsLineConnection {
public:
    TlsLineConnection();
    ~TlsLineConnection();
    TlsLineConnection(const TlsLineConnection&) = delete;
    TlsLineConnection& operator=(const TlsLineConnection&) = delete;

    // TCP connect and TLS handshake, both within `timeout`. False on any
    // failure (resolution, refusal, time-out, handshake, certificate, abort);
    // error() tells which.
    bool connect(const QString& host, std::uint16_t port, const QString& rootCertificateFile,
                 std::chrono::milliseconds timeout);

    // Writes the line and CR LF, waiting at most `timeout` for the socket to
    // take it. After a failure the connection is broken and stays so.
    bool writeLine(QByteArrayView line, std::chrono::milliseconds timeout);

    struct ReadResult {
        enum Kind { Line, Closed, Failed, LineTooLong, Aborted } kind;
        QByteArray line;
    };
    // Waits without time-out for the next line.
    ReadResult readLine();

    // Wakes a pending connect or read, closes the TLS layer and the socket
    // (the descriptor itself is released by the destructor).
    void abort();
    bool aborted() const { return aborted_.load(); }

    QString error() const;

private:
    enum class Wait { Ready, TimedOut, Aborted, Failed };
    Wait waitFor(short events, std::chrono::steady_clock::time_point until);
    bool tcpConnect(const QString& host, std::uint16_t port, std::chrono::steady_clock::time_point until);
    bool handshake(const QString& host, const QString& rootCertificateFile,
                   std::chrono::steady_clock::time_point until);
    void setError(const QString& text);

    int fd_ = -1;
    int wakeFd_ = -1;  // eventfd written by abort()
    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
    std::mutex ioMutex_;  // every OpenSSL call on ssl_
    std::atomic<bool> aborted_{false};
    bool broken_ = false;       // under ioMutex_
    bool established_ = false;  // under ioMutex_: the handshake succeeded
    // Only the reader thread touches these: lines framed but not yet read,
    // in order; those before an over-long line are still handed out.
    LineFramer framer_;
    std::deque<QByteArray> received_;
    mutable std::mutex errorMutex_;
    QString error_;
};

}  // namespace corvala
