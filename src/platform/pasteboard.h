#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes.h"
#include "platform/image.h"
#include "platform/url.h"

namespace bm {

// Type identifiers the core names. Each platform maps them to its own names
// (MIME types on Linux); any other type passes through unchanged.
inline constexpr std::string_view kPasteboardTypeString = "public.utf8-plain-text";
inline constexpr std::string_view kPasteboardTypeTIFF = "public.tiff";
inline constexpr std::string_view kPasteboardTypeHTML = "public.html";
inline constexpr std::string_view kPasteboardTypeFileURL = "public.file-url";
inline constexpr std::string_view kPasteboardTypeChromiumSourceURL = "org.chromium.source-url";

// The system-wide clipboard that every application copies to.
class Pasteboard {
 public:
  virtual ~Pasteboard() = default;

  // Takes a value unlike the one before whenever the contents are replaced,
  // by anyone, this application included. Only inequality with the one
  // before means anything: a count may come back, where no timestamp tells
  // one copy of the same content from another (Wayland).
  virtual std::int64_t changeCount() = 0;

  // The type identifiers on offer, in the owner's order; possibly none.
  virtual std::vector<std::string> types() = 0;
  // The file URLs on offer (copied files), in order. Only file URLs: a copied
  // web link is text. Empty when there are none.
  virtual std::vector<Url> readUrls() = 0;
  // The bytes of one type. TIFF is also given for any other image type on
  // offer; kPasteboardTypeString for any text flavour, as UTF-8 when the
  // flavour's encoding is another.
  virtual std::optional<Bytes> dataForType(std::string_view type) = 0;
  // The text of one type; for kPasteboardTypeString any text flavour will do.
  // Always valid UTF-8: bytes that are not give nothing.
  virtual std::optional<std::string> stringForType(std::string_view type) = 0;
  // The first type of `types` that is on offer.
  virtual std::optional<std::string> availableTypeFromArray(const std::vector<std::string>& types) = 0;

  // Empties the pasteboard and takes ownership of it; returns the new change count.
  virtual std::int64_t clearContents() = 0;
  // Each adds one type to what this application offers since clearContents,
  // after the types already offered; they belong to the change it made. When
  // someone else replaced the contents since, the write starts a new change
  // of this application's own instead, as clearContents would.
  virtual bool setString(const std::string& text, std::string_view type) = 0;
  virtual bool setData(const Bytes& data, std::string_view type) = 0;
  // Offers an image (as TIFF and the platform's usual image types).
  virtual bool writeImage(const Image& image) = 0;
  // Offers file URLs, as a file manager's copy does.
  virtual bool writeFileUrls(const std::vector<Url>& urls) = 0;

  // Told on the main thread when the change count may have changed, by
  // anyone's copy, this application's writes included; possibly from inside
  // the write itself, and possibly more than once for one change. Where the
  // system says nothing of changes, never told. One observer; none clears it.
  virtual void setChangeObserver(std::function<void()> observer) = 0;
};

}  // namespace bm
