#include "relay/RelayLog.h"

namespace corvala {

Q_LOGGING_CATEGORY(lcPortForwarding, "corvala.portforwarding", QtInfoMsg)

}  // namespace corvala
