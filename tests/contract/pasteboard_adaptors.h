#pragma once

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <string>
#include <utility>
#include <vector>

#include "platform/qt/mime_types.h"
#include "platform/qt/qt_pasteboard.h"
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

}  // namespace bm::contract
