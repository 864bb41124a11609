// The engine against a real browser: Debian's Chromium, headless, in the
// test's loopback-only network. A page served by a small HTTP server inside
// the test is the browser's half; descriptions and candidates travel over
// that server. Each case runs one session in one direction (the engine
// offers and the browser answers, or the other way round) with one codec
// preference (none, which means VP8, or the program's rewriting preferring
// H.264), and checks:
//  - data channels both ways on "DataChannel": text, binary, a 65,536-byte
//    record, byte for byte;
//  - the engine's picture in the browser at its size and colours;
//  - Opus audio from the engine decoded in the browser;
//  - when the browser offers, its picture and tone reaching the engine (an
//    answering engine must take the offer's payload types and announce its
//    SSRC, or the browser shows nothing).
#include "EngineHarness.h"
#include "HeadlessBrowser.h"
#include "StatsProbe.h"
#include "media/SdpRewriting.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace engine_test;
using namespace std::chrono_literals;
using json = nlohmann::json;

namespace {

std::string fnv1a(const std::string& bytes) {
  uint32_t h = 0x811c9dc5u;
  for (unsigned char b : bytes) {
    h ^= b;
    h *= 0x01000193u;
  }
  std::ostringstream text;
  text << std::hex << h;
  return text.str();
}

std::string pattern(size_t size, int factor) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = char((i * size_t(factor)) & 255);
  return bytes;
}

// The page, its signalling and its reports over loopback HTTP.
class PageServer {
 public:
  PageServer() {
    std::ifstream file(CORVALA_INTEROP_PAGE);
    std::stringstream page;
    page << file.rdbuf();
    page_ = page.str();
    server_.Get("/", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content(page_, "text/html");
    });
    server_.Get("/poll", [this](const httplib::Request&, httplib::Response& response) {
      json messages = json::array();
      {
        std::lock_guard lock(waiter_.mutex);
        while (!toPage_.empty()) {
          messages.push_back(toPage_.front());
          toPage_.pop_front();
        }
      }
      response.set_content(messages.dump(), "application/json");
    });
    server_.Post("/signal", [this](const httplib::Request& request, httplib::Response&) {
      const json message = json::parse(request.body, nullptr, false);
      if (message.is_discarded()) return;
      std::lock_guard lock(waiter_.mutex);
      fromPage_.push_back(message);
      waiter_.notify();
    });
    server_.Post("/report", [this](const httplib::Request& request, httplib::Response&) {
      const json report = json::parse(request.body, nullptr, false);
      if (report.is_discarded()) return;
      std::lock_guard lock(waiter_.mutex);
      reports_.push_back(report);
      waiter_.notify();
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~PageServer() {
    server_.stop();
    thread_.join();
  }

  std::string url(const std::string& role) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/?role=" + role;
  }
  bool pageFound() const { return !page_.empty(); }

  void toPage(json message) {
    std::lock_guard lock(waiter_.mutex);
    toPage_.push_back(std::move(message));
  }
  // Takes the next signalling message of the page, waiting for it.
  bool nextFromPage(json& message, std::chrono::milliseconds limit) {
    std::unique_lock lock(waiter_.mutex);
    if (!waiter_.cv.wait_for(lock, limit, [&] { return !fromPage_.empty(); })) return false;
    message = fromPage_.front();
    fromPage_.pop_front();
    return true;
  }
  // Waits until `count` reports of the event exist; returns them.
  std::vector<json> waitForReports(const std::string& event, size_t count, std::chrono::milliseconds limit) {
    std::vector<json> found;
    waiter_.waitFor(
        [&] {
          found.clear();
          for (const json& r : reports_)
            if (r.value("event", "") == event) found.push_back(r);
          return found.size() >= count;
        },
        limit);
    return found;
  }
  std::string allReports() {
    std::lock_guard lock(waiter_.mutex);
    std::string text;
    for (const json& r : reports_) text += r.dump() + "\n";
    return text;
  }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::string page_;
  Waiter waiter_;
  std::deque<json> toPage_, fromPage_;
  std::vector<json> reports_;
};

// The engine's picture: left half red, right half blue, a green bar across
// the top quarter.
struct EnginePicture {
  static int frame(void*, uint8_t* pixels, int width, int height) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        uint8_t* p = pixels + (size_t(y) * width + x) * 4;
        const bool top = y < height / 4, left = x < width / 2;
        p[0] = top ? 0 : (left ? 0 : 255);
        p[1] = top ? 255 : 0;
        p[2] = top ? 0 : (left ? 255 : 0);
        p[3] = 0;
      }
    return 1;
  }
};

