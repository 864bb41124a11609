#include "TurnServer.h"

#include <deque>
#include <random>

namespace corvala::relay {

using asio::ip::tcp;
using asio::ip::udp;

namespace {

constexpr std::uint8_t kUdpProtocol = 17;
constexpr std::uint8_t kFamilyIPv4 = 0x01;
constexpr std::uint8_t kFamilyIPv6 = 0x02;
constexpr std::size_t kMaxUsername = 512;
constexpr std::size_t kMaxRealmOrNonce = 763;
constexpr std::uint16_t kFirstRelayPort = 49152;
constexpr int kRelayPortAttempts = 32;
// A stream client whose answers pile up this far is not reading: further
// ones are dropped rather than held.
constexpr std::size_t kMaxQueuedToClient = 4 << 20;
// The most a Data indication can carry: its length field counts at most
// 65532 bytes of attributes, of which the peer address takes 12 and the
// DATA attribute's header 4.
constexpr std::size_t kMaxRelayedData = 0xFFFC - 12 - 4;
// The largest frame a stream can carry: ChannelData of 65535 bytes, padded.
constexpr std::size_t kMaxStreamFrame = 4 + 65535 + 3;

std::string text(const Endpoint& e) {
    return (e.address().is_v6() ? "[" + e.address().to_string() + "]" : e.address().to_string()) + ":" +
           std::to_string(e.port());
}

}  // namespace

// One UDP socket that relays for one allocation.
class TurnServer::RelaySocket : public std::enable_shared_from_this<RelaySocket> {
public:
    RelaySocket(TurnServer& server, ClientKey owner, udp::socket socket)
        : server_(server), owner_(std::move(owner)), socket_(std::move(socket)) {}

    void start() { receive(); }
    void close() {
        closed_ = true;
        asio::error_code ec;
        socket_.close(ec);
    }
    void send(const Endpoint& peer, ByteView data) {
        asio::error_code ec;
        socket_.send_to(asio::buffer(data.data(), data.size()), peer, 0, ec);
    }

private:
    void receive() {
        socket_.async_receive_from(asio::buffer(buffer_), sender_,
                                   [self = shared_from_this()](const asio::error_code& ec, std::size_t n) {
                                       if (self->closed_ || ec == asio::error::operation_aborted) return;
                                       if (!ec) self->server_.relayToClient(self->owner_, self->sender_, ByteView(self->buffer_.data(), n));
                                       self->receive();
                                   });
    }

    TurnServer& server_;
    ClientKey owner_;
    udp::socket socket_;
    Endpoint sender_;
    std::array<std::uint8_t, 65536> buffer_{};
    bool closed_ = false;
};

// One client over TCP: frames are cut from the stream by their own length
// (STUN header or ChannelData header, padded to four bytes), and anything
// that starts neither ends the connection.
class TurnServer::TcpClient : public std::enable_shared_from_this<TcpClient> {
public:
    TcpClient(TurnServer& server, tcp::socket socket, Endpoint remote)
        : server_(server), socket_(std::move(socket)), remote_(remote), opened_(Clock::now()) {}

