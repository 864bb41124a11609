// One data channel: sends wait in order until the channel opens, received
// messages wait until somebody observes the channel, and every delivery goes
// through the data dispatch thread. What waits is bounded by the connection's
// receive budget; a peer that overruns it loses its connection.
#pragma once

#include "Dispatcher.h"
#include "HandleTable.h"
#include "ReceiveBudget.h"
#include "rtc.h"

#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <mutex>
#include <vector>

namespace corvala::engine {

class DataChannel : public EngineObject, public std::enable_shared_from_this<DataChannel> {
 public:
  // `overrun` is told (outside any lock of the channel) why the peer lost
  // its connection when a received message does not fit the budget.
  DataChannel(std::shared_ptr<Lifetime> owner, std::shared_ptr<ReceiveBudget> budget,
              std::function<void(const std::string& why)> overrun)
      : owner_(std::move(owner)), budget_(std::move(budget)), overrun_(std::move(overrun)) {}
  ~DataChannel() override;

  // Takes a reference and connects the channel's signals; called from
  // webrtcbin's prepare-data-channel, before the channel can open.
  void attach(GstWebRTCDataChannel* channel);
  void observe(const DCCallback& callback);
  void send(const void* data, int size);
  void shutdown();
  bool isOpen();
  // Drops what waits and everything that arrives from now on.
  void dropReceived();

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
  // One delivery task for each waiting message that has none yet.
  void postDeliveriesLocked();
  void deliverNext();
  void dropReceivedLocked();

  enum class State { Connecting, Open, Closed };
  const std::shared_ptr<Lifetime> owner_;
  const std::shared_ptr<ReceiveBudget> budget_;
  const std::function<void(const std::string&)> overrun_;
  std::mutex mutex_;
  GstWebRTCDataChannel* channel_ = nullptr;
  State state_ = State::Connecting;
  std::deque<GBytes*> outgoing_;
  bool observed_ = false;
  DCCallback callback_{};
  std::deque<std::shared_ptr<GBytes>> inbox_;  // received, waiting for the program
  size_t posted_ = 0;                          // of them, with a delivery task
  bool dropping_ = false;
};

}  // namespace corvala::engine
