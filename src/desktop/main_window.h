// The main window over Qt widgets: template 101's controls at their
// geometry, implementing the window seam. Every event goes to the core.
#pragma once

#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QLabel>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <optional>

#include "core/list/list.h"
#include "core/state.h"
#include "desktop/list_view.h"
#include "desktop/operation_gate.h"
#include "desktop/pane_view.h"
#include "desktop/video_window.h"
#include "engine/module.h"

namespace qel::desktop {

class MainWindow : public QWidget, public Window {
  Q_OBJECT
 public:
  MainWindow(AppState& state, engine::MediaEngine* engine);
  ~MainWindow() override;

  // The creation sequence up to and including the first open.
  void Create(const std::string& target, OpenKind kind);
  // The same with the first open put off until the window has been painted:
  // a long list, or a file whose playing loads the engine, does not keep
  // the window from showing. What arrives meanwhile waits for that open.
  void CreateThenOpen(const std::string& target, OpenKind kind);
  // The engine's playback notifications, acted on when the player is idle.
  void TakePlaybackNotifications();
  // A second start's line, then its open sequence.
  void HandOff(const std::string& bytes);
  // A command as a button, menu, key or a second start sends it.
  void Command(int command, int notification = 0);
  // What comes from outside the user's own input (a second start, the
  // engine, the end of the session) runs now when the player is idle, else
  // once the dialog, menu or operation that holds it has ended.
  void Request(std::function<void()> task);
  // What a second start sends (a hand-off line or a command number) runs
  // as a request, unless take() says the start has taken it back; done()
  // answers that start once it has been acted on.
  void FromSecondStart(char kind, const std::string& payload, std::function<bool()> take,
                       std::function<void()> done);
  // The session ends (a signal, the session manager's logout): open dialogs
  // are cancelled and the orderly close runs, once. False when the window
  // is closing already.
  bool EndSession();
  // Called as the window begins to close, before anything is written.
  std::function<void()> onClosing;
  // Called whenever the title shows or leaves the playlist-saving progress.
  std::function<void(bool)> onSavingChanged;
  // Called after every operation of the player (a command, a request, a
  // tick, a slider or wheel move), once it has ended.
  std::function<void()> onSettled;
  // Called once the window has been painted, just before the first open.
  std::function<void()> onStartupOpen;
  // Called as the window is first shown, when its first open waits for the
  // first paint; the master volume is read just before that open.
  std::function<void()> onShown;
  bool Destroyed() const { return destroyed_; }

  // ---- Window seam
  int RowCount() override;
  void InsertRow(int at, const std::string& text) override;
  void DeleteRow(int at) override;
  void DeleteAllRows() override;
  void AddRow(const std::string& text) override;
  std::string RowText(int row) override;
  void ReserveRows(int count) override;
  std::vector<int> SelectedRows() override;
  void SetRowSelected(int row, bool selected) override;
  void SetAllRowsSelected(bool selected) override;
  int TopRow() override;
  void SetTopRow(int row) override;
  int RowNearPoint(Point clientPoint, bool* outside) override;
  void RedrawList() override;
  std::string Title() override;
  void SetTitle(const std::string& title) override;
  MessageResult ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                            MessageButtons buttons, bool owned) override;
  void SetPositionRange(int minimum, int maximum) override;
  void SetPosition(int value) override;
  int Position() override;
  void SetVolumeBar(int value) override;
  int VolumeBar() override;
  void SetTimeText(const std::string& text) override;
  void StartTimer(int milliseconds) override;
  void StopTimer() override;
  void PostRelayout() override;
  void SetMenuCheck(int command, bool checked) override;
  void SetButtonIcon(int button, int icon) override;
  unsigned NativeHandle(Control control) override;
  void ActivateMainWindow() override;
  void FocusMainWindow() override;
  void ShowPaneScrollBar(bool shown) override;
  int VisibleRowCount() override;
  Control FocusedControl() override;
  void ForwardKey(Control control, int key) override;
  void ShowButtonMenu(int button) override;
  void MinimizeMainWindow() override;
  void RequestClose() override;
  void SetTopMost(bool on) override;
  int ClientWidth() override;
  void MoveWindow(const Rect& rect) override;
  Rect WindowRect() override;
  void SetControlFont(Control control, const std::string& face, int points, int style) override;
  void SetCenterText(bool on) override;
  void SetPaneText(const std::string& text) override;
  void ShowPaneCaret(bool shown) override;
  void HighlightPaneLine(int line) override;
  std::optional<FontPick> FontDialog(const FontPick& preset) override;
  int PixelsPerInch() override;
  std::optional<SaveChoice> SaveFileDialog(const std::string& title, const std::vector<FileFilter>& filters,
                                            const std::string& defaultExt, const std::string& initialDir,
                                            const std::string& initialName) override;
  std::optional<std::string> OpenFileDialog(const std::vector<FileFilter>& filters) override;
  std::optional<std::string> FolderDialog(const std::string& title, const std::string& initialDir) override;
  std::optional<std::string> QueryDialog(QueryKind kind) override;
  std::optional<std::string> FileNameDialog(const std::string& name, size_t selectEnd,
                                            const std::function<bool(const std::string&)>& accept) override;
  Rect PaneClientRect() override;
  void PaintPaneBackground(const std::vector<Rect>& areas) override;
  void SetWindowMode(WindowMode mode) override;
  void ShowControls(bool shown) override;
  std::optional<Picture> VideoWindowPicture() override;