bool nearRgb(const json& sample, int r, int g, int b) {
  if (!sample.is_array() || sample.size() != 3) return false;
  return std::abs(sample[0].get<int>() - r) < 60 && std::abs(sample[1].get<int>() - g) < 60 &&
         std::abs(sample[2].get<int>() - b) < 60;
}

std::string codecOf(Engine& e, rtc_handle pc, const std::string& id) {
  for (const auto& v : StatsProbe::collect(e, pc))
    if (v.id == id && v.type == "codec" && v.key == "mime-type") return v.value;
  return "";
}

struct Case {
  bool engineOffers;
  bool preferH264;
};

std::string caseName(const testing::TestParamInfo<Case>& info) {
  return std::string(info.param.engineOffers ? "EngineOffers" : "BrowserOffers") +
         (info.param.preferH264 ? "H264" : "Vp8");
}

class BrowserInterop : public testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(HeadlessBrowser::executable().empty()) << "chromium is not installed (scripts/install-deps.sh)";
    ASSERT_TRUE(server_.pageFound()) << CORVALA_INTEROP_PAGE;
    char dir[] = "/tmp/engine-interop-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    workDir_ = dir;
  }
  void TearDown() override {
    if (HasFailure()) std::printf("page reports:\n%s\n", server_.allReports().c_str());
    std::error_code ignored;
    if (!workDir_.empty()) std::filesystem::remove_all(workDir_, ignored);
  }

  PageServer server_;
  std::string workDir_;
};

