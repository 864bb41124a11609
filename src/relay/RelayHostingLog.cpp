#include "relay/RelayHostingLog.h"

namespace corvala {

Q_LOGGING_CATEGORY(lcRelayHosting, "corvala.relay.hosting", QtInfoMsg)

}  // namespace corvala
