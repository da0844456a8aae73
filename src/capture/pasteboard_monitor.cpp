#include "app/app_delegate.h"

namespace bm {
namespace {
constexpr const char* kLastChangeCountKey = "LastChangeCount";
}

void AppDelegate::checkClipboard() {
  Pasteboard& pasteboard = platform_.generalPasteboard();
  const std::int64_t changeCount = pasteboard.changeCount();
  UserDefaults& defaults = platform_.standardUserDefaults();
  if (changeCount == defaults.integerForKey(kLastChangeCountKey)) return;

  // Recorded before any content is read, so a change is handled exactly once
  // even when capture finds nothing to record.
  defaults.setInteger(kLastChangeCountKey, changeCount);
  if (previewTimer) {
    previewTimer->invalidate();
    previewTimer.reset();
  }
  captureContent(pasteboard);
}

}  // namespace bm