    void start() {
        asio::error_code ec;
        socket_.set_option(tcp::no_delay(true), ec);
        read();
    }
    void send(Bytes bytes) {
        if (closed_) return;
        if (queued_ + bytes.size() > kMaxQueuedToClient) {
            ++dropped_;
            return;
        }
        queued_ += bytes.size();
        queue_.push_back(std::move(bytes));
        if (queue_.size() == 1) write();
    }
    void close() {
        if (closed_) return;
        closed_ = true;
        asio::error_code ec;
        socket_.close(ec);
    }
    Clock::time_point opened() const { return opened_; }
    const Endpoint& remote() const { return remote_; }

private:
    void read() {
        socket_.async_read_some(asio::buffer(chunk_), [self = shared_from_this()](const asio::error_code& ec, std::size_t n) {
            if (self->closed_) return;
            if (ec) return self->server_.dropTcpClient(self->remote_, ec == asio::error::eof ? "" : ec.message());
            self->pending_.insert(self->pending_.end(), self->chunk_.begin(), self->chunk_.begin() + std::ptrdiff_t(n));
            if (!self->cutFrames()) return;
            self->read();
        });
    }
    // Hands every whole frame on; false when the stream made no sense.
    bool cutFrames() {
        std::size_t at = 0;
        while (pending_.size() - at >= 4) {
            const ByteView rest(pending_.data() + at, pending_.size() - at);
            const std::size_t length = StreamFrameLength(rest);
            if (length == 0 || length > kMaxStreamFrame) {
                server_.dropTcpClient(remote_, "bytes that are neither STUN nor ChannelData");
                return false;
            }
            if (rest.size() < length) break;
            const ClientKey key{Transport::Tcp, remote_};
            server_.handlePacket(key, rest.first(length));
            if (closed_) return false;
            at += length;
        }
        pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(at));
        return true;
    }
    void write() {
        asio::async_write(socket_, asio::buffer(queue_.front()), [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
            if (self->closed_) return;
            if (ec) return self->server_.dropTcpClient(self->remote_, ec.message());
            self->queued_ -= self->queue_.front().size();
            self->queue_.pop_front();
            if (!self->queue_.empty()) self->write();
        });
    }

    TurnServer& server_;
    tcp::socket socket_;
    Endpoint remote_;
    Clock::time_point opened_;
    std::array<std::uint8_t, 16384> chunk_{};
    Bytes pending_;
    std::deque<Bytes> queue_;
    std::size_t queued_ = 0;
    std::uint64_t dropped_ = 0;
    bool closed_ = false;
};

TurnServer::TurnServer(asio::io_context& io, ServerSetup setup)
    : io_(io), setup_(std::move(setup)), started_(Clock::now()), credentials_(started_), table_(setup_.limits),
      policy_([&] {
          auto own = PeerPolicy::InterfaceAddresses();
          own.push_back(setup_.publicIp);
          return own;
      }()),
      unauthenticated_(setup_.unauthenticatedPerSource, setup_.unauthenticatedTotal, setup_.trackedSources, started_),
      udp_(io), acceptor_(io), sweepTimer_(io) {
    credentials_.addUser(setup_.user, setup_.password);
}

TurnServer::~TurnServer() { stop(); }

void TurnServer::start() {
    const udp::endpoint udpAt(asio::ip::address_v4::any(), setup_.port);
    udp_.open(udp::v4());
    udp_.bind(udpAt);
    udp_.non_blocking(true);
    const tcp::endpoint tcpAt(asio::ip::address_v4::any(), setup_.port);
    acceptor_.open(tcp::v4());
    acceptor_.set_option(tcp::acceptor::reuse_address(true));
    acceptor_.bind(tcpAt);
    acceptor_.listen();
    receiveUdp();
    accept();
    sweep();
}

void TurnServer::stop() {
    if (stopped_) return;
    stopped_ = true;
    asio::error_code ec;
    udp_.close(ec);
    acceptor_.close(ec);
    sweepTimer_.cancel();
    for (auto& [key, client] : tcpClients_) client->close();
    tcpClients_.clear();
    for (auto& [key, socket] : relaySockets_) socket->close();
    relaySockets_.clear();
}

void TurnServer::receiveUdp() {
    udp_.async_receive_from(asio::buffer(udpBuffer_), udpSender_, [this](const asio::error_code& ec, std::size_t n) {
        if (stopped_ || ec == asio::error::operation_aborted) return;
        if (!ec) handlePacket(ClientKey{Transport::Udp, udpSender_}, ByteView(udpBuffer_.data(), n));
        receiveUdp();
    });
}

