#pragma once
// This host's LAN address when the router cannot tell it: the first IPv4
// address of the interface that carries the default route.

#include <QString>

namespace corvala {

// The interface named by the default route in a /proc/net/route table, or
// empty when there is none.
QString DefaultRouteInterface(const QString& routeTable);

// Read anew on each call: addresses change while the program runs. Falls
// back to the first IPv4 address of any interface that is up; empty when
// there is none.
QString DefaultLanAddress();

}  // namespace corvala
