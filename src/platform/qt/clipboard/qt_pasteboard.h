#pragma once

#include <QMetaObject>
#include <memory>
#include <optional>

#include "platform/qt/clipboard/mime_pasteboard.h"
#include "platform/qt/clipboard/x11_clipboard.h"

class QClipboard;
class QMimeData;
class QSocketNotifier;

namespace bm::qt {

// The X11 clipboard. This application's own offer is served through
// QClipboard. Other programs' copies are read through an X11Clipboard where
// there is an X display: each change is seen as X11 reports it, and a read
// from a stalled owner is given up after a bounded wait. Without one (Qt's
// offscreen platform), everything goes through QClipboard.
//
// The change count stands for the clipboard's owner and content, so that a
// relaunch with an unchanged clipboard finds the count it stored before:
// - another program's copy: its window and ownership timestamp, where the
//   owner lists TIMESTAMP and answers it as an INTEGER; else a digest of its
//   window and the offered types and bytes (MimePasteboard::digestOfChange). So where an owner gives no
//   timestamp, the same window copying the same bytes again is no change:
//   the entry is at the top already;
// - no owner: 1;
// - this application's own changes: numbers below zero, from the clock at
//   launch, since its offer goes when it quits.
// clearContents and the writes after it are one change, as the count
// clearContents returns promises. Without X11, the count is counted from
// QClipboard's change signal, from the clock at launch.
class QtPasteboard : public MimePasteboard {
 public:
  // `x11` may be null: then QClipboard is all there is.
  QtPasteboard(QClipboard& clipboard, ImageCodec& images, std::unique_ptr<X11Clipboard> x11 = nullptr);
  ~QtPasteboard() override;
  QtPasteboard(const QtPasteboard&) = delete;
  QtPasteboard& operator=(const QtPasteboard&) = delete;

 private:
  QStringList fetchFormats() override;
  std::optional<QByteArray> fetch(const QString& mimeType) override;
  std::optional<Image> heldImage() override;
  bool publish() override;

  const QMimeData* current() const;
  std::optional<QByteArray> readThroughQt(const QString& mimeType);
  std::optional<QByteArray> readThroughX11(const QString& mimeType);
  // Whether another program owns the clipboard, as X11 last told us.
  bool othersOwnX11Clipboard() const;
  bool stillOurs();
  void noteX11Read();
  void takeX11Changes();
  void takeX11ChangesSoon();
  std::int64_t identityOfChange() override;

  QClipboard& clipboard_;
  std::unique_ptr<X11Clipboard> x11_;
  std::unique_ptr<QSocketNotifier> x11Events_;
  X11Clipboard::Change x11Change_;  // the change the count stands for, on X11
  bool publishing_ = false;
  QMetaObject::Connection changed_;
};

}  // namespace bm::qt
