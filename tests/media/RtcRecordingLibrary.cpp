// A recording stand-in for rt.so: every entry point writes one line to a log
// ("name arg ... = result") and hands out numbered handles, so that tests see
// exactly which calls the component makes, in which order and with which
// values. Extra rtc_fake_* functions let a test read the log, set what the
// library reports, and call back through the records it was given.
#include <rtc.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#define FAKE_API extern "C" __attribute__((visibility("default")))

namespace {

std::mutex gMutex;
std::vector<std::string> gLog;
rtc_handle gNext = 1;
int gCameras = 0;
std::string gSdpType = "offer";
std::string gSdpText;
int gCandidateIndex = 0;
std::string gCandidateMid;
std::string gCandidateLine;
rtc_handle gVideoTrackOfStream = 0;
rtc_handle gAudioTrackOfStream = 0;
SDPCallback gSdpRecord{};
PeerConnectionCallback gPcRecord{};
DCCallback gDcRecord{};
VideoRendererCallback gRenderer{};

std::string Text(const char* s) { return s ? std::string("\"") + s + "\"" : "null"; }

template <typename... A>
void Log(const char* name, const A&... args)
{
    std::string line = name;
    ((line += " ", line += args), ...);
    std::lock_guard lock(gMutex);
    gLog.push_back(line);
}

std::string N(long long v) { return std::to_string(v); }

rtc_handle Make(const std::string& line)
{
    std::lock_guard lock(gMutex);
    const rtc_handle h = gNext++;
    gLog.push_back(line + " = " + std::to_string(h));
    return h;
}

// Fills a caller's buffer like a careless library would: up to its full
// size, without a terminator when the text is that long.
void Fill(char* buffer, int size, const std::string& text)
{
    std::memset(buffer, 0, size);
    std::memcpy(buffer, text.data(), std::min<size_t>(text.size(), size));
}

} // namespace

FAKE_API void rtc_fake_reset()
{
    std::lock_guard lock(gMutex);
    gLog.clear();
    gNext = 1;
}
FAKE_API int rtc_fake_log_size()
{
    std::lock_guard lock(gMutex);
    return static_cast<int>(gLog.size());
}
FAKE_API const char* rtc_fake_log_line(int i)
{
    std::lock_guard lock(gMutex);
    return gLog.at(i).c_str();
}
FAKE_API void rtc_fake_set_cameras(int n) { gCameras = n; }
FAKE_API void rtc_fake_set_sdp(const char* type, const char* text) { gSdpType = type; gSdpText = text; }
FAKE_API void rtc_fake_set_candidate(int index, const char* mid, const char* line)
{
    gCandidateIndex = index;
    gCandidateMid = mid;
    gCandidateLine = line;
}
FAKE_API void rtc_fake_set_stream_tracks(rtc_handle video, rtc_handle audio)
{
    gVideoTrackOfStream = video;
    gAudioTrackOfStream = audio;
}
FAKE_API const SDPCallback* rtc_fake_sdp_record() { return &gSdpRecord; }
FAKE_API const PeerConnectionCallback* rtc_fake_pc_record() { return &gPcRecord; }
FAKE_API const DCCallback* rtc_fake_dc_record() { return &gDcRecord; }
FAKE_API const VideoRendererCallback* rtc_fake_renderer() { return &gRenderer; }

