// Collects one rtc_get_stats answer (all values, then complete).
#pragma once

#include "EngineHarness.h"

#include <map>
#include <string>
#include <vector>

namespace engine_test {

struct StatValue {
  std::string id, type, key, value;
  int64_t timestamp;
};

class StatsProbe {
 public:
  // Empty when no answer came in time.
  static std::vector<StatValue> collect(Engine& engine, rtc_handle pc);
  // Sum of one numeric key over the reports of one type whose "kind"-like
  // value (media type) matches, e.g. ("inbound-rtp", "bytes-received", "audio").
  static double sum(const std::vector<StatValue>& values, const std::string& type, const std::string& key,
                    const std::string& media = "");
};

}  // namespace engine_test
