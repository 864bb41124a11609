/*
 * rtc.h: the C interface of rt.so, Corvala's media engine library.
 *
 * The program loads rt.so with dlopen and resolves the 52 entry points below
 * by name (RTC_FOR_EACH_ENTRY_POINT lists them). It never links against the
 * library; `decltype(&rtc_xxx)` gives the matching function-pointer type.
 *
 * Conventions shared by every entry point
 *  - Handles are 32-bit values from one table of the library; 0 means none.
 *    An unknown, stale or zero handle is ignored (or yields 0); it never
 *    crashes the process.
 *  - Strings passed in are NUL-terminated UTF-8.
 *  - Strings passed out go into the caller's fixed buffers: RTC_TEXT_BUFFER
 *    bytes for SDP types and texts, candidate tags and lines,
 *    RTC_NAME_BUFFER bytes for device names. They are always NUL-terminated
 *    and cut at the buffer size.
 *  - Callback records are copied when they are handed over: the caller may
 *    reuse or re-point a record afterwards, the library keeps what it got.
 *    Every callback is made from one of the library's two dispatch threads,
 *    never from inside an entry point and never while the library holds a
 *    lock an entry point needs (VirtualCaptureCallback alone is called on the
 *    source's capture thread, see there). DCCallback's receive_message runs
 *    on the data thread, every other callback on the dispatch thread: a
 *    slow or blocked frame callback does not hold up received messages, nor
 *    the other way round, so a program whose video and data callbacks touch
 *    the same state must guard it. Each thread makes one callback at a time;
 *    one channel's messages arrive in the order sent. A callback may block
 *    on the program's main thread; entry points called from that thread
 *    meanwhile still return. rtc_close gates the callbacks of both threads
 *    (see there).
 *  - Video frames reach render_frame as packed 32-bit BGRx pixels (blue,
 *    green, red, unused), top row first, rows without padding, after
 *    set_size announced width and height (again whenever they change). The
 *    pixel pointer is valid only during the call.
 */
#ifndef CORVALA_RTC_H
#define CORVALA_RTC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(RTC_BUILDING_LIBRARY)
#define RTC_API __attribute__((visibility("default")))
#else
#define RTC_API
#endif

typedef uint32_t rtc_handle;

enum {
  RTC_TEXT_BUFFER = 4096, /* SDP type and text, candidate tag and line */
  RTC_NAME_BUFFER = 256   /* audio device, camera and source names */
};

/* Video source ids for rtc_create_source (below 998: camera index). */
enum {
  RTC_SOURCE_WINDOW = 998,  /* content of one X window, given by its id */
  RTC_SOURCE_SCREEN = 999,  /* the whole X screen (root window, all monitors) */
  RTC_SOURCE_VIRTUAL = 1000 /* frames pulled through a VirtualCaptureCallback */
};

/* Selector of rtc_get_videotrack. */
enum { RTC_TRACK_VIDEO = 0, RTC_TRACK_AUDIO = 1 };

/* ICE connection states reported through icestate_changed. */
enum {
  RTC_ICE_NEW = 0,
  RTC_ICE_CHECKING = 1,
  RTC_ICE_CONNECTED = 2,
  RTC_ICE_COMPLETED = 3,
  RTC_ICE_FAILED = 4,
  RTC_ICE_DISCONNECTED = 5,
  RTC_ICE_CLOSED = 6
};

/* A peer that sends RTP (media or only its reports) and then no packet at
   all for this long has vanished (process killed, network gone): the
   connection is reported as ended (remove_stream). RTP participants report
   at least every 7.5 s, this engine every second or so. */
enum { RTC_PEER_SILENCE_MS = 8000 };

/* ICE gathering states reported through icegathering_changed. */
enum { RTC_GATHERING_NEW = 0, RTC_GATHERING_GATHERING = 1, RTC_GATHERING_COMPLETE = 2 };

/* ---- callback records: `arg` first, handed back unchanged ---------------- */

