// The window's input: the mouse over the splitter and the list, the
// wheel, the keys, context menus, the sliders and drops. Each event goes to
// the rule of the core that decides it.
#include <QApplication>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QScrollBar>
#include <QUrl>
#include <QWheelEvent>
#include <QWindow>

#include "core/app/commands.h"
#include "core/app/hotkeys.h"
#include "core/app/layout.h"
#include "core/app/window_rules.h"
#include "core/playback/position.h"
#include "core/playback/video.h"
#include "core/playback/volume.h"
#include "core/settings/settings.h"
#include "desktop/keys.h"
#include "desktop/main_window.h"
#include "desktop/qt_helpers.h"

namespace qel::desktop {

void MainWindow::OnContextMenu(QWidget* source, QPoint globalPos) {
  ClickedControl clicked = ClickedControl::Other;
  if (source == volume_) clicked = ClickedControl::VolumeBar;
  else if (source == pane_->edit()) clicked = ClickedControl::PaneEdit;
  else if (source == buttons_[1008]) clicked = ClickedControl::NextButton;
  else if (source == list_) clicked = ClickedControl::ListBox;
  // Without access to the title bar, the button row above the list stands
  // in for it.
  const QPoint local = mapFromGlobal(globalPos);
  const bool aboveClient = clicked == ClickedControl::Other && local.y() < state_.bottomSpace;
  switch (ChooseContextMenu(state_, clicked, aboveClient)) {
    case ContextMenu::Master: menus_["QEL_MASTER"]->popup(globalPos); break;
    case ContextMenu::Text: menus_["QEL_TEXT"]->popup(globalPos); break;
    case ContextMenu::RandomJump: Command(3700); break;
    case ContextMenu::Title: menus_["QEL_TITLE"]->popup(globalPos); break;
    case ContextMenu::Popup: {
      const QPoint p = list_->viewport()->mapFromGlobal(globalPos);
      bool outside = false;
      OperationGate::Scope scope(gate_);
      PrepareListContextMenu(state_, RowNearPoint({p.x(), p.y()}, &outside));
      menus_["QEL_POPUP"]->popup(globalPos);
      break;
    }
    case ContextMenu::None: break;
  }
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) { OnContextMenu(this, event->globalPos()); }

namespace {
int SliderCode(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: return kSliderLineDown;
    case QAbstractSlider::SliderSingleStepSub: return kSliderLineUp;
    case QAbstractSlider::SliderPageStepAdd: return kSliderPageDown;
    case QAbstractSlider::SliderPageStepSub: return kSliderPageUp;
    case QAbstractSlider::SliderToMinimum: return kSliderTop;
    case QAbstractSlider::SliderToMaximum: return kSliderBottom;
    case QAbstractSlider::SliderMove: return kSliderThumbTrack;
    default: return -1;
  }
}
}  // namespace

void MainWindow::OnPositionAction(int action) {
  const int code = SliderCode(action);
  if (code < 0) return;
  OperationGate::Scope scope(gate_);
  OnPositionSlider(state_, code, position_->sliderPosition(), QCursor::pos().x(), ScreenRect(position_));
}

void MainWindow::OnVolumeAction(int action) {
  const int code = SliderCode(action);
  if (code < 0) return;
  OperationGate::Scope scope(gate_);
  OnVolumeSlider(state_, code, QCursor::pos().x(), ScreenRect(volume_));
}

QRect MainWindow::SplitterScreenRect() const {
  const QWidget* edge = SplitterControl(state_) == Control::PaneEdit ? static_cast<const QWidget*>(pane_) : list_;
  return QRect(edge->mapToGlobal(QPoint()), edge->size());
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
  const Point p{event->position().toPoint().x(), event->position().toPoint().y()};
  if (p == state_.lastMousePos) return;
  state_.lastMousePos = p;
  state_.splitterHot = false;
  if (state_.splitterDragging) {
    setCursor(Qt::SizeHorCursor);
    SetButtonIcon(1013, DragSplitter(state_, p.x, width()));
    LayOut(0, false);
    return;
  }
  const QPoint global = event->globalPosition().toPoint();
  if (HoverSplitter(state_, {global.x(), global.y()}, ToRect(SplitterScreenRect())))
    setCursor(Qt::SizeHorCursor);
  else
    unsetCursor();
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  setFocus();
  if (state_.splitterHot) {
    grabMouse();
    state_.splitterDragging = true;
  }
}

void MainWindow::mouseReleaseEvent(QMouseEvent*) {
  if (state_.splitterDragging) releaseMouse();
  state_.splitterDragging = false;
  state_.dragAnchorRow = -1;
}

void MainWindow::leaveEvent(QEvent*) {
  state_.splitterHot = false;
  state_.dragAnchorRow = -1;
}

