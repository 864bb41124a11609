// The C entry points of rt.so. Placeholder bodies until the engine lands:
// every name exists so that loaders can bind the whole table.
#include "rtc.h"

#include <cstring>

namespace {
void clearText(char* buffer, int size) {
  if (buffer) std::memset(buffer, 0, size > 0 ? 1 : 0);
}
}  // namespace

extern "C" {
int rtc_init(void) { return 1; }
void rtc_set_debug_level(int) {}
rtc_handle rtc_create_audio_module(void) { return 0; }
rtc_handle rtc_create_file_audio_module(const char*) { return 0; }
void rtc_destroy_audio_module(rtc_handle) {}
int rtc_audio_source_count(rtc_handle) { return 0; }
void rtc_audio_source_name(rtc_handle, char* name, int) { clearText(name, RTC_NAME_BUFFER); }
void rtc_set_audio_source(rtc_handle, int) {}
rtc_handle rtc_create_factory(rtc_handle) { return 0; }
void rtc_destroy_factory(rtc_handle) {}
rtc_handle rtc_create_iceservers(void) { return 0; }
void rtc_add_iceserver(rtc_handle, const char*, const char*, const char*) {}
void rtc_destroy_iceservers(rtc_handle) {}
rtc_handle rtc_create_constraints(void) { return 0; }
rtc_handle rtc_get_options(rtc_handle, int) { return 0; }
void rtc_add_option(rtc_handle, const char*, const char*) {}
void rtc_destroy_constraints(rtc_handle) {}
rtc_handle rtc_create_stream(rtc_handle, const char*) { return 0; }
void rtc_destroy_stream(rtc_handle) {}
rtc_handle rtc_create_videotrack(rtc_handle, rtc_handle, const char*) { return 0; }
rtc_handle rtc_create_audiotrack(rtc_handle, const char*) { return 0; }
void rtc_add_videotrack(rtc_handle, rtc_handle) {}
void rtc_add_audiotrack(rtc_handle, rtc_handle) {}
void rtc_remove_videotrack(rtc_handle, rtc_handle) {}
void rtc_remove_audiotrack(rtc_handle, rtc_handle) {}
rtc_handle rtc_get_videotrack(rtc_handle, int) { return 0; }
void rtc_add_renderer(rtc_handle, const VideoRendererCallback*) {}
void rtc_track_setstate(rtc_handle, int) {}
int rtc_capturer_count(void) { return 0; }
void rtc_capturer_name(int, char* name) { clearText(name, RTC_NAME_BUFFER); }
int rtc_capturer_profile_count(int) { return 0; }
int rtc_capturer_profile(int, int, int*, int*, int*) { return 0; }
int rtc_enum_video_source(int, char* name) {
  clearText(name, RTC_NAME_BUFFER);
  return -1;
}
rtc_handle rtc_create_source(int, int, int, int, unsigned long) { return 0; }
rtc_handle rtc_create_virtual_source(int, int, int, const VirtualCaptureCallback*) { return 0; }
void rtc_destroy_source(rtc_handle) {}
rtc_handle rtc_create_peerconnection(rtc_handle, rtc_handle, const PeerConnectionCallback*) { return 0; }
void rtc_add_stream(rtc_handle, rtc_handle) {}
void rtc_create_offer(rtc_handle, const SDPCallback*) {}
void rtc_create_answer(rtc_handle, const SDPCallback*) {}
rtc_handle rtc_create_sdp(const char*, const char*) { return 0; }
void rtc_set_sdp(rtc_handle, rtc_handle, int, const SDPCallback*) {}
void rtc_get_sdp(rtc_handle, char* type, char* text) {
  clearText(type, RTC_TEXT_BUFFER);
  clearText(text, RTC_TEXT_BUFFER);
}
void rtc_get_pc_sdp(rtc_handle, int, char* type, char* text) {
  clearText(type, RTC_TEXT_BUFFER);
  clearText(text, RTC_TEXT_BUFFER);
}
rtc_handle rtc_create_candidate(const char*, int, const char*) { return 0; }
void rtc_add_candidate(rtc_handle, rtc_handle) {}
void rtc_get_candidate(rtc_handle, int* index, char* mid, char* line) {
  if (index) *index = 0;
  clearText(mid, RTC_TEXT_BUFFER);
  clearText(line, RTC_TEXT_BUFFER);
}
void rtc_close(rtc_handle) {}
void rtc_get_stats(rtc_handle, const StatsCallback*) {}
rtc_handle rtc_create_datachannel(rtc_handle, const char*, const DCCallback*) { return 0; }
void rtc_datachannel_observe(rtc_handle, const DCCallback*) {}
void rtc_send_data(rtc_handle, const void*, int) {}
}
