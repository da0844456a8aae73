#include "platform/qt/clipboard/wayland_clipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace bm::qt {
// The protocol's callbacks, each handing its event to the clipboard it was registered with.
struct WaylandClipboard::Listeners {
  static void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* self = static_cast<WaylandClipboard*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat_)
      self->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0 && !self->manager_)
      self->manager_ = static_cast<zwlr_data_control_manager_v1*>(
          wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
  }
  static void globalRemove(void*, wl_registry*, uint32_t) {}

  static void dataOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    auto* self = static_cast<WaylandClipboard*>(data);
    self->offers_[offer];
    zwlr_data_control_offer_v1_add_listener(offer, &kOffer, self);
  }
  static void selection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    auto* self = static_cast<WaylandClipboard*>(data);
    if (self->selection_ && self->selection_ != offer) zwlr_data_control_offer_v1_destroy(self->selection_);
    self->selection_ = offer;
    self->selectionTypes_.clear();
    ++self->selections_;
    if (const auto found = self->offers_.find(offer); found != self->offers_.end()) {
      self->selectionTypes_ = std::move(found->second);
      self->offers_.erase(found);
    }
    self->selectionChanged_ = true;
  }
  static void finished(void* data, zwlr_data_control_device_v1* device) {
    auto* self = static_cast<WaylandClipboard*>(data);
    zwlr_data_control_device_v1_destroy(device);
    self->device_ = nullptr;
  }
  // Only bound at version 1, which never sends it.
  static void primarySelection(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    if (offer) zwlr_data_control_offer_v1_destroy(offer);
  }

  static void offerType(void* data, zwlr_data_control_offer_v1* offer, const char* mimeType) {
    auto* self = static_cast<WaylandClipboard*>(data);
    if (const auto found = self->offers_.find(offer); found != self->offers_.end())
      found->second.emplace_back(mimeType);
    else if (offer == self->selection_)
      self->selectionTypes_.emplace_back(mimeType);
  }

  static void send(void* data, zwlr_data_control_source_v1* source, const char* mimeType, int32_t fd) {
    static_cast<WaylandClipboard*>(data)->serve(source, mimeType, fd);
  }
  static void cancelled(void* data, zwlr_data_control_source_v1* source) {
    auto* self = static_cast<WaylandClipboard*>(data);
    self->providers_.erase(source);
    zwlr_data_control_source_v1_destroy(source);
    if (source == self->source_) {
      self->source_ = nullptr;
      self->ownSelection_ = nullptr;
    }
  }

  static constexpr wl_registry_listener kRegistry{global, globalRemove};
  static constexpr zwlr_data_control_device_v1_listener kDevice{dataOffer, selection, finished, primarySelection};
  static constexpr zwlr_data_control_offer_v1_listener kOffer{offerType};
  static constexpr zwlr_data_control_source_v1_listener kSource{send, cancelled};
};

std::unique_ptr<WaylandClipboard> WaylandClipboard::connect(Missing* missing) {
  const auto without = [&](Missing what) {
    if (missing) *missing = what;
    return nullptr;
  };
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (!name || !*name) return without(Missing::kDisplay);
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return without(Missing::kConnection);
  std::unique_ptr<WaylandClipboard> clipboard(new WaylandClipboard(display));
  if (const auto lacking = clipboard->bind()) return without(*lacking);
  // A reader that stops early closes its pipe: that must not end the application.
  std::signal(SIGPIPE, SIG_IGN);
  return clipboard;
}

WaylandClipboard::WaylandClipboard(wl_display* display) : display_(display) {}

WaylandClipboard::~WaylandClipboard() {
  for (const auto& [source, provide] : providers_) zwlr_data_control_source_v1_destroy(source);
  for (const auto& [offer, types] : offers_) zwlr_data_control_offer_v1_destroy(offer);
  if (selection_) zwlr_data_control_offer_v1_destroy(selection_);
  if (device_) zwlr_data_control_device_v1_destroy(device_);
  if (manager_) zwlr_data_control_manager_v1_destroy(manager_);
  if (seat_) wl_seat_destroy(seat_);
  if (registry_) wl_registry_destroy(registry_);
  wl_display_disconnect(display_);
}

