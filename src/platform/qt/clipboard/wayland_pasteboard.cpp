#include "platform/qt/clipboard/wayland_pasteboard.h"

#include <QBuffer>
#include <QImage>
#include <QList>
#include <QSocketNotifier>
#include <QUrl>

#include "platform/qt/clipboard/mime_types.h"

namespace bm::qt {
namespace {

// What programs ask for plain text by, as wl-copy offers it: all UTF-8.
const QStringList kTextFlavours = {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "TEXT", "STRING"};

// The MIME types one entry of our offer goes out as.
QStringList mimeTypesOf(const QString& mimeType, const QVariant& value) {
  if (value.metaType() == QMetaType::fromType<QString>()) return kTextFlavours;
  if (value.metaType() == QMetaType::fromType<QImage>()) return {"image/png"};
  return {mimeType};
}

// Every type of the offer, each once, in the order offered.
QStringList mimeTypesOf(const MimePasteboard::Offer& offer) {
  QStringList types;
  for (const auto& [mimeType, value] : offer)
    for (const QString& type : mimeTypesOf(mimeType, value))
      if (!types.contains(type)) types.append(type);
  return types;
}

QByteArray encoded(const QVariant& value) {
  if (value.metaType() == QMetaType::fromType<QString>()) return value.toString().toUtf8();
  if (value.metaType() == QMetaType::fromType<QImage>()) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    qvariant_cast<QImage>(value).save(&buffer, "PNG");
    return png;
  }
  if (value.metaType() == QMetaType::fromType<QList<QUrl>>()) {
    QByteArray list;
    for (const QUrl& url : value.value<QList<QUrl>>()) list += url.toEncoded() + "\r\n";
    return list;
  }
  return value.toByteArray();
}

// One type's bytes, from the first entry that goes out as it.
std::optional<QByteArray> encoded(const MimePasteboard::Offer& offer, const QString& type) {
  for (const auto& [mimeType, value] : offer)
    if (mimeTypesOf(mimeType, value).contains(type)) return encoded(value);
  return std::nullopt;
}

}  // namespace

WaylandPasteboard::WaylandPasteboard(std::unique_ptr<WaylandClipboard> wayland, ImageCodec& images)
    : MimePasteboard(images),
      wayland_(std::move(wayland)),
      events_(std::make_unique<QSocketNotifier>(wayland_->fileDescriptor(), QSocketNotifier::Read)) {
  countOthersChange();  // the selection found at launch
  QObject::connect(events_.get(), &QSocketNotifier::activated, [this] { takeChanges(); });
}

WaylandPasteboard::~WaylandPasteboard() = default;

std::int64_t WaylandPasteboard::identityOfChange() {
  if (!wayland_->hasSelection()) return 1;  // not 0, which stands for "never checked" in what is stored
  const std::int64_t digest = digestOfChange(0);
  repeats_ = digest == lastDigest_ ? repeats_ + 1 : 0;
  lastDigest_ = digest;
  if (repeats_ == 0) return digest;
  const auto mixed = static_cast<std::uint64_t>(digest) + static_cast<std::uint64_t>(repeats_) * 0x9e3779b97f4a7c15ULL;
  return static_cast<std::int64_t>((mixed & ((1ULL << 62) - 1)) | (1ULL << 62));
}

// Our own selection was counted when we published it. Once the compositor
// is gone nothing more comes, and its descriptor would wake us without end.
void WaylandPasteboard::takeChanges() {
  const bool changed = wayland_->dispatch();
  if (!wayland_->isConnected()) events_->setEnabled(false);
  if (!changed) return;
  forgetReads();
  if (wayland_->selectionIsOurs() && ownsClipboard()) return;
  setOwnsClipboard(false);
  countOthersChange();
  reportChange();
}

// Reads and offers handle the compositor's events too, which leaves the
// descriptor unreadable.
void WaylandPasteboard::takeChangesSoon() {
  if (wayland_->hasNewSelection())
    QMetaObject::invokeMethod(events_.get(), [this] { takeChanges(); }, Qt::QueuedConnection);
}

QStringList WaylandPasteboard::fetchFormats() {
  if (wayland_->selectionIsOurs()) return mimeTypesOf(offer());
  QStringList formats;
  for (const auto& type : wayland_->types()) formats.append(QString::fromStdString(type));
  return formats;
}

// A new selection meanwhile ends the reading of this one, and so does a
// second read in it that the owner left unanswered.
std::optional<QByteArray> WaylandPasteboard::fetch(const QString& mimeType) {
  if (wayland_->selectionIsOurs()) return encoded(offer(), mimeType);
  auto bytes = wayland_->read(mimeType.toStdString());
  if (wayland_->hasNewSelection())
    giveUpChange();
  else if (wayland_->lastReadAbandoned())
    noteSilence();
  takeChangesSoon();
  return bytes;
}

// The whole offer goes out as a new source at every write; other programs
// are served from a copy of it, as it was then.
bool WaylandPasteboard::publish() {
  QStringList types = mimeTypesOf(offer());
  std::vector<std::string> names;
  for (const QString& type : types) names.push_back(type.toStdString());
  const bool offered = wayland_->offer(names, [published = offer()](const std::string& type) {
    return encoded(published, QString::fromStdString(type)).value_or(QByteArray());
  });
  takeChangesSoon();
  if (!offered) return false;
  lastDigest_ = 0;  // their next copy follows a change of ours
  countPublishedOffer();
  return true;
}

}  // namespace bm::qt
