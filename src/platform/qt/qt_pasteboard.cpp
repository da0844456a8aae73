#include "platform/qt/qt_pasteboard.h"

#include <QClipboard>
#include <QDateTime>
#include <QMimeData>

#include "platform/qt/mime_types.h"
#include "shared/qt_image_codec.h"

namespace bm::qt {
namespace {

constexpr const char* kGnomeCopiedFiles = "x-special/gnome-copied-files";

Url toUrl(const QUrl& url) {
  if (url.isLocalFile()) return Url::fileUrlWithPath(url.toLocalFile().toStdString());
  return Url::parse(url.toString(QUrl::FullyEncoded).toStdString()).value_or(Url());
}

QByteArray toQByteArray(const Bytes& bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

Bytes toBytes(const QByteArray& bytes) { return Bytes(bytes.begin(), bytes.end()); }

}  // namespace

QtPasteboard::QtPasteboard(QClipboard& clipboard, ImageCodec& images)
    : clipboard_(clipboard), images_(images), changeCount_(QDateTime::currentMSecsSinceEpoch()) {
  QObject::connect(&clipboard_, &QClipboard::changed, [this](QClipboard::Mode mode) {
    if (mode == QClipboard::Clipboard) ++changeCount_;
  });
}

const QMimeData* QtPasteboard::current() const { return clipboard_.mimeData(QClipboard::Clipboard); }

std::vector<std::string> QtPasteboard::types() {
  std::vector<std::string> result;
  const QMimeData* data = current();
  if (!data) return result;
  for (const QString& format : data->formats()) {
    if (isProtocolTarget(format)) continue;
    auto type = pasteboardTypeFor(format);
    if (std::find(result.begin(), result.end(), type) == result.end()) result.push_back(std::move(type));
  }
  return result;
}

std::vector<Url> QtPasteboard::readUrls() {
  std::vector<Url> urls;
  const QMimeData* data = current();
  if (!data) return urls;
  if (data->hasUrls()) {
    for (const QUrl& url : data->urls()) urls.push_back(toUrl(url));
  } else if (data->hasFormat(kGnomeCopiedFiles)) {
    // "copy" or "cut", then one URL per line.
    const auto lines = data->data(kGnomeCopiedFiles).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i)
      if (!lines[i].trimmed().isEmpty()) urls.push_back(toUrl(QUrl::fromEncoded(lines[i].trimmed())));
  }
  return urls;
}

std::optional<Bytes> QtPasteboard::dataForType(std::string_view type) {
  const QMimeData* data = current();
  if (!data) return std::nullopt;
  if (type == kPasteboardTypeString) {
    if (!data->hasText()) return std::nullopt;
    return toBytes(data->text().toUtf8());
  }
  const QString mime = mimeTypeFor(type);
  if (data->hasFormat(mime)) return toBytes(data->data(mime));
  if (type == kPasteboardTypeTIFF && data->hasImage()) {
    // Any other image type is offered as TIFF, as the core expects.
    return images_.tiffRepresentation(fromQImage(qvariant_cast<QImage>(data->imageData())));
  }
  return std::nullopt;
}

std::optional<std::string> QtPasteboard::stringForType(std::string_view type) {
  auto bytes = dataForType(type);
  if (!bytes) return std::nullopt;
  return textOf(*bytes);
}

std::optional<std::string> QtPasteboard::availableTypeFromArray(const std::vector<std::string>& types) {
  const QMimeData* data = current();
  if (!data) return std::nullopt;
  for (const auto& type : types) {
    if (data->hasFormat(mimeTypeFor(type)) || (type == kPasteboardTypeString && data->hasText()) ||
        (type == kPasteboardTypeTIFF && data->hasImage()))
      return type;
  }
  return std::nullopt;
}

std::int64_t QtPasteboard::clearContents() {
  offer_ = Offer();
  publish();
  return changeCount_;
}

bool QtPasteboard::setString(const std::string& text, std::string_view type) {
  if (type == kPasteboardTypeString) {
    offer_.text = QString::fromStdString(text);
    return publish();
  }
  return setData(bytesOf(text), type);
}

bool QtPasteboard::setData(const Bytes& data, std::string_view type) {
  if (type == kPasteboardTypeString) return setString(textOf(data), type);
  offer_.formats[mimeTypeFor(type)] = toQByteArray(data);
  return publish();
}

bool QtPasteboard::writeImage(const Image& image) {
  const QImage pixels = toQImage(image);
  if (pixels.isNull()) return false;
  offer_.image = pixels;
  if (auto tiff = images_.tiffRepresentation(image)) offer_.formats["image/tiff"] = toQByteArray(*tiff);
  return publish();
}

bool QtPasteboard::writeFileUrls(const std::vector<Url>& urls) {
  QByteArray gnome = "copy";
  for (const auto& url : urls) {
    const QUrl qurl = QUrl::fromEncoded(QByteArray::fromStdString(url.absoluteString()));
    offer_.urls.append(qurl);
    gnome += '\n' + qurl.toEncoded();
  }
  offer_.formats[kGnomeCopiedFiles] = gnome;
  return publish();
}

// X11 serves the clipboard from one QMimeData: every write publishes the whole
// offer again, so other applications always see all of it.
bool QtPasteboard::publish() {
  auto* data = new QMimeData;
  for (auto it = offer_.formats.cbegin(); it != offer_.formats.cend(); ++it) data->setData(it.key(), it.value());
  if (offer_.text) data->setText(*offer_.text);
  if (offer_.image) data->setImageData(*offer_.image);
  if (!offer_.urls.isEmpty()) data->setUrls(offer_.urls);
  clipboard_.setMimeData(data, QClipboard::Clipboard);  // takes ownership
  return true;
}

}  // namespace bm::qt
