#pragma once
// The ICE servers the peer-connection component starts with.

#include <QString>
#include <optional>

#include "media/WebrtcClientVcl.h"

namespace corvala {

// The two public STUN servers, or the list in `environmentValue` (the
// variable CORVALA_ICE_SERVERS) when it is set: URLs separated by commas or
// white space; an empty value means no server at all (tests, closed networks).
TIceServers DefaultIceServers(const std::optional<QString>& environmentValue);

// CORVALA_ICE_SERVERS when set (even empty), else nothing.
std::optional<QString> IceServersFromEnvironment();

}  // namespace corvala
