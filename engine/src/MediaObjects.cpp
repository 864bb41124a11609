#include "MediaObjects.h"

#include "Log.h"
#include "PeerConnection.h"
#include "Renderer.h"

#include <algorithm>

namespace corvala::engine {

// ---- audio module -----------------------------------------------------------

namespace {
bool elementExists(const char* factory) {
  GstElementFactory* f = gst_element_factory_find(factory);
  if (!f) return false;
  gst_object_unref(f);
  return true;
}
}  // namespace

namespace {
struct DeviceProbe {
  std::vector<std::pair<std::string, std::pair<std::string, std::string>>> sources;  // name, element, device
  bool playout = false;
};

// Asked once per process: with no sound server, each PulseAudio probe leaves
// descriptors behind in the client library, and devices rarely change
// during a session.
const DeviceProbe& probeDevices() {
  static const DeviceProbe probe = [] {
    DeviceProbe result;
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Audio/Source", nullptr);
    gst_device_monitor_add_filter(monitor, "Audio/Sink", nullptr);
    if (gst_device_monitor_start(monitor)) {
      GList* devices = gst_device_monitor_get_devices(monitor);
      for (GList* item = devices; item; item = item->next) {
        GstDevice* device = GST_DEVICE(item->data);
        gchar* cls = gst_device_get_device_class(device);
        const bool source = g_str_has_prefix(cls, "Audio/Source");
        const bool sink = g_str_has_prefix(cls, "Audio/Sink");
        g_free(cls);
        if (sink) result.playout = true;
        if (!source) continue;
        GstElement* element = gst_device_create_element(device, nullptr);
        if (!element) continue;
        gchar* name = gst_device_get_display_name(device);
        GstElementFactory* factory = gst_element_get_factory(element);
        std::string id;
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "device")) {
          gchar* value = nullptr;
          g_object_get(element, "device", &value, nullptr);
          id = value ? value : "";
          g_free(value);
        }
        result.sources.push_back({name ? name : "", {factory ? GST_OBJECT_NAME(factory) : "", id}});
        g_free(name);
        gst_object_unref(element);
      }
      g_list_free_full(devices, gst_object_unref);
      gst_device_monitor_stop(monitor);
    }
    gst_object_unref(monitor);
    if (result.playout && !elementExists("pulsesink") && !elementExists("alsasink")) result.playout = false;
    return result;
  }();
  return probe;
}
}  // namespace

AudioModule::AudioModule(Kind kind, std::string file) : kind_(kind), file_(std::move(file)) {
  // Only devices that a sound server or driver really offers count; with
  // none, capture is a silent live source and playout a null sink, so that
  // sessions still run on a machine without sound.
  const DeviceProbe& probe = probeDevices();
  for (const auto& [name, element] : probe.sources) sources_.push_back({name, element.first, element.second});
  playoutAvailable_ = probe.playout;
}

int AudioModule::sourceCount() const { return int(sources_.size()); }

std::string AudioModule::sourceName(int index) const {
  if (index < 0 || index >= int(sources_.size())) return {};
  return sources_[size_t(index)].name;
}

void AudioModule::selectSource(int index) {
  std::lock_guard lock(mutex_);
  if (index >= 0 && index < int(sources_.size())) selected_ = index;
}

namespace {
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}
}  // namespace

std::string AudioModule::captureDescription() const {
  const std::string silence = "audiotestsrc is-live=true wave=silence";
  if (kind_ == Kind::File) {
    // The file plays once; the silent live input keeps the mix running
    // (and the peer's audio track alive) after the file ends. The mixer
    // comes last so that the caller's chain continues from it.
    const std::string format = " ! audio/x-raw,rate=48000,channels=2 ! filemix. ";
    return "filesrc location=" + quoted(file_) + " ! decodebin ! audioconvert ! audioresample" + format +
           silence + format + "audiomixer name=filemix";
  }
  std::lock_guard lock(mutex_);
  if (sources_.empty()) return silence;
  const Device& device = sources_[size_t(selected_)];
  std::string description = device.element;
  if (!device.property.empty()) description += " device=" + quoted(device.property);
  return description;
}

std::string AudioModule::playoutDescription() const {
  if (playoutAvailable_ && elementExists("pulsesink")) return "pulsesink sync=false";
  if (playoutAvailable_ && elementExists("alsasink")) return "alsasink sync=false";
  return "fakesink sync=false async=false";
}

// ---- tracks -----------------------------------------------------------------

VideoTrack::~VideoTrack() { detach(); }

void VideoTrack::addConsumer(std::shared_ptr<FrameConsumer> consumer) {
  bool attach = false;
  {
    std::lock_guard lock(mutex_);
    consumers_.push_back(std::move(consumer));
    attach = source_ && !attached_;
    attached_ = attached_ || attach;
  }
  if (attach) source_->addConsumer(this);
}

