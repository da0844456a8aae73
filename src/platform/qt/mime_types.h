#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace bm::qt {

// The pasteboard's type identifiers on the X11 clipboard: the types the core
// names have MIME equivalents; every other type is its MIME name unchanged.
QString mimeTypeFor(std::string_view pasteboardType);
std::string pasteboardTypeFor(const QString& mimeType);

// Clipboard protocol targets that are not content (TARGETS, TIMESTAMP, ...)
// and Qt's own synthetic formats.
bool isProtocolTarget(const QString& mimeType);

// Text flavours that all stand for the plain-text type.
bool isPlainTextMime(const QString& mimeType);

}  // namespace bm::qt
