#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace bm {

// A 128-bit UUID. Its canonical text is 36 characters, upper-case hex in
// groups of 8-4-4-4-12; parsing also takes lower case.
class Uuid {
 public:
  // Random (version 4).
  static Uuid random();
  static std::optional<Uuid> fromString(std::string_view text);
  explicit Uuid(const std::array<std::uint8_t, 16>& bytes) : bytes_(bytes) {}

  std::string uuidString() const;
  const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

  auto operator<=>(const Uuid&) const = default;

 private:
  std::array<std::uint8_t, 16> bytes_;
};

}  // namespace bm

template <>
struct std::hash<bm::Uuid> {
  size_t operator()(const bm::Uuid& uuid) const noexcept {
    return std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char*>(uuid.bytes().data()), uuid.bytes().size()));
  }
};
