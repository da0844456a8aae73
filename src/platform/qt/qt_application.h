#pragma once

#include <memory>

#include "platform/application.h"

class QApplication;
class QSocketNotifier;

namespace bm::qt {

// The application on Qt's event loop. Every way the process is asked to end
// goes through terminate, so the delegate hears applicationWillTerminate
// exactly once: quitting, SIGTERM, SIGINT and SIGHUP, the session manager
// ending the session, and an exit() from inside Qt (a lost X connection).
class QtApplication : public Application {
 public:
  explicit QtApplication(QApplication& app);
  ~QtApplication() override;

  void setDelegate(ApplicationDelegate* delegate) override { delegate_ = delegate; }
  void setActivationPolicy(ActivationPolicy policy) override;
  int run() override;
  void terminate() override;

 private:
  void willTerminateOnce();
  static void atExit();

  QApplication& app_;
  ApplicationDelegate* delegate_ = nullptr;
  bool running_ = false;
  bool terminated_ = false;
  std::unique_ptr<QSocketNotifier> signalNotifier_;
};

}  // namespace bm::qt
