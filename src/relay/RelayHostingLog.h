#pragma once
// Diagnostics of the host's own relay: its setup, its process and its
// load watchdog ("corvala.relay.hosting").

#include <QLoggingCategory>

namespace corvala {

Q_DECLARE_LOGGING_CATEGORY(lcRelayHosting)

}  // namespace corvala
