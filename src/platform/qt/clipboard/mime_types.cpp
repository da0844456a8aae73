#include "platform/qt/clipboard/mime_types.h"

#include <QImageReader>
#include <QMimeData>
#include <QStringDecoder>
#include <QUrl>
#include <algorithm>
#include <array>
#include <utility>

#include "platform/pasteboard.h"
#include "shared/utf8.h"

namespace bm::qt {
namespace {

constexpr std::array<std::pair<std::string_view, const char*>, 5> kMapping{{
    {kPasteboardTypeString, "text/plain;charset=utf-8"},
    {kPasteboardTypeTIFF, "image/tiff"},
    {kPasteboardTypeHTML, "text/html"},
    {kPasteboardTypeChromiumSourceURL, "chromium/x-source-url"},
    {kPasteboardTypeFileURL, "text/uri-list"},
}};

// The charset a text flavour's bytes are in. On X11, Qt lists UTF8_STRING,
// STRING and TEXT all as text/plain and hands out text/plain as UTF-8 (STRING
// and TEXT decoded as Latin-1, ill-formed UTF-8 as U+FFFD), so their own
// names only show where the formats are raw, as on Wayland.
QByteArray charsetOf(const QString& flavour) {
  if (flavour == "UTF8_STRING" || flavour == "text/plain") return "UTF-8";
  if (flavour == "STRING" || flavour == "TEXT") return "ISO-8859-1";  // as ICCCM defines STRING
  const auto parameters = flavour.split(';');
  for (qsizetype i = 1; i < parameters.size(); ++i) {
    const QString parameter = parameters[i].trimmed();
    if (parameter.startsWith("charset=", Qt::CaseInsensitive)) {
      QString name = parameter.mid(8).trimmed();
      if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"')) name = name.mid(1, name.size() - 2);
      return name.toLatin1();
    }
  }
  return "UTF-8";  // text/plain with other parameters only
}

bool isUtf8(const QByteArray& charset) {
  return QStringConverter::encodingForName(charset.constData()) == QStringConverter::Utf8;
}

// Lower ranks are read first.
int preferenceOf(const QString& flavour) {
  if (flavour.startsWith("text/plain;") && isUtf8(charsetOf(flavour))) return 0;
  if (flavour == "UTF8_STRING") return 1;
  if (flavour == "text/plain") return 2;
  if (flavour.startsWith("text/plain;")) return 3;
  if (flavour == "STRING") return 4;
  return 5;  // TEXT
}

std::optional<Url> fileUrlOf(const QByteArray& encoded) {
  auto url = Url::parse(encoded.toStdString());
  if (!url || !url->isFileUrl()) return std::nullopt;
  return url;
}

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
  // INSERT_* and DELETE are requests that change the owner's data.
  static const QStringList kTargets = {"TARGETS",          "MULTIPLE",        "TIMESTAMP",    "SAVE_TARGETS", "DELETE",
                                       "INSERT_SELECTION", "INSERT_PROPERTY", "COMPOUND_TEXT", kQtImageMime};
  return kTargets.contains(mimeType);
}

bool isPlainTextMime(const QString& mimeType) {
  return mimeType == "text/plain" || mimeType.startsWith("text/plain;") || mimeType == "UTF8_STRING" ||
         mimeType == "STRING" || mimeType == "TEXT";
}

QStringList textFlavoursByPreference(const QStringList& formats) {
  QStringList flavours;
  for (const QString& format : formats)
    if (isPlainTextMime(format)) flavours.append(format);
  std::stable_sort(flavours.begin(), flavours.end(),
                   [](const QString& a, const QString& b) { return preferenceOf(a) < preferenceOf(b); });
  return flavours;
}

std::optional<std::string> utf8TextOf(const QString& flavour, const QByteArray& bytes) {
  const QByteArray charset = charsetOf(flavour);
  if (isUtf8(charset)) {
    if (!isValidUtf8(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())))) return std::nullopt;
    return bytes.toStdString();  // exactly as offered
  }
  QStringDecoder decoder(charset.constData(), QStringDecoder::Flag::Stateless);
  if (!decoder.isValid()) return std::nullopt;
  const QString text = decoder(bytes);
  // Qt's UTF-16 decoder passes lone surrogates through; they are no text either.
  if (decoder.hasError() || !text.isValidUtf16()) return std::nullopt;
  return text.toUtf8().toStdString();
}

bool isReadableImageMime(const QString& mimeType) {
  static const QList<QByteArray> kReadable = QImageReader::supportedMimeTypes();
  return kReadable.contains(mimeType.toLatin1());
}

// Qt parses the list (line ends, comments); each URL is then read back from
// its encoded text so that a file name's bytes survive as they are.
std::vector<Url> fileUrlsOfUriList(const QByteArray& bytes) {
  QMimeData list;
  list.setData(kUriListMime, bytes);
  std::vector<Url> urls;
  for (const QUrl& url : list.urls())
    if (auto file = fileUrlOf(url.toEncoded())) urls.push_back(std::move(*file));
  return urls;
}

std::vector<Url> fileUrlsOfCopiedFiles(const QByteArray& bytes) {
  const auto lines = bytes.split('\n');
  std::vector<Url> urls;
  for (qsizetype i = 1; i < lines.size(); ++i)
    if (auto file = fileUrlOf(lines[i].trimmed())) urls.push_back(std::move(*file));
  return urls;
}

}  // namespace bm::qt
