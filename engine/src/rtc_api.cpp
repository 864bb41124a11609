// The C entry points of rt.so: each one validates its handles, then hands
// over to the engine objects. Nothing may throw across this boundary.
#include "rtc.h"

#include "CameraDevices.h"
#include "DataChannel.h"
#include "Log.h"
#include "MediaObjects.h"
#include "PeerConnection.h"
#include "ScreenSource.h"
#include "SdpInfo.h"
#include "VideoSource.h"

#include <gst/gst.h>

#include <cstring>
#include <malloc.h>
#include <mutex>
#include <unistd.h>

using namespace corvala::engine;

namespace {

// Streaming, codec and capture threads come and go with every session, and
// glibc gives threads arenas of their own, up to eight per core: what a
// session freed stays scattered over them, and a host's memory grew by
// megabytes a session for good. Two arenas keep it flat; the engine's
// threads allocate little once a session runs (frames come from pools).
void limitMallocArenas() { mallopt(M_ARENA_MAX, 2); }

bool ensureInit() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] {
    limitMallocArenas();
    GError* error = nullptr;
    ok = gst_init_check(nullptr, nullptr, &error);
    if (!ok) logMessage(LogLevel::Error, "GStreamer: %s", error ? error->message : "init failed");
    if (error) g_error_free(error);
    Dispatcher::instance();
    Dispatcher::data();
  });
  return ok;
}

template <class F>
auto guarded(F&& body, decltype(body()) fallback) noexcept -> decltype(body()) {
  try {
    return body();
  } catch (const std::exception& e) {
    logMessage(LogLevel::Error, "internal error: %s", e.what());
  } catch (...) {
    logMessage(LogLevel::Error, "internal error");
  }
  return fallback;
}

template <class F>
void guarded(F&& body) noexcept {
  try {
    body();
  } catch (const std::exception& e) {
    logMessage(LogLevel::Error, "internal error: %s", e.what());
  } catch (...) {
    logMessage(LogLevel::Error, "internal error");
  }
}

std::string text(const char* s) { return s ? std::string(s) : std::string(); }

void clearBuffer(char* buffer, int size) {
  if (buffer && size > 0) buffer[0] = '\0';
}

template <class T>
std::shared_ptr<T> get(rtc_handle h) {
  return handles().get<T>(h);
}

}  // namespace

