#include "EngineHarness.h"

#include <dlfcn.h>

#include <future>
#include <memory>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace engine_test {

bool returnsInTime(std::function<void()> action, std::chrono::seconds limit) {
  auto done = std::make_shared<std::promise<void>>();
  auto future = done->get_future();
  std::thread([action, done] {
    action();
    done->set_value();
  }).detach();
  return future.wait_for(limit) == std::future_status::ready;
}

Engine& Engine::get() {
  static Engine* engine = [] {
    auto* e = new Engine;
    const char* dir = std::getenv("CORVALA_BIN_DIR");
    const std::string path = std::string(dir ? dir : ".") + "/rt.so";
    e->library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!e->library) throw std::runtime_error(std::string("Can not load ") + path + ": " + dlerror());
#define CORVALA_ENGINE_RESOLVE(name)                                                   \
  e->name = reinterpret_cast<decltype(e->name)>(dlsym(e->library, #name));             \
  if (!e->name) throw std::runtime_error("Load " #name " failed!");
    RTC_FOR_EACH_ENTRY_POINT(CORVALA_ENGINE_RESOLVE)
#undef CORVALA_ENGINE_RESOLVE
    e->rtc_init();
    e->rtc_set_debug_level(2);
    return e;
  }();
  return *engine;
}

TestPeer::TestPeer(rtc_handle factory, rtc_handle iceServers, std::string name)
    : engine(Engine::get()), name(std::move(name)), factory(factory), iceServers(iceServers) {
  pcCallback_ = {this, onAddStream, onRemoveStream, onOpenChannel, onIceState, onCandidate, nullptr};
  sdpCallback_ = {this, onCreateSdp, onSetSdp};
  dcCallback_ = {this, onReceive};
  renderer_ = {this, onSetSize, onRenderFrame};
}

TestPeer::~TestPeer() { close(); }

void TestPeer::create(rtc_handle stream) {
  pc = engine.rtc_create_peerconnection(factory, iceServers, &pcCallback_);
  channel = engine.rtc_create_datachannel(pc, "DataChannel", &dcCallback_);
  if (stream) engine.rtc_add_stream(pc, stream);
}

void TestPeer::connectTo(TestPeer& other) {
  other_ = &other;
  other.other_ = this;
}

void TestPeer::offer() { engine.rtc_create_offer(pc, &sdpCallback_); }

void TestPeer::applyRemote(const std::string& type, const std::string& sdp) {
  const std::string text = rewrite ? rewrite(sdp) : sdp;
  engine.rtc_set_sdp(pc, engine.rtc_create_sdp(type.c_str(), text.c_str()), 0, &sdpCallback_);
  if (type == "offer") engine.rtc_create_answer(pc, &sdpCallback_);
}

void TestPeer::addRemoteCandidate(const std::string& mid, int index, const std::string& line) {
  engine.rtc_add_candidate(pc, engine.rtc_create_candidate(mid.c_str(), index, line.c_str()));
}

void TestPeer::send(const std::string& bytes) {
  engine.rtc_send_data(channel, bytes.data(), int(bytes.size()));
}

void TestPeer::observeRemoteChannel() { engine.rtc_datachannel_observe(remoteChannel, &dcCallback_); }

void TestPeer::close() {
  if (pc) engine.rtc_close(pc);
  pc = 0;
}

// ---- callbacks (the engine's dispatch threads: messages on one, the rest on the other)

void TestPeer::onAddStream(void* arg, rtc_handle stream) {
  auto* self = static_cast<TestPeer*>(arg);
  self->remoteStream = stream;
  const rtc_handle video = self->engine.rtc_get_videotrack(stream, RTC_TRACK_VIDEO);
  if (video && self->renderRemoteVideo) self->engine.rtc_add_renderer(video, &self->renderer_);
  self->waiter_.notify();
}

void TestPeer::onRemoveStream(void* arg, rtc_handle) {
  auto* self = static_cast<TestPeer*>(arg);
  ++self->removals;
  self->waiter_.notify();
}

void TestPeer::onOpenChannel(void* arg, rtc_handle channel) {
  auto* self = static_cast<TestPeer*>(arg);
  if (self->observeRemoteChannels) self->engine.rtc_datachannel_observe(channel, &self->dcCallback_);
  self->remoteChannel = channel;
  self->waiter_.notify();
}

void TestPeer::onIceState(void* arg, int state) {
  auto* self = static_cast<TestPeer*>(arg);
  self->iceState = state;
  self->waiter_.notify();
}

void TestPeer::onCandidate(void* arg, rtc_handle candidate) {
  auto* self = static_cast<TestPeer*>(arg);
  int index = -1;
  std::string mid(RTC_TEXT_BUFFER, '\0'), line(RTC_TEXT_BUFFER, '\0');
  self->engine.rtc_get_candidate(candidate, &index, mid.data(), line.data());
  ++self->candidatesSent;
  if (self->onLocalCandidate) self->onLocalCandidate(mid.c_str(), index, line.c_str());
  TestPeer* other = self->other_;
  if (!other || !other->pc) return;
  const rtc_handle copy = other->engine.rtc_create_candidate(mid.c_str(), index, line.c_str());
  other->engine.rtc_add_candidate(other->pc, copy);
}

void TestPeer::onCreateSdp(void* arg, rtc_handle description, int error) {
  auto* self = static_cast<TestPeer*>(arg);
  if (error) {
    std::fprintf(stderr, "%s: description not made\n", self->name.c_str());
    return;
  }
  self->engine.rtc_set_sdp(self->pc, description, 1, &self->sdpCallback_);
  std::string type(RTC_TEXT_BUFFER, '\0'), text(RTC_TEXT_BUFFER, '\0');
  self->engine.rtc_get_sdp(description, type.data(), text.data());
  std::string sent = text.c_str();
  if (self->onDescription) self->onDescription(type.c_str(), self->rewrite ? self->rewrite(sent) : sent);
  TestPeer* other = self->other_;
  if (!other || !other->pc) return;
  if (self->rewrite) sent = self->rewrite(sent);
  if (other->rewrite) sent = other->rewrite(sent);
  const rtc_handle copy = other->engine.rtc_create_sdp(type.c_str(), sent.c_str());
  other->engine.rtc_set_sdp(other->pc, copy, 0, &other->sdpCallback_);
  if (std::string(type.c_str()) == "offer") other->engine.rtc_create_answer(other->pc, &other->sdpCallback_);
}

void TestPeer::onSetSdp(void*, int error) {
  if (error) std::fprintf(stderr, "description not applied\n");
}

void TestPeer::onReceive(void* arg, const uint8_t* data, int size) {
  auto* self = static_cast<TestPeer*>(arg);
  std::string message(reinterpret_cast<const char*>(data), size_t(size));
  if (self->onMessage) self->onMessage(message);
  {
    std::lock_guard lock(self->waiter_.mutex);
    if (self->keepMessages)
      self->messages_.push_back(std::move(message));
    else
      ++self->dropped_;
  }
  self->waiter_.notify();
}

void TestPeer::onSetSize(void* arg, int width, int height) {
  auto* self = static_cast<TestPeer*>(arg);
  std::lock_guard lock(self->waiter_.mutex);
  self->width_ = width;
  self->height_ = height;
  ++self->sizeCalls_;
}

void TestPeer::onRenderFrame(void* arg, const uint8_t* pixels) {
  auto* self = static_cast<TestPeer*>(arg);
  if (self->onFrame) self->onFrame();
  {
    std::lock_guard lock(self->waiter_.mutex);
    if (self->sizeCalls_ == 0) {
      self->frameBeforeSize_ = true;
    } else {
      if (self->onPixels) self->onPixels(pixels, self->width_, self->height_);
      self->last_.width = self->width_;
      self->last_.height = self->height_;
      self->last_.pixels.assign(pixels, pixels + size_t(self->width_) * self->height_ * 4);
    }
    ++self->frames_;
  }
  self->waiter_.notify();
}

// ---- queries --------------------------------------------------------------

std::vector<std::string> TestPeer::messages() {
  std::lock_guard lock(waiter_.mutex);
  return messages_;
}

size_t TestPeer::messageCount() {
  std::lock_guard lock(waiter_.mutex);
  return messages_.size() + dropped_;
}

bool TestPeer::waitForMessages(size_t count, std::chrono::milliseconds limit) {
  return waiter_.waitFor([&] { return messages_.size() + dropped_ >= count; }, limit);
}

bool TestPeer::waitForRemoteChannel() {
  return waiter_.waitFor([&] { return remoteChannel.load() != 0; });
}

bool TestPeer::waitForRemoval(std::chrono::milliseconds limit) {
  return waiter_.waitFor([&] { return removals.load() > 0; }, limit);
}

bool TestPeer::waitForFrames(int count, std::chrono::milliseconds limit) {
  return waiter_.waitFor([&] { return frames_ >= count; }, limit);
}

Frame TestPeer::lastFrame() {
  std::lock_guard lock(waiter_.mutex);
  return last_;
}

int TestPeer::frameCount() {
  std::lock_guard lock(waiter_.mutex);
  return frames_;
}

int TestPeer::sizeAnnouncements() {
  std::lock_guard lock(waiter_.mutex);
  return sizeCalls_;
}

bool TestPeer::sizeAnnouncedBeforeFirstFrame() {
  std::lock_guard lock(waiter_.mutex);
  return !frameBeforeSize_;
}

// ---- pair -----------------------------------------------------------------

PeerPair::PeerPair(StreamMaker makeA, StreamMaker makeB, bool start) : engine(Engine::get()) {
  audioA = engine.rtc_create_audio_module();
  audioB = engine.rtc_create_audio_module();
  factoryA = engine.rtc_create_factory(audioA);
  factoryB = engine.rtc_create_factory(audioB);
  iceA = engine.rtc_create_iceservers();  // empty: host candidates only
  iceB = engine.rtc_create_iceservers();
  a = std::make_unique<TestPeer>(factoryA, iceA, "a");
  b = std::make_unique<TestPeer>(factoryB, iceB, "b");
  a->connectTo(*b);
  a->create(makeA ? makeA(engine, factoryA) : 0);
  b->create(makeB ? makeB(engine, factoryB) : 0);
  if (start) a->offer();
}

PeerPair::~PeerPair() {
  a->close();
  b->close();
  engine.rtc_destroy_factory(factoryA);
  engine.rtc_destroy_factory(factoryB);
  engine.rtc_destroy_iceservers(iceA);
  engine.rtc_destroy_iceservers(iceB);
  engine.rtc_destroy_audio_module(audioA);
  engine.rtc_destroy_audio_module(audioB);
}

bool PeerPair::waitConnected() { return a->waitForRemoteChannel() && b->waitForRemoteChannel(); }

FilledVideo::FilledVideo(int width, int height, int fps, uint8_t fill)
    : width_(width), height_(height), fps_(fps), fill_(fill) {
  capture_ = VirtualCaptureCallback{this, nullptr, &FilledVideo::frame, nullptr};
}

FilledVideo::~FilledVideo() {
  if (source_) Engine::get().rtc_destroy_source(source_);
}

int FilledVideo::frame(void* arg, uint8_t* pixels, int width, int height) {
  std::memset(pixels, static_cast<FilledVideo*>(arg)->fill_, size_t(width) * height * 4);
  return 1;
}

StreamMaker FilledVideo::maker(bool withMicrophone) {
  return [this, withMicrophone](Engine& e, rtc_handle factory) {
    source_ = e.rtc_create_virtual_source(width_, height_, fps_, &capture_);
    const rtc_handle stream = e.rtc_create_stream(factory, "ARDAMS");
    e.rtc_add_videotrack(stream, e.rtc_create_videotrack(factory, source_, "ARDAMSv0"));
    if (withMicrophone) e.rtc_add_audiotrack(stream, e.rtc_create_audiotrack(factory, "ARDAMSa0"));
    return stream;
  };
}

}  // namespace engine_test
