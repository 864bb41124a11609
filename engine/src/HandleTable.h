// The table behind every rtc_handle: 32-bit numbers that are never reused,
// so a stale handle simply finds nothing instead of someone else's object.
#pragma once

#include "rtc.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace corvala::engine {

class EngineObject {
 public:
  virtual ~EngineObject() = default;
};

class HandleTable {
 public:
  rtc_handle add(std::shared_ptr<EngineObject> object);
  std::shared_ptr<EngineObject> find(rtc_handle handle) const;
  std::shared_ptr<EngineObject> remove(rtc_handle handle);
  size_t size() const;

  template <class T>
  std::shared_ptr<T> get(rtc_handle handle) const {
    return std::dynamic_pointer_cast<T>(find(handle));
  }

 private:
  mutable std::mutex mutex_;
  std::unordered_map<rtc_handle, std::shared_ptr<EngineObject>> objects_;
  rtc_handle next_ = 1;
};

HandleTable& handles();

}  // namespace corvala::engine
