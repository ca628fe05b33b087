#include "desktop/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "core/app/commands.h"
#include "core/app/layout.h"
#include "core/app/window_rules.h"
#include "core/playback/order.h"
#include "core/playback/position.h"
#include "core/playback/video.h"
#include "core/playback/volume.h"
#include "core/settings/settings.h"
#include "desktop/accessible_names.h"
#include "desktop/icons.h"
#include "desktop/list_view.h"
#include "desktop/menus.h"
#include "desktop/position_slider.h"
#include "desktop/qt_helpers.h"

namespace qel::desktop {

// ---- main window

MainWindow::MainWindow(AppState& state, engine::MediaEngine* engine) : state_(state), engine_(engine) {
  title_ = "Qel";
  setWindowTitle("Qel");
  titleTimer_.setSingleShot(true);
  connect(&titleTimer_, &QTimer::timeout, this, &MainWindow::PushTitle);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setAcceptDrops(true);
  setMouseTracking(true);
  timer_.setInterval(100);
  // A tick inside a dialog's loop would advance the list under the
  // operation that opened the dialog: ticks wait for it to end.
  connect(&timer_, &QTimer::timeout, this, [this] {
    if (gate_.Busy() || destroyed_) return;
    OperationGate::Scope scope(gate_);
    OnTimerTick(state_);
  });
  gate_.onSettled = [this] {
    if (onSettled && !destroyed_) onSettled();
  };
  pointerRest_.setSingleShot(true);
  connect(&pointerRest_, &QTimer::timeout, this, &MainWindow::HidePointerAtRest);
  sessionTimer_.setInterval(50);
  connect(&sessionTimer_, &QTimer::timeout, this, &MainWindow::CancelModalDialogs);
  BuildControls();
  BuildMenus();
  NameControls(this);
  list_->Model()->FollowCurrent(&state_.currentIndex);
  qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  if (state_.platform.window == this) state_.platform.window = nullptr;
}

void MainWindow::BuildControls() {
  const QFontMetrics metrics(font());
  cx_ = std::max(1, metrics.averageCharWidth());
  cy_ = std::max(1, metrics.height());
  auto du = [this](int x, int y, int w, int h) { return QRect(x * cx_ / 4, y * cy_ / 8, w * cx_ / 4, h * cy_ / 8); };

  struct ButtonSpec {
    int id, x, y;
    const char* caption;
  };
  const ButtonSpec layouts[] = {{1005, 7, 7, "開"},  {1004, 22, 7, "再"}, {1006, 37, 7, "停"}, {1007, 52, 7, "前"},
                              {1008, 67, 7, "次"}, {1011, 82, 7, "順"}, {1012, 166, 7, "上"}, {1013, 166, 21, "覧"}};
  for (const ButtonSpec& layout : layouts) {
    auto* button = new QPushButton(this);
    button->setObjectName(QString::number(layout.id));
    button->setToolTip(QString::fromUtf8(layout.caption));
    button->setGeometry(du(layout.x, layout.y, 14, 14));
    button->setIconSize(QSize(14, 14));
    button->setFocusPolicy(Qt::NoFocus);
    button->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(button, &QPushButton::customContextMenuRequested, this,
            [this, button](QPoint p) { OnContextMenu(button, button->mapToGlobal(p)); });
    const int id = layout.id;
    connect(button, &QPushButton::clicked, this, [this, id] { Command(id); });
    buttons_[layout.id] = button;
  }
  volume_ = new QSlider(Qt::Horizontal, this);
  volume_->setObjectName("1010");
  volume_->setGeometry(du(100, 10, 55, 9));
  volume_->setRange(0, 100);
  volume_->setPageStep(5);
  volume_->setFocusPolicy(Qt::NoFocus);
  volume_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(volume_, &QSlider::customContextMenuRequested, this,
          [this](QPoint p) { OnContextMenu(volume_, volume_->mapToGlobal(p)); });
  connect(volume_, &QSlider::actionTriggered, this, &MainWindow::OnVolumeAction);
  connect(volume_, &QSlider::valueChanged, this, [this] { DescribeVolume(volume_); });
  connect(volume_, &QSlider::sliderReleased, this, [this] {
    OperationGate::Scope scope(gate_);
    OnVolumeSlider(state_, kSliderThumbPosition, QCursor::pos().x(), ScreenRect(volume_));
    OnVolumeSlider(state_, kSliderEndTrack, QCursor::pos().x(), ScreenRect(volume_));
  });

  position_ = new PositionSlider(this);
  position_->setObjectName("1009");
  position_->setGeometry(du(7, 23, 91, 12));
  position_->setFocusPolicy(Qt::NoFocus);
  connect(position_, &QSlider::actionTriggered, this, &MainWindow::OnPositionAction);
  connect(position_, &QSlider::sliderReleased, this, [this] {
    OperationGate::Scope scope(gate_);
    const Rect r = ScreenRect(position_);
    OnPositionSlider(state_, kSliderThumbPosition, position_->sliderPosition(), QCursor::pos().x(), r);
    OnPositionSlider(state_, kSliderEndTrack, position_->sliderPosition(), QCursor::pos().x(), r);
  });

  time_ = new QLabel("00:00 / 00:00", this);
  time_->setGeometry(du(96, 24, 62, 8));
  time_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  pane_ = new PaneArea(state_, this);
  pane_->setGeometry(du(7, 37, 173, 134));
  pane_->edit()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(pane_->edit(), &QPlainTextEdit::customContextMenuRequested, this,
          [this](QPoint p) { OnContextMenu(pane_->edit(), pane_->edit()->mapToGlobal(p)); });
  if (engine_) {
    pane_->SetEngine(engine_, NativeHandle(Control::PaneEdit));
    videoWindow_ = new VideoWindow(engine_, NativeHandle(Control::PaneEdit), pane_, [this] { pane_->update(); });
    pane_->videoShown = [this] { return videoWindow_->Showing(); };
  }

  list_ = new RowList(this);
  list_->setObjectName("1001");
  list_->setGeometry(du(7, 36, 173, 135));
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setUniformItemSizes(true);
  list_->setItemDelegate(new RowDelegate(state_, rowHeight_, list_));
  new RowBackground(state_, list_);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  list_->setAcceptDrops(false);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list_, &QListView::customContextMenuRequested, this,
          [this](QPoint p) { OnContextMenu(list_, list_->viewport()->mapToGlobal(p)); });
  connect(list_, &QListView::doubleClicked, this, [this] { Command(1001, 2); });
  for (QWidget* child : findChildren<QWidget*>()) child->setAcceptDrops(false);

