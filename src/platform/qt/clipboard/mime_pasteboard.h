#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/image.h"
#include "platform/pasteboard.h"

namespace bm::qt {

// A pasteboard over a clipboard of MIME types where every read of a type is
// a request to the program that owns the clipboard (X11, Wayland). What the
// X11 and Wayland pasteboards share:
// - reading: each type's bytes are read once per change and kept (absent
//   ones too); text, file URLs and TIFF are made from those bytes. What was
//   read is forgotten when the clipboard changes and when this application
//   writes. A change whose owner is gone or replaced, or left two reads
//   unanswered (an owner busy just after its copy answers the second), gives
//   nothing from then on; empty bytes from a live owner stay empty bytes;
// - writing: this application's writes since clearContents are gathered
//   into one offer, which the platform publishes whole after each write;
// - counting: another program's change is counted when the count is next
//   asked for (identityOfChange); changes known only by their order, this
//   application's own among them, take numbers below zero, counting down
//   from the clock at launch: unlike any count an earlier launch gave.
class MimePasteboard : public Pasteboard {
 public:
  std::int64_t changeCount() override;
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
  void setChangeObserver(std::function<void()> observer) override { observer_ = std::move(observer); }

  // What this application offers since its last clearContents, by MIME type
  // in the order offered: text as a QString (under "text/plain"), an image
  // as a QImage (under Qt's image type), file URLs as a QList<QUrl> (under
  // "text/uri-list"), anything else as bytes.
  using Offer = std::vector<std::pair<QString, QVariant>>;

 protected:
  explicit MimePasteboard(ImageCodec& images);

  // The current change's MIME types, in the owner's order.
  virtual QStringList fetchFormats() = 0;
  // One listed type's bytes, asked of the owner; nullopt when none came.
  virtual std::optional<QByteArray> fetch(const QString& mimeType) = 0;
  // The image of an offer that lists only Qt's image type: one held in this process.
  virtual std::optional<Image> heldImage() { return std::nullopt; }
  // Makes offer() the clipboard's contents (then countPublishedOffer). False
  // when the clipboard did not become ours.
  virtual bool publish() = 0;
  // The count of another program's change, from what it offers.
  virtual std::int64_t identityOfChange() = 0;

  // Another program's change: counted when the count is next asked for.
  void countOthersChange() { countKnown_ = false; }
  // A change known only by its order: the next number below zero.
  void countByOrder();
  // After a publish that took: the first since someone else's change starts
  // a change of our own, and is told.
  void countPublishedOffer();

  QStringList formats();
  std::optional<QByteArray> read(const QString& mimeType);
  void forgetReads() { reads_ = {}; }
  // Ends the reading of the current change: every later read gives nothing.
  void giveUpChange();
  bool changeGivenUp() const { return reads_.givenUp; }
  // The owner left a read unanswered; the second time the change is given up.
  void noteSilence();
  // A digest of the current change's types, the bytes of its first type and
  // of its text, and `salt`; bit 62 set, so that it never meets a count of
  // another kind below it.
  std::int64_t digestOfChange(std::int64_t salt);
  void reportChange() {
    if (observer_) observer_();
  }

  const Offer& offer() const { return offer_; }
  // Whether nobody replaced our offer since clearContents.
  bool ownsClipboard() const { return ownsClipboard_; }
  void setOwnsClipboard(bool owns) { ownsClipboard_ = owns; }
  ImageCodec& images() { return images_; }

 private:
  struct Reads {
    std::optional<QStringList> formats;
    std::map<QString, std::optional<QByteArray>> bytes;  // nullopt: not on offer
    std::optional<std::optional<Bytes>> tiff;
    bool givenUp = false;
    int silences = 0;
  };

  std::optional<std::string> plainText();
  std::optional<Bytes> tiff();
  std::optional<Bytes> convertedToTiff();
  void startOwnChangeIfReplaced();
  void addToOffer(const QString& mimeType, QVariant value);
  bool publishOffer();

  ImageCodec& images_;
  std::int64_t sequence_;
  std::int64_t changeCount_;
  bool countKnown_ = true;
  Reads reads_;
  Offer offer_;
  bool ownsClipboard_ = false;
  std::function<void()> observer_;
};

QByteArray toQByteArray(const Bytes& bytes);
Bytes toBytes(const QByteArray& bytes);

}  // namespace bm::qt