TEST_P(BrowserInterop, DataVideoAndAudioBothWays) {
  const Case c = GetParam();
  Engine& e = Engine::get();
  const rtc_handle audio = e.rtc_create_audio_module();
  const rtc_handle factory = e.rtc_create_factory(audio);
  const rtc_handle ice = e.rtc_create_iceservers();  // host candidates only
  VirtualCaptureCallback capture{nullptr, nullptr, EnginePicture::frame, nullptr};
  const rtc_handle source = e.rtc_create_virtual_source(640, 360, 30, &capture);
  const rtc_handle stream = e.rtc_create_stream(factory, "ARDAMS");
  e.rtc_add_videotrack(stream, e.rtc_create_videotrack(factory, source, "ARDAMSv0"));
  e.rtc_add_audiotrack(stream, e.rtc_create_audiotrack(factory, "ARDAMSa0"));
  {
    TestPeer peer(factory, ice, "engine");
    if (c.preferH264)
      peer.rewrite = [](const std::string& sdp) { return corvala::PreferCodec(sdp, "H264", false); };
    peer.onDescription = [&](const std::string& type, const std::string& sdp) {
      server_.toPage({{"type", type}, {"sdp", sdp}});
    };
    peer.onLocalCandidate = [&](const std::string& mid, int index, const std::string& line) {
      server_.toPage({{"type", "candidate"}, {"mid", mid}, {"index", index}, {"candidate", line}});
    };
    peer.create(stream);
    if (c.engineOffers) peer.offer();
    HeadlessBrowser browser(server_.url(c.engineOffers ? "answer" : "offer"), workDir_);
    ASSERT_TRUE(browser.running());

    // Signalling from the page until both data channels are open.
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (!peer.remoteChannel && std::chrono::steady_clock::now() < end) {
      json message;
      if (!server_.nextFromPage(message, 200ms)) continue;
      const std::string type = message.value("type", "");
      if (type == "candidate")
        peer.addRemoteCandidate(message.value("mid", ""), message.value("index", 0), message.value("candidate", ""));
      else
        peer.applyRemote(type, message.value("sdp", ""));
    }
    ASSERT_TRUE(peer.remoteChannel) << "no channel from the browser\n" << browser.log();
    ASSERT_EQ(server_.waitForReports("channel", 1, 60s).at(0).value("label", ""), "DataChannel");

    // Data: the engine's three records arrive whole in the browser...
    const std::vector<std::string> sent = {"HELLO FROM ENGINE", pattern(300, 5), pattern(65536, 11)};
    for (const auto& bytes : sent) peer.send(bytes);
    const auto received = server_.waitForReports("message", sent.size(), 60s);
    ASSERT_EQ(received.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
      EXPECT_EQ(received[i].value("label", ""), "DataChannel");
      EXPECT_EQ(received[i].value("size", 0u), sent[i].size()) << i;
      EXPECT_EQ(received[i].value("hash", ""), fnv1a(sent[i])) << i;
    }
    // ...and the browser's arrive whole in the engine.
    ASSERT_TRUE(peer.waitForMessages(3, 60s));
    const auto messages = peer.messages();
    EXPECT_EQ(messages.at(0), "HELLO FROM BROWSER");
    EXPECT_EQ(messages.at(1), pattern(300, 7));
    EXPECT_EQ(messages.at(2), pattern(65536, 13));

    // The engine's picture in the browser.
    const auto video = server_.waitForReports("video", 1, 60s);
    ASSERT_EQ(video.size(), 1u) << browser.log();
    EXPECT_EQ(video[0].value("width", 0), 640);
    EXPECT_EQ(video[0].value("height", 0), 360);
    EXPECT_TRUE(nearRgb(video[0]["left"], 255, 0, 0)) << video[0].dump();
    EXPECT_TRUE(nearRgb(video[0]["right"], 0, 0, 255)) << video[0].dump();
    EXPECT_TRUE(nearRgb(video[0]["top"], 0, 255, 0)) << video[0].dump();

    // Codecs as the browser decodes them; Opus audio flows.
    const std::string wantVideo = c.preferH264 ? "video/H264" : "video/VP8";
    const auto codecs = server_.waitForReports("codecs", 1, 60s);
    ASSERT_EQ(codecs.size(), 1u);
    EXPECT_EQ(codecs[0].value("video", ""), wantVideo);
    // The codec name keeps the case the description wrote it in.
    EXPECT_STRCASEEQ(codecs[0].value("audio", "").c_str(), "audio/opus");
    EXPECT_GT(codecs[0].value("audioPackets", 0), 0) << "engine sent "
        << StatsProbe::sum(StatsProbe::collect(e, peer.pc), "outbound-rtp", "packets-sent", "audio") << " audio packets";
    EXPECT_EQ(codecOf(e, peer.pc, "codec-video-send"), wantVideo);

    if (!c.engineOffers) {
      // The browser's picture (left green, right red) and tone in the engine.
      EXPECT_EQ(codecs[0].value("sentVideo", ""), wantVideo);
      ASSERT_TRUE(peer.waitForFrames(5, 60s))
          << "frames " << peer.frameCount() << ", receiving " << codecOf(e, peer.pc, "codec-video-receive") << ", "
          << StatsProbe::sum(StatsProbe::collect(e, peer.pc), "inbound-rtp", "packets-received", "video")
          << " video packets, stream " << peer.remoteStream;
      const Frame frame = peer.lastFrame();
      ASSERT_EQ(frame.width, 320);
      ASSERT_EQ(frame.height, 240);
      auto bgr = [&](int x, int y) {
        const uint8_t* p = frame.pixels.data() + (size_t(y) * frame.width + x) * 4;
        return json::array({p[2], p[1], p[0]});
      };
      EXPECT_TRUE(nearRgb(bgr(80, 120), 0, 255, 0)) << bgr(80, 120).dump();
      EXPECT_TRUE(nearRgb(bgr(240, 120), 255, 0, 0)) << bgr(240, 120).dump();
      EXPECT_EQ(codecOf(e, peer.pc, "codec-video-receive"), wantVideo);
      EXPECT_TRUE(pollUntil([&] {
        return StatsProbe::sum(StatsProbe::collect(e, peer.pc), "inbound-rtp", "packets-received", "audio") > 0;
      }));
      if (HasFailure())
        for (const auto& v : StatsProbe::collect(e, peer.pc))
          if (v.type == "inbound-rtp" || v.type == "codec")
            std::printf("%s %s %s=%s\n", v.id.c_str(), v.type.c_str(), v.key.c_str(), v.value.c_str());
    }
    peer.close();
  }
  e.rtc_destroy_factory(factory);
  e.rtc_destroy_source(source);
  e.rtc_destroy_iceservers(ice);
  e.rtc_destroy_audio_module(audio);
}

INSTANTIATE_TEST_SUITE_P(Chromium, BrowserInterop,
                         testing::Values(Case{true, false}, Case{true, true}, Case{false, false}, Case{false, true}),
                         caseName);

}  // namespace
