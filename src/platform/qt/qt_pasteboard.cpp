#include "platform/qt/qt_pasteboard.h"

#include <QClipboard>
#include <QDateTime>
#include <QMimeData>
#include <algorithm>

#include "platform/qt/mime_types.h"
#include "shared/qt_image_codec.h"
#include "shared/utf8.h"

namespace bm::qt {
namespace {

QByteArray toQByteArray(const Bytes& bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

Bytes toBytes(const QByteArray& bytes) { return Bytes(bytes.begin(), bytes.end()); }

}  // namespace

QtPasteboard::QtPasteboard(QClipboard& clipboard, ImageCodec& images)
    : clipboard_(clipboard), images_(images), changeCount_(QDateTime::currentMSecsSinceEpoch()) {
  changed_ = QObject::connect(&clipboard_, &QClipboard::changed, [this](QClipboard::Mode mode) {
    if (mode != QClipboard::Clipboard) return;
    reads_ = {};
    if (publishing_) return;
    ownsClipboard_ = false;
    ++changeCount_;
    if (observer_) observer_();
  });
}

// The clipboard outlives this object; its signal must not reach a dead one.
QtPasteboard::~QtPasteboard() { QObject::disconnect(changed_); }

const QMimeData* QtPasteboard::current() const { return clipboard_.mimeData(QClipboard::Clipboard); }

const QStringList& QtPasteboard::formats() {
  if (!reads_.formats) {
    const QMimeData* data = reads_.ownerGone ? nullptr : current();
    reads_.formats = data ? data->formats() : QStringList();
  }
  return *reads_.formats;
}

bool QtPasteboard::ownerIsGone() const {
  const QMimeData* data = current();
  return !data || data->formats().isEmpty();
}

std::optional<QByteArray> QtPasteboard::read(const QString& mimeType) {
  if (const auto known = reads_.bytes.find(mimeType); known != reads_.bytes.end()) return known->second;
  std::optional<QByteArray> bytes;
  if (!reads_.ownerGone && formats().contains(mimeType)) {
    const QMimeData* data = current();
    QByteArray read = data ? data->data(mimeType) : QByteArray();
    if (read.isEmpty() && ownerIsGone()) {
      reads_.ownerGone = true;
      reads_.formats = QStringList();
    } else {
      bytes = std::move(read);
    }
  }
  reads_.bytes.emplace(mimeType, bytes);
  return bytes;
}

std::vector<std::string> QtPasteboard::types() {
  std::vector<std::string> result;
  for (const QString& format : formats()) {
    if (isProtocolTarget(format)) continue;
    auto type = pasteboardTypeFor(format);
    if (std::find(result.begin(), result.end(), type) == result.end()) result.push_back(std::move(type));
  }
  return result;
}

// A list that names no file (a browser's link) leaves the file managers' own flavour to try.
std::vector<Url> QtPasteboard::readUrls() {
  if (const auto list = read(kUriListMime)) {
    auto urls = fileUrlsOfUriList(*list);
    if (!urls.empty()) return urls;
  }
  if (const auto copied = read(kGnomeCopiedFilesMime)) return fileUrlsOfCopiedFiles(*copied);
  return {};
}

std::optional<std::string> QtPasteboard::plainText() {
  for (const QString& flavour : textFlavoursByPreference(formats()))
    if (const auto bytes = read(flavour))
      if (auto text = utf8TextOf(flavour, *bytes)) return text;
  return std::nullopt;
}

std::optional<Bytes> QtPasteboard::tiff() {
  if (!reads_.tiff) {
    const auto tiff = read(mimeTypeFor(kPasteboardTypeTIFF));
    reads_.tiff = tiff ? std::optional<Bytes>(toBytes(*tiff)) : convertedToTiff();
  }
  return *reads_.tiff;
}

// Decoded from the bytes already read rather than through QMimeData's own
// image conversion, which would ask the owner again. Qt's synthetic image
// format is used only where no image type is listed: that is an image held
// in this process.
std::optional<Bytes> QtPasteboard::convertedToTiff() {
  bool anyImageType = false;
  for (const QString& format : formats()) {
    if (!isReadableImageMime(format)) continue;
    anyImageType = true;
    if (const auto bytes = read(format))
      if (const auto image = images_.decode(toBytes(*bytes))) return images_.tiffRepresentation(*image);
  }
  if (anyImageType || reads_.ownerGone || !formats().contains(kQtImageMime)) return std::nullopt;
  const QMimeData* data = current();
  const QImage image = data ? qvariant_cast<QImage>(data->imageData()) : QImage();
  if (image.isNull()) return std::nullopt;
  return images_.tiffRepresentation(fromQImage(image));
}

std::optional<Bytes> QtPasteboard::dataForType(std::string_view type) {
  if (type == kPasteboardTypeString) {
    if (const auto text = plainText()) return bytesOf(*text);
    // No flavour holds valid text: the preferred one's bytes as they are.
    const QStringList flavours = textFlavoursByPreference(formats());
    if (flavours.isEmpty()) return std::nullopt;
    const auto bytes = read(flavours.front());
    return bytes ? std::optional<Bytes>(toBytes(*bytes)) : std::nullopt;
  }
  if (type == kPasteboardTypeTIFF) return tiff();
  const auto bytes = read(mimeTypeFor(type));
  return bytes ? std::optional<Bytes>(toBytes(*bytes)) : std::nullopt;
}

std::optional<std::string> QtPasteboard::stringForType(std::string_view type) {
  if (type == kPasteboardTypeString) return plainText();
  const auto bytes = dataForType(type);
  if (!bytes || !isValidUtf8(textViewOf(*bytes)))
    return std::nullopt;
  return textOf(*bytes);
}

std::optional<std::string> QtPasteboard::availableTypeFromArray(const std::vector<std::string>& types) {
  const QStringList& offered = formats();
  for (const auto& type : types) {
    if (offered.contains(mimeTypeFor(type)) ||
        (type == kPasteboardTypeString && !textFlavoursByPreference(offered).isEmpty()) ||
        (type == kPasteboardTypeTIFF && tiff()))
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

// Someone else's copy since our last clearContents is not added to: the
// write starts a change of our own.
void QtPasteboard::startOwnChangeIfReplaced() {
  if (!ownsClipboard_) offer_.clear();
}

bool QtPasteboard::setString(const std::string& text, std::string_view type) {
  if (type != kPasteboardTypeString) return setData(bytesOf(text), type);
  startOwnChangeIfReplaced();
  offer("text/plain", QString::fromStdString(text));
  return publish();
}

// Text goes out in every flavour Qt offers; bytes that are no UTF-8 would be
// mended on the way, so they go out as they are, under the plain flavour.
bool QtPasteboard::setData(const Bytes& data, std::string_view type) {
  if (type == kPasteboardTypeString && isValidUtf8(textViewOf(data))) return setString(textOf(data), type);
  startOwnChangeIfReplaced();
  offer(type == kPasteboardTypeString ? QString("text/plain") : mimeTypeFor(type), toQByteArray(data));
  return publish();
}

bool QtPasteboard::writeImage(const Image& image) {
  const QImage pixels = toQImage(image);
  if (pixels.isNull()) return false;
  startOwnChangeIfReplaced();
  offer(kQtImageMime, pixels);
  if (auto tiff = images_.tiffRepresentation(image)) offer(mimeTypeFor(kPasteboardTypeTIFF), toQByteArray(*tiff));
  return publish();
}

bool QtPasteboard::writeFileUrls(const std::vector<Url>& urls) {
  startOwnChangeIfReplaced();
  QList<QUrl> all;
  for (const auto& [mimeType, value] : offer_)
    if (value.metaType() == QMetaType::fromType<QList<QUrl>>()) all = value.value<QList<QUrl>>();
  for (const auto& url : urls) all.append(QUrl::fromEncoded(QByteArray::fromStdString(url.absoluteString())));
  QByteArray copied = "copy";
  for (const QUrl& url : all) copied += '\n' + url.toEncoded();
  offer(kUriListMime, QVariant::fromValue(all));
  offer(kGnomeCopiedFilesMime, copied);
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
    if (value.metaType() == QMetaType::fromType<QString>()) {
      // Qt's X11 text targets, and the explicit UTF-8 flavour browsers ask for first.
      data->setText(value.toString());
      data->setData(mimeTypeFor(kPasteboardTypeString), value.toString().toUtf8());
    } else if (value.metaType() == QMetaType::fromType<QImage>()) {
      data->setImageData(value);
    } else if (value.metaType() == QMetaType::fromType<QList<QUrl>>()) {
      data->setUrls(value.value<QList<QUrl>>());
    } else {
      data->setData(mimeType, value.toByteArray());
    }
  }
  publishing_ = true;
  clipboard_.setMimeData(data, QClipboard::Clipboard);  // takes ownership
  publishing_ = false;
  reads_ = {};
  if (!ownsClipboard_) {
    ++changeCount_;
    ownsClipboard_ = true;
    if (observer_) observer_();
  }
  return true;
}

}  // namespace bm::qt
