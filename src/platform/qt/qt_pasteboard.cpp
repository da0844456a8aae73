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
  changed_ = QObject::connect(&clipboard_, &QClipboard::changed, [this](QClipboard::Mode mode) {
    if (mode != QClipboard::Clipboard || publishing_) return;
    ownsClipboard_ = false;
    ++changeCount_;
  });
}

// The clipboard outlives this object; its signal must not reach a dead one.
QtPasteboard::~QtPasteboard() { QObject::disconnect(changed_); }

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
  offer_.clear();
  ownsClipboard_ = false;  // a new change even if the offer was ours
  publish();
  return changeCount_;
}

bool QtPasteboard::setString(const std::string& text, std::string_view type) {
  if (type != kPasteboardTypeString) return setData(bytesOf(text), type);
  offer("text/plain", QString::fromStdString(text));
  return publish();
}

bool QtPasteboard::setData(const Bytes& data, std::string_view type) {
  if (type == kPasteboardTypeString) return setString(textOf(data), type);
  offer(mimeTypeFor(type), toQByteArray(data));
  return publish();
}

bool QtPasteboard::writeImage(const Image& image) {
  const QImage pixels = toQImage(image);
  if (pixels.isNull()) return false;
  offer("application/x-qt-image", pixels);
  if (auto tiff = images_.tiffRepresentation(image)) offer("image/tiff", toQByteArray(*tiff));
  return publish();
}

bool QtPasteboard::writeFileUrls(const std::vector<Url>& urls) {
  QList<QUrl> all;
  for (const auto& [mimeType, value] : offer_)
    if (value.metaType() == QMetaType::fromType<QList<QUrl>>()) all = value.value<QList<QUrl>>();
  for (const auto& url : urls) all.append(QUrl::fromEncoded(QByteArray::fromStdString(url.absoluteString())));
  QByteArray gnome = "copy";
  for (const QUrl& url : all) gnome += '\n' + url.toEncoded();
  offer("text/uri-list", QVariant::fromValue(all));
  offer(kGnomeCopiedFiles, gnome);
  return publish();
}

// A type offered again moves to the end, as it does on the simulated pasteboard.
void QtPasteboard::offer(const QString& mimeType, QVariant value) {
  std::erase_if(offer_, [&](const auto& entry) { return entry.first == mimeType; });
  offer_.emplace_back(mimeType, std::move(value));
}

// X11 serves the clipboard from one QMimeData: every write publishes the whole
// offer again, in the order offered, so other applications always see all of
// it. Qt reports our own publishing at once; it is counted here instead, so
// that the writes after clearContents belong to its change, unless someone
// else replaced the offer meanwhile.
bool QtPasteboard::publish() {
  auto* data = new QMimeData;
  for (const auto& [mimeType, value] : offer_) {
    if (value.metaType() == QMetaType::fromType<QString>())
      data->setText(value.toString());
    else if (value.metaType() == QMetaType::fromType<QImage>())
      data->setImageData(value);
    else if (value.metaType() == QMetaType::fromType<QList<QUrl>>())
      data->setUrls(value.value<QList<QUrl>>());
    else
      data->setData(mimeType, value.toByteArray());
  }
  publishing_ = true;
  clipboard_.setMimeData(data, QClipboard::Clipboard);  // takes ownership
  publishing_ = false;
  if (!ownsClipboard_) {
    ++changeCount_;
    ownsClipboard_ = true;
  }
  return true;
}

}  // namespace bm::qt
