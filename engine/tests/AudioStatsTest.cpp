// Audio modules (devices, the silent fallback, a file as the microphone),
// muting, and the statistics path.
#include "StatsProbe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <unistd.h>

using namespace engine_test;
using namespace std::chrono_literals;

namespace {

// 60 s of a 1 kHz tone, 16-bit mono WAV: loud enough that Opus packets are
// far larger than its packets of silence.
std::string writeToneFile() {
  const std::string path = "/tmp/corvala-engine-tone-" + std::to_string(getpid()) + ".wav";
  const int rate = 16000, seconds = 60, samples = rate * seconds;
  FILE* f = std::fopen(path.c_str(), "wb");
  auto u32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };
  auto u16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, f); };
  std::fwrite("RIFF", 1, 4, f);
  u32(36 + samples * 2);
  std::fwrite("WAVEfmt ", 1, 8, f);
  u32(16); u16(1); u16(1); u32(rate); u32(rate * 2); u16(2); u16(16);
  std::fwrite("data", 1, 4, f);
  u32(samples * 2);
  for (int i = 0; i < samples; ++i) {
    const int16_t s = int16_t(12000 * std::sin(2 * M_PI * 1000.0 * i / rate));
    std::fwrite(&s, 2, 1, f);
  }
  std::fclose(f);
  return path;
}

// Average received audio payload per packet since the previous call.
class AudioMeter {
 public:
  AudioMeter(Engine& e, rtc_handle pc) : e_(e), pc_(pc) {}
  double bytesPerPacket() {
    const auto values = StatsProbe::collect(e_, pc_);
    const double bytes = StatsProbe::sum(values, "inbound-rtp", "bytes-received", "audio");
    const double packets = StatsProbe::sum(values, "inbound-rtp", "packets-received", "audio");
    const double result = packets > packets_ ? (bytes - bytes_) / (packets - packets_) : -1;
    bytes_ = bytes;
    packets_ = packets;
    return result;
  }

 private:
  Engine& e_;
  rtc_handle pc_;
  double bytes_ = 0, packets_ = 0;
};

rtc_handle audioStream(Engine& e, rtc_handle factory, rtc_handle* track) {
  const rtc_handle stream = e.rtc_create_stream(factory, "ARDAMS");
  *track = e.rtc_create_audiotrack(factory, "ARDAMSa0");
  e.rtc_add_audiotrack(stream, *track);
  return stream;
}

}  // namespace

TEST(Audio, DeviceListIsConsistent) {
  Engine& e = Engine::get();
  const rtc_handle module = e.rtc_create_audio_module();
  ASSERT_NE(module, 0u);
  const int count = e.rtc_audio_source_count(module);
  EXPECT_GE(count, 0);
  char name[RTC_NAME_BUFFER];
  for (int i = 0; i < count; ++i) {
    std::memset(name, 'x', sizeof name);
    e.rtc_audio_source_name(module, name, i);
    EXPECT_GT(std::strlen(name), 0u);
    EXPECT_LT(std::strlen(name), size_t(RTC_NAME_BUFFER));
  }
  std::memset(name, 'x', sizeof name);
  e.rtc_audio_source_name(module, name, count);
  EXPECT_STREQ(name, "");
  e.rtc_set_audio_source(module, count + 3);  // ignored
  e.rtc_set_audio_source(module, -1);
  e.rtc_destroy_audio_module(module);
  EXPECT_EQ(e.rtc_audio_source_count(module), 0);
  EXPECT_EQ(e.rtc_create_file_audio_module("/nonexistent/voice.wav"), 0u);
}

// The file plays as the microphone of peer a; peer b has no sound device
// here and falls back to a silent source and a null sink, and still sends.
// Muting a's track turns its packets into silence; unmuting brings the tone
// back.
TEST(Audio, FileMicrophoneMutesAndUnmutes) {
  Engine& e = Engine::get();
  const std::string tone = writeToneFile();
  const rtc_handle fileModule = e.rtc_create_file_audio_module(tone.c_str());
  ASSERT_NE(fileModule, 0u);
  rtc_handle trackA = 0, trackB = 0;
  const rtc_handle factoryA = e.rtc_create_factory(fileModule);
  {
    PeerPair pair([&](Engine& e, rtc_handle) { return audioStream(e, factoryA, &trackA); },
                  [&](Engine& e, rtc_handle factory) { return audioStream(e, factory, &trackB); }, false);
    // Peer a is rebuilt on the factory with the file module.
    pair.a->close();
    pair.a = std::make_unique<TestPeer>(factoryA, pair.iceA, "a");
    pair.a->connectTo(*pair.b);
    pair.a->create(audioStream(e, factoryA, &trackA));
    pair.a->offer();
    ASSERT_TRUE(pair.waitConnected());

    AudioMeter atB(e, pair.b->pc), atA(e, pair.a->pc);
    atB.bytesPerPacket();
    EXPECT_TRUE(pollUntil([&] { return atB.bytesPerPacket() > 20; })) << "tone not received";
    e.rtc_track_setstate(trackA, 0);
    EXPECT_TRUE(pollUntil([&] {
      std::this_thread::sleep_for(500ms);
      const double v = atB.bytesPerPacket();
      return v >= 0 && v < 10;
    })) << "muted track still sends sound";
    e.rtc_track_setstate(trackA, 1);
    EXPECT_TRUE(pollUntil([&] { return atB.bytesPerPacket() > 20; })) << "tone not back after unmute";
    // b's silent fallback source still produces a stream.
    EXPECT_TRUE(pollUntil([&] {
      return StatsProbe::sum(StatsProbe::collect(e, pair.a->pc), "inbound-rtp", "packets-received", "audio") > 10;
    }));
  }
  e.rtc_destroy_factory(factoryA);
  e.rtc_destroy_audio_module(fileModule);
  std::remove(tone.c_str());
}

