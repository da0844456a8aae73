#include "platform/qt/xdg_login_items.h"

#include "shared/files.h"
#include "shared/posix_file_system.h"

namespace bm::qt {
namespace {

// One quoted Exec argument. The file's own backslash escaping applies on top
// of the quoting, so a quoted backslash is written as four.
std::string quotedExecArgument(const std::string& argument) {
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '\\') {
      quoted += "\\\\\\\\";
    } else if (c == '"' || c == '`' || c == '$') {
      quoted += "\\\\";
      quoted += c;
    } else if (c == '%') {
      quoted += "%%";
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

}  // namespace

std::string XdgLoginItems::desktopEntry(const std::string& executable) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Brindlemux\n"
         "Comment=Clipboard history in the tray\n"
         "Exec=" + quotedExecArgument(executable) + "\n"
         "Icon=edit-paste\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

Status XdgLoginItems::registerMainApp() {
  if (auto made = files::createPrivateDirectories(posixFileSystem(), entryFile_.parent_path()); !made) return made;
  return files::writeWholeFile(posixFileSystem(), entryFile_, bytesOf(desktopEntry(executable_)));
}

}  // namespace bm::qt