void TurnServer::accept() {
    acceptor_.async_accept([this](const asio::error_code& ec, tcp::socket socket) {
        if (stopped_ || ec == asio::error::operation_aborted) return;
        if (!ec) {
            asio::error_code peerError;
            const auto remote = socket.remote_endpoint(peerError);
            if (peerError) {
            } else if (tcpClients_.size() >= setup_.maxTcpClients) {
                log_.refused("a TCP client from " + text(Endpoint(remote.address(), remote.port())) + ": " +
                             std::to_string(tcpClients_.size()) + " clients already");
            } else {
                const Endpoint at(remote.address(), remote.port());
                auto client = std::make_shared<TcpClient>(*this, std::move(socket), at);
                tcpClients_[at] = client;
                client->start();
            }
        }
        accept();
    });
}

void TurnServer::dropTcpClient(const Endpoint& remote, const std::string& why) {
    const auto it = tcpClients_.find(remote);
    if (it == tcpClients_.end()) return;
    if (!why.empty()) log_.refused("TCP client " + text(remote) + ": " + why);
    it->second->close();
    tcpClients_.erase(it);
    removeAllocation(ClientKey{Transport::Tcp, remote});
}

void TurnServer::sweep() {
    const auto now = Clock::now();
    table_.expire(now, [this](const ClientKey& key) {
        const auto it = relaySockets_.find(key);
        if (it == relaySockets_.end()) return;
        it->second->close();
        relaySockets_.erase(it);
    });
    std::vector<Endpoint> idle;
    for (const auto& [remote, client] : tcpClients_)
        if (now - client->opened() > setup_.tcpIdleLimit && !table_.find(ClientKey{Transport::Tcp, remote}))
            idle.push_back(remote);
    for (const auto& remote : idle) dropTcpClient(remote, "idle without an allocation");
    sweepTimer_.expires_after(std::chrono::seconds(1));
    sweepTimer_.async_wait([this](const asio::error_code& ec) {
        if (!ec && !stopped_) sweep();
    });
}

std::string TurnServer::describe(const ClientKey& key) const {
    return (key.transport == Transport::Udp ? "UDP " : "TCP ") + text(key.client);
}

void TurnServer::handlePacket(const ClientKey& from, ByteView bytes) {
    std::string why = "neither STUN nor ChannelData";
    switch (KindOf(bytes)) {
    case PacketKind::Stun: {
        const auto message = StunMessage::Parse(bytes, &why);
        if (!message) break;
        if (message->messageClass() == StunClass::Request) return handleRequest(from, *message);
        if (message->messageClass() == StunClass::Indication) return handleIndication(from, *message);
        log_.refused("a STUN response from " + describe(from) + ": a server takes only requests and indications");
        return;
    }
    case PacketKind::ChannelData:
        if (const auto data = ParseChannelData(bytes)) return handleChannelData(from, *data);
        why = "ChannelData longer than the packet";
        break;
    case PacketKind::Other: break;
    }
    if (from.transport == Transport::Udp) log_.marker();
    log_.refused(std::to_string(bytes.size()) + " bytes from " + describe(from) + ": " + why);
}

void TurnServer::handleRequest(const ClientKey& from, const StunMessage& request) {
    if (const auto unknown = request.unknownRequired(); !unknown.empty()) {
        StunBuilder response(request.method(), StunClass::Error, request.transaction());
        response.addError(420, "Unknown Attribute").addUnknown(unknown);
        return answer(from, request, std::move(response), nullptr);
    }
    if (request.method() == method::Binding) {
        StunBuilder response(method::Binding, StunClass::Success, request.transaction());
        response.addXorAddress(attr::XorMappedAddress, from.client);
        return answer(from, request, std::move(response), nullptr);
    }
    if (request.method() != method::Allocate && request.method() != method::Refresh &&
        request.method() != method::CreatePermission && request.method() != method::ChannelBind)
        return answerError(from, request, 400, "Bad Request", nullptr);
    const auto auth = authenticate(from, request);
    if (!auth) return;
    switch (request.method()) {
    case method::Allocate: return allocate(from, request, *auth);
    case method::Refresh: return refresh(from, request, *auth);
    case method::CreatePermission: return createPermission(from, request, *auth);
    case method::ChannelBind: return channelBind(from, request, *auth);
    }
}

