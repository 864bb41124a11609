#include "ReferencePipeline.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/sdp/sdp.h>
#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>

#include <cstdio>

namespace {

GstElement* child(GstElement* pipeline, const char* name) { return gst_bin_get_by_name(GST_BIN(pipeline), name); }

// libnice skips loopback addresses; the bench's namespace has nothing else.
void allowLoopback(GstElement* webrtc) {
  GstElement* ice = nullptr;
  g_object_get(webrtc, "ice-agent", &ice, nullptr);
  if (!ice) return;
  gboolean added = FALSE;
  g_signal_emit_by_name(ice, "add-local-ip-address", "127.0.0.1", &added);
  gst_object_unref(ice);
}

struct Peers {
  GstElement* send;
  GstElement* recv;
};

// The description a create-offer/create-answer promise replied with becomes
// `maker`'s local and `other`'s remote description.
void exchange(GstPromise* promise, const char* field, GstElement* maker, GstElement* other) {
  GstWebRTCSessionDescription* description = nullptr;
  gst_structure_get(gst_promise_get_reply(promise), field, GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &description, nullptr);
  gst_promise_unref(promise);
  g_signal_emit_by_name(maker, "set-local-description", description, nullptr);
  g_signal_emit_by_name(other, "set-remote-description", description, nullptr);
  gst_webrtc_session_description_free(description);
}

void onAnswer(GstPromise* promise, gpointer data) {
  auto* peers = static_cast<Peers*>(data);
  exchange(promise, "answer", peers->recv, peers->send);
}

void onOffer(GstPromise* promise, gpointer data) {
  auto* peers = static_cast<Peers*>(data);
  exchange(promise, "offer", peers->send, peers->recv);
  g_signal_emit_by_name(peers->recv, "create-answer", nullptr, gst_promise_new_with_change_func(onAnswer, peers, nullptr));
}

void onNegotiationNeeded(GstElement* send, gpointer data) {
  g_signal_emit_by_name(send, "create-offer", nullptr, gst_promise_new_with_change_func(onOffer, data, nullptr));
}

void onCandidate(GstElement*, guint index, gchar* line, gpointer other) {
  g_signal_emit_by_name(static_cast<GstElement*>(other), "add-ice-candidate", index, line);
}

}  // namespace

ReferencePipeline::ReferencePipeline(const std::string& display, int width, int height, int fps,
                                     std::function<void(const uint8_t*, int)> onPixels)
    : onPixels_(std::move(onPixels)) {
  gst_init(nullptr, nullptr);
  const int bitrate = int(double(width) * height * fps * 0.07);
  gchar* description = g_strdup_printf(
      "ximagesrc display-name=%s use-damage=false show-pointer=false ! video/x-raw,framerate=%d/1 "
      "! queue leaky=downstream max-size-buffers=1 max-size-bytes=0 max-size-time=0 ! videoconvert "
      "! vp8enc deadline=1 cpu-used=8 threads=2 end-usage=cbr lag-in-frames=0 target-bitrate=%d "
      "! rtpvp8pay mtu=1200 picture-id-mode=15-bit ! application/x-rtp,media=video,encoding-name=VP8,clock-rate=90000,payload=96 "
      "! webrtcbin name=send bundle-policy=max-bundle webrtcbin name=recv bundle-policy=max-bundle",
      display.c_str(), fps, bitrate);
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(description, &error);
  g_free(description);
  if (!pipeline || error) {
    std::fprintf(stderr, "reference pipeline: %s\n", error ? error->message : "?");
    return;
  }
  GstElement* send = child(pipeline, "send");
  GstElement* recv = child(pipeline, "recv");
  auto* peers = new Peers{send, recv};
  g_object_set_data_full(G_OBJECT(pipeline), "peers", peers, [](gpointer p) { delete static_cast<Peers*>(p); });
  allowLoopback(send);
  allowLoopback(recv);
  g_signal_connect(send, "on-negotiation-needed", G_CALLBACK(onNegotiationNeeded), peers);
  g_signal_connect(send, "on-ice-candidate", G_CALLBACK(onCandidate), recv);
  g_signal_connect(recv, "on-ice-candidate", G_CALLBACK(onCandidate), send);
  g_signal_connect(recv, "pad-added", G_CALLBACK(+[](GstElement* recv, GstPad* pad, gpointer self) {
                     if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC) return;
                     auto* reference = static_cast<ReferencePipeline*>(self);
                     GstElement* bin = gst_parse_bin_from_description(
                         "rtpvp8depay ! vp8dec threads=2 ! videoconvert ! video/x-raw,format=BGRx "
                         "! appsink name=frames sync=false max-buffers=2 drop=true",
                         TRUE, nullptr);
                     GstElement* sink = gst_bin_get_by_name(GST_BIN(bin), "frames");
                     GstAppSinkCallbacks callbacks{};
                     callbacks.new_sample = [](GstAppSink* sink, gpointer self) {
                       GstSample* sample = gst_app_sink_pull_sample(sink);
                       if (!sample) return GST_FLOW_OK;
                       GstStructure* s = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
                       int w = 0;
                       gst_structure_get_int(s, "width", &w);
                       GstMapInfo map;
                       if (gst_buffer_map(gst_sample_get_buffer(sample), &map, GST_MAP_READ)) {
                         static_cast<ReferencePipeline*>(self)->onPixels_(map.data, w);
                         gst_buffer_unmap(gst_sample_get_buffer(sample), &map);
                       }
                       gst_sample_unref(sample);
                       return GST_FLOW_OK;
                     };
                     gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, reference, nullptr);
                     gst_object_unref(sink);
                     gst_bin_add(GST_BIN(GST_ELEMENT_PARENT(recv)), bin);
                     gst_element_sync_state_with_parent(bin);
                     GstPad* in = gst_element_get_static_pad(bin, "sink");
                     gst_pad_link(pad, in);
                     gst_object_unref(in);
                   }),
                   this);
  gst_object_unref(send);
  gst_object_unref(recv);
  pipeline_ = pipeline;
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
}

ReferencePipeline::~ReferencePipeline() {
  if (!pipeline_) return;
  gst_element_set_state(pipeline_, GST_STATE_NULL);
  gst_object_unref(pipeline_);
}
