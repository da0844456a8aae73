#include "platform/qt/mime_types.h"

#include <QStringList>
#include <array>
#include <utility>

#include "platform/pasteboard.h"

namespace bm::qt {
namespace {

constexpr std::array<std::pair<std::string_view, const char*>, 5> kMapping{{
    {kPasteboardTypeString, "text/plain;charset=utf-8"},
    {kPasteboardTypeTIFF, "image/tiff"},
    {kPasteboardTypeHTML, "text/html"},
    {kPasteboardTypeChromiumSourceURL, "chromium/x-source-url"},
    {kPasteboardTypeFileURL, "text/uri-list"},
}};

}  // namespace

QString mimeTypeFor(std::string_view pasteboardType) {
  for (const auto& [type, mime] : kMapping)
    if (type == pasteboardType) return QString::fromLatin1(mime);
  return QString::fromUtf8(pasteboardType.data(), static_cast<qsizetype>(pasteboardType.size()));
}

std::string pasteboardTypeFor(const QString& mimeType) {
  if (isPlainTextMime(mimeType)) return std::string(kPasteboardTypeString);
  for (const auto& [type, mime] : kMapping)
    if (mimeType == QLatin1String(mime)) return std::string(type);
  return mimeType.toStdString();
}

bool isProtocolTarget(const QString& mimeType) {
  static const QStringList kTargets = {"TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS", "DELETE",
                                       "application/x-qt-image"};
  return kTargets.contains(mimeType);
}

bool isPlainTextMime(const QString& mimeType) {
  return mimeType == "text/plain" || mimeType.startsWith("text/plain;") || mimeType == "UTF8_STRING" ||
         mimeType == "STRING" || mimeType == "TEXT" || mimeType == "COMPOUND_TEXT";
}

}  // namespace bm::qt
