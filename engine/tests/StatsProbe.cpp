#include "StatsProbe.h"

#include <cstdlib>

namespace engine_test {

namespace {
struct Collector {
  static void value(void* arg, const char* id, int64_t ts, const char* type, const char* key, const char* v) {
    auto* self = static_cast<Collector*>(arg);
    std::lock_guard lock(self->wait.mutex);
    self->values.push_back({id, type, key, v, ts});
  }
  static void complete(void* arg) {
    auto* self = static_cast<Collector*>(arg);
    {
      std::lock_guard lock(self->wait.mutex);
      self->done = true;
    }
    self->wait.notify();
  }
  Waiter wait;
  std::vector<StatValue> values;
  bool done = false;
};
}  // namespace

std::vector<StatValue> StatsProbe::collect(Engine& engine, rtc_handle pc) {
  auto collector = std::make_shared<Collector>();
  // Kept alive beyond a time-out: the engine may still answer later.
  static std::vector<std::shared_ptr<Collector>> keep;
  keep.push_back(collector);
  StatsCallback callback{collector.get(), Collector::value, Collector::complete};
  engine.rtc_get_stats(pc, &callback);
  if (!collector->wait.waitFor([&] { return collector->done; })) return {};
  std::lock_guard lock(collector->wait.mutex);
  return collector->values;
}

double StatsProbe::sum(const std::vector<StatValue>& values, const std::string& type, const std::string& key,
                       const std::string& media) {
  // Reports are grouped by id; a report's media comes from its "kind" or
  // "media-type" value when present.
  std::map<std::string, std::string> mediaOf;
  for (const auto& v : values)
    if (v.key == "kind" || v.key == "media-type") mediaOf[v.id] = v.value;
  double total = 0;
  for (const auto& v : values)
    if (v.type == type && v.key == key && (media.empty() || mediaOf[v.id] == media))
      total += std::strtod(v.value.c_str(), nullptr);
  return total;
}

}  // namespace engine_test
