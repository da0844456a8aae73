#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMetaObject>
#include <QString>
#include <QUrl>
#include <QVariant>
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

 private:
  // What this application offers since its last clearContents, by MIME
  // type in the order offered: text, image and URLs as QMimeData keeps them
  // (QString, QImage, QList<QUrl>), anything else as bytes.
  using Offer = std::vector<std::pair<QString, QVariant>>;
  const QMimeData* current() const;
  void offer(const QString& mimeType, QVariant value);
  bool publish();

  QClipboard& clipboard_;
  ImageCodec& images_;
  std::int64_t changeCount_;
  Offer offer_;
  bool publishing_ = false;
  bool ownsClipboard_ = false;  // nobody replaced our offer since clearContents
  QMetaObject::Connection changed_;
};

}  // namespace bm::qt
