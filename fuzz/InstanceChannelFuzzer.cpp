// The running copy's instance channel: bytes another local process writes to
// the socket, read by the real server of the main window, each message
// handled as the core does (a connect request is decoded). Also the decoder
// alone on the raw bytes, which is where most of the input's variety lands.
//
// Property: a decoded connect request is encoded so that it decodes the same.
#include "FuzzSupport.h"
#include "QuietQtLogging.h"
#include "platform/InstanceChannel.h"
#include "platform/linux/LocalSocketInstanceChannel.h"
#include "session/ConnectArguments.h"

#include <QCoreApplication>
#include <QLocalSocket>

namespace corvala {
namespace {

void CheckDecoded(const QByteArray& line) {
    const std::optional<ConnectRequest> request = DecodeConnectRequest(line);
    if (request && DecodeConnectRequest(EncodeConnectRequest(*request)) != request)
        fuzz::Fail("a decoded connect request does not survive encoding");
}

void HandleMessage(const platform::InstanceMessage& message) {
    if (message.message == platform::ConnectRequestMessage) CheckDecoded(QByteArray::fromStdString(message.payload));
}

// Both live until the process ends: libFuzzer leaves by exit(), after
// which Qt's own globals are no longer there to tear them down against.
QCoreApplication* application = nullptr;
platform::linuxos::InstanceMessageServer* server = nullptr;

}  // namespace
}  // namespace corvala

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    using namespace corvala;
    fuzz::QuietQtLogging();
    application = new QCoreApplication(*argc, *argv);
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(fuzz::ScratchFolder("instance").string()));
    server = new platform::linuxos::InstanceMessageServer(HandleMessage);
    if (!server->Listen(true)) fuzz::Fail("the instance server does not listen");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvala;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    CheckDecoded(bytes);

    QLocalSocket socket;
    socket.connectToServer(platform::linuxos::InstanceSocketPath());
    if (!socket.waitForConnected(2000)) fuzz::Fail("cannot reach the instance server");
    // The server answers nothing: let it take the connection and read what
    // is there before the writer goes away, as a short-lived copy does.
    QCoreApplication::processEvents();
    socket.write(bytes);
    socket.waitForBytesWritten(2000);
    for (int round = 0; round < 3; ++round) QCoreApplication::processEvents();
    socket.disconnectFromServer();
    QCoreApplication::processEvents();
    return 0;
}
