#include "core/app/commands.h"

#include <algorithm>
#include <array>
#include <vector>

#include "core/app/capture.h"
#include "core/app/window_rules.h"
#include "core/fileops/file_ops.h"
#include "core/fileops/rename.h"
#include "core/list/list.h"
#include "core/list/order.h"
#include "core/list/query.h"
#include "core/pane/text_pane.h"
#include "core/playback/device.h"
#include "core/playback/order.h"
#include "core/playback/position.h"
#include "core/playback/video.h"
#include "core/playback/volume.h"
#include "core/playlist/playlist.h"
#include "core/settings/fonts.h"
#include "core/settings/settings.h"

namespace qel {

namespace {

constexpr int kListDoubleClick = 2;

bool HasEntries(const AppState& s) { return s.lastIndex != -1 && !s.entries.empty(); }
bool ValidIndex(const AppState& s, int i) { return i >= 0 && i < static_cast<int>(s.entries.size()); }

Window* Win(AppState& s) { return s.platform.window; }

void Relayout(AppState& s) {
  if (Window* w = Win(s)) w->PostRelayout();
}
void Activate(AppState& s) {
  if (Window* w = Win(s)) w->ActivateMainWindow();
}
void RedrawList(AppState& s) {
  if (Window* w = Win(s)) w->RedrawList();
}
std::vector<int> Selected(AppState& s) { return Win(s) ? Win(s)->SelectedRows() : std::vector<int>{}; }

void ShowPaneForCurrent(AppState& s) {
  if (ValidIndex(s, s.currentIndex)) ShowPaneEntry(s, s.currentIndex);
}

// Plays the entry at currentIndex, advancing past it when it cannot be
// played and IgnoreError is on.
void PlayCurrentOrAdvance(AppState& s) {
  if (!ValidIndex(s, s.currentIndex)) return;
  ListEntry entry = s.entries[s.currentIndex];
  if (PlayEntry(s, entry, s.currentIndex, s.lastIndex) == 1) AdvancePlayback(s, true, false, s.currentIndex);
}

void Renumber(AppState& s) {
  if (!s.entries.empty()) RenumberPlayOrder(s, s.playMode, s.currentIndex);
}

// A setting switch: the flag flips and its menu item's check mark follows.
void Toggle(AppState& s, bool& flag, int menuItem) {
  flag = !flag;
  if (Window* w = Win(s)) w->SetMenuCheck(menuItem, flag);
}

// ---- buttons and the list

void PlayDoubleClickedRow(AppState& s, int notification) {
  if (notification != kListDoubleClick || !HasEntries(s)) return;
  StopPlayback(s, s.lengthSeconds);
  std::vector<int> rows = Selected(s);
  if (!rows.empty() && ValidIndex(s, rows.front())) s.currentIndex = rows.front();
  PlayCurrentOrAdvance(s);
  RedrawList(s);
  Relayout(s);
  ShowPaneForCurrent(s);
  if (Window* w = Win(s)) w->StartTimer(100);
  Activate(s);
}

void PlayOrPause(AppState& s, int) {
  if (!HasEntries(s) || !ValidIndex(s, s.currentIndex)) return;
  const int remembered = s.currentIndex;
  std::vector<int> rows = Selected(s);
  if (!rows.empty() && rows.front() != s.currentIndex && ValidIndex(s, rows.front())) {
    StopPlayback(s, s.lengthSeconds);
    s.currentIndex = rows.front();
  }
  PlayCurrentOrAdvance(s);
  if (s.currentIndex != remembered) ShowPaneForCurrent(s);
  Activate(s);
}

void ToggleButtonMenu(AppState& s, int button) {
  if (!s.menuShown) {
    if (Window* w = Win(s)) w->ShowButtonMenu(button);
    s.menuShown = true;
  } else {
    s.menuShown = false;
  }
}

void Stop(AppState& s, int) {
  if (!HasEntries(s)) return;
  if (Window* w = Win(s)) w->SetTitle(s.savedTitle);
  StopPlayback(s, s.lengthSeconds);
  if (Window* w = Win(s)) w->StopTimer();
}

void Step(AppState& s, bool forward) {
  if (!HasEntries(s)) return;
  AdvancePlayback(s, forward, true, s.currentIndex);
  ShowPaneForCurrent(s);
}

void ToggleTopMost(AppState& s, int) {
  s.settings.TopMost = !s.settings.TopMost;
  if (Window* w = Win(s)) {
    w->SetTopMost(s.settings.TopMost);
    w->SetButtonIcon(1012, s.settings.TopMost ? kIconTopMostOn : kIconTopMostOff);
  }
}

void SwapListSide(AppState& s, int) {
  WipePane(s);
  s.settings.LeftList = !s.settings.LeftList;
  const int clientWidth = Win(s) ? Win(s)->ClientWidth() : 0;
  const int full = clientWidth - 2 * s.listMargin;
  if (s.settings.ListWidth == 0)
    s.settings.ListWidth = full;
  else if (s.settings.ListWidth == full)
    s.settings.ListWidth = 0;
  if (Window* w = Win(s)) w->SetButtonIcon(1013, ListButtonIcon(s, s.settings.ListWidth, clientWidth));
  Relayout(s);
}

// ---- menus

void OpenFile(AppState& s, int) {
  RunOpenFileDialog(s);
  if (HasEntries(s)) ShowPaneForCurrent(s);
  s.menuShown = false;
}

void OpenFolder(AppState& s, int) {
  RunOpenFolderDialog(s);
  if (HasEntries(s)) ShowPaneForCurrent(s);
  s.menuShown = false;
}

void ChoosePlayMode(AppState& s, int item) {
  SetPlayMode(s, item);
  s.menuShown = false;
  Renumber(s);
}

// Power switches. Turning one on changes the requests only while a file is
// open; turning one off clears them and keeps what the other still asks for,
// again only while a file is open: nothing holds the machine awake between
// files.
void TogglePowerSwitch(AppState& s, bool& flag, int menuItem) {
  const std::string mode = DeviceMode(s);
  const bool open = mode == "playing" || mode == "paused";
  Toggle(s, flag, menuItem);
  if (open)
    MakePowerRequests(s);
  else if (!flag && s.platform.desktop)
    s.platform.desktop->SetPowerRequests(false, false);
}

void ToggleMasterLink(AppState& s, int) {
  Toggle(s, s.settings.MasterVolume, kMenuMasterVolume);
  ReadMasterVolume(s);
}

// ---- keys

void EnterKey(AppState& s, int) {
  if (!HasEntries(s)) return;
  if (DeviceMode(s) == "playing") {
    if (Window* w = Win(s)) w->SetTitle(s.savedTitle);
    StopPlayback(s, s.lengthSeconds);
    Activate(s);
    return;
  }
  std::vector<int> rows = Selected(s);
  if (!rows.empty() && ValidIndex(s, rows.front())) s.currentIndex = rows.front();
  PlayCurrentOrAdvance(s);
  ShowPaneForCurrent(s);
  Activate(s);
}

void PageKey(AppState& s, int key) {
  Window* w = Win(s);
  if (w) {
    Control focus = w->FocusedControl();
    if (focus == Control::ListBox) {
      w->ForwardKey(Control::ListBox, key);
      return;
    }
    if (focus == Control::PaneEdit) {
      std::string source;
      if (s.platform.device) s.platform.device->Send("where " + s.mciAlias + " source", &source);
      if (source.empty()) {
        w->ForwardKey(Control::PaneEdit, key);
        return;
      }
    }
  }
  StepVolumeBar(s, key == 33);
}

void ToggleListShown(AppState& s, int) {
  s.settings.ListWidth = s.settings.ListWidth == 0 ? s.settings.DefaultListWidth : 0;
  Relayout(s);
}

void FontSizeKey(AppState& s, int key) {
  Window* w = Win(s);
  if (!w) return;
  Control focus = w->FocusedControl();
  int* size = focus == Control::ListBox   ? &s.settings.listFontSize
              : focus == Control::PaneEdit ? &s.settings.textFontSize
                                           : nullptr;
  if (!size) return;
  int next = AdjustFontSize(key, *size);
  if (next == *size) return;
  *size = next;
  MakeControlFont(s, focus);
  if (focus == Control::ListBox)
    RedrawList(s);
  else
    Relayout(s);
}

void MoveRows(AppState& s, bool down) {
  if (Selected(s).empty()) return;
  if (down)
    MoveSelectionDown(s);
  else
    MoveSelectionUp(s);
  Renumber(s);
}

void Sort(AppState& s, int) {
  if (!HasEntries(s)) return;
  SortList(s);
  s.relayoutPending = true;
  if (Window* w = Win(s)) w->StartTimer(100);
}

void PlayJumpHit(AppState& s, int hit) {
  if (!ValidIndex(s, hit)) return;
  StopPlayback(s, s.lengthSeconds);
  s.currentIndex = hit;
  FollowCurrentRow(s, hit, s.playMode, false);
  ListEntry entry = s.entries[hit];
  PlayEntry(s, entry, hit, s.lastIndex);
}

void NextViewSize(AppState& s, int) {
  switch (s.settings.ViewSize) {
    case ViewSizeMode::Zoom: s.settings.ViewSize = ViewSizeMode::Original; break;
    case ViewSizeMode::Original: s.settings.ViewSize = ViewSizeMode::Multiple; break;
    default: s.settings.ViewSize = ViewSizeMode::Zoom; break;
  }
  Relayout(s);
  PlacePicture(s);
}

template <int N>
void Seek(AppState& s, int) {
  SeekBySeconds(s, N);
}
template <int K>
void Tenth(AppState& s, int) {
  SeekToTenth(s, K);
}

using Action = void (*)(AppState&, int notification);
struct Command {
  int number;
  Action action;
};

// The whole table. Actions receive the notification word; the key commands
// that need their own number get it from the table entry through a lambda.
constexpr Command kCommands[] = {
    // keys
    {13, EnterKey},
    {27, [](AppState& s, int) { if (Window* w = Win(s)) w->RequestClose(); }},
    {33, [](AppState& s, int) { PageKey(s, 33); }},
    {34, [](AppState& s, int) { PageKey(s, 34); }},
    {35, [](AppState& s, int) { CyclePlayMode(s); }},
    {36, [](AppState& s, int) { CycleScreenMode(s); }},
    {45, ToggleListShown},
    {106, [](AppState& s, int) { FontSizeKey(s, 106); }},
    {107, [](AppState& s, int) { FontSizeKey(s, 107); }},
    {109, [](AppState& s, int) { FontSizeKey(s, 109); }},
    // properties of the row under the list's context menu
    {1000, [](AppState& s, int) { ShowFileProperties(s, s.contextRow); }},
    // buttons and the list
    {1001, PlayDoubleClickedRow},
    {1004, PlayOrPause},
    {1005, [](AppState& s, int) { ToggleButtonMenu(s, 1005); }},
    {1006, Stop},
    {1007, [](AppState& s, int) { Step(s, false); }},
    {1008, [](AppState& s, int) { Step(s, true); }},
    {1011, [](AppState& s, int) { ToggleButtonMenu(s, 1011); }},
    {1012, ToggleTopMost},
    {1013, SwapListSide},
    // file operations
    {1100, [](AppState& s, int) { CopySelectedFiles(s); }},
    {1200, [](AppState& s, int) { MoveSelectedFiles(s); Renumber(s); }},
    {1400, [](AppState& s, int) { DeleteSelectedFiles(s); Renumber(s); }},
    // list
    {1500, [](AppState& s, int) { RemoveFromList(s); }},
    {1600, [](AppState& s, int) { WritePlaylist(s, false, s.lastIndex, s.executablePath, s.settings.NoExt); }},
    {1700, OpenFile},
    {1800, OpenFolder},
    {1900, [](AppState& s, int) { Toggle(s, s.settings.SearchSubFolder, 1900); s.menuShown = false; }},
    {2000, [](AppState& s, int) { MoveRows(s, true); }},
    {2100, [](AppState& s, int) { MoveRows(s, false); }},
    {2400, ToggleMasterLink},
    {2410, [](AppState& s, int) { ChooseReplayGain(s, ReplayGain::Off); }},
    {2420, [](AppState& s, int) { ChooseReplayGain(s, ReplayGain::Track); }},
    {2430, [](AppState& s, int) { ChooseReplayGain(s, ReplayGain::Album); }},
    {2500, [](AppState& s, int) { ChoosePlayMode(s, kMenuOrder); }},
    {2600, [](AppState& s, int) { ChoosePlayMode(s, kMenuRandom); }},
    {2700, [](AppState& s, int) { ChoosePlayMode(s, kMenuSingle); }},
    {2800, [](AppState& s, int) { SelectAll(s); }},
    {2900, Sort},
    {3000, [](AppState& s, int) { ChoosePlayMode(s, kMenuOne); }},
    {3100, [](AppState& s, int) { if (Window* w = Win(s)) w->MinimizeMainWindow(); }},
    {3400, [](AppState& s, int) { ChooseControlFont(s, Control::PaneEdit); MakeControlFont(s, Control::PaneEdit); Relayout(s); }},
    {3500, [](AppState& s, int) { ChooseControlFont(s, Control::ListBox); MakeControlFont(s, Control::ListBox); RedrawList(s); }},
    {3700, [](AppState& s, int) { JumpToRandomEntry(s); }},
    {3800, [](AppState& s, int) { Toggle(s, s.settings.IgnoreError, 3800); }},
    {4000, [](AppState& s, int) { MoveSelectedToDust(s); Renumber(s); }},
    // seeking
    {4100, Seek<1>},
    {4200, Seek<10>},
    {4300, Seek<60>},
    {4400, Seek<-1>},
    {4500, Seek<-10>},
    {4600, Seek<-60>},
    {4700, [](AppState& s, int) { FilterDialog(s); }},
    {4800, [](AppState& s, int) { PlayJumpHit(s, JumpDialog(s)); }},
    {4900, [](AppState& s, int) { PlayJumpHit(s, JumpToNextHit(s)); }},
    {5000, Seek<600>},
    {5100, Seek<-600>},
    // settings of the menus
    {40003, [](AppState& s, int) { TogglePowerSwitch(s, s.settings.NoStandby, 40003); }},
    {40005, [](AppState& s, int) { TogglePowerSwitch(s, s.settings.NoDisplayOff, 40005); }},
    {40007, [](AppState& s, int) { Toggle(s, s.settings.ShowBitmapList, 40007); RedrawList(s); }},
    {40008, [](AppState& s, int) { Toggle(s, s.settings.ShowBitmapText, 40008); Relayout(s); }},
    {40010, [](AppState& s, int) {
       Toggle(s, s.settings.CenterText, 40010);
       if (Window* w = Win(s)) w->SetCenterText(s.settings.CenterText);
       Relayout(s);
     }},
    {40012, [](AppState& s, int) { Toggle(s, s.settings.SingleClickMode, 40012); }},
    {40014, NextViewSize},
    {40017, [](AppState& s, int) { Toggle(s, s.settings.NoExt, 40017); }},
    {40019, [](AppState& s, int) { CaptureToFile(s); }},
    {40021, [](AppState& s, int) { CaptureToClipboard(s); }},
    {40023, [](AppState& s, int) { CopySelectedToClipboard(s); }},
    {40024, [](AppState& s, int) { CutSelectedToClipboard(s); Renumber(s); }},
    {40025, [](AppState& s, int) { RenameSelectedFiles(s); }},
    {40026, [](AppState& s, int) { Toggle(s, s.settings.ShowText, 40026); ShowPaneForCurrent(s); Relayout(s); }},
    {40028, [](AppState& s, int) { Toggle(s, s.settings.DarkMode, 40028); RedrawList(s); Relayout(s); }},
    // numeric pad: tenths of the length
    {41000, Tenth<0>},
    {41001, Tenth<1>},
    {41002, Tenth<2>},
    {41003, Tenth<3>},
    {41004, Tenth<4>},
    {41005, Tenth<5>},
    {41006, Tenth<6>},
    {41007, Tenth<7>},
    {41008, Tenth<8>},
    {41009, Tenth<9>},
};

constexpr bool TableAscending() {
  for (size_t i = 1; i < std::size(kCommands); ++i)
    if (kCommands[i - 1].number >= kCommands[i].number) return false;
  return true;
}
static_assert(TableAscending(), "the command table is kept in ascending order, one row per number");

constexpr auto kNumbers = [] {
  std::array<int, std::size(kCommands)> numbers{};
  for (size_t i = 0; i < numbers.size(); ++i) numbers[i] = kCommands[i].number;
  return numbers;
}();

}  // namespace

int DispatchCommand(AppState& state, int command, int notification) {
  auto it = std::lower_bound(std::begin(kCommands), std::end(kCommands), command,
                             [](const Command& c, int n) { return c.number < n; });
  if (it == std::end(kCommands) || it->number != command) return 0;
  it->action(state, notification);
  return 1;
}

int HandleCommand(AppState& state, int command, int notification) {
  state.stopRows = true;
  int result = DispatchCommand(state, command, notification);
  if (result == 1 && state.lastIndex != -1) RefreshPositionDisplay(state);
  return result;
}

std::span<const int> CommandNumbers() { return kNumbers; }

}  // namespace qel
