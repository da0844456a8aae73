#pragma once

#include <xcb/xcb.h>

#include <QByteArray>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/qt/clipboard/transfer_pace.h"

namespace bm::qt {

// The X11 CLIPBOARD selection as another program owns it, seen from a
// connection of our own rather than Qt's:
// - every change of owner is reported with its ownership timestamp (XFixes),
//   which Qt's clipboard signal leaves out;
// - a read waits for the owner as long as it keeps the pace of a transfer
//   (TransferPace: 2 s without an answer at most), where Qt's reader waits
//   5 s; an owner that dies, stalls or refuses yields nothing.
// Reading blocks the caller; it never reads from this process's own windows,
// which only the caller's event loop can answer.
class X11Clipboard {
 public:
  // A change of owner. No owner: the clipboard is empty. `ours`: the owner
  // is a window of the application's own connection (its writes).
  struct Change {
    xcb_window_t owner = XCB_NONE;
    xcb_timestamp_t timestamp = XCB_CURRENT_TIME;
    bool ours = false;
  };

  // Connects to the display `application` is connected to. Null when that
  // fails or the display lacks XFixes.
  static std::unique_ptr<X11Clipboard> connect(xcb_connection_t* application);
  ~X11Clipboard();
  X11Clipboard(const X11Clipboard&) = delete;
  X11Clipboard& operator=(const X11Clipboard&) = delete;

  // Readable when events wait; takeChanges() then collects them. Events can
  // also be queued during a read without the descriptor showing it: see
  // hasChanges().
  int fileDescriptor() const;
  std::vector<Change> takeChanges();
  bool hasChanges() const { return !changes_.empty(); }

  xcb_window_t owner();
  bool isOurs(xcb_window_t window) const;
  // The owner's ownership timestamp, from its TIMESTAMP target. Only a reply
  // of type INTEGER counts: simple owners answer every target with their data.
  std::optional<xcb_timestamp_t> ownershipTimestamp();
  // The targets on offer, in the owner's order; nullopt when the owner
  // gave no list.
  std::optional<std::vector<std::string>> targets();
  // One target's bytes, also when sent in pieces (INCR); nullopt when the
  // owner refused, answered with another type, went away, kept silent for
  // TransferPace::kPatience, or trickled its pieces (TransferPace).
  std::optional<QByteArray> read(const std::string& target);
  // Whether the last conversion was given up: the owner kept silent for
  // TransferPace::kPatience, or the clipboard changed while we waited.
  bool lastReadAbandoned() const { return abandonedLast_; }

 private:
  X11Clipboard(xcb_connection_t* connection, xcb_window_t window, uint8_t xfixesEvent, const xcb_setup_t& application);

  xcb_atom_t atom(const std::string& name);
  // Asks the owner for `target` into our property; the reply's property, or nullopt.
  std::optional<QByteArray> convert(xcb_atom_t target, xcb_atom_t* type);
  // Waits for the event `wanted` picks, keeping changes of owner meanwhile.
  // Null once the deadline passed without it, or the clipboard changed.
  template <typename Wanted>
  xcb_generic_event_t* waitFor(std::chrono::steady_clock::time_point deadline, const Wanted& wanted);
  std::optional<QByteArray> readIncrementally(xcb_atom_t* type);
  // Whether bytes of `type` answer a request for `target`.
  bool answers(const std::string& target, xcb_atom_t type);
  std::string nameOf(xcb_atom_t atom);
  // Waits for the name asked for with `cookie` and keeps it.
  void keepName(xcb_atom_t atom, xcb_get_atom_name_cookie_t cookie);
  std::optional<QByteArray> takeProperty(xcb_atom_t* type);
  // Keeps a change of owner; true when the event was one.
  bool keepIfChange(const xcb_generic_event_t* event);
  void pollQueued();
  void useNextProperty();

  xcb_connection_t* connection_;
  xcb_window_t window_;
  uint8_t xfixesEvent_;
  uint32_t applicationIdBase_;
  uint32_t applicationIdMask_;
  xcb_atom_t clipboard_ = XCB_ATOM_NONE;
  xcb_atom_t property_ = XCB_ATOM_NONE;
  unsigned abandoned_ = 0;
  bool abandonedLast_ = false;
  std::vector<Change> changes_;
  std::map<std::string, xcb_atom_t> atoms_;
  std::map<xcb_atom_t, std::string> names_;
};

}  // namespace bm::qt
