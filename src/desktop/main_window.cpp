#include "desktop/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QTextDocument>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "core/app/commands.h"
#include "core/app/startup.h"
#include "core/app/window_rules.h"
#include "core/pane/layout.h"
#include "core/settings/settings.h"
#include "core/playback/order.h"
#include "core/playback/position.h"
#include "core/playback/video.h"
#include "core/playback/volume.h"
#include "desktop/icons.h"
#include "desktop/keys.h"
#include "desktop/menus.h"

namespace qel::desktop {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

Rect ToRect(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }
QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

QColor PaneBackground(const AppState& state) {
  if (state.settings.DarkMode) return QColor(0x40, 0x40, 0x40);
  return QApplication::palette().color(QPalette::Button);
}

QImage ImageOf(const Picture& picture) {
  // BGRA top-down is QImage's ARGB32 on a little-endian machine.
  return QImage(picture.pixels.data(), picture.width, picture.height, picture.width * 4, QImage::Format_ARGB32);
}

// The list's rows: selected, light, dark; the current entry in bold.
class RowDelegate : public QStyledItemDelegate {
 public:
  RowDelegate(AppState& state, const int& rowHeight, QObject* parent)
      : QStyledItemDelegate(parent), state_(state), rowHeight_(rowHeight) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (rowHeight_ > 0) size.setHeight(rowHeight_);
    return size;
  }
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (state_.entries.empty()) return;
    const bool selected = option.state & QStyle::State_Selected;
    const bool dark = state_.settings.DarkMode;
    QColor background = selected ? QColor(0, 128, 255) : dark ? QColor(64, 64, 64) : QColor(Qt::white);
    QColor text = selected || dark ? QColor(Qt::white) : QColor(Qt::black);
    painter->fillRect(option.rect, background);
    QFont font = option.font;
    if (index.row() == state_.currentIndex) font.setWeight(QFont::Bold);
    painter->setFont(font);
    painter->setPen(text);
    painter->drawText(option.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
  }

 private:
  AppState& state_;
  const int& rowHeight_;
};

// A font of the face (the default face when none is named), the character
// height in pixels (negative; the default size when not) and the style bits.
QFont FontOf(const FontPick& pick) {
  QFont font = QApplication::font();
  if (!pick.face.empty()) font.setFamily(Q(pick.face));
  if (pick.height < 0) font.setPixelSize(-pick.height);
  font.setBold(pick.style & 0x100);
  font.setItalic(pick.style & 0x200);
  return font;
}

}  // namespace

// ---- pane

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

// ---- main window

MainWindow::MainWindow(AppState& state, engine::Engine* engine) : state_(state), engine_(engine) {
  title_ = "Qel";
  setWindowTitle("Qel");
  titleTimer_.setSingleShot(true);
  connect(&titleTimer_, &QTimer::timeout, this, &MainWindow::PushTitle);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setWindowIcon(AppIcon());
  setAcceptDrops(true);
  setMouseTracking(true);
  timer_.setInterval(100);
  connect(&timer_, &QTimer::timeout, this, [this] { OnTimerTick(state_); });
  BuildControls();
  BuildMenus();
  qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  if (engine_) engine_->UnregisterSurface(NativeHandle(Control::PaneEdit));
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
  connect(volume_, &QSlider::sliderReleased, this, [this] {
    OnVolumeSlider(state_, kSliderThumbPosition, QCursor::pos().x(), ToRect(QRect(volume_->mapToGlobal(QPoint()), volume_->size())));
    OnVolumeSlider(state_, kSliderEndTrack, QCursor::pos().x(), ToRect(QRect(volume_->mapToGlobal(QPoint()), volume_->size())));
  });

  position_ = new QSlider(Qt::Horizontal, this);
  position_->setObjectName("1009");
  position_->setGeometry(du(7, 23, 91, 12));
  position_->setFocusPolicy(Qt::NoFocus);
  connect(position_, &QSlider::actionTriggered, this, &MainWindow::OnPositionAction);
  connect(position_, &QSlider::sliderReleased, this, [this] {
    const Rect r = ToRect(QRect(position_->mapToGlobal(QPoint()), position_->size()));
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
  pane_->edit()->viewport()->installEventFilter(this);
  if (engine_) {
    pane_->SetEngine(engine_, NativeHandle(Control::PaneEdit));
    engine_->RegisterSurface(NativeHandle(Control::PaneEdit), pane_);
  }

  list_ = new QListWidget(this);
  list_->setObjectName("1001");
  list_->setGeometry(du(7, 36, 173, 135));
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setUniformItemSizes(true);
  list_->setItemDelegate(new RowDelegate(state_, rowHeight_, list_));
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  list_->setAcceptDrops(false);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list_, &QListWidget::customContextMenuRequested, this,
          [this](QPoint p) { OnContextMenu(list_, list_->viewport()->mapToGlobal(p)); });
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { Command(1001, 2); });
  list_->viewport()->installEventFilter(this);
  for (QWidget* child : findChildren<QWidget*>()) child->setAcceptDrops(false);

  resize(187 * cx_ / 4, 178 * cy_ / 8);
}

