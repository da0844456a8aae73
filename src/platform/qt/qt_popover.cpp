#include "platform/qt/qt_popover.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include "shared/qt_image_codec.h"
#include "platform/qt/qt_status_bar.h"

namespace bm::qt {
namespace {

// Closes a transient popover on a click on it.
class ClickCloser : public QObject {
 public:
  ClickCloser(QObject* parent, std::function<bool()> transient)
      : QObject(parent), transient_(std::move(transient)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress && transient_()) static_cast<QWidget*>(watched)->hide();
    return false;
  }

 private:
  std::function<bool()> transient_;
};

}  // namespace

QtPopover::QtPopover()
    : window_(std::make_unique<QWidget>(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)),
      label_(new QLabel(window_.get())) {
  window_->setAttribute(Qt::WA_ShowWithoutActivating);
  window_->setObjectName("BrindlemuxPopover");
  auto* layout = new QVBoxLayout(window_.get());
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(label_);
  label_->setAlignment(Qt::AlignCenter);
  auto* closer = new ClickCloser(window_.get(), [this] { return behavior_ == PopoverBehavior::transient; });
  window_->installEventFilter(closer);
  label_->installEventFilter(closer);
}

QtPopover::~QtPopover() = default;

void QtPopover::setContentSize(Size size) {
  window_->setFixedSize(static_cast<int>(size.width), static_cast<int>(size.height));
  updatePixmap();
}

void QtPopover::setImage(const Image& image, ImageScaling scaling) {
  image_ = toQImage(image);
  scaling_ = scaling;
  updatePixmap();
}

void QtPopover::updatePixmap() {
  if (image_.isNull()) return;
  const QSize box = window_->size();
  QImage shown = image_;
  switch (scaling_) {
    case ImageScaling::proportionallyUpOrDown:
      shown = image_.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
      break;
    case ImageScaling::proportionallyDown:
      if (image_.width() > box.width() || image_.height() > box.height())
        shown = image_.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
      break;
    case ImageScaling::axesIndependently:
      shown = image_.scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      break;
    case ImageScaling::none:
      break;
  }
  label_->setPixmap(QPixmap::fromImage(shown));
}

void QtPopover::showRelativeTo(Rect, StatusButton& button, RectEdge) {
  // The anchor is always the whole button: place the window under the icon,
  // or above it when the tray is at the bottom of the screen. Where the tray
  // does not say where its icon is (StatusNotifierItem hosts), the pointer is
  // the one place the user is sure to see.
  Rect icon;
  if (const auto* tray = dynamic_cast<QtStatusButton*>(&button)) icon = tray->screenGeometry();
  if (icon.width <= 0 || icon.height <= 0) {
    const QPoint pointer = QCursor::pos();
    icon = {static_cast<double>(pointer.x()), static_cast<double>(pointer.y()), 0, 0};
  }
  const QPoint iconCenter(static_cast<int>(icon.x + icon.width / 2), static_cast<int>(icon.y + icon.height / 2));
  const QScreen* screen = QGuiApplication::screenAt(iconCenter);
  if (!screen) screen = QGuiApplication::primaryScreen();
  const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
  const QSize size = window_->size();
  int x = iconCenter.x() - size.width() / 2;
  int y = static_cast<int>(icon.y + icon.height);
  if (y + size.height() > available.bottom()) y = static_cast<int>(icon.y) - size.height();
  x = std::clamp(x, available.left(), std::max(available.left(), available.right() - size.width()));
  window_->move(x, std::max(y, available.top()));
  window_->show();
}

void QtPopover::close() { window_->hide(); }

bool QtPopover::isShown() const { return window_->isVisible(); }

}  // namespace bm::qt
