// The plain objects behind the handles: ICE-server lists, constraints,
// descriptions, candidates, audio modules, tracks, streams and factories.
#pragma once

#include "Dispatcher.h"
#include "HandleTable.h"
#include "VideoSource.h"

#include <gst/gst.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace corvala::engine {

class PeerConnection;

struct IceServer {
  std::string url, user, password;
};

class IceServerList : public EngineObject {
 public:
  void add(IceServer server) {
    std::lock_guard lock(mutex_);
    servers_.push_back(std::move(server));
  }
  std::vector<IceServer> snapshot() const {
    std::lock_guard lock(mutex_);
    return servers_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<IceServer> servers_;
};

class OptionSet : public EngineObject {
 public:
  void set(const std::string& key, const std::string& value) {
    std::lock_guard lock(mutex_);
    values_[key] = value;
  }
  std::map<std::string, std::string> values() const {
    std::lock_guard lock(mutex_);
    return values_;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> values_;
};

class Constraints : public EngineObject {
 public:
  rtc_handle mandatory = 0;
  rtc_handle optional = 0;
};

class SessionDescription : public EngineObject {
 public:
  SessionDescription(std::string t, std::string s) : type(std::move(t)), sdp(std::move(s)) {}
  const std::string type;
  const std::string sdp;
};

class IceCandidate : public EngineObject {
 public:
  IceCandidate(std::string m, int index, std::string l)
      : mid(std::move(m)), mlineIndex(index), line(std::move(l)) {}
  const std::string mid;
  const int mlineIndex;
  const std::string line;
};

// Where the microphone comes from and where received voice goes.
class AudioModule : public EngineObject {
 public:
  enum class Kind { Devices, File };
  AudioModule(Kind kind, std::string file);

  Kind kind() const { return kind_; }
  int sourceCount() const;
  std::string sourceName(int index) const;
  void selectSource(int index);
  // gst-launch style descriptions of the capture and playout ends.
  std::string captureDescription() const;
  std::string playoutDescription() const;

 private:
  struct Device {
    std::string name;
    std::string element;  // factory of the element that opens it
    std::string property; // "device" property value
  };
  Kind kind_;
  std::string file_;
  std::vector<Device> sources_;
  bool playoutAvailable_ = false;
  mutable std::mutex mutex_;
  int selected_ = 0;
};

class Track : public EngineObject {
 public:
  enum class Kind { Video, Audio };
  Track(Kind kind, std::string label) : kind(kind), label(std::move(label)) {}
  const Kind kind;
  const std::string label;
  rtc_handle handle = 0;
  std::shared_ptr<Lifetime> lifetime = std::make_shared<Lifetime>();
  std::atomic<bool> enabled{true};
};

// A video track fans the frames of its source (local) or its decoder
// (remote) out to the peer connections that send it and to renderers.
class VideoTrack : public Track, public FrameConsumer, public std::enable_shared_from_this<VideoTrack> {
 public:
  VideoTrack(std::string label, std::shared_ptr<VideoSource> source)
      : Track(Kind::Video, std::move(label)), source_(std::move(source)) {}
  ~VideoTrack() override;

  void addConsumer(std::shared_ptr<FrameConsumer> consumer);
  void removeConsumer(const FrameConsumer* consumer);
  void addRenderer(const VideoRendererCallback& callback);
  void onFrame(GstBuffer* frame, int width, int height) override;
  void setEnabled(bool enable) { enabled = enable; }
  void detach();
  const std::shared_ptr<VideoSource>& source() const { return source_; }

 private:
  std::shared_ptr<VideoSource> source_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<FrameConsumer>> consumers_;
  bool attached_ = false;
};

// Local audio: the factory's audio module. Each sending peer connection
// registers its volume element so that muting reaches every copy.
class AudioTrack : public Track {
 public:
  AudioTrack(std::string label, std::shared_ptr<AudioModule> module)
      : Track(Kind::Audio, std::move(label)), module(std::move(module)) {}
  ~AudioTrack() override;
  void setEnabled(bool enable);
  void addVolume(GstElement* volume);
  void removeVolume(GstElement* volume);

  const std::shared_ptr<AudioModule> module;

 private:
  std::mutex mutex_;
  std::set<GstElement*> volumes_;
};

class MediaStream : public EngineObject {
 public:
  explicit MediaStream(std::string label) : label(std::move(label)) {}
  const std::string label;

  void add(const std::shared_ptr<Track>& track);
  void remove(const std::shared_ptr<Track>& track);
  std::shared_ptr<VideoTrack> videoTrack() const;
  std::shared_ptr<AudioTrack> audioTrack() const;
  std::shared_ptr<Track> first(Track::Kind kind) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Track>> tracks_;
};

// Owns what was made from it: destroying it ends its peer connections and
// releases its streams and tracks.
class Factory : public EngineObject {
 public:
  explicit Factory(std::shared_ptr<AudioModule> audio) : audio(std::move(audio)) {}
  ~Factory() override;
  const std::shared_ptr<AudioModule> audio;

  void own(rtc_handle handle);
  void adopt(const std::shared_ptr<PeerConnection>& pc);
  void shutdown();

 private:
  std::mutex mutex_;
  std::vector<rtc_handle> owned_;
  std::vector<std::weak_ptr<PeerConnection>> peers_;
  bool down_ = false;
};

}  // namespace corvala::engine