std::optional<TurnServer::Authenticated> TurnServer::authenticate(const ClientKey& from, const StunMessage& request) {
    const auto now = Clock::now();
    const auto challenge = [&](int code, std::string_view reason) {
        StunBuilder response(request.method(), StunClass::Error, request.transaction());
        response.addError(code, reason).addText(attr::Realm, Credentials::kRealm).addText(attr::Nonce, credentials_.issueNonce(now));
        answer(from, request, std::move(response), nullptr);
        return std::nullopt;
    };
    if (!request.hasIntegrity()) return challenge(401, "Unauthorized");
    const auto user = request.text(attr::Username, kMaxUsername);
    const auto realm = request.text(attr::Realm, kMaxRealmOrNonce);
    const auto nonce = request.text(attr::Nonce, kMaxRealmOrNonce);
    if (!user || !realm || !nonce) {
        answerError(from, request, 400, "Bad Request", nullptr);
        return std::nullopt;
    }
    if (const auto state = credentials_.check(*nonce, now); state != Credentials::NonceState::Valid) {
        if (state == Credentials::NonceState::Foreign) log_.refused("a nonce this relay did not issue from " + describe(from));
        return challenge(438, "Stale Nonce");
    }
    const auto key = credentials_.keyOf(*user);
    if (*realm != Credentials::kRealm || !key || !request.integrityMatches(*key)) {
        log_.refused("wrong credentials from " + describe(from));
        return challenge(401, "Unauthorized");
    }
    return Authenticated{std::string(*user), *key};
}

void TurnServer::allocate(const ClientKey& from, const StunMessage& request, const Authenticated& auth) {
    const auto now = Clock::now();
    if (Allocation* existing = table_.find(from)) {
        // A retransmission of the request that made it gets its answer again.
        if (existing->createdBy != request.transaction() || existing->user() != auth.user)
            return answerError(from, request, 437, "Allocation Mismatch", &auth.key);
        StunBuilder response(method::Allocate, StunClass::Success, request.transaction());
        response.addXorAddress(attr::XorRelayedAddress, Endpoint(setup_.publicIp, existing->relayedPort()))
            .addU32(attr::Lifetime, std::uint32_t(std::chrono::duration_cast<std::chrono::seconds>(existing->expiry() - now).count()))
            .addXorAddress(attr::XorMappedAddress, from.client);
        return answer(from, request, std::move(response), &auth.key);
    }
    const auto transport = request.u32(attr::RequestedTransport);
    if (!transport) return answerError(from, request, 400, "Bad Request", &auth.key);
    if ((*transport >> 24) != kUdpProtocol) return answerError(from, request, 442, "Unsupported Transport Protocol", &auth.key);
    if (request.find(attr::ReservationToken)) return answerError(from, request, 508, "Insufficient Capacity", &auth.key);
    if (const auto* family = request.find(attr::RequestedAddressFamily)) {
        if (family->value.size() != 4) return answerError(from, request, 400, "Bad Request", &auth.key);
        if (family->value[0] == kFamilyIPv6) return answerError(from, request, 440, "Address Family not Supported", &auth.key);
        if (family->value[0] != kFamilyIPv4) return answerError(from, request, 400, "Bad Request", &auth.key);
    }
    switch (table_.check(from, auth.user)) {
    case AllocationTable::Refusal::None: break;
    case AllocationTable::Refusal::Exists: return answerError(from, request, 437, "Allocation Mismatch", &auth.key);
    case AllocationTable::Refusal::TotalQuota:
        log_.refused("an allocation for " + describe(from) + ": the relay holds its most");
        return answerError(from, request, 508, "Insufficient Capacity", &auth.key);
    case AllocationTable::Refusal::UserQuota:
        log_.refused("an allocation for " + describe(from) + ": its user holds the most allowed");
        return answerError(from, request, 486, "Allocation Quota Reached", &auth.key);
    }
    // A free port of the dynamic range, even when the client asks for one.
    const bool even = request.find(attr::EvenPort) != nullptr;
    std::uniform_int_distribution<unsigned> pick(kFirstRelayPort, 65535);
    udp::socket socket(io_);
    std::uint16_t port = 0;
    for (int attempt = 0; attempt < kRelayPortAttempts && !port; ++attempt) {
        std::uint16_t candidate = std::uint16_t(pick(random_));
        if (even) candidate &= 0xFFFE;
        if (candidate < kFirstRelayPort || table_.ownerOfPort(candidate)) continue;
        asio::error_code ec;
        if (!socket.is_open()) socket.open(udp::v4(), ec);
        if (!ec) socket.bind(udp::endpoint(asio::ip::address_v4::any(), candidate), ec);
        if (!ec) port = candidate;
    }
    if (!port) {
        log_.refused("an allocation for " + describe(from) + ": no free relay port");
        return answerError(from, request, 508, "Insufficient Capacity", &auth.key);
    }
    asio::error_code ec;
    socket.non_blocking(true, ec);
    const auto lifetime = table_.lifetimeFor(request.u32(attr::Lifetime));
    Allocation& allocation = table_.add(from, auth.user, port, lifetime, now);
    allocation.createdBy = request.transaction();
    auto relay = std::make_shared<RelaySocket>(*this, from, std::move(socket));
    relaySockets_[from] = relay;
    relay->start();

    StunBuilder response(method::Allocate, StunClass::Success, request.transaction());
    response.addXorAddress(attr::XorRelayedAddress, Endpoint(setup_.publicIp, port))
        .addU32(attr::Lifetime, std::uint32_t(lifetime.count()))
        .addXorAddress(attr::XorMappedAddress, from.client);
    answer(from, request, std::move(response), &auth.key);
}