typedef struct PeerConnectionCallback {
  void* arg;
  /* A remote stream arrived; its tracks are read with rtc_get_videotrack. */
  void (*add_stream)(void* arg, rtc_handle stream);
  /* The remote side removed its stream or the connection ended: ICE
     failed, the other side vanished without a word (no packet from it for
     RTC_PEER_SILENCE_MS), or it sent more data-channel
     messages than wait for the program (RTC_MAX_QUEUED_BYTES /
     RTC_MAX_QUEUED_MESSAGES). Made at most once per connection; stream is 0
     when the other side never sent one. The program then ends the
     connection with rtc_close. */
  void (*remove_stream)(void* arg, rtc_handle stream);
  /* The other side opened a data channel; observe it with rtc_datachannel_observe. */
  void (*open_datachannel)(void* arg, rtc_handle channel);
  /* One of the RTC_ICE_* states. */
  void (*icestate_changed)(void* arg, int state);
  /* A local candidate was found; read it with rtc_get_candidate. The handle
     stays valid until rtc_close of its peer connection. */
  void (*generate_icecandidate)(void* arg, rtc_handle candidate);
  /* One of the RTC_GATHERING_* states; may be left NULL. */
  void (*icegathering_changed)(void* arg, int state);
} PeerConnectionCallback;

typedef struct SDPCallback {
  void* arg;
  /* An offer or answer was made (error 0) or could not be made (error != 0,
     description 0). The handle stays valid until rtc_close of its peer
     connection. */
  void (*create_sdp)(void* arg, rtc_handle description, int error);
  /* rtc_set_sdp finished: error 0 on success. */
  void (*set_sdp)(void* arg, int error);
} SDPCallback;

typedef struct DCCallback {
  void* arg;
  /* One received message, text or binary alike, exactly as sent. The bytes
     are valid only during the call. */
  void (*receive_message)(void* arg, const uint8_t* data, int size);
} DCCallback;

typedef struct VideoRendererCallback {
  void* arg;
  void (*set_size)(void* arg, int width, int height);
  /* width * height BGRx pixels, top row first, packed. */
  void (*render_frame)(void* arg, const uint8_t* pixels);
} VideoRendererCallback;

typedef struct StatsCallback {
  void* arg;
  /* One value of one report. ts: when the reports were taken, in
     microseconds since the Unix epoch (the real-time clock, UTC); every
     value of one request carries the same ts. */
  void (*get_stats)(void* arg, const char* id, int64_t ts, const char* type, const char* key,
                    const char* value);
  /* All values of this request were delivered. */
  void (*complete)(void* arg);
} StatsCallback;

typedef struct VirtualCaptureCallback {
  void* arg;
  /* Capture begins at up to width x height and fps frames per second.
     Return non-zero to accept; 0 makes the source deliver nothing. */
  int (*start)(void* arg, int width, int height, int fps);
  /* Called once per frame period on the source's capture thread, which
     rtc_destroy_source waits for: get_frame must not wait for the thread
     that destroys the source. Fill
     `pixels` (width * height BGRx, top row first, packed; width and height
     as given to start) and return 1, or return 0 when nothing changed, in
     which case no frame is sent for this period. */
  int (*get_frame)(void* arg, uint8_t* pixels, int width, int height);
  /* Capture ended (source destroyed or factory gone); no call follows. */
  void (*stop)(void* arg);
} VirtualCaptureCallback;

/* ---- entry points ------------------------------------------------------ */

/* Process set-up; call once before anything else. Returns 1 on success.
   It also limits glibc's malloc to two arenas for the whole process: the
   engine's threads come and go with every session, and with an arena
   each, what they freed stayed scattered in memory for good. */
RTC_API int rtc_init(void);
/* 0 quiet, 1 errors, 2 warnings, 3 info, 4+ debug (to stderr). */
RTC_API void rtc_set_debug_level(int level);

/* Audio: the default devices (PulseAudio or ALSA; silent source and null
   sink when there is no device), or a file played as the microphone. */
RTC_API rtc_handle rtc_create_audio_module(void);
RTC_API rtc_handle rtc_create_file_audio_module(const char* path);
RTC_API void rtc_destroy_audio_module(rtc_handle audio_module);
RTC_API int rtc_audio_source_count(rtc_handle audio_module);
/* name: RTC_NAME_BUFFER bytes, UTF-8; empty for an unknown index. */
RTC_API void rtc_audio_source_name(rtc_handle audio_module, char* name, int index);
RTC_API void rtc_set_audio_source(rtc_handle audio_module, int index);

RTC_API rtc_handle rtc_create_factory(rtc_handle audio_module);
/* Ends every peer connection, source and track made from the factory. */
RTC_API void rtc_destroy_factory(rtc_handle factory);

/* ICE servers: "stun:host[:port]", "turn:host[:port]" (user and password
   for TURN). Servers added later are used by every later peer connection. */
RTC_API rtc_handle rtc_create_iceservers(void);
RTC_API void rtc_add_iceserver(rtc_handle list, const char* url, const char* user,
                               const char* password);
RTC_API void rtc_destroy_iceservers(rtc_handle list);

