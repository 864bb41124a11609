#pragma once
// SIGTERM and SIGHUP (the desktop session ends: logout, shutdown) as a Qt
// signal on the main thread. The handler only writes a byte to a socket pair;
// the main thread's event loop reads it, so nothing unsafe runs inside the
// signal handler. One object per process; the previous handlers come back
// when it goes.

#include <QObject>

#include <csignal>

class QSocketNotifier;

namespace corvala {

class TTerminationSignal : public QObject {
    Q_OBJECT
public:
    explicit TTerminationSignal(QObject* parent = nullptr);
    ~TTerminationSignal() override;

signals:
    void Received();

private:
    void Drain();

    QSocketNotifier* FNotifier = nullptr;
    struct sigaction FPreviousTerm {};
    struct sigaction FPreviousHup {};
};

}  // namespace corvala
