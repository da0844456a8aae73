#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/clipboard_item.h"
#include "platform/platform.h"
#include "storage/persistence_manager.h"

namespace bm {

// The one application delegate. It owns every piece of mutable state; the
// operations of capture and menu are its member functions, defined in those
// subsystems' folders. Always held by a shared_ptr: timers keep it weakly.
class AppDelegate : public ApplicationDelegate,
                    public MenuDelegate,
                    public std::enable_shared_from_this<AppDelegate> {
 public:
  explicit AppDelegate(Platform& platform);

  // Reached by the platform: the application, the menu, and the menu's
  // actions (each gets a copy of the chosen item as sender).
  void applicationDidFinishLaunching() override;
  void applicationWillTerminate() override;
  void menuWillOpen(Menu& menu) override;           // menu/history_menu.cpp
  void menuItemClicked(const MenuItem& sender);     // menu/restoring.cpp
  void setPreviewStyle(const MenuItem& sender);     // menu/preview.cpp
  void clearHistory();                              // menu/clearing.cpp
  void quitApp();

  // app/app_delegate.cpp
  void configureOnLaunch();
  void setupStatusItem();
  void performQuit();

  // capture/pasteboard_monitor.cpp
  void checkClipboard();
  // A change was reported: one check is posted, to run after the current
  // event (held, like the poll, while the menu is shown).
  void pasteboardDidChange();
  // capture/content_capture.cpp
  void captureContent(Pasteboard& pasteboard);
  // capture/history_insertion.cpp
  void addToHistory(const ClipboardContent& content, ItemType type, const std::string& displayText);
  bool contentsMatch(const ClipboardItem& existing, ItemType type, const ClipboardContent& content);

  // menu/history_menu.cpp
  void rebuildMenu();
  static void addSectionHeader(Menu& menu, const std::string& title);
  // menu/entry_item.cpp
  MenuItem makeMenuItem(const ClipboardItem& item);
  // menu/preview.cpp
  void updateStatusButton(const std::string& text);
  // Stops a temporary title's countdown, if one is pending.
  void cancelPreviewTimer();
  void showImagePreview(const Image& image);
  void applyPreviewStyle(const MenuItem& sender);
  // menu/restoring.cpp
  void restoreItem(const MenuItem& sender);
  // menu/clearing.cpp
  void performClearHistory();

  // The stored-file ids of image and data entries, in history order.
  std::vector<Uuid> referencedFileIDs() const;

  std::shared_ptr<StatusItem> statusItem;
  std::vector<ClipboardItem> clipboardHistory;
  std::shared_ptr<Timer> previewTimer;
  std::shared_ptr<Timer> postedCheck;  // the check a change report posted, until it runs
  const double previewDuration = 5.0;
  PreviewStyle previewStyle = PreviewStyle::temporary;
  const std::shared_ptr<PersistenceManager> persistenceManager;

  static constexpr double kPollInterval = 0.5;

 private:
  // capture/content_capture.cpp: one step per kind, tried in this order.
  struct Capture;
  bool isConcealed(Pasteboard& pasteboard);
  Capture captureFiles(Pasteboard& pasteboard);
  Capture captureImage(Pasteboard& pasteboard);
  Capture captureFigmaCopy(Pasteboard& pasteboard);
  Capture capturePlainText(Pasteboard& pasteboard);
  Capture captureOtherData(Pasteboard& pasteboard);
  void writeThumbnail(const Uuid& storedFileId, const Image& image);
  // Prints one line when the write fails; the entry is kept all the same.
  void writeDataFile(const Uuid& storedFileId, const Bytes& bytes);

  // menu/restoring.cpp: writing each kind back.
  void restoreImage(Pasteboard& pasteboard, const ImageContent& content);
  void restoreFiles(Pasteboard& pasteboard, const FileContent& content);
  void restoreData(Pasteboard& pasteboard, const DataContent& content);

  // capture/history_insertion.cpp
  class NewContent;
  bool contentsMatch(const ClipboardItem& existing, ItemType type, NewContent& newContent);

  // A menu action that reaches `method` of this delegate while it exists;
  // items carry no target, as actions travel the responder chain.
  MenuAction actionFor(void (AppDelegate::*method)(const MenuItem&));
  MenuAction actionFor(void (AppDelegate::*method)());

  Platform& platform_;
};

// The process entry: makes the delegate, turns the process into a
// status-area agent and runs the event loop. Returns the exit status.
int runApplication(Platform& platform);

}  // namespace bm
