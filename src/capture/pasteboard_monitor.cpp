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
  cancelPreviewTimer();
  captureContent(pasteboard);
}

// Never checked inside the report: Qt reports this application's own writes
// synchronously, and restoring writes more than once inside restoreItem,
// which must not see the history change under it. Reports that come before
// the posted check runs share it; the check finds each change once.
void AppDelegate::pasteboardDidChange() {
  if (postedCheck && postedCheck->isValid()) return;
  postedCheck = platform_.mainLoop().scheduleTimer(0, /*repeats=*/false, [weak = weak_from_this()](Timer&) {
    if (auto self = weak.lock()) self->checkClipboard();
  });
}

}  // namespace bm
