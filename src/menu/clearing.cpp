#include "app/app_delegate.h"

namespace bm {

void AppDelegate::clearHistory() { performClearHistory(); }

// The empty history is saved before any stored file goes, so that a crash in
// between never leaves a saved history naming files that are gone.
void AppDelegate::performClearHistory() {
  const std::vector<Uuid> storedFiles = referencedFileIDs();
  clipboardHistory.clear();
  persistenceManager->saveHistory(clipboardHistory);
  for (const Uuid& id : storedFiles) persistenceManager->deleteFiles(id);
  persistenceManager->deleteAllFiles();
  rebuildMenu();
  if (auto* button = statusItem->button()) button->setTitle("");
}

}  // namespace bm