void VideoTrack::removeConsumer(const FrameConsumer* consumer) {
  bool detachSource = false;
  std::shared_ptr<FrameConsumer> keep;  // released outside the lock
  {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(consumers_.begin(), consumers_.end(),
                           [&](const auto& c) { return c.get() == consumer; });
    if (it != consumers_.end()) {
      keep = *it;
      consumers_.erase(it);
    }
    detachSource = source_ && attached_ && consumers_.empty();
    if (detachSource) attached_ = false;
  }
  if (detachSource) source_->removeConsumer(this);
}

void VideoTrack::addRenderer(const VideoRendererCallback& callback) {
  addConsumer(std::make_shared<Renderer>(callback, lifetime));
}

void VideoTrack::onFrame(GstBuffer* frame, int width, int height) {
  if (!enabled) return;
  std::lock_guard lock(mutex_);
  for (auto& consumer : consumers_) consumer->onFrame(frame, width, height);
}

void VideoTrack::detach() {
  if (lifetime->alive()) {
    // Renderer callbacks of this track that are running finish first (see
    // PeerConnection::close for the time limit).
    lifetime->end();
    Dispatcher::instance().waitUntilIdle(lifetime.get(), 2000);
  }
  bool detachSource;
  std::vector<std::shared_ptr<FrameConsumer>> dropped;
  {
    std::lock_guard lock(mutex_);
    detachSource = source_ && attached_;
    attached_ = false;
    dropped.swap(consumers_);
  }
  if (detachSource) source_->removeConsumer(this);
}

AudioTrack::~AudioTrack() { lifetime->end(); }

void AudioTrack::setEnabled(bool enable) {
  std::lock_guard lock(mutex_);
  enabled = enable;
  for (GstElement* volume : volumes_) g_object_set(volume, "mute", enable ? FALSE : TRUE, nullptr);
}

void AudioTrack::addVolume(GstElement* volume) {
  std::lock_guard lock(mutex_);
  volumes_.insert(volume);
  g_object_set(volume, "mute", enabled ? FALSE : TRUE, nullptr);
}

void AudioTrack::removeVolume(GstElement* volume) {
  std::lock_guard lock(mutex_);
  volumes_.erase(volume);
}

// ---- streams ----------------------------------------------------------------

void MediaStream::add(const std::shared_ptr<Track>& track) {
  std::lock_guard lock(mutex_);
  if (std::find(tracks_.begin(), tracks_.end(), track) == tracks_.end()) tracks_.push_back(track);
}

void MediaStream::remove(const std::shared_ptr<Track>& track) {
  std::lock_guard lock(mutex_);
  tracks_.erase(std::remove(tracks_.begin(), tracks_.end(), track), tracks_.end());
}

std::shared_ptr<Track> MediaStream::first(Track::Kind kind) const {
  std::lock_guard lock(mutex_);
  for (const auto& track : tracks_)
    if (track->kind == kind) return track;
  return nullptr;
}

std::shared_ptr<VideoTrack> MediaStream::videoTrack() const {
  return std::dynamic_pointer_cast<VideoTrack>(first(Track::Kind::Video));
}

std::shared_ptr<AudioTrack> MediaStream::audioTrack() const {
  return std::dynamic_pointer_cast<AudioTrack>(first(Track::Kind::Audio));
}

// ---- factory ----------------------------------------------------------------

Factory::~Factory() { shutdown(); }

void Factory::own(rtc_handle handle) {
  std::lock_guard lock(mutex_);
  owned_.push_back(handle);
}

void Factory::adopt(const std::shared_ptr<PeerConnection>& pc) {
  std::lock_guard lock(mutex_);
  peers_.erase(std::remove_if(peers_.begin(), peers_.end(), [](const auto& w) { return w.expired(); }),
               peers_.end());
  peers_.push_back(pc);
}

void Factory::shutdown() {
  std::vector<rtc_handle> owned;
  std::vector<std::weak_ptr<PeerConnection>> peers;
  {
    std::lock_guard lock(mutex_);
    if (down_) return;
    down_ = true;
    owned.swap(owned_);
    peers.swap(peers_);
  }
  for (auto& weak : peers)
    if (auto pc = weak.lock()) pc->close();
  for (rtc_handle handle : owned) {
    auto object = handles().remove(handle);
    if (auto video = std::dynamic_pointer_cast<VideoTrack>(object)) video->detach();
    if (auto track = std::dynamic_pointer_cast<Track>(object)) track->lifetime->end();
  }
}

}  // namespace corvala::engine
