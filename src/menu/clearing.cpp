#include "app/app_delegate.h"

namespace bm {

void AppDelegate::clearHistory() { performClearHistory(); }

// The stored files go only once the saved history no longer names them: a
// crash in between, or a save that fails, never leaves a saved history
// naming files that are gone. Files no entry names may belong to a history
// kept aside as unreadable; they stay while one is.
void AppDelegate::performClearHistory() {
  const std::vector<Uuid> storedFiles = referencedFileIDs();
  clipboardHistory.clear();
  if (persistenceManager->saveHistory(clipboardHistory)) {
    for (const Uuid& id : storedFiles) persistenceManager->deleteFiles(id);
    if (!persistenceManager->hasUnreadableHistory()) persistenceManager->deleteAllFiles();
  }
  rebuildMenu();
  if (auto* button = statusItem->button()) button->setTitle("");
}

}  // namespace bm