  resize(187 * cx_ / 4, 178 * cy_ / 8);
}

void MainWindow::BuildMenus() {
  for (const MenuSpec& layout : MenuSpecs()) {
    auto* menu = new OwnerDrawnMenu(this);
    auto* radio = layout.radio ? new QActionGroup(menu) : nullptr;
    for (const MenuItemSpec& item : layout.items) {
      if (item.command == 0 && item.submenu) {
        QMenu* sub = menus_.at(item.submenu);
        sub->setTitle(QString::fromUtf8(item.caption));
        menu->addMenu(sub);
        continue;
      }
      if (item.command == 0) {
        menu->addSeparator();
        continue;
      }
      QAction* action = menu->addAction(QString::fromUtf8(item.caption));
      action->setCheckable(item.checkable);
      if (radio) radio->addAction(action);
      if (item.icon) {
        action->setIcon(IconByNumber(item.icon));
        menu->SetOwnerDrawn(action);
      }
      const int command = item.command;
      connect(action, &QAction::triggered, this, [this, command] { Command(command); });
      actions_.emplace(command, action);
    }
    connect(menu, &QMenu::aboutToHide, this, [this] { state_.menuShown = false; });
    menus_[layout.name] = menu;
  }
}

void MainWindow::Create(const std::string& target, OpenKind kind) {
  PrepareWindow();
  OpenStartupTarget(target, kind);
}

void MainWindow::CreateThenOpen(const std::string& target, OpenKind kind) {
  startupOpen_ = [this, target, kind] { OpenStartupTarget(target, kind); };
  PrepareWindow();
  LayOut(0, true);
  // The first paint starts it (see paintEvent); a window that is never
  // painted (minimised at once, say) opens all the same.
  QTimer::singleShot(1000, this, &MainWindow::RunStartupOpen);
}

