// The window seam over the widgets: rows, title, message boxes, sliders,
// timer, menus and buttons, geometry, fonts, the file dialogs and the
// filter, jump and file-name dialogs.
#include <QApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QTextDocument>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "core/app/commands.h"
#include "core/app/layout.h"
#include "core/app/window_rules.h"
#include "core/playback/position.h"
#include "core/playback/video.h"
#include "core/playback/volume.h"
#include "core/settings/fonts.h"
#include "core/settings/settings.h"
#include "desktop/accessible_names.h"
#include "desktop/icons.h"
#include "desktop/keys.h"
#include "desktop/list_view.h"
#include "desktop/main_window.h"
#include "desktop/qt_helpers.h"
#include "desktop/query_dialog.h"
#include "desktop/rename_dialog.h"

namespace qel::desktop {

// ---- Window seam: rows

int MainWindow::RowCount() { return Rows()->Count(); }
void MainWindow::InsertRow(int at, const std::string& text) { Rows()->Model()->Insert(at, Q(text)); }
void MainWindow::DeleteRow(int at) { Rows()->Model()->Remove(at); }
void MainWindow::DeleteAllRows() {
  pendingRows_.clear();
  list_->Model()->Clear();
}
void MainWindow::AddRow(const std::string& text) {
  if (pendingRows_.isEmpty()) QTimer::singleShot(0, this, [this] { Rows(); });
  pendingRows_.append(Q(text));
}
RowList* MainWindow::Rows() {
  if (!pendingRows_.isEmpty()) {
    list_->Model()->Append(pendingRows_);
    pendingRows_.clear();
  }
  return list_;
}
std::string MainWindow::RowText(int row) {
  return row >= 0 && row < Rows()->Count() ? list_->Model()->Text(row).toStdString() : std::string();
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
  Rows()->SetSelected(row, selected);
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
  if (const QModelIndex index = Rows()->Index(row); index.isValid())
    list_->scrollTo(index, QAbstractItemView::PositionAtTop);
}
int MainWindow::RowNearPoint(Point p, bool* outside) {
  const QRect client = Rows()->viewport()->rect();
  if (outside) *outside = !client.contains(p.x, p.y);
  if (Rows()->Count() == 0) return -1;
  const QModelIndex index = Rows()->indexAt(QPoint(std::clamp(p.x, 0, client.width() - 1), p.y));
  if (index.isValid()) return index.row();
  return p.y < 0 ? TopRow() : Rows()->Count() - 1;
}
void MainWindow::RedrawList() { Rows()->viewport()->update(); }
int MainWindow::VisibleRowCount() {
  const int rowHeight = Rows()->Count() ? Rows()->sizeHintForRow(0) : QFontMetrics(Rows()->font()).height();
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
  // A message that names a file lets the user copy its path.
  box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
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
  // A box closed without a button (its close box, the end of the session)
  // answers Cancel wherever there is a choice, never a yes.
  switch (box.exec()) {
    case QMessageBox::Ok: return MessageResult::Ok;
    case QMessageBox::Yes: return MessageResult::Yes;
    case QMessageBox::No: return MessageResult::No;
    default: return buttons == MessageButtons::Ok ? MessageResult::Ok : MessageResult::Cancel;
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
  DescribeVolume(volume_);
}
int MainWindow::VolumeBar() { return volume_->sliderPosition(); }
void MainWindow::SetTimeText(const std::string& text) {
  time_->setText(Q(text));
  DescribePosition(position_, time_->text());
}
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
    if (checked && menus_.at("QEL_PLAY")->actions().contains(it->second)) NamePlayOrder(this, it->second->text());
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
void MainWindow::FocusMainWindow() {
  // Whatever control had it, keys now reach the window itself; before the
  // window is active the focus waits for its activation.
  activateWindow();
  setFocus(Qt::OtherFocusReason);
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
  if (isMaximized() || isFullScreen()) {
    // The window manager restores it later than the settings are written:
    // they take the rectangle it is restored to.
    restoredClient_ = normalGeometry();
    showNormal();
  }
  Destroy();
}
void MainWindow::SetTopMost(bool on) {
  // Where the compositor ignores the request, the window is left as it is
  // (a new native window would only flicker); the setting and the button's
  // icon still follow the command.
  if (!WindowsPlaceThemselves()) return;
  if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
  const Qt::WindowFlags flags =
      on ? windowFlags() | Qt::WindowStaysOnTopHint : windowFlags() & ~Qt::WindowStaysOnTopHint;
  QWindow* native = windowHandle();
  if (!native) {
    // Not made yet: the window is made with the flag.
    setWindowFlags(flags);
    return;
  }
  // The widget's way of changing flags makes a new native window, and the
  // video's surface inside it goes with the old one. Told to the native
  // window, the flag only asks the window manager for its stay-on-top state
  // (_NET_WM_STATE_ABOVE on X11); the widget is told without a new window.
  overrideWindowFlags(flags);
  native->setFlags(flags);
}
int MainWindow::ClientWidth() { return width(); }

// The ini keeps where the window stands, its frame's top-left, and the size
// of its client: move() places the frame and resize() sizes the client, so
// what is written is exactly what the next start restores, whatever frame
// the window manager draws. (Restoring the frame's size would need the
// frame's margins before the window manager has told them.)
void MainWindow::MoveWindow(const Rect& r) {
  keptPlace_ = QPoint(r.left, r.top);
  if (WindowsPlaceThemselves()) move(r.left, r.top);
  resize(std::max(r.Width(), minimumWidth()), std::max(r.Height(), minimumHeight()));
}

Rect MainWindow::KeptRect(const QRect& client) const {
  const QPoint frame = client.topLeft() - frameOffset_;
  return {frame.x(), frame.y(), frame.x() + client.width(), frame.y() + client.height()};
}

Rect MainWindow::WindowRect() {
  Rect r{pos().x(), pos().y(), pos().x() + width(), pos().y() + height()};
  if (restoredClient_ && restoredClient_->isValid()) {
    r = KeptRect(*restoredClient_);
  } else if (isMinimized() && normalGeometry().isValid()) {
    // A minimised window keeps its restored rectangle; a maximised one its
    // maximised rectangle, as it stands.
    r = KeptRect(normalGeometry());
  }
  if (WindowsPlaceThemselves()) return r;
  return {keptPlace_.x(), keptPlace_.y(), keptPlace_.x() + r.Width(), keptPlace_.y() + r.Height()};
}

void MainWindow::SetControlFont(Control control, const std::string& face, int points, int style) {
  const int ppi = PixelsPerInch();
  const QFont font = FontOf({face, points > 0 ? FontPixelHeight(points, ppi) : 0, style});
  if (control == Control::ListBox) {
    // The list is empty until the first open, which waits for the first
    // paint: measuring the rows' Japanese text loads the fallback faces,
    // which that paint does not need.
    if (startupOpen_) {
      pendingListFont_ = font;
      return;
    }
    SetListFont(font);
  } else if (control == Control::PaneEdit) {
    pane_->edit()->setFont(font);
  }
}

void MainWindow::SetListFont(const QFont& font) {
  // The row height follows the list's font against the metrics of the
  // default font, as a fresh device context of the list would report them.
  // The font's height here is its whole line, not its em: faces such as
  // the CJK ones reach far above and below the em, and rows one em high
  // would cut every line of Japanese text. It is set before the font: the
  // font change lays the rows out again, keeping selection and scroll.
  const QFontMetrics standard(QApplication::font());
  rowHeight_ = ListRowHeight(-TextLineHeight(font), standard.height(), standard.leading());
  list_->setFont(font);
  list_->viewport()->update();
}

int MainWindow::PixelsPerInch() { return std::max(1, logicalDpiY()); }

std::optional<FontPick> MainWindow::FontDialog(const FontPick& preset) {
  const int ppi = PixelsPerInch();
  bool ok = false;
  QFont start = FontOf(preset);
  // The dialog finds the preset among the face's own style names ("Bold"),
  // but names a font's style in the interface's language ("太字"): named
  // so, a bold or italic preset would open as the regular style.
  const QStringList styles = QFontDatabase::styles(start.family());
  for (const QString& style : styles)
    if (QFontDatabase::bold(start.family(), style) == start.bold() &&
        QFontDatabase::italic(start.family(), style) == start.italic()) {
      start.setStyleName(style);
      break;
    }
  const QFont chosen = QFontDialog::getFont(&ok, start, this, "Qel");
  if (!ok) return std::nullopt;
  FontPick pick;
  pick.face = chosen.family().toStdString();
  const int pixels = chosen.pixelSize() > 0 ? chosen.pixelSize()
                                            : static_cast<int>(std::lround(chosen.pointSizeF() * ppi / 72.0));
  pick.height = -pixels;
  pick.style = (chosen.bold() ? 0x100 : 0) | (chosen.italic() ? 0x200 : 0);
  return pick;
}

void MainWindow::SetCenterText(bool on) { pane_->SetCenterText(on); }
void MainWindow::SetPaneText(const std::string& text) { pane_->SetText(text); }
void MainWindow::ShowPaneCaret(bool shown) { pane_->ShowCaret(shown); }
void MainWindow::HighlightPaneLine(int line) { pane_->HighlightLine(line); }

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

std::optional<std::string> MainWindow::QueryDialog(QueryKind kind) { return AskForQuery(this, kind); }

std::optional<std::string> MainWindow::FileNameDialog(const std::string& name, size_t selectEnd,
                                                      const std::function<bool(const std::string&)>& accept) {
  return AskForFileName(this, name, selectEnd, accept);
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

}  // namespace qel::desktop
