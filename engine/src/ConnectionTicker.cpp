#include "ConnectionTicker.h"

#include "PeerConnection.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace corvala::engine {

namespace {
std::mutex watchedMutex;
std::vector<std::weak_ptr<PeerConnection>>* watched = nullptr;
}  // namespace

void ConnectionTicker::watch(std::weak_ptr<PeerConnection> pc) {
  std::lock_guard lock(watchedMutex);
  if (!watched) {
    watched = new std::vector<std::weak_ptr<PeerConnection>>;
    std::thread([] {
      for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        std::vector<std::shared_ptr<PeerConnection>> live;
        {
          std::lock_guard lock(watchedMutex);
          auto& list = *watched;
          list.erase(std::remove_if(list.begin(), list.end(), [](const auto& w) { return w.expired(); }),
                     list.end());
          for (auto& w : list)
            if (auto p = w.lock()) live.push_back(p);
        }
        for (auto& p : live) p->tick();
      }
    }).detach();
  }
  watched->push_back(std::move(pc));
}

}  // namespace corvala::engine