void MainWindow::RunStartupOpen() {
  if (!startupOpen_) return;
  std::function<void()> open = std::exchange(startupOpen_, nullptr);
  if (pendingListFont_) SetListFont(*std::exchange(pendingListFont_, std::nullopt));
  // Before the open: a start that plays gives the new file this level.
  if (state_.settings.MasterVolume && !destroyed_) ReadMasterVolume(state_);
  if (onStartupOpen && !destroyed_) onStartupOpen();
  if (!destroyed_) open();
  // Drawing the icon's sizes from their SVGs would hold the first window
  // back by a few milliseconds; the window manager takes it as it comes.
  if (!destroyed_) setWindowIcon(AppIcon());
  for (std::function<void()>& task : std::exchange(afterStartup_, {})) Request(std::move(task));
}

void MainWindow::PrepareWindow() {
  OperationGate::Scope scope(gate_);
  state_.platform.window = this;
  state_.currentIndex = -1;
  const QRect client(mapToGlobal(QPoint()), size());
  const QRect listRect(list_->mapToGlobal(QPoint()), list_->size());
  const QRect order(buttons_[1011]->mapToGlobal(QPoint()), buttons_[1011]->size());
  TakeInitialGeometry(state_, ToRect(client), {0, 0, width(), height()}, ToRect(listRect), ToRect(order));
  if (state_.settings.width == 0) state_.settings.width = state_.fullWidth;
  SetButtonIcon(1005, 110);
  SetButtonIcon(1004, 106);
  SetButtonIcon(1006, 107);
  SetButtonIcon(1007, 108);
  SetButtonIcon(1008, 109);
  // The settings place the window before it is first shown: placed then,
  // its frame goes where the ini says, as the window manager frames it.
  // Moved after, the frame's size is not yet known and the window lands
  // off by it.
  // A window that opens after its first paint reads the master volume
  // then too: the sound server is no part of that paint.
  LoadSettings(state_, !startupOpen_);
  ApplySettingsToWindow();
  show();
  if (startupOpen_ && onShown) onShown();
}

void MainWindow::OpenStartupTarget(const std::string& target, OpenKind kind) {
  OperationGate::Scope scope(gate_);
  RunOpenSequence(state_, target, kind);
  Rows();
  LayOut(0, true);
}

void MainWindow::ApplySettingsToWindow() {
  const Settings& s = state_.settings;
  setMinimumSize(state_.compactWidth, state_.bottomSpace + state_.listMargin);
  SetButtonIcon(1013, ListButtonIcon(state_, s.ListWidth, width()));
}

void MainWindow::HandOff(const std::string& bytes) {
  Request([this, bytes] {
    if (destroyed_) return;
    ReceiveHandOff(state_, bytes);
    HandleHandOff(state_);
    Rows();
    LayOut(0, false);
  });
}

void MainWindow::Command(int command, int notification) {
  Request([this, command, notification] {
    if (destroyed_) return;
    HandleCommand(state_, command, notification);
    Rows();
  });
}

void MainWindow::TakePlaybackNotifications() {
  if (!engine_) return;
  engine_->SetNotifyHandler([this](int code, const std::string&, engine::NotifyCurrent current) {
    // One that waited behind a dialog or an operation may speak for a
    // device that has since been stopped or given another file: the end of
    // the old file must not move the new one on.
    Request([this, code, current = std::move(current)] {
      if (!current || current()) OnPlaybackNotify(state_, code);
    });
  });
}

void MainWindow::Request(std::function<void()> task) {
  if (destroyed_) return;
  if (startupOpen_) {
    afterStartup_.push_back(std::move(task));
    return;
  }
  gate_.Submit(std::move(task));
}

void MainWindow::FromSecondStart(char kind, const std::string& payload, std::function<bool()> take,
                                 std::function<void()> done) {
  Request([this, kind, payload, take, done] {
    // The start may have given up waiting and taken it back meanwhile.
    if (!take()) return;
    if (kind == 'H') {
      HandOff(payload);
    } else if (kind == 'C') {
      Command(std::atoi(payload.c_str()));
    }
    done();
  });
}

