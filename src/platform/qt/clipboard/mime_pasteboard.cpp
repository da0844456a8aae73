#include "platform/qt/clipboard/mime_pasteboard.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QImage>
#include <QList>
#include <QUrl>
#include <algorithm>
#include <cstring>

#include "platform/qt/clipboard/mime_types.h"
#include "shared/qt_image_codec.h"
#include "shared/utf8.h"

namespace bm::qt {

QByteArray toQByteArray(const Bytes& bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

Bytes toBytes(const QByteArray& bytes) { return Bytes(bytes.begin(), bytes.end()); }

MimePasteboard::MimePasteboard(ImageCodec& images)
    : images_(images), sequence_(-QDateTime::currentMSecsSinceEpoch() * 1000), changeCount_(sequence_) {}

std::int64_t MimePasteboard::changeCount() {
  if (!countKnown_) {
    countKnown_ = true;
    changeCount_ = identityOfChange();
  }
  return changeCount_;
}

void MimePasteboard::countByOrder() {
  changeCount_ = --sequence_;
  countKnown_ = true;
}

void MimePasteboard::countPublishedOffer() {
  if (ownsClipboard_) return;
  countByOrder();
  ownsClipboard_ = true;
  reportChange();
}

QStringList MimePasteboard::formats() {
  if (!reads_.formats) {
    QStringList fetched = reads_.givenUp ? QStringList() : fetchFormats();
    reads_.formats = reads_.givenUp ? QStringList() : std::move(fetched);  // given up while fetching
  }
  return *reads_.formats;
}

std::optional<QByteArray> MimePasteboard::read(const QString& mimeType) {
  if (const auto known = reads_.bytes.find(mimeType); known != reads_.bytes.end()) return known->second;
  std::optional<QByteArray> bytes;
  if (!reads_.givenUp && formats().contains(mimeType)) bytes = fetch(mimeType);
  if (reads_.givenUp) bytes.reset();
  reads_.bytes.emplace(mimeType, bytes);
  return bytes;
}

void MimePasteboard::giveUpChange() {
  reads_.givenUp = true;
  reads_.formats = QStringList();
}

void MimePasteboard::noteSilence() {
  if (++reads_.silences >= 2) giveUpChange();
}

// Every type's name, but the bytes of two only: the first type, which owners
// give their own form of the copy, and the text. Reading every type would
// ask the owner for each text flavour and each image conversion it offers,
// which come from the same copy.
std::int64_t MimePasteboard::digestOfChange(std::int64_t salt) {
  QCryptographicHash digest(QCryptographicHash::Sha1);
  const auto addNumber = [&](std::int64_t number) {
    digest.addData(QByteArrayView(reinterpret_cast<const char*>(&number), sizeof number));
  };
  const auto addBytes = [&](const QString& format) {
    const auto bytes = read(format);
    addNumber(bytes ? bytes->size() : -1);
    if (bytes) digest.addData(*bytes);
  };
  addNumber(salt);
  QStringList content;
  for (const QString& format : formats())
    if (!isProtocolTarget(format)) content.append(format);
  for (const QString& format : content) {
    const QByteArray name = format.toLatin1();
    addNumber(name.size());
    digest.addData(name);
  }
  if (!content.isEmpty()) addBytes(content.front());
  if (const QStringList text = textFlavoursByPreference(content); !text.isEmpty()) addBytes(text.front());
  std::uint64_t value = 0;
  std::memcpy(&value, digest.result().constData(), sizeof value);
  return static_cast<std::int64_t>((value & ((1ULL << 62) - 1)) | (1ULL << 62));
}

std::vector<std::string> MimePasteboard::types() {
  std::vector<std::string> result;
  for (const QString& format : formats()) {
    if (isProtocolTarget(format)) continue;
    auto type = pasteboardTypeFor(format);
    if (std::find(result.begin(), result.end(), type) == result.end()) result.push_back(std::move(type));
  }
  return result;
}

// A list that names no file (a browser's link) leaves the file managers' own flavour to try.
std::vector<Url> MimePasteboard::readUrls() {
  if (const auto list = read(kUriListMime)) {
    auto urls = fileUrlsOfUriList(*list);
    if (!urls.empty()) return urls;
  }
  if (const auto copied = read(kGnomeCopiedFilesMime)) return fileUrlsOfCopiedFiles(*copied);
  return {};
}

std::optional<std::string> MimePasteboard::plainText() {
  for (const QString& flavour : textFlavoursByPreference(formats()))
    if (const auto bytes = read(flavour))
      if (auto text = utf8TextOf(flavour, *bytes)) return text;
  return std::nullopt;
}

std::optional<Bytes> MimePasteboard::tiff() {
  if (!reads_.tiff) {
    const auto tiff = read(mimeTypeFor(kPasteboardTypeTIFF));
    reads_.tiff = tiff ? std::optional<Bytes>(toBytes(*tiff)) : convertedToTiff();
  }
  return *reads_.tiff;
}

// Decoded from the bytes already read rather than through a toolkit's own
// image conversion, which would ask the owner again.
std::optional<Bytes> MimePasteboard::convertedToTiff() {
  bool anyImageType = false;
  for (const QString& format : formats()) {
    if (!isReadableImageMime(format)) continue;
    anyImageType = true;
    if (const auto bytes = read(format))
      if (const auto image = images_.decode(toBytes(*bytes))) return images_.tiffRepresentation(*image);
  }
  if (anyImageType || reads_.givenUp || !formats().contains(kQtImageMime)) return std::nullopt;
  const auto image = heldImage();
  return image ? images_.tiffRepresentation(*image) : std::nullopt;
}

std::optional<Bytes> MimePasteboard::dataForType(std::string_view type) {
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

std::optional<std::string> MimePasteboard::stringForType(std::string_view type) {
  if (type == kPasteboardTypeString) return plainText();
  const auto bytes = dataForType(type);
  if (!bytes || !isValidUtf8(textViewOf(*bytes))) return std::nullopt;
  return textOf(*bytes);
}

std::optional<std::string> MimePasteboard::availableTypeFromArray(const std::vector<std::string>& types) {
  const QStringList offered = formats();
  for (const auto& type : types) {
    if (offered.contains(mimeTypeFor(type)) ||
        (type == kPasteboardTypeString && !textFlavoursByPreference(offered).isEmpty()) ||
        (type == kPasteboardTypeTIFF && tiff()))
      return type;
  }
  return std::nullopt;
}

std::int64_t MimePasteboard::clearContents() {
  offer_.clear();
  ownsClipboard_ = false;  // a new change even if the offer was ours
  publishOffer();
  return changeCount();
}

// Someone else's copy since our last clearContents is not added to: the
// write starts a change of our own.
void MimePasteboard::startOwnChangeIfReplaced() {
  if (!ownsClipboard_) offer_.clear();
}

bool MimePasteboard::setString(const std::string& text, std::string_view type) {
  if (type != kPasteboardTypeString) return setData(bytesOf(text), type);
  startOwnChangeIfReplaced();
  addToOffer("text/plain", QString::fromStdString(text));
  return publishOffer();
}

// Bytes that are no UTF-8 would be mended on the way as text, so they go
// out as they are, under the plain flavour.
bool MimePasteboard::setData(const Bytes& data, std::string_view type) {
  if (type == kPasteboardTypeString && isValidUtf8(textViewOf(data))) return setString(textOf(data), type);
  startOwnChangeIfReplaced();
  addToOffer(type == kPasteboardTypeString ? QString("text/plain") : mimeTypeFor(type), toQByteArray(data));
  return publishOffer();
}

bool MimePasteboard::writeImage(const Image& image) {
  const QImage pixels = toQImage(image);
  if (pixels.isNull()) return false;
  startOwnChangeIfReplaced();
  addToOffer(kQtImageMime, pixels);
  if (auto tiff = images_.tiffRepresentation(image)) addToOffer(mimeTypeFor(kPasteboardTypeTIFF), toQByteArray(*tiff));
  return publishOffer();
}

bool MimePasteboard::writeFileUrls(const std::vector<Url>& urls) {
  startOwnChangeIfReplaced();
  QList<QUrl> all;
  for (const auto& [mimeType, value] : offer_)
    if (value.metaType() == QMetaType::fromType<QList<QUrl>>()) all = value.value<QList<QUrl>>();
  for (const auto& url : urls) all.append(QUrl::fromEncoded(QByteArray::fromStdString(url.absoluteString())));
  QByteArray copied = "copy";
  for (const QUrl& url : all) copied += '\n' + url.toEncoded();
  addToOffer(kUriListMime, QVariant::fromValue(all));
  addToOffer(kGnomeCopiedFilesMime, copied);
  return publishOffer();
}

bool MimePasteboard::publishOffer() {
  const bool published = publish();
  forgetReads();
  return published;
}

// A type offered again moves to the end, as it does on the simulated pasteboard.
void MimePasteboard::addToOffer(const QString& mimeType, QVariant value) {
  std::erase_if(offer_, [&](const auto& entry) { return entry.first == mimeType; });
  offer_.emplace_back(mimeType, std::move(value));
}

}  // namespace bm::qt
