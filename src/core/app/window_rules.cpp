#include "core/app/window_rules.h"

#include <algorithm>

#include "core/list/order.h"
#include "core/pane/text_pane.h"
#include "core/playback/position.h"
#include "core/playback/volume.h"
#include "core/playback/video.h"
#include "core/playback/device.h"
#include "core/playlist/playlist.h"
#include "core/settings/paths.h"
#include "core/settings/settings.h"

namespace qel {

void TakeInitialGeometry(AppState& state, Rect window, Rect client, Rect list, Rect button1011) {
  state.initialWindowRect = window;
  state.initialClientRect = client;
  state.initialListRect = list;
  state.listMargin = (client.Width() - list.Width()) / 2;
  state.bottomSpace = client.Height() - list.Height() - state.listMargin;
  state.fullWidth = window.Width();
  state.compactWidth = (state.fullWidth - list.Width()) / 2 + (button1011.right - window.left);
}

int ListButtonIcon(const AppState& state, int width, int clientWidth) {
  if (width == 0) return kIconListHidden;
  if (width == clientWidth - 2 * state.listMargin) return kIconListFull;
  return state.settings.LeftList ? kIconListLeft : kIconListRight;
}

int DragSplitter(AppState& state, int pointerX, int clientWidth) {
  const int m = state.listMargin;
  const int leftW = pointerX - m;
  const int rightW = clientWidth - pointerX - m;
  const int full = clientWidth - 2 * m;
  int width;
  if (state.settings.LeftList) {
    width = rightW < 0 ? full : std::max(leftW, 0);
  } else {
    width = leftW < 0 ? full : std::max(rightW, 0);
  }
  state.settings.ListWidth = width;
  state.settings.DefaultListWidth = width;
  state.listFull = width == full;
  return ListButtonIcon(state, width, clientWidth);
}

int ToggleSplitter(AppState& state, int clientWidth) {
  state.settings.ListWidth = state.settings.ListWidth == 0 ? state.settings.DefaultListWidth : 0;
  state.listFull = false;
  const int full = clientWidth - 2 * state.listMargin;
  if (state.settings.ListWidth == full) state.listFull = true;
  return ListButtonIcon(state, state.settings.ListWidth, clientWidth);
}

bool HoverSplitter(AppState& state, Point p, Rect splitter) {
  state.splitterHot = p.y >= splitter.top && p.y <= splitter.bottom && p.x >= splitter.left - 4 &&
                      p.x <= splitter.left + 4;
  return state.splitterHot;
}

Control SplitterControl(const AppState& state) {
  return state.settings.LeftList ? Control::PaneEdit : Control::ListBox;
}

int SnapSizingRight(AppState& state, int left, int right, int clientWidth) {
  const int available = clientWidth - 2 * state.listMargin;
  if (state.settings.ListWidth > available) {
    state.settings.ListWidth = available;
    state.settings.DefaultListWidth = available;
  }
  const int w = right - left;
  if (state.compactWidth < w && w < state.fullWidth) {
    return w - state.compactWidth < state.fullWidth - w ? left + state.compactWidth : left + state.fullWidth;
  }
  return right;
}

SizeLimits WindowSizeLimits(const AppState& state, Rect workArea, int frameWidth, int frameHeight, int paneTop,
                            int windowTop) {
  SizeLimits limits;
  limits.maxWidth = workArea.Width() + 4 * frameWidth;
  limits.maxHeight = workArea.Height() + 4 * frameHeight;
  limits.minWidth = state.compactWidth;
  limits.minHeight = paneTop - windowTop + state.listMargin;
  return limits;
}

int WheelVolumePosition(int position, int delta) {
  return std::clamp(position + (delta * 5) / 120, 0, 100);
}

namespace {

struct WheelRule {
  WheelControl control;
  bool paneScrolls;
  WheelRoute route;
};

// volume, volume slider lines, scrolls, relayout
constexpr WheelRule kWheelRules[] = {
    // Buttons, the time read-out and the window's background.
    {WheelControl::Window, false, {true, 0, false, false}},
    // The list scrolls, and the volume follows the wheel all the same.
    {WheelControl::ListBox, false, {true, 0, true, false}},
    // A pane with text to scroll scrolls it; the layout follows.
    {WheelControl::PaneEdit, true, {false, 0, true, true}},
    {WheelControl::PaneEdit, false, {true, 0, false, false}},
    // The wheel never moves the playing position.
    {WheelControl::PositionBar, false, {false, 0, false, false}},
    // Three line steps a notch, up louder: the reverse of the slider's own
    // default direction.
    {WheelControl::VolumeBar, false, {false, 3, false, false}},
};

}  // namespace

WheelRoute RouteWheel(WheelControl control, bool paneScrolls) {
  if (control != WheelControl::PaneEdit) paneScrolls = false;
  for (const WheelRule& rule : kWheelRules)
    if (rule.control == control && rule.paneScrolls == paneScrolls) return rule.route;
  return {};
}

WheelRoute TurnWheel(AppState& state, WheelControl control, bool paneScrolls, int delta) {
  const WheelRoute route = RouteWheel(control, paneScrolls);
  Window* window = state.platform.window;
  const int position = window ? window->VolumeBar() : state.volume / 10;
  if (route.volume) {
    const int next = WheelVolumePosition(position, delta);
    if (window) window->SetVolumeBar(next);
    state.volume = next * 10;
    ApplyVolume(state);
  } else if (route.volumeBarLines != 0) {
    const int next = std::clamp(position + route.volumeBarLines * delta / 120, 0, 100);
    if (window) window->SetVolumeBar(next);
    // The slider reports its line steps as it would for the arrow keys.
    OnVolumeSlider(state, delta > 0 ? kSliderLineDown : kSliderLineUp, 0, Rect{});
  }
  return route;
}

bool PressOnListRow(AppState& state, int row, bool shift, bool rowSelected) {
  const bool drag = shift && rowSelected && row >= 0 && !state.entries.empty();
  state.dragAnchorRow = drag ? row : -1;
  return drag;
}

int DragOverList(AppState& state, int row, bool leftButtonDown) {
  if (state.dragAnchorRow < 0) return 0;
  if (!leftButtonDown || row < 0) {
    state.dragAnchorRow = -1;
    return 0;
  }
  if (row == state.dragAnchorRow) return 0;
  const int command = row > state.dragAnchorRow ? 2000 : 2100;
  state.dragAnchorRow = row;
  return command;
}

ContextMenu ChooseContextMenu(const AppState& state, ClickedControl clicked, bool aboveClient) {
  switch (clicked) {
    case ClickedControl::VolumeBar:
      return ContextMenu::Master;
    case ClickedControl::PaneEdit:
      return ContextMenu::Text;
    case ClickedControl::NextButton:
      return ContextMenu::RandomJump;
    default:
      break;
  }
  if (aboveClient) return ContextMenu::Title;
  if (clicked == ClickedControl::ListBox && !state.entries.empty()) return ContextMenu::Popup;
  return ContextMenu::None;
}

void PrepareListContextMenu(AppState& state, int row) {
  Window* window = state.platform.window;
  state.contextRow = row;
  if (!window) return;
  if (state.currentIndex >= 0) window->SetRowSelected(state.currentIndex, false);
  if (row < 0) return;
  const std::vector<int> selected = window->SelectedRows();
  if (!std::binary_search(selected.begin(), selected.end(), row)) {
    window->SetAllRowsSelected(false);
    window->SetRowSelected(row, true);
  }
}

void ReceiveHandOff(AppState& state, const std::string& bytes) {
  std::string line = bytes;
  const std::string& name = state.instanceName;
  if (!name.empty() && name[0] == '-') {
    // The line begins with the name and one blank; a line that is only the
    // name hands over nothing.
    line = line.size() > name.size() + 1 ? line.substr(name.size() + 1) : std::string();
  }
  state.handOffLine = line;
}

std::string HandOffTarget(const std::string& line) {
  // A second start passes one path in double quotes; the bytes at both ends
  // are dropped whatever they are.
  if (line.size() <= 2) return std::string();
  return line.substr(1, line.size() - 2);
}

void HandleHandOff(AppState& state) {
  state.currentIndex = -1;
  if (state.handOffLine.empty()) {
    // Everything goes as the user's own removal of every row would take it:
    // the pictures behind the list and in the pane go with the entries.
    StopPlayback(state, state.lengthSeconds);
    SelectAll(state);
    RemoveFromList(state);
    state.settings.nowPlaying.clear();
    if (Window* window = state.platform.window) {
      window->RedrawList();
      window->PostRelayout();
    }
    return;
  }
  const std::string target = HandOffTarget(state.handOffLine);
  RunOpenSequence(state, target, OpenKind::File);
}

void RunOpenSequence(AppState& state, const std::string& target, OpenKind kind) {
  if (OpenTarget(state, target, kind)) ApplyVolume(state);
  Window* window = state.platform.window;
  if (window) state.savedTitle = window->Title();
  if (!state.entries.empty()) {
    state.panePicture.reset();
    state.paneBackdrop.reset();
    if (state.currentIndex >= 0) ShowPaneEntry(state, state.currentIndex);
    if (window && state.currentIndex >= 0 && state.currentIndex < window->RowCount()) {
      window->SetRowSelected(state.currentIndex, true);
      window->SetTopRow(state.currentIndex);
    }
  }
  PlacePicture(state);
  if (window) {
    window->PostRelayout();
    window->ActivateMainWindow();
    window->FocusMainWindow();
  }
}

std::vector<FileFilter> OpenFileFilters() {
  return {{"Qelファイル", "*.mp3;*.m3u;*.m3u8;*.qel;*.mid;*.mp4;*.wmv"},
          {"mp3ファイル", "*.mp3;*.m3u;*.m3u8"},
          {"MIDIファイル", "*.mid;*.rcp"},
          {"動画ファイル", "*.mp4;*.wmv"},
          {"すべてのファイル(*.*)", "*"}};
}

bool RunOpenFileDialog(AppState& state) {
  Window* window = state.platform.window;
  if (!window) return false;
  const std::optional<std::string> chosen = window->OpenFileDialog(OpenFileFilters());
  if (!chosen || chosen->empty()) return false;
  RunOpenSequence(state, *chosen, OpenKind::File);
  return true;
}

bool RunOpenFolderDialog(AppState& state) {
  Window* window = state.platform.window;
  if (!window) return false;
  const std::optional<std::string> chosen = window->FolderDialog("フォルダ選択", state.nowDir);
  if (!chosen || chosen->empty()) return false;
  RunOpenSequence(state, *chosen, OpenKind::ChosenFolder);
  return true;
}

void HandleDrop(AppState& state, const std::vector<std::string>& paths, Point listClientPoint, bool onList,
                bool firstIsDirectory) {
  if (paths.empty()) return;
  if (onList) {
    ReloadIgnoreDir(state);
    state.currentIndex = DropOnList(state, paths, listClientPoint);
    if (!state.entries.empty()) RenumberPlayOrder(state, state.playMode, state.currentIndex);
    return;
  }
  RunOpenSequence(state, paths.front(), firstIsDirectory ? OpenKind::DroppedFolder : OpenKind::File);
}

void OnTimerTick(AppState& state) {
  if (state.entries.empty()) return;
  Window* window = state.platform.window;
  if (state.relayoutPending && window) {
    window->SetAllRowsSelected(false);
    if (state.currentIndex >= 0 && state.currentIndex < window->RowCount()) {
      window->SetRowSelected(state.currentIndex, true);
      window->SetTopRow(state.currentIndex);
    }
    state.relayoutPending = false;
    window->PostRelayout();
    window->RedrawList();
  }
  OnPositionTimer(state);
  FollowSungLine(state);
}

void CloseMainWindow(AppState& state) {
  state.stopRows = true;
  if (Window* window = state.platform.window) window->StopTimer();
  StopPlayback(state, state.lengthSeconds);
}

void DestroyMainWindow(AppState& state) {
  // A full disk or a folder that cannot be written keeps the old files; the
  // user hears of it while the window is still there to own the message.
  std::string failed;
  if (!WritePlaylist(state, true, state.lastIndex, state.executablePath, state.settings.NoExt))
    failed += AutoPlaylistPath(state.executablePath, state.instanceName) + " の保存に失敗しました。\n";
  if (!SaveSettings(state)) failed += state.iniPath + " の保存に失敗しました。\n";
  if (failed.empty()) return;
  failed.pop_back();
  if (Window* window = state.platform.window)
    window->ShowMessage(failed, "Qel", MessageIcon::Error, MessageButtons::Ok, true);
}

}  // namespace qel