bool MainWindow::EndSession() {
  if (destroyed_ || sessionEnding_) return !destroyed_;
  sessionEnding_ = true;
  // A dialog or menu left open would hold the close for good: nobody is
  // there to answer it. Cancelled, it lets the operation under it end
  // first.
  CancelModalDialogs();
  sessionTimer_.start();
  Request([this] { RequestClose(); });
  return true;
}

void MainWindow::CancelModalDialogs() {
  if (destroyed_) {
    sessionTimer_.stop();
    return;
  }
  if (QWidget* menu = QApplication::activePopupWidget()) menu->close();
  if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
}

void MainWindow::LayOut(int sizeType, bool showTopRight) {
  relayoutQueued_ = false;
  ControlSizes sizes;
  sizes.button1012Width = buttons_[1012]->width();
  sizes.button1012Height = buttons_[1012]->height();
  sizes.button1013Width = buttons_[1013]->width();
  sizes.button1013Height = buttons_[1013]->height();
  sizes.labelWidth = time_->width();
  sizes.labelHeight = time_->height();
  sizes.positionBar = ToRect(position_->geometry());
  QWidget* focus = QApplication::focusWidget();
  const WindowLayout layout = LayOutWindow(state_, width(), height(), sizeType, showTopRight, sizes);
  if (layout.paneCoversWindow) {
    pane_->setGeometry(ToQRect(layout.pane));
    pane_->setVisible(true);
  } else if (layout.placeListAndPane) {
    list_->setGeometry(ToQRect(layout.list));
    pane_->setGeometry(ToQRect(layout.pane));
    list_->setVisible(layout.list.Width() > 0);
    pane_->setVisible(layout.pane.Width() > 0);
  }
  if (layout.hideTopRight) {
    buttons_[1012]->hide();
    buttons_[1013]->hide();
    time_->hide();
  } else if (layout.showTopRight) {
    buttons_[1012]->setGeometry(ToQRect(layout.button1012));
    buttons_[1013]->setGeometry(ToQRect(layout.button1013));
    time_->setGeometry(ToQRect(layout.timeLabel));
    position_->setGeometry(ToQRect(layout.positionBar));
    buttons_[1012]->show();
    buttons_[1013]->show();
    time_->show();
  }
  PlacePicture(state_);
  FollowDarkMode();
  if (focus) focus->setFocus();
  if (layout.paintPicture) pane_->update();
  update();
}

void MainWindow::FollowDarkMode() {
  // The read-out stands on the window's own background: light on the dark
  // grey, the desktop's text colour on the light one.
  const bool dark = state_.settings.DarkMode;
  if (dark == darkText_) return;
  darkText_ = dark;
  QPalette palette = time_->palette();
  palette.setColor(QPalette::WindowText, dark ? QColor(Qt::white) : QApplication::palette().color(QPalette::WindowText));
  time_->setPalette(palette);
}

// ---- events

void MainWindow::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  timer_.stop();
  // Nothing from outside runs any more; a second start still waiting tries
  // again and becomes the next player.
  gate_.Close();
  if (onClosing) onClosing();
  DestroyMainWindow(state_);
  hide();
  QApplication::quit();
}

void MainWindow::moveEvent(QMoveEvent*) {
  if (!isMaximized() && !isMinimized() && !isFullScreen()) frameOffset_ = geometry().topLeft() - pos();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The title-bar close destroys at once, playback and all.
  Destroy();
  event->accept();
}

void MainWindow::resizeEvent(QResizeEvent*) {
  if (destroyed_) return;
  if (!snapping_ && !isMaximized() && !isFullScreen() && state_.fullWidth > 0) {
    const int right = SnapSizingRight(state_, 0, width(), width());
    if (right != width()) {
      snapping_ = true;
      const int h = height();
      QMetaObject::invokeMethod(this, [this, right, h] {
        resize(right, h);
        snapping_ = false;
      }, Qt::QueuedConnection);
    }
  }
  LayOut(isMinimized() ? 1 : 0, true);
}

void MainWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), state_.settings.DarkMode ? QColor(0x40, 0x40, 0x40) : palette().color(QPalette::Window));
  // Once this paint has reached the screen.
  if (startupOpen_) QTimer::singleShot(0, this, &MainWindow::RunStartupOpen);
}

}  // namespace qel::desktop