void MainWindow::BuildMenus() {
  for (const MenuSpec& layout : MenuSpecs()) {
    auto* menu = new OwnerDrawnMenu(this);
    for (const MenuItemSpec& item : layout.items) {
      if (item.command == 0) {
        menu->addSeparator();
        continue;
      }
      QAction* action = menu->addAction(QString::fromUtf8(item.caption));
      action->setCheckable(item.checkable);
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
  show();
  LoadSettings(state_);
  ApplySettingsToWindow();
  RunOpenSequence(state_, target, kind);
  Rows();
  LayOut(0, true);
}

void MainWindow::ApplySettingsToWindow() {
  const Settings& s = state_.settings;
  setMinimumSize(state_.compactWidth, state_.bottomSpace + state_.listMargin);
  if (QScreen* screen = this->screen()) setMaximumSize(screen->availableGeometry().size());
  SetButtonIcon(1013, ListButtonIcon(state_, s.ListWidth, width()));
}

void MainWindow::HandOff(const std::string& bytes) {
  ReceiveHandOff(state_, bytes);
  HandleHandOff(state_);
  Rows();
  LayOut(0, false);
}

void MainWindow::Command(int command, int notification) {
  if (destroyed_) return;
  HandleCommand(state_, command, notification);
  Rows();
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
  if (layout.placeListAndPane) {
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
  if (focus) focus->setFocus();
  if (layout.paintPicture) pane_->update();
  update();
}

// ---- Window seam: rows

int MainWindow::RowCount() { return Rows()->count(); }
void MainWindow::InsertRow(int at, const std::string& text) { Rows()->insertItem(at, Q(text)); }
void MainWindow::DeleteRow(int at) { delete Rows()->takeItem(at); }
void MainWindow::DeleteAllRows() {
  pendingRows_.clear();
  list_->clear();
}
void MainWindow::AddRow(const std::string& text) {
  if (pendingRows_.isEmpty()) QTimer::singleShot(0, this, [this] { Rows(); });
  pendingRows_.append(Q(text));
}
QListWidget* MainWindow::Rows() {
  if (!pendingRows_.isEmpty()) {
    list_->addItems(pendingRows_);
    pendingRows_.clear();
  }
  return list_;
}
std::string MainWindow::RowText(int row) {
  QListWidgetItem* item = Rows()->item(row);
  return item ? item->text().toStdString() : std::string();
}
void MainWindow::ReserveRows(int) {}
std::vector<int> MainWindow::SelectedRows() {
  std::vector<int> rows;
  for (const QModelIndex& index : Rows()->selectionModel()->selectedIndexes()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}
void MainWindow::SetRowSelected(int row, bool selected) {
  if (QListWidgetItem* item = Rows()->item(row)) item->setSelected(selected);
}
void MainWindow::SetAllRowsSelected(bool selected) {
  if (selected)
    Rows()->selectAll();
  else
    Rows()->clearSelection();
}
int MainWindow::TopRow() {
  const QModelIndex index = Rows()->indexAt(QPoint(1, 1));
  return index.isValid() ? index.row() : 0;
}
void MainWindow::SetTopRow(int row) {
  if (QListWidgetItem* item = Rows()->item(row)) Rows()->scrollToItem(item, QAbstractItemView::PositionAtTop);
}
int MainWindow::RowNearPoint(Point p, bool* outside) {
  const QRect client = Rows()->viewport()->rect();
  if (outside) *outside = !client.contains(p.x, p.y);
  if (Rows()->count() == 0) return -1;
  const QModelIndex index = Rows()->indexAt(QPoint(std::clamp(p.x, 0, client.width() - 1), p.y));
  if (index.isValid()) return index.row();
  return p.y < 0 ? TopRow() : Rows()->count() - 1;
}
void MainWindow::RedrawList() { Rows()->viewport()->update(); }
int MainWindow::VisibleRowCount() {
  const int rowHeight = Rows()->count() ? Rows()->sizeHintForRow(0) : QFontMetrics(Rows()->font()).height();
  return rowHeight > 0 ? Rows()->viewport()->height() / rowHeight : 0;
}

// ---- Window seam: title, messages, sliders, timer

constexpr int kTitleInterval = 40;

std::string MainWindow::Title() { return title_; }
void MainWindow::SetTitle(const std::string& title) {
  title_ = title;
  const qint64 since = titleClock_.isValid() ? titleClock_.elapsed() : kTitleInterval;
  if (since >= kTitleInterval) {
    titleTimer_.stop();
    PushTitle();
  } else if (!titleTimer_.isActive()) {
    titleTimer_.start(static_cast<int>(kTitleInterval - since));
  }
  const bool saving = title.find("プレイリスト保存中...") != std::string::npos;
  if (saving != saving_) {
    saving_ = saving;
    if (onSavingChanged) onSavingChanged(saving);
  }
}

void MainWindow::PushTitle() {
  setWindowTitle(Q(title_));
  titleClock_.restart();
}

MessageResult MainWindow::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                                      MessageButtons buttons, bool owned) {
  QMessageBox box(owned ? this : nullptr);
  box.setWindowTitle(Q(caption));
  box.setText(Q(text));
  switch (icon) {
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MessageIcon::None: break;
  }
  switch (buttons) {
    case MessageButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MessageButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MessageButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MessageButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Cancel: return MessageResult::Cancel;
    case QMessageBox::Yes: return MessageResult::Yes;
    case QMessageBox::No: return MessageResult::No;
    default: return buttons == MessageButtons::Ok || buttons == MessageButtons::OkCancel ? MessageResult::Ok
                                                                                          : MessageResult::Cancel;
  }
}

void MainWindow::SetPositionRange(int minimum, int maximum) {
  QSignalBlocker block(position_);
  position_->setRange(minimum, maximum);
}
void MainWindow::SetPosition(int value) {
  if (position_->isSliderDown()) return;
  QSignalBlocker block(position_);
  position_->setValue(value);
}
int MainWindow::Position() { return position_->sliderPosition(); }
void MainWindow::SetVolumeBar(int value) {
  QSignalBlocker block(volume_);
  volume_->setValue(value);
}
int MainWindow::VolumeBar() { return volume_->sliderPosition(); }
void MainWindow::SetTimeText(const std::string& text) { time_->setText(Q(text)); }
void MainWindow::StartTimer(int milliseconds) { timer_.start(milliseconds); }
void MainWindow::StopTimer() { timer_.stop(); }
void MainWindow::PostRelayout() {
  if (relayoutQueued_) return;
  relayoutQueued_ = true;
  QMetaObject::invokeMethod(this, [this] { if (!destroyed_) LayOut(0, true); }, Qt::QueuedConnection);
}

void MainWindow::SetMenuCheck(int command, bool checked) {
  auto [begin, end] = actions_.equal_range(command);
  for (auto it = begin; it != end; ++it) {
    it->second->setCheckable(true);
    it->second->setChecked(checked);
  }
}
void MainWindow::SetButtonIcon(int button, int icon) {
  if (auto it = buttons_.find(button); it != buttons_.end()) {
    it->second->setIcon(IconByNumber(icon));
    it->second->setProperty("qelIcon", icon);
  }
}
unsigned MainWindow::NativeHandle(Control control) { return 1u + static_cast<unsigned>(control); }
void MainWindow::ActivateMainWindow() {
  raise();
  activateWindow();
}
void MainWindow::ShowPaneScrollBar(bool shown) {
  pane_->edit()->setVerticalScrollBarPolicy(shown ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}
Control MainWindow::FocusedControl() {
  QWidget* focus = QApplication::focusWidget();
  if (focus == list_) return Control::ListBox;
  if (focus == pane_->edit()) return Control::PaneEdit;
  return Control::MainWindow;
}
void MainWindow::ForwardKey(Control control, int key) {
  QWidget* target = control == Control::ListBox ? static_cast<QWidget*>(list_) : pane_->edit();
  const int qtKey = QtKeyFromVirtualKey(key);
  if (!qtKey) return;
  QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier);
  forwarding_ = true;
  QApplication::sendEvent(target, &press);
  forwarding_ = false;
}
void MainWindow::ShowButtonMenu(int button) {
  QPushButton* b = buttons_.at(button);
  QMenu* menu = menus_.at(button == 1005 ? "QEL_OPEN" : "QEL_PLAY");
  menu->popup(b->mapToGlobal(QPoint(0, b->height())));
}
void MainWindow::MinimizeMainWindow() { showMinimized(); }
void MainWindow::RequestClose() {
  if (destroyed_) return;
  CloseMainWindow(state_);
  if (isMaximized() || isFullScreen()) showNormal();
  Destroy();
}
void MainWindow::SetTopMost(bool on) {
  // Changing the flags makes a new native window: only when it changes.
  if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
  const bool visible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (visible) show();
}
int MainWindow::ClientWidth() { return width(); }

void MainWindow::MoveWindow(const Rect& r) {
  // Our rectangles are the client's: the frame is the window manager's.
  move(r.left, r.top);
  resize(std::max(r.Width(), minimumWidth()), std::max(r.Height(), minimumHeight()));
}

Rect MainWindow::WindowRect() {
  const QRect g = isMinimized() || isMaximized() ? normalGeometry() : geometry();
  return ToRect(g.isValid() ? g : geometry());
}

void MainWindow::SetControlFont(Control control, const std::string& face, int points, int style) {
  const int ppi = PixelsPerInch();
  const QFont font = FontOf({face, points > 0 ? FontPixelHeight(points, ppi) : 0, style});
  if (control == Control::ListBox) {
    // The row height follows the list's font against the metrics of the
    // default font, as a fresh device context of the list would report them.
    // The font's height here is its whole line, not its em: faces such as
    // the CJK ones reach far above and below the em, and rows one em high
    // would cut every line of Japanese text. It is set before the font: the
    // font change lays the rows out again, keeping selection and scroll.
    const QFontMetrics standard(QApplication::font());
    rowHeight_ = ListRowHeight(-QFontMetrics(font).height(), standard.height(), standard.leading());
    list_->setFont(font);
    list_->viewport()->update();
  } else if (control == Control::PaneEdit) {
    pane_->edit()->setFont(font);
  }
}

int MainWindow::PixelsPerInch() { return std::max(1, logicalDpiY()); }

std::optional<FontPick> MainWindow::FontDialog(const FontPick& preset) {
  const int ppi = PixelsPerInch();
  bool ok = false;
  const QFont chosen = QFontDialog::getFont(&ok, FontOf(preset), this, "Qel");
  if (!ok) return std::nullopt;
  FontPick pick;
  pick.face = chosen.family().toStdString();
  const int pixels = chosen.pixelSize() > 0 ? chosen.pixelSize()
                                            : static_cast<int>(std::lround(chosen.pointSizeF() * ppi / 72.0));
  pick.height = -pixels;
  pick.style = (chosen.bold() ? 0x100 : 0) | (chosen.italic() ? 0x200 : 0);
  return pick;
}

void MainWindow::SetCenterText(bool on) {
  QTextOption option = pane_->edit()->document()->defaultTextOption();
  option.setAlignment(on ? Qt::AlignHCenter : Qt::AlignLeft);
  pane_->edit()->document()->setDefaultTextOption(option);
}

std::optional<std::string> MainWindow::OpenFileDialog(const std::vector<FileFilter>& filters) {
  QStringList patterns;
  for (const FileFilter& f : filters) {
    QString pattern = Q(f.pattern);
    pattern.replace(';', ' ');
    patterns << Q(f.label) + " (" + pattern + ")";
  }
  QFileDialog dialog(this);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(patterns);
  if (!patterns.isEmpty()) dialog.selectNameFilter(patterns.front());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> MainWindow::FolderDialog(const std::string& title, const std::string& initialDir) {
  const QString chosen = QFileDialog::getExistingDirectory(this, Q(title), Q(initialDir), QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.toStdString();
}

std::optional<SaveChoice> MainWindow::SaveFileDialog(const std::string& title, const std::vector<FileFilter>& filters,
                                                     const std::string& defaultExt, const std::string& initialDir,
                                                     const std::string& initialName) {
  QStringList patterns;
  QStringList suffixes;  // what each filter adds to a name without an extension
  const QString fallback = Q(defaultExt).remove(0, defaultExt.rfind('.', 0) == 0 ? 1 : 0);
  for (const FileFilter& f : filters) {
    QString pattern = Q(f.pattern);
    const QString first = pattern.section(';', 0, 0);
    suffixes << (first.startsWith("*.") && first != "*.*" ? first.mid(2) : fallback);
    pattern.replace(';', ' ');
    patterns << Q(f.label) + " (" + pattern + ")";
  }
  QFileDialog dialog(this, Q(title), Q(initialDir));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(patterns);
  if (!suffixes.isEmpty()) dialog.setDefaultSuffix(suffixes.front());
  // The chosen filter decides the extension, as the user expects from it.
  connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
    const qsizetype index = patterns.indexOf(filter);
    if (index >= 0) dialog.setDefaultSuffix(suffixes[index]);
  });
  dialog.selectFile(Q(initialName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const qsizetype chosen = patterns.indexOf(dialog.selectedNameFilter());
  return SaveChoice{dialog.selectedFiles().front().toStdString(), static_cast<int>(chosen < 0 ? 0 : chosen)};
}

// ---- events

void MainWindow::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  timer_.stop();
  const QRect frame = geometry();
  state_.settings.x = frame.x();
  state_.settings.y = frame.y();
  state_.settings.width = frame.width();
  state_.settings.height = frame.height();
  DestroyMainWindow(state_);
  hide();
  QApplication::quit();
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
}

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
  const Rect r = ToRect(QRect(position_->mapToGlobal(QPoint()), position_->size()));
  OnPositionSlider(state_, code, position_->sliderPosition(), QCursor::pos().x(), r);
}

void MainWindow::OnVolumeAction(int action) {
  const int code = SliderCode(action);
  if (code < 0) return;
  OnVolumeSlider(state_, code, QCursor::pos().x(), ToRect(QRect(volume_->mapToGlobal(QPoint()), volume_->size())));
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

void MainWindow::mouseDoubleClickEvent(QMouseEvent*) {
  if (state_.splitterHot) {
    SetButtonIcon(1013, ToggleSplitter(state_, width()));
    LayOut(0, false);
  }
}

void MainWindow::leaveEvent(QEvent*) {
  state_.splitterHot = false;
  state_.dragAnchorRow = -1;
}

bool MainWindow::OnListMouse(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  const QModelIndex index = Rows()->indexAt(p);
  if (event->type() == QEvent::MouseButtonPress && event->button() == Qt::LeftButton) {
    if (state_.entries.empty() || !index.isValid()) return false;
    state_.dragAnchorRow = index.row();
    // A plain press on a selected row starts moving the selection instead
    // of selecting anew.
    return event->modifiers() == Qt::NoModifier && list_->item(index.row())->isSelected() &&
           list_->selectedItems().size() > 1;
  }
  if (event->type() == QEvent::MouseMove) {
    if (state_.dragAnchorRow < 0) return false;
    if (!(event->buttons() & Qt::LeftButton) || !index.isValid()) {
      state_.dragAnchorRow = -1;
      return false;
    }
    if (index.row() != state_.dragAnchorRow) {
      Command(index.row() > state_.dragAnchorRow ? 2000 : 2100);
      state_.dragAnchorRow = index.row();
    }
    return true;
  }
  if (event->type() == QEvent::MouseButtonRelease) {
    state_.dragAnchorRow = -1;
    if (state_.settings.SingleClickMode && index.isValid() && list_->item(index.row())->isSelected() &&
        event->button() == Qt::LeftButton) {
      QMetaObject::invokeMethod(this, [this] { Command(1001, 2); }, Qt::QueuedConnection);
    }
  }
  return false;
}

bool MainWindow::OnKey(QKeyEvent* event) {
  if (forwarding_) return false;
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

bool MainWindow::OnWheel(QWheelEvent* event, QObject*) {
  const QPoint global = event->globalPosition().toPoint();
  const QRect paneRect(pane_->mapToGlobal(QPoint()), pane_->size());
  const bool overPane = pane_->isVisible() && paneRect.contains(global);
  const bool scrolls = overPane && pane_->edit()->verticalScrollBar()->maximum() != 0 &&
                       pane_->edit()->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
  if (WheelTurned(state_, event->angleDelta().y(), scrolls)) {
    PostRelayout();
    return false;
  }
  ApplyVolume(state_);
  const QRect listRect(list_->mapToGlobal(QPoint()), list_->size());
  return !listRect.contains(global);  // the list scrolls as well
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (destroyed_) return false;
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
    case QEvent::Wheel:
      if (watched == this || widget->parentWidget() == nullptr) return false;
      return OnWheel(static_cast<QWheelEvent*>(event), watched);
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
      if (watched == list_->viewport()) return OnListMouse(static_cast<QMouseEvent*>(event));
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
  HandleDrop(state_, paths, {inList.x(), inList.y()}, onList, QFileInfo(QString::fromStdString(paths[0])).isDir());
  LayOut(0, false);
}

}  // namespace qel::desktop
