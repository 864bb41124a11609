#pragma once
// Diagnostics of the relay's plumbing: router, firewall, routing window.

#include <QLoggingCategory>

namespace corvala {

Q_DECLARE_LOGGING_CATEGORY(lcPortForwarding)  // corvala.portforwarding

}  // namespace corvala
