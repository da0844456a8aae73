#pragma once

#include <filesystem>
#include <string>

#include "platform/login_items.h"

namespace bm::qt {

// Starting at login through an XDG autostart entry, rewritten at every
// registration so that it always points at the running executable.
class XdgLoginItems : public LoginItems {
 public:
  XdgLoginItems(std::filesystem::path entryFile, std::string executable)
      : entryFile_(std::move(entryFile)), executable_(std::move(executable)) {}
  Status registerMainApp() override;

  // The entry's text for `executable`.
  static std::string desktopEntry(const std::string& executable);

 private:
  std::filesystem::path entryFile_;
  std::string executable_;
};

}  // namespace bm::qt