FAKE_API int rtc_init(void) { Log("rtc_init"); return 1; }
FAKE_API void rtc_set_debug_level(int level) { Log("rtc_set_debug_level", N(level)); }
FAKE_API rtc_handle rtc_create_audio_module(void) { return Make("rtc_create_audio_module"); }
FAKE_API rtc_handle rtc_create_file_audio_module(const char* path) { return Make("rtc_create_file_audio_module " + Text(path)); }
FAKE_API void rtc_destroy_audio_module(rtc_handle m) { Log("rtc_destroy_audio_module", N(m)); }
FAKE_API int rtc_audio_source_count(rtc_handle m) { Log("rtc_audio_source_count", N(m)); return 2; }
FAKE_API void rtc_audio_source_name(rtc_handle m, char* name, int index)
{
    Log("rtc_audio_source_name", N(m), N(index));
    Fill(name, RTC_NAME_BUFFER, index == 0 ? "Mikrofon \xc3\xbc" : "");
}
FAKE_API void rtc_set_audio_source(rtc_handle m, int index) { Log("rtc_set_audio_source", N(m), N(index)); }
FAKE_API rtc_handle rtc_create_factory(rtc_handle m) { return Make("rtc_create_factory " + N(m)); }
FAKE_API void rtc_destroy_factory(rtc_handle f) { Log("rtc_destroy_factory", N(f)); }
FAKE_API rtc_handle rtc_create_iceservers(void) { return Make("rtc_create_iceservers"); }
FAKE_API void rtc_add_iceserver(rtc_handle l, const char* url, const char* user, const char* password)
{
    Log("rtc_add_iceserver", N(l), Text(url), Text(user), Text(password));
}
FAKE_API void rtc_destroy_iceservers(rtc_handle l) { Log("rtc_destroy_iceservers", N(l)); }
FAKE_API rtc_handle rtc_create_constraints(void) { return Make("rtc_create_constraints"); }
FAKE_API rtc_handle rtc_get_options(rtc_handle c, int mandatory) { return Make("rtc_get_options " + N(c) + " " + N(mandatory)); }
FAKE_API void rtc_add_option(rtc_handle o, const char* key, const char* value) { Log("rtc_add_option", N(o), Text(key), Text(value)); }
FAKE_API void rtc_destroy_constraints(rtc_handle c) { Log("rtc_destroy_constraints", N(c)); }
FAKE_API rtc_handle rtc_create_stream(rtc_handle f, const char* label) { return Make("rtc_create_stream " + N(f) + " " + Text(label)); }
FAKE_API void rtc_destroy_stream(rtc_handle s) { Log("rtc_destroy_stream", N(s)); }
FAKE_API rtc_handle rtc_create_videotrack(rtc_handle f, rtc_handle s, const char* label)
{
    return Make("rtc_create_videotrack " + N(f) + " " + N(s) + " " + Text(label));
}
FAKE_API rtc_handle rtc_create_audiotrack(rtc_handle f, const char* label) { return Make("rtc_create_audiotrack " + N(f) + " " + Text(label)); }
FAKE_API void rtc_add_videotrack(rtc_handle s, rtc_handle t) { Log("rtc_add_videotrack", N(s), N(t)); }
FAKE_API void rtc_add_audiotrack(rtc_handle s, rtc_handle t) { Log("rtc_add_audiotrack", N(s), N(t)); }
FAKE_API void rtc_remove_videotrack(rtc_handle s, rtc_handle t) { Log("rtc_remove_videotrack", N(s), N(t)); }
FAKE_API void rtc_remove_audiotrack(rtc_handle s, rtc_handle t) { Log("rtc_remove_audiotrack", N(s), N(t)); }
FAKE_API rtc_handle rtc_get_videotrack(rtc_handle s, int which)
{
    const rtc_handle t = which == RTC_TRACK_VIDEO ? gVideoTrackOfStream : gAudioTrackOfStream;
    Log("rtc_get_videotrack", N(s), N(which), "=", N(t));
    return t;
}
FAKE_API void rtc_add_renderer(rtc_handle t, const VideoRendererCallback* r)
{
    gRenderer = *r;
    Log("rtc_add_renderer", N(t));
}
FAKE_API void rtc_track_setstate(rtc_handle t, int enable) { Log("rtc_track_setstate", N(t), N(enable)); }
FAKE_API int rtc_capturer_count(void) { Log("rtc_capturer_count", "=", N(gCameras)); return gCameras; }
FAKE_API void rtc_capturer_name(int, char* name) { Fill(name, RTC_NAME_BUFFER, ""); }
FAKE_API int rtc_capturer_profile_count(int) { return 0; }
FAKE_API int rtc_capturer_profile(int, int, int*, int*, int*) { return 0; }
FAKE_API int rtc_enum_video_source(int, char* name) { Fill(name, RTC_NAME_BUFFER, ""); return -1; }
FAKE_API rtc_handle rtc_create_source(int w, int h, int fps, int id, unsigned long window)
{
    return Make("rtc_create_source " + N(w) + " " + N(h) + " " + N(fps) + " " + N(id) + " " + N(window));
}
FAKE_API rtc_handle rtc_create_virtual_source(int w, int h, int fps, const VirtualCaptureCallback*)
{
    return Make("rtc_create_virtual_source " + N(w) + " " + N(h) + " " + N(fps));
}
FAKE_API void rtc_destroy_source(rtc_handle s) { Log("rtc_destroy_source", N(s)); }
FAKE_API rtc_handle rtc_create_peerconnection(rtc_handle f, rtc_handle l, const PeerConnectionCallback* cb)
{
    gPcRecord = *cb;
    return Make("rtc_create_peerconnection " + N(f) + " " + N(l));
}
FAKE_API void rtc_add_stream(rtc_handle pc, rtc_handle s) { Log("rtc_add_stream", N(pc), N(s)); }
FAKE_API void rtc_create_offer(rtc_handle pc, const SDPCallback* cb) { gSdpRecord = *cb; Log("rtc_create_offer", N(pc)); }
FAKE_API void rtc_create_answer(rtc_handle pc, const SDPCallback* cb) { gSdpRecord = *cb; Log("rtc_create_answer", N(pc)); }
FAKE_API rtc_handle rtc_create_sdp(const char* type, const char* sdp) { return Make("rtc_create_sdp " + Text(type) + " " + Text(sdp)); }
FAKE_API void rtc_set_sdp(rtc_handle pc, rtc_handle d, int local, const SDPCallback*) { Log("rtc_set_sdp", N(pc), N(d), N(local)); }
FAKE_API void rtc_get_sdp(rtc_handle d, char* type, char* text)
{
    Log("rtc_get_sdp", N(d));
    Fill(type, RTC_TEXT_BUFFER, gSdpType);
    Fill(text, RTC_TEXT_BUFFER, gSdpText);
}
FAKE_API void rtc_get_pc_sdp(rtc_handle, int, char* type, char* text)
{
    Fill(type, RTC_TEXT_BUFFER, "");
    Fill(text, RTC_TEXT_BUFFER, "");
}
FAKE_API rtc_handle rtc_create_candidate(const char* mid, int index, const char* line)
{
    return Make("rtc_create_candidate " + Text(mid) + " " + N(index) + " " + Text(line));
}
FAKE_API void rtc_add_candidate(rtc_handle pc, rtc_handle c) { Log("rtc_add_candidate", N(pc), N(c)); }
FAKE_API void rtc_get_candidate(rtc_handle c, int* index, char* mid, char* line)
{
    Log("rtc_get_candidate", N(c));
    *index = gCandidateIndex;
    Fill(mid, RTC_TEXT_BUFFER, gCandidateMid);
    Fill(line, RTC_TEXT_BUFFER, gCandidateLine);
}
FAKE_API void rtc_close(rtc_handle pc) { Log("rtc_close", N(pc)); }
FAKE_API void rtc_get_stats(rtc_handle pc, const StatsCallback*) { Log("rtc_get_stats", N(pc)); }
FAKE_API rtc_handle rtc_create_datachannel(rtc_handle pc, const char* label, const DCCallback* cb)
{
    gDcRecord = *cb;
    return Make("rtc_create_datachannel " + N(pc) + " " + Text(label));
}
FAKE_API void rtc_datachannel_observe(rtc_handle ch, const DCCallback*) { Log("rtc_datachannel_observe", N(ch)); }
FAKE_API void rtc_send_data(rtc_handle ch, const void* data, int size)
{
    Log("rtc_send_data", N(ch), N(size), Text(std::string(static_cast<const char*>(data), size).c_str()));
}