Allocation* TurnServer::allocationOf(const ClientKey& from, const StunMessage& request, const Authenticated& auth) {
    Allocation* allocation = table_.find(from);
    if (!allocation) {
        answerError(from, request, 437, "Allocation Mismatch", &auth.key);
        return nullptr;
    }
    if (allocation->user() != auth.user) {
        answerError(from, request, 441, "Wrong Credentials", &auth.key);
        return nullptr;
    }
    return allocation;
}

void TurnServer::refresh(const ClientKey& from, const StunMessage& request, const Authenticated& auth) {
    Allocation* allocation = allocationOf(from, request, auth);
    if (!allocation) return;
    if (const auto* family = request.find(attr::RequestedAddressFamily); family && (family->value.size() != 4 || family->value[0] != kFamilyIPv4))
        return answerError(from, request, 443, "Peer Address Family Mismatch", &auth.key);
    const auto requested = request.u32(attr::Lifetime);
    std::uint32_t granted = 0;
    if (requested && *requested == 0) {
        removeAllocation(from);
    } else {
        const auto lifetime = table_.lifetimeFor(requested);
        allocation->setExpiry(Clock::now() + lifetime);
        granted = std::uint32_t(lifetime.count());
    }
    StunBuilder response(method::Refresh, StunClass::Success, request.transaction());
    response.addU32(attr::Lifetime, granted);
    answer(from, request, std::move(response), &auth.key);
}

bool TurnServer::reachable(const Endpoint& peer, std::string& why) const {
    const auto verdict = policy_.check(peer.address());
    if (verdict == PeerPolicy::Verdict::Allowed) return true;
    if (verdict == PeerPolicy::Verdict::Own && table_.ownerOfPort(peer.port())) return true;
    why = std::string("peer ") + text(peer) + " is " + VerdictText(verdict);
    return false;
}