// The first seat and the manager; then the device, whose first events say
// what the selection is now.
std::optional<WaylandClipboard::Missing> WaylandClipboard::bind() {
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &Listeners::kRegistry, this);
  if (wl_display_roundtrip(display_) < 0) return Missing::kConnection;
  if (!seat_ || !manager_) return Missing::kDataControl;
  device_ = zwlr_data_control_manager_v1_get_data_device(manager_, seat_);
  zwlr_data_control_device_v1_add_listener(device_, &Listeners::kDevice, this);
  if (wl_display_roundtrip(display_) < 0) return Missing::kConnection;
  selectionChanged_ = false;  // what is there at the start is no change
  return std::nullopt;
}

int WaylandClipboard::fileDescriptor() const { return wl_display_get_fd(display_); }

bool WaylandClipboard::isConnected() const { return wl_display_get_error(display_) == 0 && device_; }

bool WaylandClipboard::dispatch() {
  while (wl_display_prepare_read(display_) != 0)
    if (wl_display_dispatch_pending(display_) < 0) return std::exchange(selectionChanged_, false);  // broken
  wl_display_flush(display_);
  pollfd descriptor{fileDescriptor(), POLLIN, 0};
  if (::poll(&descriptor, 1, 0) > 0) {
    wl_display_read_events(display_);
  } else {
    wl_display_cancel_read(display_);
  }
  wl_display_dispatch_pending(display_);
  return std::exchange(selectionChanged_, false);
}

std::optional<QByteArray> WaylandClipboard::read(const std::string& mimeType) {
  abandonedLast_ = false;
  zwlr_data_control_offer_v1* const offer = selection_;
  if (!offer) return std::nullopt;
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0) return std::nullopt;
  zwlr_data_control_offer_v1_receive(offer, mimeType.c_str(), pipe[1]);
  ::close(pipe[1]);
  wl_display_flush(display_);

  const TransferPace pace;
  QByteArray bytes;
  char buffer[64 * 1024];
  bool ended = false;
  while (!ended) {
    pollfd descriptor{pipe[0], POLLIN, 0};
    if (::poll(&descriptor, 1, pace.millisecondsLeft(bytes.size())) <= 0) break;
    const ssize_t count = ::read(pipe[0], buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      ended = count == 0;
      break;
    }
    bytes.append(buffer, count);
  }
  ::close(pipe[0]);
  if (!ended) {
    abandonedLast_ = true;
    return std::nullopt;
  }
  // The compositor closes the pipe unwritten when the owner is gone; what it
  // sent before answering a round trip tells whether the selection went too.
  // A connection that broke never delivered the request at all.
  if (bytes.isEmpty()) {
    if (wl_display_roundtrip(display_) < 0 || selection_ != offer) {
      abandonedLast_ = true;
      return std::nullopt;
    }
  }
  return bytes;
}

bool WaylandClipboard::offer(const std::vector<std::string>& types, Provider provide) {
  if (!manager_ || !device_) return false;
  // The source it replaces is told so (cancelled) and goes then: destroyed
  // first, it would leave the clipboard empty for a moment. Each source is
  // served as it was offered until then.
  ownSelection_ = nullptr;
  source_ = zwlr_data_control_manager_v1_create_data_source(manager_);
  zwlr_data_control_source_v1_add_listener(source_, &Listeners::kSource, this);
  for (const auto& type : types) zwlr_data_control_source_v1_offer(source_, type.c_str());
  providers_[source_] = std::move(provide);
  zwlr_data_control_device_v1_set_selection(device_, source_);
  // The selection our request made is announced before the round trip ends,
  // and the last one announced is ours unless our source was replaced since.
  const unsigned before = selections_;
  if (wl_display_roundtrip(display_) < 0 || !source_ || selections_ == before) return false;
  ownSelection_ = selection_;
  return true;
}

// A reader that stalls or trickles is left with what it has (TransferPace).
// The pipe does not block: a write into a full one would wait for the reader
// however long it stalls.
void WaylandClipboard::serve(zwlr_data_control_source_v1* source, const std::string& mimeType, int fd) {
  const auto provider = providers_.find(source);
  const QByteArray bytes = provider != providers_.end() ? provider->second(mimeType) : QByteArray();
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  const TransferPace pace;
  const char* next = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t count = ::write(fd, next, static_cast<size_t>(left));
    if (count > 0) {
      next += count;
      left -= count;
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count == 0 || errno != EAGAIN) break;
    pollfd descriptor{fd, POLLOUT, 0};
    if (::poll(&descriptor, 1, pace.millisecondsLeft(bytes.size() - left)) <= 0) break;
  }
  ::close(fd);
}

}  // namespace bm::qt
