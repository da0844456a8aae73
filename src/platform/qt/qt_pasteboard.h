#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMap>
#include <QUrl>
#include <optional>

#include "platform/image.h"
#include "platform/pasteboard.h"

class QClipboard;
class QMimeData;

namespace bm::qt {

// The X11 clipboard through QClipboard. X11 keeps no change count, so one is
// counted here from the clipboard's change signal. It starts from the clock
// at launch, so each launch's counts differ from every count an earlier run
// stored: whatever is on the clipboard at launch is taken as a change.
class QtPasteboard : public Pasteboard {
 public:
  QtPasteboard(QClipboard& clipboard, ImageCodec& images);

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
  // What this application offers since its last clearContents.
  struct Offer {
    QMap<QString, QByteArray> formats;
    std::optional<QString> text;
    std::optional<QImage> image;
    QList<QUrl> urls;
  };
  const QMimeData* current() const;
  bool publish();

  QClipboard& clipboard_;
  ImageCodec& images_;
  std::int64_t changeCount_;
  Offer offer_;
};

}  // namespace bm::qt
