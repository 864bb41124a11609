#include "signalling/SignallingConnection.h"

#include "base/Log.h"

#include "base/ProcessState.h"
#include "signalling/SignallingMessage.h"

namespace corvala {

SignallingConnection::SignallingConnection(SignallingConfig config, QObject* parent)
    : QObject(parent), config_(std::move(config)) {
    checker_.setInterval(config_.timings.checkerPeriod);
    checker_.setObjectName(QStringLiteral("ServerConnectionChecker"));
    connect(&checker_, &QTimer::timeout, this, &SignallingConnection::ServerConnectionCheckerTimer);
}

SignallingConnection::~SignallingConnection() { CloseSignalling(); }

std::shared_ptr<TlsLineConnection> SignallingConnection::current() const {
    std::lock_guard lock(connectionMutex_);
    return connection_;
}

SignallingConnection::LinkState SignallingConnection::State() const {
    if (!current()) return LinkState::Down;
    return connectedToSignalServer_ ? LinkState::Joined : LinkState::Joining;
}

void SignallingConnection::ServerConnectionCheckerTimer() {
    if (tag_ == 1 || processState().EventsSuspended || checkerStopped_ || closed_) return;
    tag_ = 1;
    if (connectedToSignalServer_) {
        if (!WriteLine(QByteArray(wire::KeepAliveLine))) markDown();
    } else if (!current()) {
        startConnect();
        return;  // the attempt finishes the run (finishConnect)
    }
    // A link that is Joining is left alone until "joined" or its reader ends.
    tag_ = 0;
}

void SignallingConnection::startConnect() {
    if (connector_.joinable()) connector_.join();  // the previous attempt has posted its end
    ++connectAttempts_;
    auto attempt = std::make_shared<TlsLineConnection>();
    connecting_ = attempt;
    const SignallingConfig config = config_;
    connector_ = std::thread([this, attempt, config] {
        const bool ok = attempt->connect(config.endpoint.host, config.endpoint.port, config.rootCertificateFile,
                                         config.timings.connectTimeout);
        // The destructor joins this thread before the object goes, so the
        // target is alive here; a call still queued when it goes is dropped.
        QMetaObject::invokeMethod(
            this, [this, attempt, ok] { finishConnect(attempt, ok); }, Qt::QueuedConnection);
    });
}

void SignallingConnection::finishConnect(std::shared_ptr<TlsLineConnection> attempt, bool connected) {
    if (attempt != connecting_) return;  // cancelled by the close sequence
    if (connector_.joinable()) connector_.join();
    connecting_.reset();
    if (connected) {
        {
            std::lock_guard lock(connectionMutex_);
            connection_ = attempt;
        }
        cliSignalConnected();
        const quint64 generation = ++readerGeneration_;
        FReadThread = std::make_unique<TIdReadThread>(
            attempt, this, [this](const QByteArray& line) { HandleMessage(line); },
            [this, generation](TlsLineConnection::ReadResult::Kind) { readerEnded(generation); });
    } else {
        lastError_ = attempt->error();
        connectedToSignalServer_ = false;
    }
    restartChecker();
    tag_ = 0;
    emit connectAttemptFinished(connected);
}

void SignallingConnection::restartChecker() {
    // The countdown starts afresh from the end of this run.
    checker_.stop();
    checker_.start();
}

void SignallingConnection::cliSignalConnected() {
    WriteLine(GetMessage(config_.deviceId, QString::fromUtf16(wire::Join), {}, {}, config_.deviceId));
}

void SignallingConnection::HandleMessage(const QByteArray& line) {
    ++receivedLines_;
    if (processState().EventsSuspended || closed_) return;
    emit lineReceived(line);
}

void SignallingConnection::SetJoined() {
    if (closed_ || !current()) return;
    connectedToSignalServer_ = true;
    if (!checker_.isActive() && !checkerStopped_) checker_.start();
    emit joined();
}

bool SignallingConnection::WriteLine(const QByteArray& line) {
    const auto connection = current();
    return connection && connection->writeLine(line, config_.timings.writeTimeout);
}

void SignallingConnection::readerEnded(quint64 generation) {
    // The reader ended on its own: the server closed the link, it broke, or
    // it sent a line too long to frame. Without a reader the program would
    // be deaf to the server, so the link counts as lost and the checker
    // connects again.
    if (generation != readerGeneration_ || !FReadThread) return;
    if (auto connection = current()) lastError_ = connection->error();
    markDown();
}

void SignallingConnection::stopReader() {
    if (!FReadThread) return;
    FReadThread->Terminate();
    FReadThread->WaitFor();
    FReadThread.reset();
}

void SignallingConnection::markDown() {
    const bool wasUp = current() != nullptr;
    dropConnection();
    if (wasUp) emit linkLost();
}

void SignallingConnection::dropConnection() {
    connectedToSignalServer_ = false;
    std::shared_ptr<TlsLineConnection> connection;
    {
        std::lock_guard lock(connectionMutex_);
        connection = std::move(connection_);
        connection_.reset();
    }
    // Unread input goes with the connection object.
    if (connection) connection->abort();
    stopReader();
}

void SignallingConnection::StopChecker() {
    try {
        checkerStopped_ = true;
        checker_.stop();
        // A connect attempt under way is the only checker run that outlives
        // one call; it is cancelled rather than waited for (up to the
        // connect time-out).
        if (connecting_) {
            connecting_->abort();
            connecting_.reset();
        }
        if (connector_.joinable()) connector_.join();
        tag_ = 0;
    } catch (const std::exception& error) {
        // Closing goes on whatever happens to the link.
        qCWarning(lcSignalling) << "stopping the connection checker:" << error.what();
    }
}

void SignallingConnection::CloseConnection() {
    try {
        closed_ = true;
        dropConnection();
    } catch (const std::exception& error) {
        qCWarning(lcSignalling) << "closing the signalling connection:" << error.what();
    }
}

void SignallingConnection::CloseSignalling() {
    StopChecker();
    CloseConnection();
}

}  // namespace corvala
