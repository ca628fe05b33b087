// The main window's video view: the screen modes, the pane's background
// around the picture, the clicks on the pane and the pointer at rest over a
// playing video. The rules are the core's; this forwards and applies them.
#include <QCursor>
#include <QMouseEvent>

#include "core/app/pane_mouse.h"
#include "desktop/main_window.h"
#include "desktop/qt_helpers.h"

namespace qel::desktop {

Rect MainWindow::PaneClientRect() { return {0, 0, pane_->width(), pane_->height()}; }

void MainWindow::PaintPaneBackground(const std::vector<Rect>& areas) {
  // The whole pane: the last picture goes.
  if (videoWindow_ && areas.size() == 1 && areas[0] == PaneClientRect()) videoWindow_->Wipe();
  for (const Rect& area : areas)
    if (area.Width() > 0 && area.Height() > 0) pane_->update(ToQRect(area));
}

void MainWindow::SetWindowMode(WindowMode mode) {
  switch (mode) {
    case WindowMode::Normal:
      if (isFullScreen() || isMaximized()) showNormal();
      break;
    case WindowMode::Maximized:
      showMaximized();
      break;
    case WindowMode::FullScreen:
      // The window manager's full-screen state: no frame, the whole monitor
      // that holds the window, panels covered.
      showFullScreen();
      break;
  }
}

void MainWindow::ShowControls(bool shown) {
  for (auto& [id, button] : buttons_) button->setVisible(shown);
  time_->setVisible(shown);
  volume_->setVisible(shown);
  position_->setVisible(shown);
  list_->setVisible(shown);
}

std::optional<Picture> MainWindow::VideoWindowPicture() {
  if (!engine_) return std::nullopt;
  if (videoWindow_ && videoWindow_->Showing()) return videoWindow_->Grab();
  return engine_->CurrentFrame(state_.mciAlias);
}

bool MainWindow::OnPaneMouse(QMouseEvent* event) {
  OperationGate::Scope scope(gate_);
  switch (event->type()) {
    case QEvent::MouseMove: {
      const QPoint global = event->globalPosition().toPoint();
      PaneMouseMove(state_, {global.x(), global.y()});
      if (pointerHidden_) {
        pointerHidden_ = false;
        pane_->edit()->viewport()->unsetCursor();
        if (videoWindow_) videoWindow_->unsetCursor();
      }
      pointerRest_.start(kPointerRestMs);
      return false;
    }
    case QEvent::MouseButtonPress:
      if (event->button() == Qt::LeftButton) PaneLeftPress(state_);
      return false;
    case QEvent::MouseButtonRelease:
      if (event->button() == Qt::LeftButton) PaneLeftRelease(state_);
      return false;
    case QEvent::MouseButtonDblClick:
      if (event->button() != Qt::LeftButton) return false;
      PaneDoubleClick(state_, width());
      // Taken here: the text control would select a word.
      return true;
    default:
      return false;
  }
}

void MainWindow::HidePointerAtRest() {
  const QPoint inPane = pane_->mapFromGlobal(QCursor::pos());
  if (videoWindow_ && videoWindow_->Showing()) {
    if (!videoWindow_->Placement().contains(inPane)) return;
    videoWindow_->setCursor(Qt::BlankCursor);
  } else {
    // A picture the engine drew itself, which the pane paints.
    const std::optional<engine::Frame> frame =
        engine_ ? engine_->VideoFrame(NativeHandle(Control::PaneEdit)) : std::nullopt;
    if (!frame || !ToQRect(frame->destination).contains(inPane)) return;
    pane_->edit()->viewport()->setCursor(Qt::BlankCursor);
  }
  pointerHidden_ = true;
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  OperationGate::Scope scope(gate_);
  MainWindowDoubleClick(state_, width());
}

}  // namespace qel::desktop
