#include "app/TerminationSignal.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

#include "base/Log.h"

namespace corvala {

namespace {

int wakeUp[2] = {-1, -1};

void OnTerminationSignal(int) {
    const int savedErrno = errno;
    char byte = 1;
    [[maybe_unused]] auto n = ::write(wakeUp[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

TTerminationSignal::TTerminationSignal(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeUp) != 0) {
        qCWarning(lcWindow) << "no socket pair for SIGTERM: the session's end kills the program unsaved";
        return;
    }
    FNotifier = new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TTerminationSignal::Drain);
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &FPreviousTerm);
    ::sigaction(SIGHUP, &action, &FPreviousHup);
}

TTerminationSignal::~TTerminationSignal() {
    if (!FNotifier) return;
    ::sigaction(SIGTERM, &FPreviousTerm, nullptr);
    ::sigaction(SIGHUP, &FPreviousHup, nullptr);
    delete FNotifier;
    ::close(wakeUp[0]);
    ::close(wakeUp[1]);
    wakeUp[0] = wakeUp[1] = -1;
}

void TTerminationSignal::Drain() {
    char bytes[16];
    bool any = false;
    while (::read(wakeUp[0], bytes, sizeof bytes) > 0) any = true;
    if (any) emit Received();
}

}  // namespace corvala
