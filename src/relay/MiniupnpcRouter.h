#pragma once
// The router on the local network, reached through miniupnpc: discovered once
// when the object is made (blocking, up to the discovery timeout), then asked
// for its mappings and told to add or remove them.

#include "relay/PortMapper.h"

#include <chrono>
#include <memory>

namespace corvala {

class MiniupnpcRouter : public IRouter {
public:
    // A router that lists more mappings than this is cut off there (and the
    // cut logged): the candidates we look for sit in the first few hundred
    // anyway, and a hostile answer cannot keep us listing forever.
    static constexpr int MaxListedMappings = 1024;

    explicit MiniupnpcRouter(std::chrono::milliseconds discoveryTimeout = std::chrono::milliseconds(2000));
    ~MiniupnpcRouter() override;

    bool Found() const;

    RouterMappings Mappings() override;
    QString LanAddress() override;
    bool AddMapping(int externalPort, const QString& protocol, int internalPort, const QString& client,
                    const QString& description) override;
    bool RemoveMapping(int externalPort, const QString& protocol) override;

private:
    struct Gateway;
    std::unique_ptr<Gateway> FGateway;  // null when no router answered
};

}  // namespace corvala
