#include "ServerOptions.h"
#include "WebSocketGateway.h"

namespace corvala::signal {

WebSocketOptions WebSocketOptionsFor(const ServerOptions& server) {
    WebSocketOptions o;
    o.bindAddress = server.bindAddress;
    o.port = server.webSocketPort.value_or(0);
    o.certChainFile = server.certChainFile;
    o.keyFile = server.keyFile;
    o.handshakeTimeout = server.handshakeTimeout;
    o.verbose = server.verbose;
    return o;
}

}  // namespace corvala::signal