/* Constraints: a mandatory (1) and an optional (0) option set of key/value
   pairs ("OfferToReceiveAudio", "OfferToReceiveVideo", "DtlsSrtpKeyAgreement",
   "maxWidth", "maxHeight", "maxFrameRate", "minFrameRate"). */
RTC_API rtc_handle rtc_create_constraints(void);
RTC_API rtc_handle rtc_get_options(rtc_handle constraints, int mandatory);
RTC_API void rtc_add_option(rtc_handle options, const char* key, const char* value);
RTC_API void rtc_destroy_constraints(rtc_handle constraints);

/* Streams and tracks. */
RTC_API rtc_handle rtc_create_stream(rtc_handle factory, const char* label);
RTC_API void rtc_destroy_stream(rtc_handle stream);
RTC_API rtc_handle rtc_create_videotrack(rtc_handle factory, rtc_handle source, const char* label);
RTC_API rtc_handle rtc_create_audiotrack(rtc_handle factory, const char* label);
RTC_API void rtc_add_videotrack(rtc_handle stream, rtc_handle track);
RTC_API void rtc_add_audiotrack(rtc_handle stream, rtc_handle track);
RTC_API void rtc_remove_videotrack(rtc_handle stream, rtc_handle track);
RTC_API void rtc_remove_audiotrack(rtc_handle stream, rtc_handle track);
/* which: RTC_TRACK_VIDEO or RTC_TRACK_AUDIO; 0 when the stream has none. */
RTC_API rtc_handle rtc_get_videotrack(rtc_handle stream, int which);
/* Every captured (local) or decoded (remote) frame of the video track goes
   to the record from now on. */
RTC_API void rtc_add_renderer(rtc_handle track, const VideoRendererCallback* renderer);
/* enable 1 / 0: unmute / mute a local track (silence or no new frames). */
RTC_API void rtc_track_setstate(rtc_handle track, int enable);

/* Video sources. width, height and fps are upper limits of what is sent.
   No side is larger than RTC_MAX_FRAME_SIDE and no frame has more than
   RTC_MAX_FRAME_PIXELS pixels (a BGRx frame then holds at most 256 MiB):
   rtc_create_source takes larger limits as these, rtc_create_virtual_source
   refuses them (returns 0), because its frames are allocated at that size. */
enum { RTC_MAX_FRAME_SIDE = 16384, RTC_MAX_FRAME_PIXELS = 8192 * 8192 };
RTC_API int rtc_capturer_count(void);
/* name: RTC_NAME_BUFFER bytes; empty for an unknown camera. */
RTC_API void rtc_capturer_name(int index, char* name);
RTC_API int rtc_capturer_profile_count(int index);
/* Returns 1 and fills width, height and fps of that profile, or 0. */
RTC_API int rtc_capturer_profile(int index, int profile, int* width, int* height, int* fps);
/* Lists what rtc_create_source accepts: cameras 0..n-1, then 998 and 999.
   Returns the source id at position `index` and its name (RTC_NAME_BUFFER
   bytes), or -1 past the end. */
RTC_API int rtc_enum_video_source(int index, char* name);
/* source_id: camera index, RTC_SOURCE_WINDOW (window = X window id) or
   RTC_SOURCE_SCREEN. 0 when the source cannot be made. */
RTC_API rtc_handle rtc_create_source(int width, int height, int fps, int source_id,
                                     unsigned long window);
RTC_API rtc_handle rtc_create_virtual_source(int width, int height, int fps,
                                             const VirtualCaptureCallback* capture);
RTC_API void rtc_destroy_source(rtc_handle source);

/* Peer connections. */
RTC_API rtc_handle rtc_create_peerconnection(rtc_handle factory, rtc_handle iceservers,
                                             const PeerConnectionCallback* callback);
RTC_API void rtc_add_stream(rtc_handle pc, rtc_handle stream);
RTC_API void rtc_create_offer(rtc_handle pc, const SDPCallback* callback);
RTC_API void rtc_create_answer(rtc_handle pc, const SDPCallback* callback);
/* Wraps a received description ("offer" / "answer"). */
RTC_API rtc_handle rtc_create_sdp(const char* type, const char* sdp);
/* local: 1 = local description, 0 = remote. */
RTC_API void rtc_set_sdp(rtc_handle pc, rtc_handle description, int local,
                         const SDPCallback* callback);
