#include "BareWebrtcbin.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace bench {

struct BareWebrtcbinPair::State {
  GstElement* sender = nullptr;  // pipeline
  GstElement* receiver = nullptr;
  GstElement* offerer = nullptr;  // the webrtcbin elements
  GstElement* answerer = nullptr;
  GstWebRTCDataChannel* channel = nullptr;   // the offerer's
  GstWebRTCDataChannel* incoming = nullptr;  // the answerer's end of it
  std::mutex mutex;
  std::condition_variable changed;
  size_t acks = 0;
  std::atomic<int> frames{0};
  Painter painter;
  int width = 0, height = 0, fps = 0;
  std::atomic<bool> stop{false};
  std::thread feeder;

  void notify() {
    { std::lock_guard lock(mutex); }
    changed.notify_all();
  }
};

namespace {

using State = BareWebrtcbinPair::State;

void addLoopback(GstElement* webrtc) {
  GObject* ice = nullptr;
  g_object_get(webrtc, "ice-agent", &ice, nullptr);
  gboolean added = FALSE;
  if (ice) g_signal_emit_by_name(ice, "add-local-ip-address", "127.0.0.1", &added);
  if (ice) g_object_unref(ice);
}

// Candidates go straight to the other element (it keeps those that come
// before its remote description).
void forwardCandidate(GstElement*, guint mline, gchar* candidate, gpointer other) {
  g_signal_emit_by_name(GST_ELEMENT(other), "add-ice-candidate", mline, candidate);
}

void onAck(GstWebRTCDataChannel*, GBytes*, gpointer data) {
  auto* s = static_cast<State*>(data);
  {
    std::lock_guard lock(s->mutex);
    ++s->acks;
  }
  s->changed.notify_all();
}

void answerRecord(GstWebRTCDataChannel* channel, GBytes*, gpointer) {
  static const char ack = 'D';
  GBytes* bytes = g_bytes_new_static(&ack, 1);
  gst_webrtc_data_channel_send_data_full(channel, bytes, nullptr);
  g_bytes_unref(bytes);
}

void onDataChannel(GstElement*, GstWebRTCDataChannel* channel, gpointer data) {
  auto* s = static_cast<State*>(data);
  g_signal_connect(channel, "on-message-data", G_CALLBACK(answerRecord), nullptr);
  std::lock_guard lock(s->mutex);
  s->incoming = GST_WEBRTC_DATA_CHANNEL(gst_object_ref(channel));
}

void onFrame(GstElement*, GstBuffer*, GstPad*, gpointer data) {
  auto* s = static_cast<State*>(data);
  if (s->frames++ == 0) s->notify();
}

void onIncomingPad(GstElement*, GstPad* pad, gpointer data) {
  auto* s = static_cast<State*>(data);
  if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC) return;
  GstElement* decode = gst_parse_bin_from_description(
      "rtpvp8depay ! vp8dec threads=2 ! videoconvert ! video/x-raw,format=BGRx ! fakesink name=sink sync=false "
      "signal-handoffs=true",
      TRUE, nullptr);
  GstElement* sink = gst_bin_get_by_name(GST_BIN(decode), "sink");
  g_signal_connect(sink, "handoff", G_CALLBACK(onFrame), s);
  gst_object_unref(sink);
  gst_bin_add(GST_BIN(s->receiver), decode);
  gst_element_sync_state_with_parent(decode);
  GstPad* sinkPad = gst_element_get_static_pad(decode, "sink");
  gst_pad_link(pad, sinkPad);
  gst_object_unref(sinkPad);
}

// Runs one description action and waits for its promise (never called on
// a webrtcbin thread).
GstStructure* await(GstElement* webrtc, const char* action, GstWebRTCSessionDescription* description) {
  GstPromise* promise = gst_promise_new();
  if (description)
    g_signal_emit_by_name(webrtc, action, description, promise);
  else
    g_signal_emit_by_name(webrtc, action, nullptr, promise);
  gst_promise_wait(promise);
  const GstStructure* reply = gst_promise_get_reply(promise);
  GstStructure* copy = reply ? gst_structure_copy(reply) : nullptr;
  gst_promise_unref(promise);
  return copy;
}

void discard(GstStructure* reply) {
  if (reply) gst_structure_free(reply);
}

GstWebRTCSessionDescription* take(GstStructure* reply, const char* field) {
  GstWebRTCSessionDescription* description = nullptr;
  if (reply) gst_structure_get(reply, field, GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &description, nullptr);
  if (reply) gst_structure_free(reply);
  return description;
}

// Always a pipeline: for a single element gst_parse_launch returns the
// element itself (and webrtcbin, being a bin, is not wrapped even when asked).
GstElement* launch(const char* description) {
  GError* error = nullptr;
  GstElement* element = gst_parse_launch(description, &error);
  if (error) {
    std::fprintf(stderr, "bare webrtcbin: %s\n", error->message);
    g_error_free(error);
  }
  if (!element || GST_IS_PIPELINE(element)) return element;
  GstElement* pipeline = gst_pipeline_new(nullptr);
  gst_bin_add(GST_BIN(pipeline), element);
  return pipeline;
}

void feed(State* s) {
  GstElement* source = gst_bin_get_by_name(GST_BIN(s->sender), "source");
  const size_t size = size_t(s->width) * s->height * 4;
  const auto period = std::chrono::nanoseconds(1000000000 / s->fps);
  auto next = std::chrono::steady_clock::now();
  for (uint64_t n = 0; !s->stop; ++n) {
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, size, nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    s->painter(map.data, s->width, s->height, n);
    gst_buffer_unmap(buffer, &map);
    gst_app_src_push_buffer(GST_APP_SRC(source), buffer);
    next += period;
    std::this_thread::sleep_until(next);
  }
  gst_object_unref(source);
}

}  // namespace

