#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace bm {

// Small named values that survive restarts.
class UserDefaults {
 public:
  virtual ~UserDefaults() = default;
  // The text under `key`, or nothing when the key is absent.
  virtual std::optional<std::string> stringForKey(const std::string& key) = 0;
  virtual void setString(const std::string& key, const std::string& value) = 0;
  // The integer under `key`; 0 when the key is absent or holds no integer.
  virtual std::int64_t integerForKey(const std::string& key) = 0;
  virtual void setInteger(const std::string& key, std::int64_t value) = 0;
};

}  // namespace bm
