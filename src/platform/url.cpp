#include "platform/url.h"

#include <cctype>

#include "platform/bytes.h"

namespace bm {
namespace {

bool isUnreserved(unsigned char c) {
  return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
}

std::string percentEncodePath(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (isUnreserved(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::optional<std::string> percentDecode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int hi = hexDigitValue(text[i + 1]), lo = hexDigitValue(text[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

}  // namespace

Url Url::fileUrlWithPath(const std::string& absolutePath) {
  Url url;
  url.text_ = "file://" + percentEncodePath(absolutePath);
  url.path_ = absolutePath;
  url.isFile_ = true;
  return url;
}

std::optional<Url> Url::parse(const std::string& text) {
  const auto colon = text.find(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  for (size_t i = 0; i < colon; ++i) {
    const unsigned char c = text[i];
    if (!(std::isalnum(c) || c == '+' || c == '-' || c == '.')) return std::nullopt;
  }
  Url url;
  url.text_ = text;
  std::string scheme = text.substr(0, colon);
  for (auto& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme != "file") return url;

  // file:///path or file://localhost/path; other hosts are not local files.
  std::string rest = text.substr(colon + 1);
  if (rest.rfind("//", 0) == 0) {
    const auto slash = rest.find('/', 2);
    const std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
    if (!host.empty() && host != "localhost") return url;
    rest = slash == std::string::npos ? "/" : rest.substr(slash);
  }
  rest = rest.substr(0, rest.find_first_of("?#"));
  auto decoded = percentDecode(rest);
  if (!decoded || decoded->empty() || decoded->front() != '/') return url;
  url.path_ = *decoded;
  url.isFile_ = true;
  return url;
}

std::string Url::lastPathComponent() const { return bm::lastPathComponent(isFile_ ? path_ : text_); }

std::string lastPathComponent(const std::string& path) {
  auto end = path.find_last_not_of('/');
  if (end == std::string::npos) return path.empty() ? "" : "/";
  const auto slash = path.rfind('/', end);
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(start, end - start + 1);
}

}  // namespace bm
