#include "platform/qt/qt_application.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdlib>

namespace bm::qt {
namespace {

int signalPipe[2] = {-1, -1};
QtApplication* running = nullptr;  // for the exit handler

extern "C" void onTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] auto ignored = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

QtApplication::QtApplication(QApplication& app) : app_(app) {
  // Signals only write a byte; the event loop reads it and terminates in order.
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
    ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    signalNotifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, [this] {
      char byte;
      [[maybe_unused]] auto ignored = ::read(signalPipe[0], &byte, 1);
      terminate();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
  }
  // Quitting the loop, by terminate() or by the session manager.
  QObject::connect(&app_, &QCoreApplication::aboutToQuit, [this] { willTerminateOnce(); });
  running = this;
  std::atexit(atExit);
}

QtApplication::~QtApplication() {
  running = nullptr;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) std::signal(signal, SIG_DFL);
}

void QtApplication::setActivationPolicy(ActivationPolicy policy) {
  // An agent has no windows to close; closing a popup must not end it.
  if (policy == ActivationPolicy::accessory) app_.setQuitOnLastWindowClosed(false);
}

int QtApplication::run() {
  running_ = true;
  QTimer::singleShot(0, &app_, [this] {
    if (delegate_ && !terminated_) delegate_->applicationDidFinishLaunching();
  });
  return app_.exec();
}

void QtApplication::terminate() {
  willTerminateOnce();
  QCoreApplication::quit();
}

void QtApplication::willTerminateOnce() {
  if (terminated_ || !running_) return;
  terminated_ = true;
  if (delegate_) delegate_->applicationWillTerminate();
}

void QtApplication::atExit() {
  if (running) running->willTerminateOnce();
}

}  // namespace bm::qt
