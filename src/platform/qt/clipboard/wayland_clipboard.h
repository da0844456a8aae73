#pragma once

#include <QByteArray>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/qt/clipboard/transfer_pace.h"

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwlr_data_control_manager_v1;
struct zwlr_data_control_device_v1;
struct zwlr_data_control_offer_v1;
struct zwlr_data_control_source_v1;

namespace bm::qt {

// A Wayland seat's clipboard through the data-control protocol, which
// compositors offer to clipboard managers: it needs no focused surface, where
// the core protocol gives the clipboard only to the focused application.
// Reading and serving block the caller, for as long as the other program
// keeps the pace of a transfer (TransferPace).
class WaylandClipboard {
 public:
  using Provider = std::function<QByteArray(const std::string& mimeType)>;

  // What connect() found missing.
  enum class Missing {
    kDisplay,      // no $WAYLAND_DISPLAY
    kConnection,   // the compositor did not answer there
    kDataControl,  // it offers no data-control (GNOME's does not), or no seat to use it on
  };
  // Null when something is missing; `missing` then says what.
  static std::unique_ptr<WaylandClipboard> connect(Missing* missing = nullptr);
  ~WaylandClipboard();
  WaylandClipboard(const WaylandClipboard&) = delete;
  WaylandClipboard& operator=(const WaylandClipboard&) = delete;

  // Readable when the compositor sent something; dispatch() handles it.
  // It stays readable once the connection broke (the compositor quit).
  int fileDescriptor() const;
  // Whether the compositor still serves us the clipboard: the connection
  // holds, and it did not end our device (it may, for a seat that went).
  bool isConnected() const;
  // Handles what the compositor sent: new selections, and requests for our
  // offer. True when the selection changed since the last call.
  bool dispatch();

  // Whether a new selection came since the last dispatch(), possibly during
  // a read or an offer, which handle the compositor's events too.
  bool hasNewSelection() const { return selectionChanged_; }
  bool hasSelection() const { return selection_ != nullptr; }
  // Whether the selection is the one offer() last made.
  bool selectionIsOurs() const { return hasSelection() && selection_ == ownSelection_; }
  // The selection's MIME types in the owner's order; none without one.
  const std::vector<std::string>& types() const { return selectionTypes_; }
  // One type's bytes; nullopt when the owner went away without sending, or
  // kept silent or trickled (TransferPace). Never call it for our own selection.
  std::optional<QByteArray> read(const std::string& mimeType);
  bool lastReadAbandoned() const { return abandonedLast_; }

  // Makes `types` the selection; `provide` gives a type's bytes when another
  // program asks. False when the compositor did not take it.
  bool offer(const std::vector<std::string>& types, Provider provide);

 private:
  struct Listeners;
  friend struct Listeners;

  explicit WaylandClipboard(wl_display* display);
  std::optional<Missing> bind();
  void serve(zwlr_data_control_source_v1* source, const std::string& mimeType, int fd);

  wl_display* display_;
  wl_registry* registry_ = nullptr;
  wl_seat* seat_ = nullptr;
  zwlr_data_control_manager_v1* manager_ = nullptr;
  zwlr_data_control_device_v1* device_ = nullptr;
  // Offers introduced and not yet made the selection, with their types.
  std::map<zwlr_data_control_offer_v1*, std::vector<std::string>> offers_;
  zwlr_data_control_offer_v1* selection_ = nullptr;
  std::vector<std::string> selectionTypes_;
  zwlr_data_control_offer_v1* ownSelection_ = nullptr;
  zwlr_data_control_source_v1* source_ = nullptr;  // the last offer() made
  // Our sources until the compositor says they were replaced.
  std::map<zwlr_data_control_source_v1*, Provider> providers_;
  unsigned selections_ = 0;  // selection announcements so far
  bool selectionChanged_ = false;
  bool abandonedLast_ = false;
};

}  // namespace bm::qt