BareWebrtcbinPair::BareWebrtcbinPair(Painter painter, int width, int height, int fps) : state_(std::make_unique<State>()) {
  gst_init(nullptr, nullptr);
  State& s = *state_;
  s.painter = std::move(painter);
  s.width = width;
  s.height = height;
  s.fps = fps;
  std::string send = "webrtcbin name=webrtc bundle-policy=max-bundle";
  if (s.painter) {
    char video[640];
    std::snprintf(video, sizeof video,
                  "appsrc name=source is-live=true do-timestamp=true format=time "
                  "caps=video/x-raw,format=BGRx,width=%d,height=%d,framerate=%d/1 "
                  "! videoconvert n-threads=2 ! video/x-raw,format=I420 ! queue max-size-buffers=1 leaky=downstream "
                  "! vp8enc deadline=1 cpu-used=8 threads=2 end-usage=cbr lag-in-frames=0 target-bitrate=4000000 "
                  "! rtpvp8pay mtu=1200 picture-id-mode=15-bit "
                  "! application/x-rtp,media=video,encoding-name=VP8,payload=96 ! webrtc. ",
                  width, height, fps);
    send = video + send;
  }
  s.sender = launch(send.c_str());
  s.receiver = launch("webrtcbin name=webrtc bundle-policy=max-bundle");
  if (!s.sender || !s.receiver) return;
  s.offerer = gst_bin_get_by_name(GST_BIN(s.sender), "webrtc");
  s.answerer = gst_bin_get_by_name(GST_BIN(s.receiver), "webrtc");
  addLoopback(s.offerer);
  addLoopback(s.answerer);
  g_signal_connect(s.offerer, "on-ice-candidate", G_CALLBACK(forwardCandidate), s.answerer);
  g_signal_connect(s.answerer, "on-ice-candidate", G_CALLBACK(forwardCandidate), s.offerer);
  g_signal_connect(s.answerer, "on-data-channel", G_CALLBACK(onDataChannel), &s);
  g_signal_connect(s.answerer, "pad-added", G_CALLBACK(onIncomingPad), &s);

  gst_element_set_state(s.sender, GST_STATE_READY);
  g_signal_emit_by_name(s.offerer, "create-data-channel", "DataChannel", nullptr, &s.channel);
  if (s.channel) g_signal_connect(s.channel, "on-message-data", G_CALLBACK(onAck), &s);
  gst_element_set_state(s.receiver, GST_STATE_PLAYING);
  gst_element_set_state(s.sender, GST_STATE_PLAYING);
  if (s.painter) s.feeder = std::thread(feed, &s);

  GstWebRTCSessionDescription* offer = take(await(s.offerer, "create-offer", nullptr), "offer");
  if (!offer) return;
  discard(await(s.offerer, "set-local-description", offer));
  discard(await(s.answerer, "set-remote-description", offer));
  gst_webrtc_session_description_free(offer);
  GstWebRTCSessionDescription* answer = take(await(s.answerer, "create-answer", nullptr), "answer");
  if (!answer) return;
  discard(await(s.answerer, "set-local-description", answer));
  discard(await(s.offerer, "set-remote-description", answer));
  gst_webrtc_session_description_free(answer);
}

BareWebrtcbinPair::~BareWebrtcbinPair() {
  State& s = *state_;
  s.stop = true;
  if (s.feeder.joinable()) s.feeder.join();
  for (GstElement* pipeline : {s.sender, s.receiver})
    if (pipeline) gst_element_set_state(pipeline, GST_STATE_NULL);
  for (GstWebRTCDataChannel* channel : {s.channel, s.incoming})
    if (channel) gst_object_unref(channel);
  for (GstElement* element : {s.offerer, s.answerer, s.sender, s.receiver})
    if (element) gst_object_unref(element);
}

bool BareWebrtcbinPair::waitReady(int seconds) {
  State& s = *state_;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    GstWebRTCDataChannelState ready = GST_WEBRTC_DATA_CHANNEL_STATE_CLOSED;
    if (s.channel) g_object_get(s.channel, "ready-state", &ready, nullptr);
    if (ready == GST_WEBRTC_DATA_CHANNEL_STATE_OPEN && (!s.painter || s.frames > 0)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

double BareWebrtcbinPair::stopAndWait(size_t megabytes) {
  State& s = *state_;
  static const std::string record(65536, 'r');
  const size_t records = megabytes * 1024 * 1024 / record.size();
  size_t base;
  {
    std::lock_guard lock(s.mutex);
    base = s.acks;
  }
  const auto t0 = std::chrono::steady_clock::now();
  for (size_t i = 0; i < records; ++i) {
    GBytes* bytes = g_bytes_new_static(record.data(), record.size());
    gst_webrtc_data_channel_send_data_full(s.channel, bytes, nullptr);
    g_bytes_unref(bytes);
    std::unique_lock lock(s.mutex);
    if (!s.changed.wait_for(lock, std::chrono::seconds(20), [&] { return s.acks >= base + i + 1; })) return -1;
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return double(records * record.size()) / wall / 1e6;
}

int BareWebrtcbinPair::framesDecoded() const { return state_->frames; }

}  // namespace bench