/* type and text: RTC_TEXT_BUFFER bytes each. */
RTC_API void rtc_get_sdp(rtc_handle description, char* type, char* text);
/* The peer connection's current local (1) or remote (0) description. */
RTC_API void rtc_get_pc_sdp(rtc_handle pc, int local, char* type, char* text);
RTC_API rtc_handle rtc_create_candidate(const char* mid, int mline_index, const char* line);
RTC_API void rtc_add_candidate(rtc_handle pc, rtc_handle candidate);
/* mid and line: RTC_TEXT_BUFFER bytes each. */
RTC_API void rtc_get_candidate(rtc_handle candidate, int* mline_index, char* mid, char* line);
/* Ends the connection. No callback of it starts once this returns, and one
   that was running has finished, so the records' `arg` may be freed; the
   only exception is a callback still running after 2 s (typically one that
   waits for the thread calling rtc_close), which finishes later. */
RTC_API void rtc_close(rtc_handle pc);
RTC_API void rtc_get_stats(rtc_handle pc, const StatsCallback* callback);

/* Data channels. Sends made before the channel is open are queued and go
   out, in order, once it opens. A message is at most RTC_MAX_MESSAGE bytes:
   larger ones are refused (not sent, a warning is logged), because the
   common browsers' WebRTC closes a channel that receives one. An empty
   message cannot be sent either (webrtcbin has no empty message).
   Received messages wait, in order, until receive_message has taken them;
   a peer can send faster than the program takes them, so per connection at
   most RTC_MAX_QUEUED_BYTES in RTC_MAX_QUEUED_MESSAGES messages wait. A peer
   that sends more ends its connection: its waiting and further messages are
   dropped and remove_stream reports the end (dropping only some messages
   would hand the program a silently broken ordered stream). Of the channels
   the other side opens, the program hears of the first 16; further ones
   are ignored (logged), their messages dropped. */
enum {
  RTC_MAX_MESSAGE = 65536,
  RTC_MAX_QUEUED_BYTES = 16 * 1024 * 1024,
  RTC_MAX_QUEUED_MESSAGES = 16384
};
RTC_API rtc_handle rtc_create_datachannel(rtc_handle pc, const char* label,
                                          const DCCallback* callback);
RTC_API void rtc_datachannel_observe(rtc_handle channel, const DCCallback* callback);
/* One message of exactly these bytes. */
RTC_API void rtc_send_data(rtc_handle channel, const void* data, int size);

/* Every entry point's name, for loaders: X(name). */
#define RTC_FOR_EACH_ENTRY_POINT(X) \
  X(rtc_init)                       \
  X(rtc_set_debug_level)            \
  X(rtc_create_audio_module)        \
  X(rtc_create_file_audio_module)   \
  X(rtc_destroy_audio_module)       \
  X(rtc_audio_source_count)         \
  X(rtc_audio_source_name)          \
  X(rtc_set_audio_source)           \
  X(rtc_create_factory)             \
  X(rtc_destroy_factory)            \
  X(rtc_create_iceservers)          \
  X(rtc_add_iceserver)              \
  X(rtc_destroy_iceservers)         \
  X(rtc_create_constraints)         \
  X(rtc_get_options)                \
  X(rtc_add_option)                 \
  X(rtc_destroy_constraints)        \
  X(rtc_create_stream)              \
  X(rtc_destroy_stream)             \
  X(rtc_create_videotrack)          \
  X(rtc_create_audiotrack)          \
  X(rtc_add_videotrack)             \
  X(rtc_add_audiotrack)             \
  X(rtc_remove_videotrack)          \
  X(rtc_remove_audiotrack)          \
  X(rtc_get_videotrack)             \
  X(rtc_add_renderer)               \
  X(rtc_track_setstate)             \
  X(rtc_capturer_count)             \
  X(rtc_capturer_name)              \
  X(rtc_capturer_profile_count)     \
  X(rtc_capturer_profile)           \
  X(rtc_enum_video_source)          \
  X(rtc_create_source)              \
  X(rtc_create_virtual_source)      \
  X(rtc_destroy_source)             \
  X(rtc_create_peerconnection)      \
  X(rtc_add_stream)                 \
  X(rtc_create_offer)               \
  X(rtc_create_answer)              \
  X(rtc_create_sdp)                 \
  X(rtc_set_sdp)                    \
  X(rtc_get_sdp)                    \
  X(rtc_get_pc_sdp)                 \
  X(rtc_create_candidate)           \
  X(rtc_add_candidate)              \
  X(rtc_get_candidate)              \
  X(rtc_close)                      \
  X(rtc_get_stats)                  \
  X(rtc_create_datachannel)         \
  X(rtc_datachannel_observe)        \
  X(rtc_send_data)

#ifdef __cplusplus
}
#endif

#endif
