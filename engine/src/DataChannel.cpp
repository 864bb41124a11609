#include "DataChannel.h"

#include "Log.h"

#include <cstdio>
#include <cstring>

namespace corvala::engine {

namespace {
using Ref = std::weak_ptr<DataChannel>;
void deleteRef(gpointer data, GClosure*) { delete static_cast<Ref*>(data); }
std::shared_ptr<DataChannel> lockRef(gpointer data) { return static_cast<Ref*>(data)->lock(); }
}  // namespace

DataChannel::~DataChannel() {
  shutdown();
  if (channel_) gst_object_unref(channel_);
}

void DataChannel::attach(GstWebRTCDataChannel* channel) {
  std::lock_guard lock(mutex_);
  if (channel_) return;
  channel_ = GST_WEBRTC_DATA_CHANNEL(gst_object_ref(channel));
  auto connect = [&](const char* signal, GCallback handler) {
    g_signal_connect_data(channel, signal, handler, new Ref(weak_from_this()), deleteRef, GConnectFlags(0));
  };
  connect("on-open", G_CALLBACK(onOpen));
  connect("on-close", G_CALLBACK(onClose));
  connect("on-error", G_CALLBACK(onError));
  connect("on-message-data", G_CALLBACK(onMessageData));
  connect("on-message-string", G_CALLBACK(onMessageString));
  GstWebRTCDataChannelState state;
  g_object_get(channel, "ready-state", &state, nullptr);
  if (state == GST_WEBRTC_DATA_CHANNEL_STATE_OPEN) state_ = State::Open;
}

void DataChannel::observe(const DCCallback& callback) {
  std::lock_guard lock(mutex_);
  callback_ = callback;
  observed_ = true;
  postDeliveriesLocked();
}

bool DataChannel::isOpen() {
  std::lock_guard lock(mutex_);
  return state_ == State::Open;
}

void DataChannel::send(const void* data, int size) {
  if (size < 0 || (size > 0 && !data)) return;
  if (size == 0) {
    // webrtcbin cannot send an empty message; there is no such command.
    logMessage(LogLevel::Info, "data channel: empty message not sent");
    return;
  }
  if (size > RTC_MAX_MESSAGE) {
    logMessage(LogLevel::Warning, "data channel: a %d-byte message is over the %d-byte limit; not sent", size,
               RTC_MAX_MESSAGE);
    return;
  }
  GBytes* bytes = g_bytes_new(data, gsize(size));
  std::lock_guard lock(mutex_);
  switch (state_) {
    case State::Closed:
      g_bytes_unref(bytes);
      logMessage(LogLevel::Info, "data channel: send on a closed channel dropped");
      return;
    case State::Connecting:
      outgoing_.push_back(bytes);  // webrtcbin refuses sends before open
      return;
    case State::Open:
      sendLocked(bytes);
      return;
  }
}

void DataChannel::sendLocked(GBytes* bytes) {
  GError* error = nullptr;
  if (!gst_webrtc_data_channel_send_data_full(channel_, bytes, &error)) {
    logMessage(LogLevel::Warning, "data channel: send failed: %s", error ? error->message : "unknown");
    if (error) g_error_free(error);
  }
  g_bytes_unref(bytes);
}

void DataChannel::opened() {
  std::lock_guard lock(mutex_);
  if (state_ == State::Closed) return;
  state_ = State::Open;
  while (!outgoing_.empty()) {
    sendLocked(outgoing_.front());
    outgoing_.pop_front();
  }
}

void DataChannel::closed() {
  std::lock_guard lock(mutex_);
  state_ = State::Closed;
  for (GBytes* bytes : outgoing_) g_bytes_unref(bytes);
  if (!outgoing_.empty())
    logMessage(LogLevel::Warning, "data channel: closed with %zu unsent messages", outgoing_.size());
  outgoing_.clear();
}

void DataChannel::shutdown() {
  closed();
  dropReceived();
  GstWebRTCDataChannel* channel;
  {
    std::lock_guard lock(mutex_);
    channel = channel_;
  }
  if (channel) g_signal_handlers_disconnect_matched(channel, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr, (gpointer)onMessageData, nullptr);
}

void DataChannel::received(GBytes* message) {
  // The received bytes themselves go to the program: no copy on the way.
  std::shared_ptr<GBytes> held(message, g_bytes_unref);
  const size_t size = g_bytes_get_size(message);
  size_t waitingBytes = 0, waitingMessages = 0;
  {
    std::lock_guard lock(mutex_);
    if (dropping_) return;
    if (budget_->take(size)) {
      inbox_.push_back(std::move(held));
      if (observed_) postDeliveriesLocked();
      return;
    }
    waitingBytes = budget_->bytes();
    waitingMessages = budget_->messages();
    dropReceivedLocked();
  }
  char why[160];
  std::snprintf(why, sizeof why, "the peer overran the received messages (%zu bytes in %zu messages waiting, %zu more)",
                waitingBytes, waitingMessages, size);
  if (overrun_) overrun_(why);
}

void DataChannel::postDeliveriesLocked() {
  for (; posted_ < inbox_.size(); ++posted_)
    Dispatcher::data().post(owner_, [self = shared_from_this()] { self->deliverNext(); });
}

void DataChannel::deliverNext() {
  std::shared_ptr<GBytes> message;
  DCCallback callback;
  {
    std::lock_guard lock(mutex_);
    if (inbox_.empty()) return;  // dropped meanwhile
    message = std::move(inbox_.front());
    inbox_.pop_front();
    --posted_;
    callback = callback_;
  }
  gsize size = 0;
  const void* data = g_bytes_get_data(message.get(), &size);
  static const uint8_t empty = 0;
  if (callback.receive_message)
    callback.receive_message(callback.arg, data ? static_cast<const uint8_t*>(data) : &empty, int(size));
  budget_->give(size);
}

void DataChannel::dropReceived() {
  std::lock_guard lock(mutex_);
  dropReceivedLocked();
}

void DataChannel::dropReceivedLocked() {
  dropping_ = true;
  for (const auto& message : inbox_) budget_->give(g_bytes_get_size(message.get()));
  inbox_.clear();
  posted_ = 0;
}

void DataChannel::onOpen(GstWebRTCDataChannel*, gpointer self) {
  if (auto channel = lockRef(self)) channel->opened();
}

void DataChannel::onClose(GstWebRTCDataChannel*, gpointer self) {
  if (auto channel = lockRef(self)) channel->closed();
}

void DataChannel::onError(GstWebRTCDataChannel*, GError* error, gpointer self) {
  logMessage(LogLevel::Warning, "data channel error: %s", error ? error->message : "unknown");
}

void DataChannel::onMessageData(GstWebRTCDataChannel*, GBytes* data, gpointer self) {
  auto channel = lockRef(self);
  if (!channel) return;
  channel->received(data ? g_bytes_ref(data) : g_bytes_new(nullptr, 0));
}

void DataChannel::onMessageString(GstWebRTCDataChannel*, gchar* text, gpointer self) {
  auto channel = lockRef(self);
  if (!channel) return;
  channel->received(text ? g_bytes_new(text, strlen(text)) : g_bytes_new(nullptr, 0));
}

}  // namespace corvala::engine
