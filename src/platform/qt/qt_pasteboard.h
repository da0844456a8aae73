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
#include <optional>
#include <utility>
#include <vector>

#include "platform/image.h"
#include "platform/pasteboard.h"

class QClipboard;
class QMimeData;

namespace bm::qt {

// The X11 clipboard through QClipboard. X11 keeps no change count, so one is
// counted here from the clipboard's change signal. It starts from the clock
// at launch, so each launch's counts differ from every count an earlier run
// stored: whatever is on the clipboard at launch is taken as a change.
// clearContents and the writes after it are one change, as the count
// clearContents returns promises.
//
// On X11 every read of a type is a request to the program that owns the
// clipboard, so each MIME type's bytes are read once per change and kept
// (absent ones too); text, file URLs and TIFF are made from those bytes.
// What was read is forgotten when the clipboard changes and when this
// application writes.
//
// The owner may be gone before a change is read: Qt then reads empty bytes
// and the clipboard lists no format any more. Such a read gives nothing, and
// so does every later read of that change; empty bytes from a live owner stay
// empty bytes.
class QtPasteboard : public Pasteboard {
 public:
  QtPasteboard(QClipboard& clipboard, ImageCodec& images);
  ~QtPasteboard() override;
  QtPasteboard(const QtPasteboard&) = delete;
  QtPasteboard& operator=(const QtPasteboard&) = delete;

  std::int64_t changeCount() override { return changeCount_; }
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
  };

  const QMimeData* current() const;
  const QStringList& formats();
  std::optional<QByteArray> read(const QString& mimeType);
  bool ownerIsGone() const;
  std::optional<std::string> plainText();
  std::optional<Bytes> tiff();
  std::optional<Bytes> convertedToTiff();

  void offer(const QString& mimeType, QVariant value);
  bool publish();
  void startOwnChangeIfReplaced();

  QClipboard& clipboard_;
  ImageCodec& images_;
  std::int64_t changeCount_;
  Offer offer_;
  Reads reads_;
  bool publishing_ = false;
  bool ownsClipboard_ = false;  // nobody replaced our offer since clearContents
  QMetaObject::Connection changed_;
  std::function<void()> observer_;
};

}  // namespace bm::qt
