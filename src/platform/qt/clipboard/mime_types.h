#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/url.h"

namespace bm::qt {

inline constexpr const char* kUriListMime = "text/uri-list";
// What GNOME's and other file managers offer for copied files.
inline constexpr const char* kGnomeCopiedFilesMime = "x-special/gnome-copied-files";
// Qt's own name for "an image" in QMimeData.
inline constexpr const char* kQtImageMime = "application/x-qt-image";

// The pasteboard's type identifiers on the X11 clipboard: the types the core
// names have MIME equivalents; every other type is its MIME name unchanged.
QString mimeTypeFor(std::string_view pasteboardType);
std::string pasteboardTypeFor(const QString& mimeType);

// Clipboard protocol targets that are not content (TARGETS, TIMESTAMP, ...),
// Qt's own synthetic formats, and COMPOUND_TEXT: an old X11 text encoding
// whose owners offer the same text as UTF8_STRING too.
bool isProtocolTarget(const QString& mimeType);

// Text flavours that all stand for the plain-text type: text/plain with or
// without a charset, and X11's UTF8_STRING, STRING and TEXT.
bool isPlainTextMime(const QString& mimeType);
// The text flavours among `formats`, the one to read first first: UTF-8
// flavours, then text/plain in another charset, then the Latin-1 ones.
QStringList textFlavoursByPreference(const QStringList& formats);
// A text flavour's bytes as UTF-8, converted from the flavour's encoding;
// empty when they are not valid text in it or the charset is unknown.
std::optional<std::string> utf8TextOf(const QString& flavour, const QByteArray& bytes);

// Image types QImage can decode (image/png, image/tiff, ...).
bool isReadableImageMime(const QString& mimeType);

// The file URLs of a text/uri-list, in order; other URLs are left out.
std::vector<Url> fileUrlsOfUriList(const QByteArray& bytes);
// The file URLs of the file managers' copied files: "copy" or "cut", then one URL a line.
std::vector<Url> fileUrlsOfCopiedFiles(const QByteArray& bytes);

}  // namespace bm::qt
