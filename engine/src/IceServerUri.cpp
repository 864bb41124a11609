#include "IceServerUri.h"

#include <glib.h>

namespace corvala::engine {

namespace {
std::string escaped(const std::string& text) {
  gchar* e = g_uri_escape_string(text.c_str(), nullptr, FALSE);
  std::string out(e);
  g_free(e);
  return out;
}
}  // namespace

std::string iceServerUri(const std::string& url, const std::string& user, const std::string& password,
                         bool& isTurn) {
  isTurn = false;
  const auto colon = url.find(':');
  if (colon == std::string::npos) return {};
  const std::string scheme = url.substr(0, colon);
  if (scheme != "stun" && scheme != "stuns" && scheme != "turn" && scheme != "turns") return {};
  std::string rest = url.substr(colon + 1);
  while (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
  std::string query;
  if (auto q = rest.find('?'); q != std::string::npos) {
    query = rest.substr(q);
    rest.erase(q);
  }
  if (rest.empty() || rest.find('@') != std::string::npos) return {};
  // A port is a colon after the host (after the "]" of an IPv6 address).
  const auto bracket = rest.rfind(']');
  const auto portColon = rest.rfind(':');
  const bool hasPort = portColon != std::string::npos && (bracket == std::string::npos || portColon > bracket);
  if (!hasPort) rest += scheme == "turns" || scheme == "stuns" ? ":5349" : ":3478";
  isTurn = scheme == "turn" || scheme == "turns";
  if (!isTurn) return scheme + "://" + rest;
  return scheme + "://" + escaped(user) + ":" + escaped(password) + "@" + rest + query;
}

}  // namespace corvala::engine
