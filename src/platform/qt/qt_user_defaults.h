#pragma once

#include <QSettings>
#include <filesystem>

#include "platform/user_defaults.h"

namespace bm::qt {

// User defaults in an INI file (QSettings), written through at every change
// so that nothing is lost if the process is killed, and kept private (0600).
class QtUserDefaults : public UserDefaults {
 public:
  explicit QtUserDefaults(const std::filesystem::path& file);

  std::optional<std::string> stringForKey(const std::string& key) override;
  void setString(const std::string& key, const std::string& value) override;
  std::int64_t integerForKey(const std::string& key) override;
  void setInteger(const std::string& key, std::int64_t value) override;

 private:
  void write(const std::string& key, const QVariant& value);

  std::filesystem::path file_;
  QSettings settings_;
};

}  // namespace bm::qt
