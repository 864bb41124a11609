#include "ReferencePipeline.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>

#include <cstdio>

namespace corvala::bench {
namespace {

GstWebRTCSessionDescription* Description(GstPromise* promise, const char* field) {
    const GstStructure* reply = gst_promise_get_reply(promise);
    GstWebRTCSessionDescription* description = nullptr;
    if (reply) gst_structure_get(reply, field, GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &description, nullptr);
    return description;
}

// libnice leaves loopback out when it gathers; the namespace has nothing else.
void AddLoopback(GstElement* webrtc) {
    GObject* agent = nullptr;
    g_object_get(webrtc, "ice-agent", &agent, nullptr);
    if (!agent) return;
    gboolean added = FALSE;
    g_signal_emit_by_name(agent, "add-local-ip-address", "127.0.0.1", &added);
    g_object_unref(agent);
}

}  // namespace

ReferencePipeline::ReferencePipeline(const std::string& display, int fps, int probeX, int probeY)
    : probeX_(probeX), probeY_(probeY) {
    gst_init(nullptr, nullptr);
    gchar* description = g_strdup_printf(
        "ximagesrc display-name=%s use-damage=false show-pointer=false ! video/x-raw,framerate=%d/1 "
        "! queue leaky=downstream max-size-buffers=1 max-size-bytes=0 max-size-time=0 ! videoconvert "
        "! vp8enc deadline=1 cpu-used=8 threads=2 end-usage=cbr lag-in-frames=0 target-bitrate=1500000 "
        "! rtpvp8pay mtu=1200 picture-id-mode=15-bit "
        "! application/x-rtp,media=video,encoding-name=VP8,payload=96,clock-rate=90000 "
        "! webrtcbin name=send bundle-policy=max-bundle  webrtcbin name=receive bundle-policy=max-bundle",
        display.c_str(), fps);
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description, &error);
    g_free(description);
    if (!pipeline) {
        std::printf("reference pipeline: %s\n", error ? error->message : "?");
        if (error) g_error_free(error);
        return;
    }
    pipeline_ = pipeline;
    sender_ = gst_bin_get_by_name(GST_BIN(pipeline_), "send");
    receiver_ = gst_bin_get_by_name(GST_BIN(pipeline_), "receive");
    AddLoopback(sender_);
    AddLoopback(receiver_);
    g_signal_connect_swapped(sender_, "on-negotiation-needed", G_CALLBACK(+[](ReferencePipeline* self, GstElement*) {
        GstPromise* promise = gst_promise_new_with_change_func(
            [](GstPromise* p, gpointer self) { static_cast<ReferencePipeline*>(self)->OnOffer(p); }, self, nullptr);
        g_signal_emit_by_name(self->sender_, "create-offer", nullptr, promise);
    }), this);
    const auto candidate = +[](GstElement* from, guint mline, gchar* line, ReferencePipeline* self) {
        self->OnCandidate(from, mline, line);
    };
    g_signal_connect(sender_, "on-ice-candidate", G_CALLBACK(candidate), this);
    g_signal_connect(receiver_, "on-ice-candidate", G_CALLBACK(candidate), this);
    g_signal_connect_swapped(receiver_, "pad-added", G_CALLBACK(+[](ReferencePipeline* self, GstPad* pad) {
        self->OnDecodedPad(pad);
    }), this);
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        std::printf("reference pipeline does not start\n");
}

ReferencePipeline::~ReferencePipeline() {
    if (!pipeline_) return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(sender_);
    gst_object_unref(receiver_);
    gst_object_unref(pipeline_);
}

namespace {

// The description a promise answered, set as `local`'s own and `remote`'s
// remote one; false when the promise carried none.
bool HandOver(void* promise, const char* field, GstElement* local, GstElement* remote) {
    GstWebRTCSessionDescription* description = Description(static_cast<GstPromise*>(promise), field);
    gst_promise_unref(static_cast<GstPromise*>(promise));
    if (!description) return false;
    g_signal_emit_by_name(local, "set-local-description", description, nullptr);
    g_signal_emit_by_name(remote, "set-remote-description", description, nullptr);
    gst_webrtc_session_description_free(description);
    return true;
}

}  // namespace

void ReferencePipeline::OnOffer(void* promise) {
    if (!HandOver(promise, "offer", sender_, receiver_)) return;
    GstPromise* answer = gst_promise_new_with_change_func(
        [](GstPromise* p, gpointer self) { static_cast<ReferencePipeline*>(self)->OnAnswer(p); }, this, nullptr);
    g_signal_emit_by_name(receiver_, "create-answer", nullptr, answer);
}

void ReferencePipeline::OnAnswer(void* promise) { HandOver(promise, "answer", receiver_, sender_); }

void ReferencePipeline::OnCandidate(GstElement* from, unsigned mline, const char* candidate) {
    g_signal_emit_by_name(from == sender_ ? receiver_ : sender_, "add-ice-candidate", mline, candidate);
}

void ReferencePipeline::OnDecodedPad(void* pad) {
    if (GST_PAD_DIRECTION(GST_PAD(pad)) != GST_PAD_SRC) return;
    GstElement* decoder = gst_parse_bin_from_description(
        "rtpvp8depay ! vp8dec threads=2 ! videoconvert ! video/x-raw,format=BGRx "
        "! appsink name=frames sync=false max-buffers=2 drop=true",
        TRUE, nullptr);
    if (!decoder) return;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(decoder), "frames");
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = [](GstAppSink* sink, gpointer self) {
        static_cast<ReferencePipeline*>(self)->OnFrame(GST_ELEMENT(sink));
        return GST_FLOW_OK;
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    gst_object_unref(sink);
    gst_bin_add(GST_BIN(pipeline_), decoder);
    gst_element_sync_state_with_parent(decoder);
    GstPad* sinkPad = gst_element_get_static_pad(decoder, "sink");
    gst_pad_link(GST_PAD(pad), sinkPad);
    gst_object_unref(sinkPad);
}

void ReferencePipeline::OnFrame(GstElement* sink) {
    GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
    if (!sample) return;
    GstVideoInfo info;
    GstMapInfo map;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) && probeX_ < GST_VIDEO_INFO_WIDTH(&info) &&
        probeY_ < GST_VIDEO_INFO_HEIGHT(&info) && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        const guint8* pixel = map.data + size_t(probeY_) * GST_VIDEO_INFO_PLANE_STRIDE(&info, 0) + size_t(probeX_) * 4;
        probe_ = (unsigned long)pixel[2] << 16 | (unsigned long)pixel[1] << 8 | pixel[0];
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
}

}  // namespace corvala::bench
