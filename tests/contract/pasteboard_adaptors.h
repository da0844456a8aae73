#pragma once

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryFile>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/qt/clipboard/mime_types.h"
#include "platform/qt/clipboard/qt_pasteboard.h"
#include "platform/qt/clipboard/wayland_pasteboard.h"
#include "platform/qt/clipboard/x11_clipboard.h"
#include "platform/qt/clipboard/wl_clipboard_tools.h"
#include "platform/sim/sim_platform.h"
#include "shared/qt_image_codec.h"

namespace bm::contract {

// Types with their bytes, in the order an application offers them.
using Offer = std::vector<std::pair<std::string, Bytes>>;

// Each adaptor gives the platform's pasteboard and lets another application
// replace its contents: with typed bytes, or with a list of URLs as a file
// manager or a browser copies them (the URLs also as plain text).
class SimPasteboardAdaptor {
 public:
  static constexpr const char* kName = "Sim";

  Pasteboard& pasteboard() { return world_.pasteboard; }
  void otherApplicationCopies(const Offer& offer) { world_.pasteboard.copyItems({offer}); }
  void otherApplicationCopiesUrls(const std::vector<std::string>& urls) { world_.pasteboard.copyUrls(urls); }

 private:
  sim::SimWorld world_;
};

// The offscreen platform's clipboard; another application's copy is a
// QMimeData set on it directly. Text goes under text/plain as raw bytes, as
// Qt lists an X11 owner's UTF8_STRING.
class QtPasteboardAdaptor {
 public:
  static constexpr const char* kName = "Qt";

  Pasteboard& pasteboard() { return pasteboard_; }
  void otherApplicationCopies(const Offer& offer) {
    auto* data = new QMimeData;
    for (const auto& [type, bytes] : offer) {
      const QByteArray raw(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
      data->setData(type == kPasteboardTypeString ? QString("text/plain") : qt::mimeTypeFor(type), raw);
    }
    QApplication::clipboard()->setMimeData(data);  // takes ownership
  }
  void otherApplicationCopiesUrls(const std::vector<std::string>& urls) {
    QByteArray list, text;
    for (const auto& url : urls) {
      list += QByteArray::fromStdString(url) + "\r\n";
      text += (text.isEmpty() ? "" : "\n") + QByteArray::fromStdString(url);
    }
    auto* data = new QMimeData;
    data->setData(qt::kUriListMime, list);
    data->setData("text/plain", text);
    QApplication::clipboard()->setMimeData(data);  // takes ownership
  }

 private:
  qt::QtImageCodec images_;
  qt::QtPasteboard pasteboard_{*QApplication::clipboard(), images_};
};

// The tests' clipboard_owner program ($CLIPBOARD_OWNER), started as another
// application that copies: `options`, then each type with a file of its bytes.
class ClipboardOwners {
 public:
  explicit ClipboardOwners(QStringList options) : options_(std::move(options)) {}
  ~ClipboardOwners() {
    for (auto& owner : owners_) {
      owner->terminate();
      owner->waitForFinished(5000);
    }
  }

  // Ready once it owns the clipboard; false when it never says so.
  bool copies(const Offer& offer) {
    QStringList arguments;
    for (const auto& [type, bytes] : offer) {
      const QByteArray raw(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
      arguments << "--type" << qt::mimeTypeFor(type) << "--file" << file(raw);
    }
    return start(arguments);
  }
  bool copiesUrls(const std::vector<std::string>& urls) {
    QByteArray list, text;
    for (const auto& url : urls) {
      list += QByteArray::fromStdString(url) + "\r\n";
      text += (text.isEmpty() ? "" : "\n") + QByteArray::fromStdString(url);
    }
    return start({"--type", qt::kUriListMime, "--file", file(list), "--type", "text/plain", "--file", file(text)});
  }

 private:
  QString file(const QByteArray& bytes) {
    files_.push_back(std::make_unique<QTemporaryFile>());
    files_.back()->open();
    files_.back()->write(bytes);
    files_.back()->flush();
    return files_.back()->fileName();
  }

  bool start(const QStringList& arguments) {
    owners_.push_back(std::make_unique<QProcess>());
    QProcess& owner = *owners_.back();
    owner.setStandardErrorFile(QProcess::nullDevice());  // its request log
    owner.start(qEnvironmentVariable("CLIPBOARD_OWNER"), options_ + arguments);
    return owner.waitForReadyRead(5000);
  }

  QStringList options_;
  std::vector<std::unique_ptr<QProcess>> owners_;
  std::vector<std::unique_ptr<QTemporaryFile>> files_;
};

// The desktop pasteboard on a real X11 display (QT_QPA_PLATFORM=xcb, under
// Xvfb); another application's copy is a clipboard_owner. Text goes under
// text/plain;charset=utf-8, whose bytes a Qt owner serves as given (it would
// re-encode its text/plain). Elsewhere these cases are skipped.
class X11PasteboardAdaptor {
 public:
  static constexpr const char* kName = "X11";
  static bool available() {
    return QGuiApplication::platformName() == "xcb" && qEnvironmentVariableIsSet("CLIPBOARD_OWNER");
  }

