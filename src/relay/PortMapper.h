#pragma once
// Which outside port the router forwards to the relay, decided over a small
// view of the router so that the decisions run against a fake in tests.
// Everything the router reports is untrusted: the adapter bounds and checks
// it before it reaches these types.

#include <QString>

#include <functional>
#include <vector>

namespace corvala {

struct RouterMapping {
    int externalPort = 0;
    QString protocol;        // "TCP" or "UDP"
    QString internalClient;  // dotted IPv4
    int internalPort = 0;
};

struct RouterMappings {
    enum class Status {
        NoRouter,  // no gateway answered: there is no table to read
        Failed,    // the router answered, then failed while listing
        Listed,
    };
    Status status = Status::NoRouter;
    std::vector<RouterMapping> entries;
};

class IRouter {
public:
    virtual ~IRouter() = default;
    // The router's table of port mappings.
    virtual RouterMappings Mappings() = 0;
    // This host's LAN address as the router reaches it (empty when unknown).
    virtual QString LanAddress() = 0;
    // One mapping of `externalPort` to `internalPort` on `client`, enabled,
    // without lease time. False on any error or when there is no router.
    virtual bool AddMapping(int externalPort, const QString& protocol, int internalPort, const QString& client,
                            const QString& description) = 0;
    virtual bool RemoveMapping(int externalPort, const QString& protocol) = 0;
};

class PortMapper {
public:
    static constexpr int FirstCandidate = 5501;
    static constexpr int LastCandidate = 8001;
    static constexpr int FallbackFirst = 5500;
    static constexpr int FallbackCount = 500;

    // `randomBelow(n)` answers 0..n-1; the fallback port comes from it.
    PortMapper(IRouter& router, std::function<int(int)> randomBelow);

    // With a stored port: keeps a mapping that already reaches this host,
    // otherwise removes the port's mappings and adds them for this host.
    // Without one: maps the first candidate the router does not use, or, when
    // that fails or nothing answers, picks a random fallback port the user can
    // forward by hand. True when a mapping is in place.
    bool Ensure(int& relayPort);

private:
    bool MappedHere(const RouterMappings& table, int port, const QString& lanAddress) const;
    bool AddBoth(int port, const QString& lanAddress);
    bool ChooseCandidate(int& relayPort);

    IRouter& FRouter;
    std::function<int(int)> FRandomBelow;
};

}  // namespace corvala
