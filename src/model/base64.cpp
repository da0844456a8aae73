#include "model/base64.h"

#include <array>

namespace bm {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> makeDecodeTable() {
  std::array<int, 256> table{};
  for (auto& value : table) value = -1;
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
  return table;
}
constexpr auto kDecode = makeDecodeTable();

}  // namespace

std::string base64Encode(const Bytes& bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned group = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
    text += kAlphabet[group >> 18 & 63];
    text += kAlphabet[group >> 12 & 63];
    text += kAlphabet[group >> 6 & 63];
    text += kAlphabet[group & 63];
  }
  if (const size_t rest = bytes.size() - i; rest > 0) {
    const unsigned group = bytes[i] << 16 | (rest == 2 ? bytes[i + 1] << 8 : 0);
    text += kAlphabet[group >> 18 & 63];
    text += kAlphabet[group >> 12 & 63];
    text += rest == 2 ? kAlphabet[group >> 6 & 63] : '=';
    text += '=';
  }
  return text;
}

std::optional<Bytes> base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  size_t padding = 0;
  if (!text.empty() && text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
  Bytes bytes;
  bytes.reserve(text.size() / 4 * 3);
  unsigned group = 0;
  const size_t digits = text.size() - padding;
  for (size_t i = 0; i < digits; ++i) {
    const int value = kDecode[static_cast<unsigned char>(text[i])];
    if (value < 0) return std::nullopt;  // also a "=" before the end
    group = group << 6 | static_cast<unsigned>(value);
    if (i % 4 == 3) {
      bytes.push_back(static_cast<std::uint8_t>(group >> 16));
      bytes.push_back(static_cast<std::uint8_t>(group >> 8));
      bytes.push_back(static_cast<std::uint8_t>(group));
      group = 0;
    }
  }
  if (padding == 2) {
    bytes.push_back(static_cast<std::uint8_t>(group >> 4));
  } else if (padding == 1) {
    bytes.push_back(static_cast<std::uint8_t>(group >> 10));
    bytes.push_back(static_cast<std::uint8_t>(group >> 2));
  }
  return bytes;
}

}  // namespace bm
