#include "platform/qt/clipboard/qt_pasteboard.h"

#include <QClipboard>
#include <QImage>
#include <QList>
#include <QMimeData>
#include <QSocketNotifier>
#include <QUrl>

#include "platform/qt/clipboard/mime_types.h"
#include "shared/qt_image_codec.h"

namespace bm::qt {

QtPasteboard::QtPasteboard(QClipboard& clipboard, ImageCodec& images, std::unique_ptr<X11Clipboard> x11)
    : MimePasteboard(images), clipboard_(clipboard), x11_(std::move(x11)) {
  if (x11_) {
    const xcb_window_t owner = x11_->owner();
    x11Change_ = {owner, XCB_CURRENT_TIME, x11_->isOurs(owner)};
    countOthersChange();
    x11Events_ = std::make_unique<QSocketNotifier>(x11_->fileDescriptor(), QSocketNotifier::Read);
    QObject::connect(x11Events_.get(), &QSocketNotifier::activated, [this] { takeX11Changes(); });
    takeX11ChangesSoon();
    return;
  }
  changed_ = QObject::connect(&clipboard_, &QClipboard::changed, [this](QClipboard::Mode mode) {
    if (mode != QClipboard::Clipboard) return;
    forgetReads();
    if (publishing_) return;
    setOwnsClipboard(false);
    countByOrder();
    reportChange();
  });
}

// The clipboard outlives this object; its signal must not reach a dead one.
QtPasteboard::~QtPasteboard() { QObject::disconnect(changed_); }

const QMimeData* QtPasteboard::current() const { return clipboard_.mimeData(QClipboard::Clipboard); }

bool QtPasteboard::othersOwnX11Clipboard() const { return x11_ && !x11Change_.ours; }

// The ownership timestamp is the notification's while we run and the
// owner's own answer at launch, when no notification comes; it is asked only
// of owners that list it, since simple ones answer any target with their data.
// A report still waiting on the connection is not looked for on every poll:
// X11 sends it before the answer to any request made after the change, so a
// read under the previous count is given up, not mixed (noteX11Read).
std::int64_t QtPasteboard::identityOfChange() {
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
  return digestOfChange(x11Change_.owner);
}

// Reports of our own writes were counted as they happened. Another owner's
// report can come after a write of ours that replaced it: the report of that
// write, which follows, brings our offer back as a change of its own.
void QtPasteboard::takeX11Changes() {
  bool changed = false;
  for (const auto& change : x11_->takeChanges()) {
    if (change.ours && x11Change_.ours) continue;
    x11Change_ = change;
    forgetReads();
    changed = true;
    if (change.ours) {
      countByOrder();
      setOwnsClipboard(true);  // Qt serves the offer it was last given
    } else {
      countOthersChange();
      setOwnsClipboard(false);
    }
  }
  if (changed) reportChange();
}

// Replies can bring change reports along without the connection showing
// them as readable.
void QtPasteboard::takeX11ChangesSoon() {
  if (x11_ && x11_->hasChanges())
    QMetaObject::invokeMethod(x11Events_.get(), [this] { takeX11Changes(); }, Qt::QueuedConnection);
}

QStringList QtPasteboard::fetchFormats() {
  QStringList formats;
  if (othersOwnX11Clipboard()) {
    if (x11Change_.owner == XCB_NONE) return formats;
    // An owner busy just after its copy gets a second chance.
    auto targets = x11_->targets();
    noteX11Read();
    if (!targets && !changeGivenUp() && x11_->lastReadAbandoned()) {
      targets = x11_->targets();
      noteX11Read();
    }
    for (const auto& target : targets.value_or(std::vector<std::string>{})) formats.append(QString::fromLatin1(target));
  } else if (stillOurs()) {
    if (const QMimeData* data = current()) formats = data->formats();
  }
  return formats;
}

std::optional<QByteArray> QtPasteboard::fetch(const QString& mimeType) {
  return othersOwnX11Clipboard() ? readThroughX11(mimeType) : readThroughQt(mimeType);
}

// Our offer is read through Qt only while X11 still names us the owner: Qt
// would otherwise ask the new owner itself, and wait for it up to 5 s.
bool QtPasteboard::stillOurs() {
  if (!x11_ || x11_->isOurs(x11_->owner())) return true;
  giveUpChange();
  takeX11ChangesSoon();
  return false;
}

std::optional<QByteArray> QtPasteboard::readThroughQt(const QString& mimeType) {
  if (!stillOurs()) return std::nullopt;
  const QMimeData* data = current();
  QByteArray read = data ? data->data(mimeType) : QByteArray();
  if (read.isEmpty() && (!data || data->formats().isEmpty())) {
    giveUpChange();  // its owner is gone
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
  if (x11_->hasChanges())
    giveUpChange();
  else if (x11_->lastReadAbandoned())
    noteSilence();
  takeX11ChangesSoon();
}

// Qt's synthetic image type, listed without an encoded one: an image this
// process holds.
std::optional<Image> QtPasteboard::heldImage() {
  const QMimeData* data = current();
  const QImage image = data ? qvariant_cast<QImage>(data->imageData()) : QImage();
  if (image.isNull()) return std::nullopt;
  return fromQImage(image);
}

// X11 serves the clipboard from one QMimeData: every write publishes the whole
// offer again, in the order offered, so other applications always see all of
// it. Qt reports our own publishing at once; it is counted here instead, so
// that the writes after clearContents belong to its change, unless someone
// else replaced the offer meanwhile. False when the clipboard did not become ours.
bool QtPasteboard::publish() {
  auto* data = new QMimeData;
  for (const auto& [mimeType, value] : offer()) {
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
  if (x11_) {
    // X11 ignores a claim dated before the last copy's, and Qt dates its claim
    // by the last event it saw: the clipboard may well still be theirs.
    if (!x11_->isOurs(x11_->owner())) return false;
    x11Change_ = {XCB_NONE, XCB_CURRENT_TIME, true};
  }
  countPublishedOffer();
  return true;
}

}  // namespace bm::qt
