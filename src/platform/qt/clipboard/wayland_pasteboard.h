#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/qt/clipboard/mime_pasteboard.h"
#include "platform/qt/clipboard/wayland_clipboard.h"

class QSocketNotifier;

namespace bm::qt {

// The clipboard of a Wayland session, through the data-control protocol:
// every new selection is seen at once, with no window of ours focused, and
// reads from a stalled or vanished owner give nothing after a bounded wait.
// This application's own offer is read back from memory, never through the
// compositor.
//
// The change count stands for the selection, so that a relaunch with an
// unchanged one finds the count it stored before. Wayland names no owner and
// no ownership time, and announces the selection at every start:
// - another program's selection: a digest of its types, and of the bytes of
//   its first type and of its text (MimePasteboard::digestOfChange). The same
//   selection offered again straight after is a new change all the same (how
//   often it came in a row goes into the count), so only such a repeat, last
//   before a relaunch, is found once more after it, where it is the top
//   entry already;
// - no selection: 1;
// - this application's own changes: numbers below zero, from the clock at
//   launch, since its offer goes when it quits.
class WaylandPasteboard : public MimePasteboard {
 public:
  WaylandPasteboard(std::unique_ptr<WaylandClipboard> wayland, ImageCodec& images);
  ~WaylandPasteboard() override;
  WaylandPasteboard(const WaylandPasteboard&) = delete;
  WaylandPasteboard& operator=(const WaylandPasteboard&) = delete;

 private:
  QStringList fetchFormats() override;
  std::optional<QByteArray> fetch(const QString& mimeType) override;
  bool publish() override;

  void takeChanges();
  void takeChangesSoon();
  std::int64_t identityOfChange() override;

  std::unique_ptr<WaylandClipboard> wayland_;
  std::unique_ptr<QSocketNotifier> events_;
  std::int64_t lastDigest_ = 0;  // of the change before, if it was another program's
  std::int64_t repeats_ = 0;     // how often in a row it came before
};

}  // namespace bm::qt
