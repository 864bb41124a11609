#pragma once
// The program's one signalling connection and its lifecycle: the checker that
// connects, keeps the link alive with "p" and reconnects one period after a
// loss; the "join" under the device ID on connect; the reader thread that
// hands each received line to the main thread; the close sequence at exit.
//
// Lives on the main thread, as do all its members except WriteLine(), which
// any thread may call (media engine threads write their offers, answers and
// candidates directly).
//
// States of the link:  Down (no socket)  ->  Joining (socket up, "join" sent)
//                      ->  Joined ("joined" received, FConnectedToSignalServer).
//
// How the main window uses it:
//   cliSignal = new SignallingConnection({SignallingHost(), programFolder + "/cr2.dt", DeviceId}, this);
//   ClientMessage dispatch with Joined = [..] { cliSignal->SetJoined(); ... };
//   connect(cliSignal, &SignallingConnection::lineReceived, [..](const QByteArray& l) { dispatch(l); });
//   cliSignal->ServerConnectionCheckerTimer();          // last step of creation
//   at close: EventsSuspended = true; cliSignal->StopChecker();
//             deactivate rtcClient; cliSignal->CloseConnection();

#include "signalling/ReadThread.h"
#include "signalling/SignallingEndpoint.h"
#include "signalling/TlsLineConnection.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

namespace corvala {

struct SignallingTimings {
    std::chrono::milliseconds checkerPeriod{15000};   // ServerConnectionChecker interval
    std::chrono::milliseconds connectTimeout{10000};  // TCP connect and TLS handshake
    // How long one line write may wait for a server that does not read.
    std::chrono::milliseconds writeTimeout{10000};
};

struct SignallingConfig {
    SignallingEndpoint endpoint = SignallingHost();
    QString rootCertificateFile;  // "cr2.dt" in the program folder
    QString deviceId;             // joined under this ID
    SignallingTimings timings;
};

class SignallingConnection : public QObject {
    Q_OBJECT
public:
    enum class LinkState { Down, Joining, Joined };

    explicit SignallingConnection(SignallingConfig config, QObject* parent = nullptr);
    // Runs CloseSignalling() if the owner did not.
    ~SignallingConnection() override;

    // One checker run. The main window calls it once directly at the end of
    // its creation; from then on ServerConnectionChecker fires it.
    void ServerConnectionCheckerTimer();

    // "joined" arrived (ClientMessage): the link is Joined; the checker is
    // enabled if it is not.
    void SetJoined();

    // Writes one line (CR LF added) as one piece. Any thread. False when the
    // link is down or the write failed.
    bool WriteLine(const QByteArray& line);

    // Close sequence at exit, after the caller has set EventsSuspended:
    // StopChecker(), then (after the caller deactivated the peer-connection
    // component) CloseConnection(). CloseSignalling() does both in a row.
    // Errors are swallowed; each step is safe to repeat.
    void StopChecker();
    void CloseConnection();
    void CloseSignalling();

    bool FConnectedToSignalServer() const { return connectedToSignalServer_; }
    LinkState State() const;
    QTimer& ServerConnectionChecker() { return checker_; }
    // 1 while a checker run is under way (a connect attempt included).
    int CheckerTag() const { return tag_; }
    bool ReaderRunning() const { return FReadThread && !FReadThread->Finished(); }

    // Connect attempts started so far and the last failure, for the owner's
    // diagnostics and for tests.
    int ConnectAttempts() const { return connectAttempts_; }
    // Lines the reader handed to the main thread, dropped ones included.
    int ReceivedLines() const { return receivedLines_; }
    QString LastError() const { return lastError_; }

signals:
    // A received line, on the main thread (HandleMessage's place): connect
    // ClientMessage here. Not emitted while EventsSuspended is set.
    void lineReceived(const QByteArray& line);
    void joined();
    // The link went from Joining or Joined to Down (not emitted at close).
    void linkLost();
    void connectAttemptFinished(bool connected);

private:
    void startConnect();
    void finishConnect(std::shared_ptr<TlsLineConnection> connection, bool connected);
    // Sends "join" with the device ID; the connected-event of the client.
    void cliSignalConnected();
    void HandleMessage(const QByteArray& line);
    void readerEnded(quint64 generation);
    void markDown();
    // Link down, connection aborted (unread input with it), reader ended.
    void dropConnection();
    void stopReader();
    void restartChecker();
    std::shared_ptr<TlsLineConnection> current() const;

    SignallingConfig config_;
    QTimer checker_;
    int tag_ = 0;
    std::atomic<bool> connectedToSignalServer_{false};  // read by engine threads before they write
    bool checkerStopped_ = false;  // the close sequence began: no run, no restart
    bool closed_ = false;
    int connectAttempts_ = 0;
    int receivedLines_ = 0;
    QString lastError_;

    // The connected client; swapped on the main thread, read by writers.
    mutable std::mutex connectionMutex_;
    std::shared_ptr<TlsLineConnection> connection_;

    // A connect attempt runs off the main thread so that the window stays
    // responsive for up to the connect time-out.
    std::shared_ptr<TlsLineConnection> connecting_;
    std::thread connector_;

    std::unique_ptr<TIdReadThread> FReadThread;
    quint64 readerGeneration_ = 0;  // tells a late end report of an old reader apart
};

}  // namespace corvala
