#pragma once

#include <QSettings>
#include <QVariant>
#include <filesystem>
#include <map>

#include "platform/user_defaults.h"

namespace bm::qt {

// User defaults in an INI file (QSettings), written through at every change
// so that nothing is lost if the process is killed, and kept private (0600).
// Values read are kept: the clipboard poll reads one twice a second, and each
// QSettings lookup costs far more than the poll itself.
class QtUserDefaults : public UserDefaults {
 public:
  explicit QtUserDefaults(const std::filesystem::path& file);

  std::optional<std::string> stringForKey(const std::string& key) override;
  void setString(const std::string& key, const std::string& value) override;
  std::int64_t integerForKey(const std::string& key) override;
  void setInteger(const std::string& key, std::int64_t value) override;

 private:
  const QVariant& value(const std::string& key);  // invalid when absent
  void write(const std::string& key, const QVariant& value);

  std::filesystem::path file_;
  QSettings settings_;
  std::map<std::string, QVariant> values_;  // as settings_ answered since its last sync
};

}  // namespace bm::qt
