// Another application for desktop tests: owns the CLIPBOARD with the given
// formats, in the given order, and logs every request for one of them.
//
//   clipboard_owner [--wayland] (--type MIME --file PATH | --text MIME STRING)...
//
// With no formats it owns an empty clipboard. With --wayland it owns the
// Wayland selection instead, through data-control as wl-copy does (which
// offers one type only).
//
// Prints "ready" on stdout once it owns the clipboard and "request MIME" on
// stderr for each format asked of it (as Qt names it: an X11 request for
// UTF8_STRING, STRING or TEXT is one for text/plain, which serves all three).
// Exits when another program takes the clipboard, or on SIGTERM.

#include <sys/socket.h>
#include <unistd.h>

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QSocketNotifier>
#include <QStringList>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/qt/clipboard/wayland_clipboard.h"

namespace {

using Formats = std::vector<std::pair<QString, QByteArray>>;

void logRequest(const QString& mimeType) {
  std::fprintf(stderr, "request %s\n", qPrintable(mimeType));
  std::fflush(stderr);
}

// Lists its formats in the order given (QMimeData's own list is in order of
// first setting too, but says nothing of requests).
class LoggingMimeData : public QMimeData {
 public:
  explicit LoggingMimeData(Formats formats) : formats_(std::move(formats)) {}

  QStringList formats() const override {
    QStringList names;
    for (const auto& [name, bytes] : formats_) names.append(name);
    return names;
  }
  bool hasFormat(const QString& mimeType) const override { return formats().contains(mimeType); }

 protected:
  QVariant retrieveData(const QString& mimeType, QMetaType) const override {
    logRequest(mimeType);
    for (const auto& [name, bytes] : formats_)
      if (name == mimeType) return bytes;
    return {};
  }

 private:
  Formats formats_;
};

int usage() {
  std::fprintf(stderr, "usage: clipboard_owner [--wayland] (--type MIME --file PATH | --text MIME STRING)...\n");
  return 2;
}

void sayReady() {
  std::printf("ready\n");
  std::fflush(stdout);
}

// Serves the Wayland selection until another program replaces it.
int ownWaylandSelection(QGuiApplication& app, const Formats& formats) {
  auto clipboard = bm::qt::WaylandClipboard::connect();
  if (!clipboard) {
    std::fprintf(stderr, "no Wayland display with data-control\n");
    return 1;
  }
  std::vector<std::string> types;
  for (const auto& [name, bytes] : formats) types.push_back(name.toStdString());
  const bool offered = clipboard->offer(types, [&formats](const std::string& type) {
    const QString name = QString::fromStdString(type);
    logRequest(name);
    for (const auto& [format, bytes] : formats)
      if (format == name) return bytes;
    return QByteArray();
  });
  if (!offered) {
    std::fprintf(stderr, "could not take the selection\n");
    return 1;
  }
  QSocketNotifier events(clipboard->fileDescriptor(), QSocketNotifier::Read);
  QObject::connect(&events, &QSocketNotifier::activated, &app, [&] {
    if (clipboard->dispatch() && !clipboard->selectionIsOurs()) QCoreApplication::quit();
  });
  sayReady();
  return app.exec();
}

int signalSockets[2];

void onTerminate(int) {
  const char byte = 1;
  (void)!::write(signalSockets[1], &byte, 1);
}

}  // namespace

int main(int argc, char** argv) {
  const bool wayland = argc > 1 && std::string_view(argv[1]) == "--wayland";
  if (wayland) qputenv("QT_QPA_PLATFORM", "offscreen");  // the selection needs no window
  QGuiApplication app(argc, argv);
  const QStringList arguments = app.arguments();
  Formats formats;
  for (qsizetype i = wayland ? 2 : 1; i < arguments.size();) {
    const qsizetype left = arguments.size() - i;
    if (arguments[i] == "--type" && left >= 4 && arguments[i + 2] == "--file") {
      QFile file(arguments[i + 3]);
      if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(arguments[i + 3]));
        return 1;
      }
      formats.emplace_back(arguments[i + 1], file.readAll());
      i += 4;
    } else if (arguments[i] == "--text" && left >= 3) {
      formats.emplace_back(arguments[i + 1], arguments[i + 2].toUtf8());
      i += 3;
    } else {
      return usage();
    }
  }

  // SIGTERM reaches the event loop through a socket pair.
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalSockets) != 0) return 1;
  QSocketNotifier terminated(signalSockets[0], QSocketNotifier::Read);
  QObject::connect(&terminated, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
  std::signal(SIGTERM, onTerminate);
  if (wayland) return ownWaylandSelection(app, formats);

  // Qt counts the clipboard as ours only once it has a server timestamp for
  // taking it, which it can miss; taking it again, with fresh data, helps.
  QClipboard* clipboard = QGuiApplication::clipboard();
  for (int attempt = 0; attempt < 5 && !clipboard->ownsClipboard(); ++attempt) {
    if (attempt > 0) QThread::msleep(100);
    QCoreApplication::processEvents();
    clipboard->setMimeData(new LoggingMimeData(formats), QClipboard::Clipboard);
  }
  if (!clipboard->ownsClipboard()) {
    std::fprintf(stderr, "could not take the clipboard\n");
    return 1;
  }
  QObject::connect(clipboard, &QClipboard::changed, &app, [clipboard](QClipboard::Mode mode) {
    if (mode == QClipboard::Clipboard && !clipboard->ownsClipboard()) QCoreApplication::quit();
  });
  sayReady();
  return app.exec();
}
