#pragma once

#include <optional>
#include <string>

namespace bm {

// A URL as the pasteboard offers it. File URLs also carry their decoded
// file-system path; other URLs (a copied web link) have none.
class Url {
 public:
  // file:// URL for an absolute path.
  static Url fileUrlWithPath(const std::string& absolutePath);
  // Parses URL text; a "file:" URL gets its percent-decoded path. Empty for text that is no URL.
  static std::optional<Url> parse(const std::string& text);

  const std::string& absoluteString() const { return text_; }
  bool isFileUrl() const { return isFile_; }
  // The decoded path of a file URL ("" for other URLs).
  const std::string& path() const { return path_; }
  // The last component of the path, without trailing slashes ("/" for the root).
  std::string lastPathComponent() const;

  bool operator==(const Url&) const = default;

 private:
  std::string text_;
  std::string path_;
  bool isFile_ = false;
};

// The last component of a slash-separated path: "a/b/" gives "b", "/" gives "/", "" gives "".
std::string lastPathComponent(const std::string& path);

}  // namespace bm
