#include "desktop/pane_view.h"

#include <QApplication>
#include <QPainter>

#include "desktop/qt_helpers.h"

namespace qel::desktop {
namespace {

QColor PaneBackground(const AppState& state) {
  if (state.settings.DarkMode) return QColor(0x40, 0x40, 0x40);
  return QApplication::palette().color(QPalette::Button);
}

QImage ImageOf(const Picture& picture) {
  // BGRA top-down is QImage's ARGB32 on a little-endian machine.
  return QImage(picture.pixels.data(), picture.width, picture.height, picture.width * 4, QImage::Format_ARGB32);
}


}  // namespace

PaneArea::PaneArea(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
  edit_ = new QPlainTextEdit(this);
  edit_->setReadOnly(true);
  edit_->setFrameShape(QFrame::NoFrame);
  edit_->viewport()->setAutoFillBackground(false);
  QPalette palette = edit_->palette();
  palette.setColor(QPalette::Base, Qt::transparent);
  palette.setColor(QPalette::Text, Qt::black);
  edit_->setPalette(palette);
  edit_->setBackgroundVisible(false);
  edit_->setAttribute(Qt::WA_TranslucentBackground);
  edit_->setStyleSheet("QPlainTextEdit { background: transparent; }");
}

void PaneArea::resizeEvent(QResizeEvent*) { edit_->setGeometry(rect()); }

void PaneArea::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), PaneBackground(state_));
  if (engine_) {
    if (auto frame = engine_->VideoFrame(handle_); frame && !frame->picture.Empty()) {
      const QImage image = ImageOf(frame->picture);
      QRect target = ToQRect(frame->destination);
      if (target.isEmpty()) {
        target = QRect(QPoint(), image.size().scaled(size(), Qt::KeepAspectRatio));
        target.moveCenter(rect().center());
      }
      painter.drawImage(target, image);
      return;
    }
  }
  if (state_.settings.ShowBitmapText && state_.panePicture && !state_.panePicture->Empty()) {
    const QImage image = ImageOf(*state_.panePicture);
    QRect target(QPoint(), image.size().scaled(size(), Qt::KeepAspectRatio));
    target.moveCenter(rect().center());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, image);
  }
}

}  // namespace qel::desktop
