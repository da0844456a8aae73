#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/image.h"
#include "platform/pasteboard.h"

namespace bm::sim {

// One pasteboard item: its types in the order the owner offered them.
using PasteboardItem = std::vector<std::pair<std::string, Bytes>>;

// Type of a URL that is no file's (a copied web link). Read as a URL object
// and then left out, since URL objects are file URLs only.
inline constexpr std::string_view kSimPasteboardTypeURL = "public.url";

// The system pasteboard, shared by this application and the simulated
// "other applications" (the copy* calls), and kept across restarts.
//
// Text flavours: kPasteboardTypeString and "public.plain-text", both UTF-8;
// stringForType(kPasteboardTypeString) reads the first of them on offer that
// is valid UTF-8. A write by this application after someone else's copy is
// a new change of its own, as after clearContents. The change observer is
// told at once, inside the call that made the change.
class SimPasteboard : public Pasteboard {
 public:
  explicit SimPasteboard(ImageCodec& images) : images_(images) {}

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
  void setChangeObserver(std::function<void()> observer) override { observer_ = std::move(observer); }

  // Other applications. Each copy replaces the contents (one change).
  void copyText(const std::string& text);
  void copyFiles(const std::vector<std::filesystem::path>& paths);
  // An image in a file format's type, e.g. public.png or public.tiff.
  void copyImage(const Bytes& encoded, const std::string& type);
  // A browser copy: HTML, its source page and, if given, plain text.
  void copyFromBrowser(const std::string& html, const std::string& sourceUrl, const std::string* plainText);
  // URLs as texts, one item each: file URLs as public.file-url, others as
  // public.url, each with its text as plain text, as a browser copies a link.
  void copyUrls(const std::vector<std::string>& urls);
  // Any items with any types.
  void copyItems(const std::vector<PasteboardItem>& items);
  // A copy that offers no type at all.
  void copyNothing();

  void setChangeCount(std::int64_t count) { changeCount_ = count; }
  // False for a system that says nothing of changes, as macOS: only polls see them.
  bool reportsChanges = true;
  const std::vector<PasteboardItem>& items() const { return items_; }

 private:
  const Bytes* find(std::string_view type) const;
  const Bytes* findText() const;
  std::optional<Bytes> convertedToTIFF() const;
  // Writes after another owner's copy start a change of this application's own.
  void ownBeforeWriting();

  ImageCodec& images_;
  std::int64_t changeCount_ = 0;
  std::vector<PasteboardItem> items_;
  bool ownedHere_ = false;  // this application cleared it, and no one copied since
  std::function<void()> observer_;
};

}  // namespace bm::sim
