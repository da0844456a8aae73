#include "platform/qt/qt_user_defaults.h"

#include <sys/stat.h>

namespace bm::qt {

QtUserDefaults::QtUserDefaults(const std::filesystem::path& file)
    : file_(file), settings_(QString::fromStdString(file.string()), QSettings::IniFormat) {}

std::optional<std::string> QtUserDefaults::stringForKey(const std::string& key) {
  const QVariant& found = value(key);
  if (!found.isValid()) return std::nullopt;
  return found.toString().toStdString();
}

void QtUserDefaults::setString(const std::string& key, const std::string& value) {
  write(key, QString::fromStdString(value));
}

std::int64_t QtUserDefaults::integerForKey(const std::string& key) {
  bool ok = false;
  const qlonglong found = value(key).toLongLong(&ok);
  return ok ? found : 0;
}

void QtUserDefaults::setInteger(const std::string& key, std::int64_t value) {
  write(key, static_cast<qlonglong>(value));
}

const QVariant& QtUserDefaults::value(const std::string& key) {
  auto found = values_.find(key);
  if (found == values_.end()) found = values_.emplace(key, settings_.value(QString::fromStdString(key))).first;
  return found->second;
}

void QtUserDefaults::write(const std::string& key, const QVariant& value) {
  settings_.setValue(QString::fromStdString(key), value);
  settings_.sync();
  ::chmod(file_.c_str(), 0600);  // QSettings creates files by the umask
  // sync also reads in what another process wrote meanwhile, as QSettings would answer from now on.
  values_.clear();
}

}  // namespace bm::qt
