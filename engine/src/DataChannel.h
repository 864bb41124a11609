// One data channel: sends wait in order until the channel opens, received
// messages wait until somebody observes the channel, and every delivery goes
// through the dispatch thread.
#pragma once

#include "Dispatcher.h"
#include "HandleTable.h"
#include "rtc.h"

#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace corvala::engine {

class DataChannel : public EngineObject, public std::enable_shared_from_this<DataChannel> {
 public:
  explicit DataChannel(std::shared_ptr<Lifetime> owner) : owner_(std::move(owner)) {}
  ~DataChannel() override;

  // Takes a reference and connects the channel's signals; called from
  // webrtcbin's prepare-data-channel, before the channel can open.
  void attach(GstWebRTCDataChannel* channel);
  void observe(const DCCallback& callback);
  void send(const void* data, int size);
  void shutdown();
  bool isOpen();

  rtc_handle handle = 0;

 private:
  static void onOpen(GstWebRTCDataChannel*, gpointer self);
  static void onClose(GstWebRTCDataChannel*, gpointer self);
  static void onError(GstWebRTCDataChannel*, GError* error, gpointer self);
  static void onMessageData(GstWebRTCDataChannel*, GBytes* data, gpointer self);
  static void onMessageString(GstWebRTCDataChannel*, gchar* text, gpointer self);
  void opened();
  void closed();
  // Takes over the reference `message`.
  void received(GBytes* message);
  void sendLocked(GBytes* bytes);
  void postLocked(std::shared_ptr<GBytes> message);

  enum class State { Connecting, Open, Closed };
  const std::shared_ptr<Lifetime> owner_;
  std::mutex mutex_;
  GstWebRTCDataChannel* channel_ = nullptr;
  State state_ = State::Connecting;
  std::deque<GBytes*> outgoing_;
  bool observed_ = false;
  DCCallback callback_{};
  std::deque<std::shared_ptr<GBytes>> unobserved_;
};

}  // namespace corvala::engine
