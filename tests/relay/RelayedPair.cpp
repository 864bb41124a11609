#include "RelayedPair.h"

#include <sstream>

namespace corvala::relay {
namespace {

bool isRelayed(const std::string& candidateLine) { return candidateLine.find(" typ relay") != std::string::npos; }

// Descriptions carry candidates too once gathering has run: keep the relayed ones only.
std::string withRelayedCandidatesOnly(const std::string& sdp) {
  std::istringstream in(sdp);
  std::string line, out;
  while (std::getline(in, line)) {
    if (line.rfind("a=candidate:", 0) == 0 && !isRelayed(line)) continue;
    out += line + "\n";
  }
  return out;
}

}  // namespace

RelayedPair::RelayedPair(const TurnAccount& turn, engine_test::StreamMaker makeA, engine_test::StreamMaker makeB)
    : engine(engine_test::Engine::get()) {
  audioA = engine.rtc_create_audio_module();
  audioB = engine.rtc_create_audio_module();
  factoryA = engine.rtc_create_factory(audioA);
  factoryB = engine.rtc_create_factory(audioB);
  iceA = engine.rtc_create_iceservers();
  iceB = engine.rtc_create_iceservers();
  if (!turn.url.empty()) {
    engine.rtc_add_iceserver(iceA, turn.url.c_str(), turn.user.c_str(), turn.password.c_str());
    engine.rtc_add_iceserver(iceB, turn.url.c_str(), turn.user.c_str(), turn.password.c_str());
  }
  a = std::make_unique<engine_test::TestPeer>(factoryA, iceA, "a");
  b = std::make_unique<engine_test::TestPeer>(factoryB, iceB, "b");
  if (turn.url.empty()) {
    a->connectTo(*b);
  } else {
    relayOnly(*a, *b);
    relayOnly(*b, *a);
  }
  a->create(makeA ? makeA(engine, factoryA) : 0);
  b->create(makeB ? makeB(engine, factoryB) : 0);
  a->offer();
}

void RelayedPair::relayOnly(engine_test::TestPeer& from, engine_test::TestPeer& to) {
  from.rewrite = withRelayedCandidatesOnly;
  from.onDescription = [&to](const std::string& type, const std::string& sdp) { to.applyRemote(type, sdp); };
  from.onLocalCandidate = [this, &to](const std::string& mid, int index, const std::string& line) {
    if (!isRelayed(line)) {
      ++withheldCandidates;
      return;
    }
    ++relayedCandidates;
    to.addRemoteCandidate(mid, index, line);
  };
}

RelayedPair::~RelayedPair() {
  a->close();
  b->close();
  engine.rtc_destroy_factory(factoryA);
  engine.rtc_destroy_factory(factoryB);
  engine.rtc_destroy_iceservers(iceA);
  engine.rtc_destroy_iceservers(iceB);
  engine.rtc_destroy_audio_module(audioA);
  engine.rtc_destroy_audio_module(audioB);
}

}  // namespace corvala::relay
