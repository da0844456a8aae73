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

// The system pasteboard, shared by this application and the simulated
// "other applications" (the copy* calls), and kept across restarts.
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

  // Other applications. Each copy replaces the contents (one change).
  void copyText(const std::string& text);
  void copyFiles(const std::vector<std::filesystem::path>& paths);
  // An image in a file format's type, e.g. public.png or public.tiff.
  void copyImage(const Bytes& encoded, const std::string& type);
  // A browser copy: HTML, its source page and, if given, plain text.
  void copyFromBrowser(const std::string& html, const std::string& sourceUrl, const std::string* plainText);
  // Any items with any types.
  void copyItems(const std::vector<PasteboardItem>& items);
  // A copy that offers no type at all.
  void copyNothing();

  void setChangeCount(std::int64_t count) { changeCount_ = count; }
  const std::vector<PasteboardItem>& items() const { return items_; }

 private:
  const Bytes* find(std::string_view type) const;
  std::optional<Bytes> convertedToTIFF() const;

  ImageCodec& images_;
  std::int64_t changeCount_ = 0;
  std::vector<PasteboardItem> items_;
};

}  // namespace bm::sim