// Every value comes through get_stats, then complete, in one clock and
// unit, the engine's own values included: real-time microseconds of the
// moment the reports were taken. With retransmission on, the descriptions
// carry NACK feedback for the video codec.
TEST(Stats, ValuesThenCompleteInOneClockAndNackNegotiated) {
  Engine& e = Engine::get();
  FilledVideo video(160, 120, 15, 0x80);
  PeerPair pair(video.maker());
  ASSERT_TRUE(pair.waitConnected());
  ASSERT_TRUE(pair.b->waitForFrames(3));
  const auto realTimeUs = [] {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch()).count();
  };
  const int64_t before = realTimeUs();
  const auto values = StatsProbe::collect(e, pair.b->pc);
  const int64_t after = realTimeUs();
  ASSERT_FALSE(values.empty());
  EXPECT_GT(StatsProbe::sum(values, "inbound-rtp", "packets-received", "video"), 0);
  std::set<std::string> types;
  for (const auto& v : values) {
    SCOPED_TRACE(v.type + " " + v.key);
    types.insert(v.type);
    EXPECT_FALSE(v.id.empty());
    EXPECT_FALSE(v.type.empty());
    EXPECT_GE(v.timestamp, before);
    EXPECT_LE(v.timestamp, after);
    EXPECT_EQ(v.timestamp, values.front().timestamp);
  }
  // webrtcbin's reports and the engine's own codec report both.
  EXPECT_TRUE(types.count("inbound-rtp"));
  EXPECT_TRUE(types.count("codec"));
  char type[RTC_TEXT_BUFFER], sdp[RTC_TEXT_BUFFER];
  for (TestPeer* peer : {pair.a.get(), pair.b.get()}) {
    e.rtc_get_pc_sdp(peer->pc, 1, type, sdp);
    EXPECT_NE(std::string(sdp).find("a=rtcp-fb:96 nack\r\n"), std::string::npos) << sdp;
  }
}

// Browsers (libwebrtc) refuse an audio line that writes Opus without its
// channel count, or that carries a retransmission stream, and then drop the
// audio. The offer is made before the encoder's caps are known (a peer
// without a microphone track never has them), so the engine must write both
// rules itself, in the offer and in the answer.
TEST(Stats, AudioLinesAreWrittenAsBrowsersAcceptThem) {
  Engine& e = Engine::get();
  struct Case {
    const char* name;
    bool offererSendsAudio;
  } cases[] = {{"offerer without audio track", false}, {"offerer with audio track", true}};
  for (const Case& c : cases) {
    PeerPair pair([&](Engine& e, rtc_handle factory) {
      if (!c.offererSendsAudio) return rtc_handle(0);
      const rtc_handle stream = e.rtc_create_stream(factory, "ARDAMS");
      e.rtc_add_audiotrack(stream, e.rtc_create_audiotrack(factory, "ARDAMSa0"));
      return stream;
    });
    ASSERT_TRUE(pair.waitConnected()) << c.name;
    char type[RTC_TEXT_BUFFER], sdp[RTC_TEXT_BUFFER];
    for (TestPeer* peer : {pair.a.get(), pair.b.get()}) {
      e.rtc_get_pc_sdp(peer->pc, 1, type, sdp);
      const std::string text = sdp;
      const auto at = text.find("m=audio");
      ASSERT_NE(at, std::string::npos) << c.name << "\n" << text;
      const std::string audio = text.substr(at, text.find("m=", at + 2) - at);
      EXPECT_NE(audio.find("a=rtpmap:111 OPUS/48000/2\r\n"), std::string::npos) << c.name << " " << type << "\n" << audio;
      EXPECT_EQ(audio.find("rtx/"), std::string::npos) << c.name << " " << type << "\n" << audio;
    }
  }
}

// In a bundled session webrtcbin calls every received stream "video"; the
// engine's statistics name each by what it carries, so audio that arrives
// is counted as audio.
TEST(Stats, InboundStreamsNamedByTheirKind) {
  Engine& e = Engine::get();
  FilledVideo video(160, 120, 15, 0x60);
  PeerPair pair(video.maker(/*withMicrophone=*/true));
  ASSERT_TRUE(pair.waitConnected());
  ASSERT_TRUE(pair.b->waitForFrames(3));
  EXPECT_TRUE(pollUntil([&] {
    const auto values = StatsProbe::collect(e, pair.b->pc);
    return StatsProbe::sum(values, "inbound-rtp", "packets-received", "audio") > 0 &&
           StatsProbe::sum(values, "inbound-rtp", "packets-received", "video") > 0;
  }));
}
