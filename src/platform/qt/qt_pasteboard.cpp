#include "platform/qt/qt_pasteboard.h"

#include <QClipboard>
#include <QCryptographicHash>
#include <QDateTime>
#include <QMimeData>
#include <QSocketNotifier>
#include <algorithm>
#include <cstring>

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

// Changes known only by their order take numbers below zero, counting down
// from the clock at launch: unlike any count an earlier launch gave.
QtPasteboard::QtPasteboard(QClipboard& clipboard, ImageCodec& images, std::unique_ptr<X11Clipboard> x11)
    : clipboard_(clipboard),
      images_(images),
      x11_(std::move(x11)),
      sequence_(-QDateTime::currentMSecsSinceEpoch() * 1000),
      changeCount_(sequence_) {
  if (x11_) {
    const xcb_window_t owner = x11_->owner();
    x11Change_ = {owner, XCB_CURRENT_TIME, x11_->isOurs(owner)};
    countKnown_ = false;
    x11Events_ = std::make_unique<QSocketNotifier>(x11_->fileDescriptor(), QSocketNotifier::Read);
    QObject::connect(x11Events_.get(), &QSocketNotifier::activated, [this] { takeX11Changes(); });
    takeX11ChangesSoon();
    return;
  }
  changed_ = QObject::connect(&clipboard_, &QClipboard::changed, [this](QClipboard::Mode mode) {
    if (mode != QClipboard::Clipboard) return;
    reads_ = {};
    if (publishing_) return;
    ownsClipboard_ = false;
    changeCount_ = --sequence_;
    if (observer_) observer_();
  });
}

// The clipboard outlives this object; its signal must not reach a dead one.
QtPasteboard::~QtPasteboard() { QObject::disconnect(changed_); }

const QMimeData* QtPasteboard::current() const { return clipboard_.mimeData(QClipboard::Clipboard); }

bool QtPasteboard::othersOwnX11Clipboard() const { return x11_ && !x11Change_.ours; }

// A report still waiting on the connection is not looked for here, on every
// poll: X11 sends it before the answer to any request made after the change,
// so a read under the previous count is given up, not mixed (noteX11Read).
std::int64_t QtPasteboard::changeCount() {
  if (!countKnown_) {
    countKnown_ = true;
    changeCount_ = identityOfX11Change();
  }
  return changeCount_;
}

// The ownership timestamp is the notification's while we run and the
// owner's own answer at launch, when no notification comes; it is asked only
// of owners that list it, since simple ones answer any target with their data.
std::int64_t QtPasteboard::identityOfX11Change() {
  if (x11Change_.owner == XCB_NONE) return 1;  // not 0, which stands for "never checked" in what is stored
  const bool notified = x11Change_.timestamp != XCB_CURRENT_TIME;
  const auto identity = [&](xcb_timestamp_t time) {
    return static_cast<std::int64_t>(x11Change_.owner) << 32 | time;  // windows have 29 bits
  };
  if (formats().contains("TIMESTAMP")) {
    const auto timestamp = x11_->ownershipTimestamp();
    noteX11Read();
    if (timestamp) return identity(notified ? x11Change_.timestamp : *timestamp);
    if (notified && x11_->lastReadAbandoned()) return identity(x11Change_.timestamp);  // as if it had answered
  }
  return digestOfOffer();
}

// Bit 62 keeps digests apart from the timestamp identities below it.
std::int64_t QtPasteboard::digestOfOffer() {
  QCryptographicHash digest(QCryptographicHash::Sha1);
  const auto addNumber = [&](std::int64_t number) {
    digest.addData(QByteArrayView(reinterpret_cast<const char*>(&number), sizeof number));
  };
  addNumber(x11Change_.owner);
  for (const QString& format : formats()) {
    if (isProtocolTarget(format)) continue;
    const QByteArray name = format.toLatin1();
    addNumber(name.size());
    digest.addData(name);
    const auto bytes = read(format);
    addNumber(bytes ? bytes->size() : -1);
    if (bytes) digest.addData(*bytes);
  }
  std::uint64_t value = 0;
  std::memcpy(&value, digest.result().constData(), sizeof value);
  return static_cast<std::int64_t>((value & ((1ULL << 62) - 1)) | (1ULL << 62));
}