extern "C" {

int rtc_init(void) {
  return guarded([] { return ensureInit() ? 1 : 0; }, 0);
}

void rtc_set_debug_level(int level) { setLogLevel(level); }

// ---- audio ----------------------------------------------------------------

rtc_handle rtc_create_audio_module(void) {
  return guarded([] {
    if (!ensureInit()) return rtc_handle(0);
    return handles().add(std::make_shared<AudioModule>(AudioModule::Kind::Devices, ""));
  }, 0);
}

rtc_handle rtc_create_file_audio_module(const char* path) {
  return guarded([&] {
    if (!ensureInit() || !path || access(path, R_OK) != 0) return rtc_handle(0);
    return handles().add(std::make_shared<AudioModule>(AudioModule::Kind::File, path));
  }, 0);
}

void rtc_destroy_audio_module(rtc_handle module) {
  guarded([&] {
    if (get<AudioModule>(module)) handles().remove(module);
  });
}

int rtc_audio_source_count(rtc_handle module) {
  return guarded([&] {
    auto m = get<AudioModule>(module);
    return m ? m->sourceCount() : 0;
  }, 0);
}

void rtc_audio_source_name(rtc_handle module, char* name, int index) {
  guarded([&] {
    auto m = get<AudioModule>(module);
    copyToBuffer(m ? m->sourceName(index) : std::string(), name, RTC_NAME_BUFFER);
  });
}

void rtc_set_audio_source(rtc_handle module, int index) {
  guarded([&] {
    if (auto m = get<AudioModule>(module)) m->selectSource(index);
  });
}

// ---- factory --------------------------------------------------------------

rtc_handle rtc_create_factory(rtc_handle module) {
  return guarded([&] {
    if (!ensureInit()) return rtc_handle(0);
    auto audio = get<AudioModule>(module);
    if (!audio) audio = std::make_shared<AudioModule>(AudioModule::Kind::Devices, "");
    return handles().add(std::make_shared<Factory>(audio));
  }, 0);
}

void rtc_destroy_factory(rtc_handle factory) {
  guarded([&] {
    if (!get<Factory>(factory)) return;
    auto object = std::dynamic_pointer_cast<Factory>(handles().remove(factory));
    if (object) object->shutdown();
  });
}

// ---- ICE servers ----------------------------------------------------------

rtc_handle rtc_create_iceservers(void) {
  return guarded([] { return handles().add(std::make_shared<IceServerList>()); }, 0);
}

void rtc_add_iceserver(rtc_handle list, const char* url, const char* user, const char* password) {
  guarded([&] {
    auto l = get<IceServerList>(list);
    if (l && url && *url) l->add({url, text(user), text(password)});
  });
}

void rtc_destroy_iceservers(rtc_handle list) {
  guarded([&] {
    if (get<IceServerList>(list)) handles().remove(list);
  });
}

// ---- constraints ----------------------------------------------------------

rtc_handle rtc_create_constraints(void) {
  return guarded([] {
    auto constraints = std::make_shared<Constraints>();
    constraints->mandatory = handles().add(std::make_shared<OptionSet>());
    constraints->optional = handles().add(std::make_shared<OptionSet>());
    return handles().add(constraints);
  }, 0);
}

rtc_handle rtc_get_options(rtc_handle constraints, int mandatory) {
  return guarded([&] {
    auto c = get<Constraints>(constraints);
    return c ? (mandatory ? c->mandatory : c->optional) : rtc_handle(0);
  }, 0);
}

void rtc_add_option(rtc_handle options, const char* key, const char* value) {
  guarded([&] {
    auto o = get<OptionSet>(options);
    if (o && key) o->set(key, text(value));
  });
}

void rtc_destroy_constraints(rtc_handle constraints) {
  guarded([&] {
    auto c = get<Constraints>(constraints);
    if (!c) return;
    handles().remove(c->mandatory);
    handles().remove(c->optional);
    handles().remove(constraints);
  });
}

// ---- streams and tracks ---------------------------------------------------

rtc_handle rtc_create_stream(rtc_handle factory, const char* label) {
  return guarded([&] {
    auto f = get<Factory>(factory);
    if (!f) return rtc_handle(0);
    const rtc_handle h = handles().add(std::make_shared<MediaStream>(text(label)));
    f->own(h);
    return h;
  }, 0);
}

void rtc_destroy_stream(rtc_handle stream) {
  guarded([&] {
    if (get<MediaStream>(stream)) handles().remove(stream);
  });
}

rtc_handle rtc_create_videotrack(rtc_handle factory, rtc_handle source, const char* label) {
  return guarded([&] {
    auto f = get<Factory>(factory);
    auto s = get<VideoSource>(source);
    if (!f || !s) return rtc_handle(0);
    auto track = std::make_shared<VideoTrack>(text(label), s);
    track->handle = handles().add(track);
    f->own(track->handle);
    return track->handle;
  }, 0);
}

rtc_handle rtc_create_audiotrack(rtc_handle factory, const char* label) {
  return guarded([&] {
    auto f = get<Factory>(factory);
    if (!f) return rtc_handle(0);
    auto track = std::make_shared<AudioTrack>(text(label), f->audio);
    track->handle = handles().add(track);
    f->own(track->handle);
    return track->handle;
  }, 0);
}

void rtc_add_videotrack(rtc_handle stream, rtc_handle track) {
  guarded([&] {
    auto s = get<MediaStream>(stream);
    auto t = get<VideoTrack>(track);
    if (s && t) s->add(t);
  });
}

void rtc_add_audiotrack(rtc_handle stream, rtc_handle track) {
  guarded([&] {
    auto s = get<MediaStream>(stream);
    auto t = get<AudioTrack>(track);
    if (s && t) s->add(t);
  });
}

void rtc_remove_videotrack(rtc_handle stream, rtc_handle track) {
  guarded([&] {
    auto s = get<MediaStream>(stream);
    auto t = get<VideoTrack>(track);
    if (s && t) s->remove(t);
  });
}

void rtc_remove_audiotrack(rtc_handle stream, rtc_handle track) {
  guarded([&] {
    auto s = get<MediaStream>(stream);
    auto t = get<AudioTrack>(track);
    if (s && t) s->remove(t);
  });
}

rtc_handle rtc_get_videotrack(rtc_handle stream, int which) {
  return guarded([&] {
    auto s = get<MediaStream>(stream);
    if (!s) return rtc_handle(0);
    auto track = s->first(which == RTC_TRACK_AUDIO ? Track::Kind::Audio : Track::Kind::Video);
    return track ? track->handle : rtc_handle(0);
  }, 0);
}

void rtc_add_renderer(rtc_handle track, const VideoRendererCallback* renderer) {
  guarded([&] {
    auto t = get<VideoTrack>(track);
    if (t && renderer) t->addRenderer(*renderer);
  });
}

void rtc_track_setstate(rtc_handle track, int enable) {
  guarded([&] {
    if (auto video = get<VideoTrack>(track)) video->setEnabled(enable != 0);
    if (auto audio = get<AudioTrack>(track)) audio->setEnabled(enable != 0);
  });
}

// ---- video sources --------------------------------------------------------

int rtc_capturer_count(void) {
  return guarded([] { return int(cameraDevices().size()); }, 0);
}

void rtc_capturer_name(int index, char* name) {
  guarded([&] {
    const auto cameras = cameraDevices();
    copyToBuffer(index >= 0 && index < int(cameras.size()) ? cameras[size_t(index)].name : std::string(), name,
                 RTC_NAME_BUFFER);
  });
}

int rtc_capturer_profile_count(int index) {
  return guarded([&] {
    const auto cameras = cameraDevices();
    return index >= 0 && index < int(cameras.size()) ? int(cameras[size_t(index)].profiles.size()) : 0;
  }, 0);
}

int rtc_capturer_profile(int index, int profile, int* width, int* height, int* fps) {
  return guarded([&] {
    const auto cameras = cameraDevices();
    if (index < 0 || index >= int(cameras.size())) return 0;
    const auto& profiles = cameras[size_t(index)].profiles;
    if (profile < 0 || profile >= int(profiles.size())) return 0;
    if (width) *width = profiles[size_t(profile)].width;
    if (height) *height = profiles[size_t(profile)].height;
    if (fps) *fps = profiles[size_t(profile)].fps;
    return 1;
  }, 0);
}

int rtc_enum_video_source(int index, char* name) {
  return guarded([&] {
    const auto cameras = cameraDevices();
    if (index >= 0 && index < int(cameras.size())) {
      copyToBuffer(cameras[size_t(index)].name, name, RTC_NAME_BUFFER);
      return index;
    }
    const int extra = index - int(cameras.size());
    if (extra == 0) {
      copyToBuffer("Window", name, RTC_NAME_BUFFER);
      return int(RTC_SOURCE_WINDOW);
    }
    if (extra == 1) {
      copyToBuffer("Screen", name, RTC_NAME_BUFFER);
      return int(RTC_SOURCE_SCREEN);
    }
    clearBuffer(name, RTC_NAME_BUFFER);
    return -1;
  }, -1);
}

rtc_handle rtc_create_source(int width, int height, int fps, int source_id, unsigned long window) {
  return guarded([&] {
    if (!ensureInit()) return rtc_handle(0);
    std::shared_ptr<VideoSource> source;
    if (source_id == RTC_SOURCE_SCREEN)
      source = ScreenSource::create(width, height, fps, 0);
    else if (source_id == RTC_SOURCE_WINDOW)
      source = window ? ScreenSource::create(width, height, fps, window) : nullptr;
    else if (source_id >= 0 && source_id < RTC_SOURCE_WINDOW)
      source = createCameraSource(source_id, width, height, fps);
    return source ? handles().add(source) : rtc_handle(0);
  }, 0);
}

rtc_handle rtc_create_virtual_source(int width, int height, int fps, const VirtualCaptureCallback* capture) {
  return guarded([&] {
    if (!ensureInit() || !capture || !capture->get_frame) return rtc_handle(0);
    if (!VideoSource::framesFit(width, height)) {
      logMessage(LogLevel::Warning, "virtual source of %d x %d pixels refused (at most %d per side, %d in all)", width,
                 height, int(RTC_MAX_FRAME_SIDE), int(RTC_MAX_FRAME_PIXELS));
      return rtc_handle(0);
    }
    return handles().add(std::make_shared<VirtualSource>(width, height, fps, *capture));
  }, 0);
}

void rtc_destroy_source(rtc_handle source) {
  guarded([&] {
    if (!get<VideoSource>(source)) return;
    if (auto s = std::dynamic_pointer_cast<VideoSource>(handles().remove(source))) s->shutdown();
  });
}

// ---- peer connections -----------------------------------------------------

rtc_handle rtc_create_peerconnection(rtc_handle factory, rtc_handle iceservers, const PeerConnectionCallback* callback) {
  return guarded([&] {
    auto f = get<Factory>(factory);
    if (!f) return rtc_handle(0);
    auto list = get<IceServerList>(iceservers);
    auto pc = PeerConnection::create(f, list ? list->snapshot() : std::vector<IceServer>{},
                                     callback ? *callback : PeerConnectionCallback{});
    if (!pc) return rtc_handle(0);
    pc->handle = handles().add(pc);
    f->adopt(pc);
    return pc->handle;
  }, 0);
}

void rtc_add_stream(rtc_handle pc, rtc_handle stream) {
  guarded([&] {
    auto p = get<PeerConnection>(pc);
    auto s = get<MediaStream>(stream);
    if (p && s) p->addStream(s);
  });
}

void rtc_create_offer(rtc_handle pc, const SDPCallback* callback) {
  guarded([&] {
    if (auto p = get<PeerConnection>(pc)) p->createOffer(callback ? *callback : SDPCallback{});
  });
}

void rtc_create_answer(rtc_handle pc, const SDPCallback* callback) {
  guarded([&] {
    if (auto p = get<PeerConnection>(pc)) p->createAnswer(callback ? *callback : SDPCallback{});
  });
}

rtc_handle rtc_create_sdp(const char* type, const char* sdp) {
  return guarded([&] {
    if (!type || !sdp) return rtc_handle(0);
    return handles().add(std::make_shared<SessionDescription>(type, sdp));
  }, 0);
}

void rtc_set_sdp(rtc_handle pc, rtc_handle description, int local, const SDPCallback* callback) {
  guarded([&] {
    auto p = get<PeerConnection>(pc);
    auto d = get<SessionDescription>(description);
    if (p && d) p->setDescription(d, description, local != 0, callback ? *callback : SDPCallback{});
  });
}

void rtc_get_sdp(rtc_handle description, char* type, char* sdp) {
  guarded([&] {
    auto d = get<SessionDescription>(description);
    copyToBuffer(d ? d->type : std::string(), type, RTC_TEXT_BUFFER);
    copyToBuffer(d ? d->sdp : std::string(), sdp, RTC_TEXT_BUFFER);
  });
}

void rtc_get_pc_sdp(rtc_handle pc, int local, char* type, char* sdp) {
  guarded([&] {
    std::string t, s;
    if (auto p = get<PeerConnection>(pc)) p->currentDescription(local != 0, t, s);
    copyToBuffer(t, type, RTC_TEXT_BUFFER);
    copyToBuffer(s, sdp, RTC_TEXT_BUFFER);
  });
}

rtc_handle rtc_create_candidate(const char* mid, int mline_index, const char* line) {
  return guarded([&] {
    if (!line) return rtc_handle(0);
    return handles().add(std::make_shared<IceCandidate>(text(mid), mline_index, line));
  }, 0);
}

void rtc_add_candidate(rtc_handle pc, rtc_handle candidate) {
  guarded([&] {
    auto p = get<PeerConnection>(pc);
    auto c = get<IceCandidate>(candidate);
    if (p && c) p->addCandidate(c, candidate);
  });
}

void rtc_get_candidate(rtc_handle candidate, int* mline_index, char* mid, char* line) {
  guarded([&] {
    auto c = get<IceCandidate>(candidate);
    if (mline_index) *mline_index = c ? c->mlineIndex : 0;
    copyToBuffer(c ? c->mid : std::string(), mid, RTC_TEXT_BUFFER);
    copyToBuffer(c ? c->line : std::string(), line, RTC_TEXT_BUFFER);
  });
}

void rtc_close(rtc_handle pc) {
  guarded([&] {
    if (!get<PeerConnection>(pc)) return;
    if (auto p = std::dynamic_pointer_cast<PeerConnection>(handles().remove(pc))) p->close();
  });
}

void rtc_get_stats(rtc_handle pc, const StatsCallback* callback) {
  guarded([&] {
    auto p = get<PeerConnection>(pc);
    if (p && callback) p->getStats(*callback);
  });
}

// ---- data channels --------------------------------------------------------

rtc_handle rtc_create_datachannel(rtc_handle pc, const char* label, const DCCallback* callback) {
  return guarded([&] {
    auto p = get<PeerConnection>(pc);
    if (!p || !label) return rtc_handle(0);
    return p->createDataChannel(label, callback ? *callback : DCCallback{});
  }, 0);
}

void rtc_datachannel_observe(rtc_handle channel, const DCCallback* callback) {
  guarded([&] {
    auto c = get<DataChannel>(channel);
    if (c && callback) c->observe(*callback);
  });
}

void rtc_send_data(rtc_handle channel, const void* data, int size) {
  guarded([&] {
    if (auto c = get<DataChannel>(channel)) c->send(data, size);
  });
}

}  // extern "C"