void TurnServer::createPermission(const ClientKey& from, const StunMessage& request, const Authenticated& auth) {
    Allocation* allocation = allocationOf(from, request, auth);
    if (!allocation) return;
    const auto peers = request.xorAddresses(attr::XorPeerAddress);
    if (peers.empty()) return answerError(from, request, 400, "Bad Request", &auth.key);
    // All of them or none.
    for (const auto& peer : peers) {
        if (!peer) return answerError(from, request, 400, "Bad Request", &auth.key);
        if (!peer->address().is_v4()) return answerError(from, request, 443, "Peer Address Family Mismatch", &auth.key);
        std::string why;
        if (!reachable(*peer, why)) {
            log_.refused("a permission for " + describe(from) + ": " + why);
            return answerError(from, request, 403, "Forbidden", &auth.key);
        }
    }
    const auto until = Clock::now() + table_.limits().permissionLifetime;
    for (const auto& peer : peers) {
        if (!allocation->permit(peer->address(), until, table_.limits().permissionsPerAllocation)) {
            log_.refused("a permission for " + describe(from) + ": it holds the most allowed");
            return answerError(from, request, 508, "Insufficient Capacity", &auth.key);
        }
    }
    answer(from, request, StunBuilder(method::CreatePermission, StunClass::Success, request.transaction()), &auth.key);
}

void TurnServer::channelBind(const ClientKey& from, const StunMessage& request, const Authenticated& auth) {
    Allocation* allocation = allocationOf(from, request, auth);
    if (!allocation) return;
    const auto number = request.u32(attr::ChannelNumber);
    const auto peer = request.xorAddress(attr::XorPeerAddress);
    const std::uint16_t channel = number ? std::uint16_t(*number >> 16) : 0;
    if (!number || channel < kFirstChannel || channel > kLastChannel || !peer)
        return answerError(from, request, 400, "Bad Request", &auth.key);
    if (!peer->address().is_v4()) return answerError(from, request, 443, "Peer Address Family Mismatch", &auth.key);
    std::string why;
    if (!reachable(*peer, why)) {
        log_.refused("a channel for " + describe(from) + ": " + why);
        return answerError(from, request, 403, "Forbidden", &auth.key);
    }
    const auto now = Clock::now();
    const auto& limits = table_.limits();
    switch (allocation->bind(channel, *peer, now + limits.channelLifetime, limits.channelsPerAllocation)) {
    case Allocation::BindResult::Bound: break;
    case Allocation::BindResult::ChannelTaken:
    case Allocation::BindResult::PeerTaken: return answerError(from, request, 400, "Bad Request", &auth.key);
    case Allocation::BindResult::Full:
        log_.refused("a channel for " + describe(from) + ": it holds the most allowed");
        return answerError(from, request, 508, "Insufficient Capacity", &auth.key);
    }
    if (!allocation->permit(peer->address(), now + limits.permissionLifetime, limits.permissionsPerAllocation)) {
        log_.refused("a channel's permission for " + describe(from) + ": it holds the most allowed");
        return answerError(from, request, 508, "Insufficient Capacity", &auth.key);
    }
    answer(from, request, StunBuilder(method::ChannelBind, StunClass::Success, request.transaction()), &auth.key);
}

void TurnServer::handleIndication(const ClientKey& from, const StunMessage& indication) {
    if (indication.method() != method::Send) {
        // Binding indications are keep-alives; nothing else is expected.
        if (indication.method() != method::Binding) log_.refused("an indication of method " + std::to_string(indication.method()) + " from " + describe(from));
        return;
    }
    Allocation* allocation = table_.find(from);
    const auto peer = indication.xorAddress(attr::XorPeerAddress);
    const auto* data = indication.find(attr::Data);
    if (!allocation || !peer || !data || !indication.unknownRequired().empty()) {
        log_.refused("a Send indication from " + describe(from) + (allocation ? ": malformed" : ": no allocation"));
        return;
    }
    relayToPeer(from, *allocation, *peer, data->value);
}

void TurnServer::handleChannelData(const ClientKey& from, const ChannelData& data) {
    Allocation* allocation = table_.find(from);
    const auto peer = allocation ? allocation->peerOf(data.channel, Clock::now()) : std::nullopt;
    if (!peer) {
        log_.refused("ChannelData on unbound channel " + std::to_string(data.channel) + " from " + describe(from));
        return;
    }
    relayToPeer(from, *allocation, *peer, data.data);
}