  Pasteboard& pasteboard() { return pasteboard_; }
  void otherApplicationCopies(const Offer& offer) { waitForChange([&] { return owners_.copies(offer); }); }
  void otherApplicationCopiesUrls(const std::vector<std::string>& urls) {
    waitForChange([&] { return owners_.copiesUrls(urls); });
  }

 private:
  static std::unique_ptr<qt::X11Clipboard> connectIfAvailable() {
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return available() && x11 ? qt::X11Clipboard::connect(x11->connection()) : nullptr;
  }

  // X11 tells of the copy through the event loop: it is run until the
  // pasteboard has heard of it, or for a few seconds when it never does. Qt
  // must have heard of it too: it takes the clipboard with the time of the
  // last event it saw, and X11 ignores a time older than the copy's.
  template <typename Copy>
  void waitForChange(Copy copy) {
    const auto before = pasteboard_.changeCount();
    bool qtHeard = false;
    const auto heard = QObject::connect(QApplication::clipboard(), &QClipboard::changed,
                                        [&](QClipboard::Mode mode) { qtHeard |= mode == QClipboard::Clipboard; });
    if (copy()) {  // else the test's own checks fail
      const QDeadlineTimer deadline(3000);
      while ((pasteboard_.changeCount() == before || !qtHeard) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QObject::disconnect(heard);
  }

  qt::QtImageCodec images_;
  qt::QtPasteboard pasteboard_{*QApplication::clipboard(), images_, connectIfAvailable()};
  ClipboardOwners owners_{{}};
};

// The desktop pasteboard in a Wayland session with data-control (a headless
// sway that the test starts); another application's copy is a
// clipboard_owner serving the selection through data-control. Elsewhere
// these cases are skipped.
class WaylandPasteboardAdaptor {
 public:
  static constexpr const char* kName = "Wayland";
  static bool available() {
    return qt::test::inTestCompositor() && qEnvironmentVariableIsSet("CLIPBOARD_OWNER");
  }

  WaylandPasteboardAdaptor() {
    if (auto wayland = available() ? qt::WaylandClipboard::connect() : nullptr)
      pasteboard_ = std::make_unique<qt::WaylandPasteboard>(std::move(wayland), images_);
  }

  Pasteboard& pasteboard() { return *pasteboard_; }
  void otherApplicationCopies(const Offer& offer) { waitForChange([&] { return owners_.copies(offer); }); }
  void otherApplicationCopiesUrls(const std::vector<std::string>& urls) {
    waitForChange([&] { return owners_.copiesUrls(urls); });
  }

 private:
  // The compositor tells of the copy through the event loop.
  template <typename Copy>
  void waitForChange(Copy copy) {
    const auto before = pasteboard_->changeCount();
    if (!copy()) return;  // the test's own checks fail
    const QDeadlineTimer deadline(3000);
    while (pasteboard_->changeCount() == before && !deadline.hasExpired())
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }

  qt::QtImageCodec images_;
  std::unique_ptr<qt::WaylandPasteboard> pasteboard_;
  ClipboardOwners owners_{{"--wayland"}};
};

}  // namespace bm::contract
