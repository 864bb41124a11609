#include "HandleTable.h"

namespace corvala::engine {

rtc_handle HandleTable::add(std::shared_ptr<EngineObject> object) {
  if (!object) return 0;
  std::lock_guard lock(mutex_);
  rtc_handle handle = next_++;
  while (handle == 0 || objects_.count(handle)) handle = next_++;
  objects_.emplace(handle, std::move(object));
  return handle;
}

std::shared_ptr<EngineObject> HandleTable::find(rtc_handle handle) const {
  if (handle == 0) return nullptr;
  std::lock_guard lock(mutex_);
  auto it = objects_.find(handle);
  return it == objects_.end() ? nullptr : it->second;
}

std::shared_ptr<EngineObject> HandleTable::remove(rtc_handle handle) {
  if (handle == 0) return nullptr;
  std::shared_ptr<EngineObject> removed;
  {
    std::lock_guard lock(mutex_);
    auto it = objects_.find(handle);
    if (it == objects_.end()) return nullptr;
    removed = std::move(it->second);
    objects_.erase(it);
  }
  return removed;  // destroyed by the caller, outside the table's lock
}

size_t HandleTable::size() const {
  std::lock_guard lock(mutex_);
  return objects_.size();
}

HandleTable& handles() {
  // Never destroyed: objects in it may still be referenced by threads that
  // outlive static destruction at process exit.
  static auto* table = new HandleTable;
  return *table;
}

}  // namespace corvala::engine
