// The other side of a test's peer, in a process of its own so that the test
// can make it vanish without a word (SIGKILL). It answers the offer that
// comes over the wire (descriptor in argv[2]), sends a picture and a
// microphone, and sends a data-channel message every 100 ms, until it is
// killed or the wire ends.
#include "ProcessWire.h"

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace engine_test;

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  Wire wire(std::atoi(argv[2]));
  Engine& e = Engine::get();
  const rtc_handle audio = e.rtc_create_audio_module();
  const rtc_handle factory = e.rtc_create_factory(audio);
  const rtc_handle ice = e.rtc_create_iceservers();
  {
    FilledVideo video(160, 120, 15, 0x30);
    TestPeer peer(factory, ice, "remote");
    wirePeer(peer, wire, 0);
    peer.create(video.maker(/*withMicrophone=*/true)(e, factory));
    std::atomic<bool> stop{false};
    std::thread ticker([&] {
      for (int tick = 0; !stop; ++tick) {
        peer.send("tick " + std::to_string(tick));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    });
    int index;
    std::string kind, payload;
    while (wire.receive(index, kind, payload))
      if (index == 0) deliver(peer, kind, payload);
    stop = true;
    ticker.join();
    peer.close();
  }
  e.rtc_destroy_factory(factory);
  e.rtc_destroy_iceservers(ice);
  e.rtc_destroy_audio_module(audio);
  return 0;
}