// Reports of our own writes were counted as they happened. Another owner's
// report can come after a write of ours that replaced it: the report of that
// write, which follows, brings our offer back as a change of its own.
void QtPasteboard::takeX11Changes() {
  bool changed = false;
  for (const auto& change : x11_->takeChanges()) {
    if (change.ours && x11Change_.ours) continue;
    x11Change_ = change;
    reads_ = {};
    changed = true;
    if (change.ours) {
      changeCount_ = --sequence_;
      countKnown_ = true;
      ownsClipboard_ = true;  // Qt serves the offer it was last given
    } else {
      countKnown_ = false;
      ownsClipboard_ = false;
    }
  }
  if (changed && observer_) observer_();
}

// Replies can bring change reports along without the connection showing
// them as readable.
void QtPasteboard::takeX11ChangesSoon() {
  if (x11_ && x11_->hasChanges())
    QMetaObject::invokeMethod(x11Events_.get(), [this] { takeX11Changes(); }, Qt::QueuedConnection);
}

QStringList QtPasteboard::formats() {
  if (!reads_.formats) {
    QStringList formats;
    if (reads_.ownerGone || (othersOwnX11Clipboard() && x11Change_.owner == XCB_NONE)) {
      // nothing on offer
    } else if (othersOwnX11Clipboard()) {
      // An owner busy just after its copy gets a second chance.
      auto targets = x11_->targets();
      noteX11Read();
      if (!targets && !reads_.ownerGone && x11_->lastReadAbandoned()) {
        targets = x11_->targets();
        noteX11Read();
      }
      for (const auto& target : targets.value_or(std::vector<std::string>{}))
        formats.append(QString::fromLatin1(target));
    } else if (stillOurs()) {
      if (const QMimeData* data = current()) formats = data->formats();
    }
    reads_.formats = formats;
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
  if (!reads_.ownerGone && formats().contains(mimeType))
    bytes = othersOwnX11Clipboard() ? readThroughX11(mimeType) : readThroughQt(mimeType);
  if (reads_.ownerGone) reads_.formats = QStringList();
  reads_.bytes.emplace(mimeType, bytes);
  return bytes;
}

// Our offer is read through Qt only while X11 still names us the owner: Qt
// would otherwise ask the new owner itself, and wait for it up to 5 s.
bool QtPasteboard::stillOurs() {
  if (!x11_ || x11_->isOurs(x11_->owner())) return true;
  reads_.ownerGone = true;
  takeX11ChangesSoon();
  return false;
}

std::optional<QByteArray> QtPasteboard::readThroughQt(const QString& mimeType) {
  if (!stillOurs()) return std::nullopt;
  const QMimeData* data = current();
  QByteArray read = data ? data->data(mimeType) : QByteArray();
  if (read.isEmpty() && ownerIsGone()) {
    reads_.ownerGone = true;
    return std::nullopt;
  }
  return read;
}

// A type the owner refuses or leaves unanswered gives nothing.
std::optional<QByteArray> QtPasteboard::readThroughX11(const QString& mimeType) {
  auto bytes = x11_->read(mimeType.toLatin1().toStdString());
  noteX11Read();
  return bytes;
}

// After each read from another program: a change reported meanwhile ends the
// reading of this one (what follows would come from the next owner), and so
// does a second read in it that the owner left unanswered.
void QtPasteboard::noteX11Read() {
  if (x11_->hasChanges() || (x11_->lastReadAbandoned() && ++reads_.silences >= 2)) reads_.ownerGone = true;
  takeX11ChangesSoon();
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
  const QStringList offered = formats();
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
// else replaced the offer meanwhile. False when the clipboard did not become ours.
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
  if (x11_) {
    // X11 ignores a claim dated before the last copy's, and Qt dates its claim
    // by the last event it saw: the clipboard may well still be theirs.
    if (!x11_->isOurs(x11_->owner())) return false;
    x11Change_ = {XCB_NONE, XCB_CURRENT_TIME, true};
  }
  if (!ownsClipboard_) {
    changeCount_ = --sequence_;
    countKnown_ = true;
    ownsClipboard_ = true;
    if (observer_) observer_();
  }
  return true;
}

}  // namespace bm::qt