  // Test access to the controls.
  RowList* list() { return Rows(); }
  PaneArea* pane() const { return pane_; }
  VideoWindow* videoWindow() const { return videoWindow_; }
  QSlider* positionBar() const { return position_; }
  QSlider* volumeBar() const { return volume_; }
  QLabel* timeLabel() const { return time_; }
  QPushButton* button(int id) const { return buttons_.at(id); }
  QMenu* menu(const std::string& name) const { return menus_.at(name); }
  void LayOut(int sizeType, bool showTopRight);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  void BuildControls();
  void BuildMenus();
  void OnContextMenu(QWidget* source, QPoint globalPos);
  void OnPositionAction(int action);
  void OnVolumeAction(int action);
  bool OnKey(QKeyEvent* event);
  bool OnWheel(QWheelEvent* event, QWidget* receiver);
  bool OnListMouse(QMouseEvent* event);
  // The pane's clicks, double clicks and the pointer's rest over a video.
  bool OnPaneMouse(QMouseEvent* event);
  void HidePointerAtRest();
  QRect SplitterScreenRect() const;
  void Destroy();
  void PrepareWindow();
  void OpenStartupTarget(const std::string& target, OpenKind kind);
  void RunStartupOpen();
  void ApplySettingsToWindow();
  void CancelModalDialogs();
  // The main window's rectangle as the ini keeps it: the frame's top-left
  // and the client's size, for a given client rectangle.
  Rect KeptRect(const QRect& client) const;

  AppState& state_;
  engine::MediaEngine* engine_;
  std::map<int, QPushButton*> buttons_;
  QSlider* volume_ = nullptr;
  QSlider* position_ = nullptr;
  QLabel* time_ = nullptr;
  RowList* list_ = nullptr;
  // Rows added one by one go to the list in one batch, the first time
  // anything looks at the rows or the event loop runs again: one model
  // insertion instead of ten thousand.
  RowList* Rows();
  QStringList pendingRows_;
  int rowHeight_ = 0;  // from the list's font; 0 until it has one
  PaneArea* pane_ = nullptr;
  // The pane's video window; owned by its container in the pane.
  VideoWindow* videoWindow_ = nullptr;
  std::map<std::string, QMenu*> menus_;
  std::multimap<int, QAction*> actions_;
  QTimer timer_;
  OperationGate gate_;
  bool sessionEnding_ = false;
  QTimer sessionTimer_;
  // Frame margin at the top-left of the normal (not maximised) window,
  // known once the window manager has framed it.
  QPoint frameOffset_;
  // The rectangle an orderly close restored a maximised window to.
  std::optional<QRect> restoredClient_;
  // Where the settings placed the window, kept for them as it was where the
  // window cannot place itself (it goes back to the ini, untouched, and
  // places the window at the next start under X11).
  QPoint keptPlace_;
  // The first open while it waits for the first paint, and what arrived
  // from outside meanwhile.
  std::function<void()> startupOpen_;
  std::vector<std::function<void()>> afterStartup_;
  // The list's font as the settings gave it before the first open.
  std::optional<QFont> pendingListFont_;
  void SetListFont(const QFont& font);
  // The time read-out's colour for the window's background.
  void FollowDarkMode();
  bool darkText_ = false;
  bool relayoutQueued_ = false;
  bool destroyed_ = false;
  bool saving_ = false;
  // The title the core set last; the window manager is told at most every
  // kTitleInterval ms, since a 10,000-row rebuild retitles once per row.
  void PushTitle();
  std::string title_;
  QElapsedTimer titleClock_;
  QTimer titleTimer_;
  bool snapping_ = false;
  bool forwarding_ = false;
  int cx_ = 6, cy_ = 13;  // dialog base units
  // The pointer's rest over the video: it is hidden when this runs out.
  QTimer pointerRest_;
  bool pointerHidden_ = false;
};

}  // namespace qel::desktop
