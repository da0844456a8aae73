#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMetaObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/image.h"
#include "platform/pasteboard.h"
#include "platform/qt/x11_clipboard.h"

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
//   window and the offered types and bytes. So where an owner gives no
//   timestamp, the same window copying the same bytes again is no change:
//   the entry is at the top already;
// - no owner: 1;
// - this application's own changes: numbers below zero, from the clock at
//   launch, since its offer goes when it quits.
// clearContents and the writes after it are one change, as the count
// clearContents returns promises. Without X11, the count is counted from
// QClipboard's change signal, from the clock at launch.
//
// On X11 every read of a type is a request to the program that owns the
// clipboard, so each MIME type's bytes are read once per change and kept
// (absent ones too); text, file URLs and TIFF are made from those bytes.
// What was read is forgotten when the clipboard changes and when this
// application writes.
//
// The owner may be gone, replaced or stalled before a change is read. Such a
// read gives nothing, and so does every later read of that change once the
// owner is gone or replaced, or has left two reads unanswered (an owner busy
// just after its copy answers the second); empty bytes from a live owner stay
// empty bytes.
class QtPasteboard : public Pasteboard {
 public:
  // `x11` may be null: then QClipboard is all there is.
  QtPasteboard(QClipboard& clipboard, ImageCodec& images, std::unique_ptr<X11Clipboard> x11 = nullptr);
  ~QtPasteboard() override;
  QtPasteboard(const QtPasteboard&) = delete;
  QtPasteboard& operator=(const QtPasteboard&) = delete;

  std::int64_t changeCount() override;
  std::vector<std::string> types() override;
  std::vector<Url> readUrls() override;
  std::optional<Bytes> dataForType(std::string_view type) override;
  std::optional<std::string> stringForType(std::string_view type) override;
  std::optional<std::string> availableTypeFromArray(const std::vector<std::string>& types) override;
  std::int64_t clearContents() override;
  bool setString(const std::string& text, std::string_view type) override;
  bool setData(const Bytes& data, std::string_view type) override;
  bool writeImage(const Image& image) override;
  bool writeFileUrls(const std::vector<Url>& urls) override;
  // Told of every change Qt reports (X11: XFixes selection notify), and of
  // this application's own publishing.
  void setChangeObserver(std::function<void()> observer) override { observer_ = std::move(observer); }

 private:
  // What this application offers since its last clearContents, by MIME
  // type in the order offered: text, image and URLs as QMimeData keeps them
  // (QString, QImage, QList<QUrl>), anything else as bytes.
  using Offer = std::vector<std::pair<QString, QVariant>>;
  // What has been read of the current change.
  struct Reads {
    std::optional<QStringList> formats;
    std::map<QString, std::optional<QByteArray>> bytes;  // nullopt: not on offer
    std::optional<std::optional<Bytes>> tiff;
    bool ownerGone = false;
    int silences = 0;  // reads the owner left unanswered
  };

  const QMimeData* current() const;
  QStringList formats();
  std::optional<QByteArray> read(const QString& mimeType);
  std::optional<QByteArray> readThroughQt(const QString& mimeType);
  std::optional<QByteArray> readThroughX11(const QString& mimeType);
  bool ownerIsGone() const;
  // Whether another program owns the clipboard, as X11 last told us.
  bool othersOwnX11Clipboard() const;
  bool stillOurs();
  void noteX11Read();
  void takeX11Changes();
  void takeX11ChangesSoon();
  std::int64_t identityOfX11Change();
  std::int64_t digestOfOffer();
  std::optional<std::string> plainText();
  std::optional<Bytes> tiff();
  std::optional<Bytes> convertedToTiff();

  void offer(const QString& mimeType, QVariant value);
  bool publish();
  void startOwnChangeIfReplaced();

  QClipboard& clipboard_;
  ImageCodec& images_;
  std::unique_ptr<X11Clipboard> x11_;
  std::unique_ptr<QSocketNotifier> x11Events_;
  std::int64_t sequence_;
  std::int64_t changeCount_;
  X11Clipboard::Change x11Change_;  // the change the count stands for, on X11
  bool countKnown_ = true;
  Offer offer_;
  Reads reads_;
  bool publishing_ = false;
  bool ownsClipboard_ = false;  // nobody replaced our offer since clearContents
  QMetaObject::Connection changed_;
  std::function<void()> observer_;
};

}  // namespace bm::qt
