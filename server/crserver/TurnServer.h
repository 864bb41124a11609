#pragma once
// crserver's core: a TURN server on one event loop. Clients reach it over
// UDP and TCP on one port; each allocation relays through a UDP socket of
// its own. Requests are checked against the long-term credentials, every
// allocation against the table's limits, every peer address against the
// policy; what is refused is answered (requests) or dropped and logged.

#include "AllocationTable.h"
#include "Credentials.h"
#include "PeerPolicy.h"
#include "RateBudget.h"
#include "RelayLog.h"
#include "StunMessage.h"

#include <asio.hpp>

#include <map>
#include <memory>
#include <random>
#include <string>

namespace corvala::relay {

struct ServerSetup {
    asio::ip::address_v4 publicIp;
    std::uint16_t port = 3478;
    std::string user;
    std::string password;
    AllocationLimits limits;
    std::size_t maxTcpClients = 256;
    // A TCP client that holds no allocation this long is closed.
    std::chrono::seconds tcpIdleLimit{60};
    // Answers a second to requests without valid credentials: per source
    // address, in total, and how many sources are tracked.
    double unauthenticatedPerSource = 20;
    double unauthenticatedTotal = 1000;
    std::size_t trackedSources = 4096;
};

class TurnServer {
public:
    TurnServer(asio::io_context& io, ServerSetup setup);
    ~TurnServer();

    void start();
    void stop();

private:
    class TcpClient;
    class RelaySocket;
    friend class TcpClient;
    friend class RelaySocket;

    void receiveUdp();
    void accept();
    void sweep();
    // Closes a TCP client and ends its allocation; `why` empty: it just left.
    void dropTcpClient(const Endpoint& remote, const std::string& why);
    TransactionId randomTransaction();

    // One packet from a client (a datagram, or a frame cut from a stream).
    void handlePacket(const ClientKey& from, ByteView bytes);
    void handleRequest(const ClientKey& from, const StunMessage& request);
    void handleIndication(const ClientKey& from, const StunMessage& indication);
    void handleChannelData(const ClientKey& from, const ChannelData& data);

    struct Authenticated {
        std::string user;
        IntegrityKey key{};
    };
    // The requester's user and key, or nothing after the error was answered.
    std::optional<Authenticated> authenticate(const ClientKey& from, const StunMessage& request);

    void allocate(const ClientKey& from, const StunMessage& request, const Authenticated& auth);
    void refresh(const ClientKey& from, const StunMessage& request, const Authenticated& auth);
    void createPermission(const ClientKey& from, const StunMessage& request, const Authenticated& auth);
    void channelBind(const ClientKey& from, const StunMessage& request, const Authenticated& auth);

    // The requester's allocation made under the same user, or nothing after
    // 437 or 441 was answered.
    Allocation* allocationOf(const ClientKey& from, const StunMessage& request, const Authenticated& auth);
    // Whether a peer may be given a permission or channel: anywhere the
    // policy allows, and the relayed address of a live allocation here.
    bool reachable(const Endpoint& peer, std::string& why) const;

    void relayToPeer(const ClientKey& from, Allocation& allocation, const Endpoint& peer, ByteView data);
    void relayToClient(const ClientKey& owner, const Endpoint& peer, ByteView data);

    void answer(const ClientKey& to, const StunMessage& request, StunBuilder&& response, const IntegrityKey* key);
    void answerError(const ClientKey& to, const StunMessage& request, int code, std::string_view reason,
                     const IntegrityKey* key);
    void sendToClient(const ClientKey& to, Bytes bytes);
    void removeAllocation(const ClientKey& key);

    std::string describe(const ClientKey& key) const;

    asio::io_context& io_;
    ServerSetup setup_;
    Clock::time_point started_;
    Credentials credentials_;
    AllocationTable table_;
    PeerPolicy policy_;
    SourceBudgets unauthenticated_;
    RelayLog log_;
    asio::ip::udp::socket udp_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer sweepTimer_;
    std::map<Endpoint, std::shared_ptr<TcpClient>> tcpClients_;
    std::map<ClientKey, std::shared_ptr<RelaySocket>> relaySockets_;
    std::mt19937 random_{std::random_device{}()};
    Endpoint udpSender_;
    std::array<std::uint8_t, 65536> udpBuffer_{};
    bool stopped_ = false;
};

}  // namespace corvala::relay
