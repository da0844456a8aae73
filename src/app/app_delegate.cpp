#include "app/app_delegate.h"

namespace bm {

AppDelegate::AppDelegate(Platform& platform)
    : persistenceManager(PersistenceManager::shared(platform)), platform_(platform) {}

void AppDelegate::applicationDidFinishLaunching() { configureOnLaunch(); }

void AppDelegate::configureOnLaunch() {
  previewStyle = persistenceManager->storedPreviewStyle();
  clipboardHistory = persistenceManager->loadHistory();
  // Files that only an unreadable history names are not orphans: keep them.
  if (!persistenceManager->hasUnreadableHistory()) persistenceManager->removeOrphanedFiles(referencedFileIDs());
  setupStatusItem();

  // Not kept: the loop keeps the poll timer for the life of the process.
  platform_.mainLoop().scheduleTimer(kPollInterval, /*repeats=*/true,
                                     [weak = weak_from_this()](Timer&) {
                                       if (auto self = weak.lock()) self->checkClipboard();
                                     });
  // Where the system reports changes, each is checked at once too.
  platform_.generalPasteboard().setChangeObserver([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->pasteboardDidChange();
  });

  if (auto status = platform_.loginItems().registerMainApp(); !status) {
    platform_.console().printLine("Failed to register as login item: " + status.error().description);
  }
}

void AppDelegate::setupStatusItem() {
  statusItem = platform_.systemStatusBar().statusItemWithLength(StatusBar::kVariableLength);
  StatusButton* button = statusItem->button();
  if (!button) return;
  button->setImage(Image::systemSymbol("clipboard", "Clipboard Manager"));
  auto menu = std::make_shared<Menu>();
  menu->setDelegate(this);
  statusItem->setMenu(menu);
  rebuildMenu();
}

void AppDelegate::applicationWillTerminate() {
  persistenceManager->saveHistory(clipboardHistory);
  persistenceManager->savePreviewStyle(previewStyle);
}

void AppDelegate::quitApp() { performQuit(); }

void AppDelegate::performQuit() {
  persistenceManager->saveHistory(clipboardHistory);
  persistenceManager->savePreviewStyle(previewStyle);
  platform_.application().terminate();
}

MenuAction AppDelegate::actionFor(void (AppDelegate::*method)(const MenuItem&)) {
  return [weak = weak_from_this(), method](const MenuItem& sender) {
    if (auto self = weak.lock()) ((*self).*method)(sender);
  };
}

MenuAction AppDelegate::actionFor(void (AppDelegate::*method)()) {
  return [weak = weak_from_this(), method](const MenuItem&) {
    if (auto self = weak.lock()) ((*self).*method)();
  };
}

std::vector<Uuid> AppDelegate::referencedFileIDs() const {
  std::vector<Uuid> ids;
  for (const auto& item : clipboardHistory)
    if (const auto id = storedFileIdOf(item.content)) ids.push_back(*id);
  return ids;
}

int runApplication(Platform& platform) {
  // Without a documents folder there is nowhere to keep the history.
  if (platform.documentDirectories().empty()) {
    platform.console().printLine("Brindlemux cannot start: the system gives no documents folder");
    return 1;
  }
  Application& application = platform.application();
  auto delegate = platform.processWide<AppDelegate>([&platform] { return new AppDelegate(platform); });
  application.setDelegate(delegate.get());
  application.setActivationPolicy(ActivationPolicy::accessory);
  return application.run();
}

}  // namespace bm