void TurnServer::relayToPeer(const ClientKey& from, Allocation& allocation, const Endpoint& peer, ByteView data) {
    const auto now = Clock::now();
    if (!allocation.permits(peer.address(), now)) {
        log_.refused("data from " + describe(from) + " to " + text(peer) + ": no permission");
        return;
    }
    std::string why;
    if (!reachable(peer, why)) {
        log_.refused("data from " + describe(from) + ": " + why);
        return;
    }
    if (!allocation.spend(data.size(), now)) {
        log_.refused("data from " + describe(from) + ": over the allocation's rate");
        return;
    }
    // Two allocations of this relay reach each other here, not through the
    // network: the public address may be a router's, which need not send
    // back what comes from behind it.
    if (policy_.check(peer.address()) == PeerPolicy::Verdict::Own) {
        if (const ClientKey* target = table_.ownerOfPort(peer.port()))
            relayToClient(*target, Endpoint(setup_.publicIp, allocation.relayedPort()), data);
        return;
    }
    const auto socket = relaySockets_.find(from);
    if (socket != relaySockets_.end()) socket->second->send(peer, data);
}

void TurnServer::relayToClient(const ClientKey& owner, const Endpoint& peer, ByteView data) {
    Allocation* allocation = table_.find(owner);
    if (!allocation) return;
    if (data.size() > kMaxRelayedData) {
        log_.refused(std::to_string(data.size()) + " bytes from peer " + text(peer) + " for " + describe(owner) + ": too large to relay");
        return;
    }
    const auto now = Clock::now();
    if (!allocation->permits(peer.address(), now)) {
        log_.refused(std::to_string(data.size()) + " bytes from peer " + text(peer) + " for " + describe(owner) + ": no permission");
        return;
    }
    if (!allocation->spend(data.size(), now)) {
        log_.refused("data for " + describe(owner) + ": over the allocation's rate");
        return;
    }
    if (const auto channel = allocation->channelOf(peer, now))
        return sendToClient(owner, EncodeChannelData(*channel, data, owner.transport == Transport::Tcp));
    StunBuilder indication(method::Data, StunClass::Indication, randomTransaction());
    indication.addXorAddress(attr::XorPeerAddress, peer).add(attr::Data, data);
    sendToClient(owner, std::move(indication).finish({}, false));
}

TransactionId TurnServer::randomTransaction() {
    TransactionId id{};
    for (auto& b : id) b = std::uint8_t(random_());
    return id;
}

void TurnServer::answer(const ClientKey& to, const StunMessage& request, StunBuilder&& response, const IntegrityKey* key) {
    // A datagram's source may be forged; a stream's has been through a handshake.
    if (!key && to.transport == Transport::Udp && !unauthenticated_.allow(to.client.address(), Clock::now())) {
        log_.refused("an answer to " + describe(to) + ": over the budget for unauthenticated answers");
        return;
    }
    response.addText(attr::Software, "crserver");
    sendToClient(to, std::move(response).finish(key ? ByteView(*key) : ByteView(), request.hasFingerprint()));
}

void TurnServer::answerError(const ClientKey& to, const StunMessage& request, int code, std::string_view reason,
                             const IntegrityKey* key) {
    StunBuilder response(request.method(), StunClass::Error, request.transaction());
    response.addError(code, reason);
    answer(to, request, std::move(response), key);
}

void TurnServer::sendToClient(const ClientKey& to, Bytes bytes) {
    if (to.transport == Transport::Udp) {
        asio::error_code ec;
        udp_.send_to(asio::buffer(bytes), to.client, 0, ec);
        return;
    }
    const auto it = tcpClients_.find(to.client);
    if (it != tcpClients_.end()) it->second->send(std::move(bytes));
}

void TurnServer::removeAllocation(const ClientKey& key) {
    table_.remove(key);
    const auto it = relaySockets_.find(key);
    if (it == relaySockets_.end()) return;
    it->second->close();
    relaySockets_.erase(it);
}

}  // namespace corvala::relay