bool MainWindow::OnListMouse(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  const QModelIndex index = Rows()->indexAt(p);
  const int row = index.isValid() ? index.row() : -1;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      if (event->button() != Qt::LeftButton) return false;
      // Kept from the list, the press leaves the selection as it is.
      return PressOnListRow(state_, row, event->modifiers() & Qt::ShiftModifier,
                            row >= 0 && list_->IsSelected(row));
    case QEvent::MouseMove: {
      if (state_.dragAnchorRow < 0) return false;
      if (const int command = DragOverList(state_, row, event->buttons() & Qt::LeftButton)) Command(command);
      // While rows are moved the list does not select under the pointer.
      return state_.dragAnchorRow >= 0;
    }
    case QEvent::MouseButtonRelease: {
      const bool moving = state_.dragAnchorRow >= 0;
      state_.dragAnchorRow = -1;
      if (moving) return true;
      if (state_.settings.SingleClickMode && row >= 0 && list_->IsSelected(row) &&
          event->button() == Qt::LeftButton) {
        QMetaObject::invokeMethod(this, [this] { Command(1001, 2); }, Qt::QueuedConnection);
      }
      return false;
    }
    default:
      return false;
  }
}

bool MainWindow::OnKey(QKeyEvent* event) {
  if (forwarding_) return false;
  // With the focus here the media keys reach the window itself, not the
  // desktop's media controls: they act as those would.
  if (const std::optional<int> mediaKey = MediaKeyFromQt(event->key())) {
    Request([this, key = *mediaKey] {
      if (!destroyed_) OnHotKey(state_, key);
    });
    return true;
  }
  const std::optional<Key> key = KeyFromQt(event->key(), event->modifiers() & Qt::KeypadModifier);
  if (!key) return false;
  unsigned modifiers = kNoModifier;
  if (event->modifiers() & Qt::ControlModifier) modifiers |= kCtrl;
  if (event->modifiers() & Qt::ShiftModifier) modifiers |= kShift;
  if (event->modifiers() & Qt::AltModifier) modifiers |= kAlt;
  const std::optional<int> command = CommandForKey(*key, modifiers);
  if (!command) return false;
  Command(*command);
  return true;
}

bool MainWindow::OnWheel(QWheelEvent* event, QWidget* receiver) {
  WheelControl control = WheelControl::Window;
  for (QWidget* w = receiver; w && w != this; w = w->parentWidget()) {
    if (w == list_) control = WheelControl::ListBox;
    else if (w == pane_) control = WheelControl::PaneEdit;
    else if (w == position_) control = WheelControl::PositionBar;
    else if (w == volume_) control = WheelControl::VolumeBar;
    else continue;
    break;
  }
  const QScrollBar* paneBar = pane_->edit()->verticalScrollBar();
  const bool paneScrolls =
      paneBar->maximum() != 0 && pane_->edit()->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
  OperationGate::Scope scope(gate_);
  const WheelRoute route = TurnWheel(state_, control, paneScrolls, event->angleDelta().y());
  if (route.relayout) PostRelayout();
  return !route.scrolls;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (destroyed_) return false;
  // A turn of the wheel is taken where it enters the window, once: on its
  // way to the control under the pointer and up through the control's
  // parents and scroll bars it would be seen several times.
  if (event->type() == QEvent::Wheel && watched == static_cast<QObject*>(windowHandle()) &&
      !QApplication::activeModalWidget()) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    return OnWheel(wheel, childAt(wheel->position().toPoint()));
  }
  // The video window is no widget: its mouse is the pane's, and keys that
  // reach it are the window's.
  if (videoWindow_ && watched == static_cast<QObject*>(videoWindow_) && !QApplication::activeModalWidget()) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
        return OnPaneMouse(static_cast<QMouseEvent*>(event));
      case QEvent::KeyPress:
        return OnKey(static_cast<QKeyEvent*>(event));
      default:
        return false;
    }
  }
  auto* widget = qobject_cast<QWidget*>(watched);
  const bool ours = widget && widget->window() == this && !QApplication::activeModalWidget();
  if (!ours) return false;
  switch (event->type()) {
    case QEvent::KeyPress:
      return OnKey(static_cast<QKeyEvent*>(event));
    case QEvent::ShortcutOverride: {
      // Keep the text control from claiming keys that are commands here.
      auto* key = static_cast<QKeyEvent*>(event);
      if (KeyFromQt(key->key(), key->modifiers() & Qt::KeypadModifier)) {
        event->accept();
        return false;
      }
      return false;
    }

    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
      if (watched == list_->viewport()) return OnListMouse(static_cast<QMouseEvent*>(event));
      if (watched == pane_->edit()->viewport()) return OnPaneMouse(static_cast<QMouseEvent*>(event));
      return false;
    case QEvent::MouseButtonDblClick:
      if (watched == pane_->edit()->viewport()) return OnPaneMouse(static_cast<QMouseEvent*>(event));
      return false;
    default:
      return false;
  }
}

namespace {
std::vector<std::string> DroppedPaths(const QMimeData* mime) {
  std::vector<std::string> paths;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  return paths;
}
}  // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}
void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}
void MainWindow::dropEvent(QDropEvent* event) {
  const std::vector<std::string> paths = DroppedPaths(event->mimeData());
  if (paths.empty()) return;
  event->acceptProposedAction();
  const QPoint global = mapToGlobal(event->position().toPoint());
  const QRect listRect(list_->mapToGlobal(QPoint()), list_->size());
  const bool onList = list_->isVisible() && listRect.adjusted(0, 0, 1, 1).contains(global);
  const QPoint inList = list_->viewport()->mapFromGlobal(global);
  OperationGate::Scope scope(gate_);
  HandleDrop(state_, paths, {inList.x(), inList.y()}, onList, QFileInfo(QString::fromStdString(paths[0])).isDir());
  LayOut(0, false);
}

}  // namespace qel::desktop
