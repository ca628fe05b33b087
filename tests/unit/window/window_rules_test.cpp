#include "core/app/window_rules.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "core/app/commands.h"
#include "core/app/layout.h"
#include "core/settings/fonts.h"
#include "fakes/fakes.h"
#include "fakes/files.h"

namespace qel {
namespace {

struct WindowRules : ::testing::Test {
  AppState state;
  test::FakeWindow window;
  void SetUp() override {
    state.platform.window = &window;
    state.listMargin = 10;
  }
};

// Client width 300, margin 10: the full list width is 280.
struct SplitterCase {
  bool leftList;
  int pointer;
  int width;
  int icon;
  bool full;
};

TEST_F(WindowRules, SplitterDragGivesWidthAndIcon) {
  const SplitterCase cases[] = {
      {true, 110, 100, kIconListLeft, false},   // in between, list on the left
      {true, 5, 0, kIconListHidden, false},     // left of the margin hides it
      {true, 295, 280, kIconListFull, true},    // beyond the right margin fills
      {true, 290, 280, kIconListFull, true},    // exactly at the right margin
      {false, 110, 180, kIconListRight, false}, // list on the right
      {false, 295, 0, kIconListHidden, false},
      {false, 5, 280, kIconListFull, true},
  };
  for (const SplitterCase& c : cases) {
    state.settings.LeftList = c.leftList;
    EXPECT_EQ(DragSplitter(state, c.pointer, 300), c.icon) << c.leftList << " " << c.pointer;
    EXPECT_EQ(state.settings.ListWidth, c.width) << c.leftList << " " << c.pointer;
    EXPECT_EQ(state.settings.DefaultListWidth, c.width);
    EXPECT_EQ(state.listFull, c.full);
  }
}

TEST_F(WindowRules, SplitterDoubleClickHidesAndRestores) {
  state.settings.ListWidth = 100;
  state.settings.DefaultListWidth = 100;
  EXPECT_EQ(ToggleSplitter(state, 300), kIconListHidden);
  EXPECT_EQ(state.settings.ListWidth, 0);
  EXPECT_EQ(ToggleSplitter(state, 300), kIconListLeft);
  EXPECT_EQ(state.settings.ListWidth, 100);
  state.settings.DefaultListWidth = 280;
  state.settings.ListWidth = 0;
  EXPECT_EQ(ToggleSplitter(state, 300), kIconListFull);
  EXPECT_TRUE(state.listFull);
}

TEST_F(WindowRules, SplitterHoverWithinFourPixels) {
  const Rect edge{100, 50, 200, 150};
  EXPECT_TRUE(HoverSplitter(state, {96, 50}, edge));
  EXPECT_TRUE(HoverSplitter(state, {104, 150}, edge));
  EXPECT_FALSE(HoverSplitter(state, {95, 100}, edge));
  EXPECT_FALSE(state.splitterHot);
  EXPECT_FALSE(HoverSplitter(state, {100, 151}, edge));
  state.settings.LeftList = true;
  EXPECT_EQ(SplitterControl(state), Control::PaneEdit);
  state.settings.LeftList = false;
  EXPECT_EQ(SplitterControl(state), Control::ListBox);
}

TEST_F(WindowRules, SizingSnapsToTheNearerWidth) {
  state.compactWidth = 200;
  state.fullWidth = 400;
  struct {
    int width, kept;
  } cases[] = {{150, 150}, {200, 200}, {299, 200}, {300, 400}, {301, 400}, {400, 400}, {500, 500}};
  for (auto c : cases) EXPECT_EQ(SnapSizingRight(state, 50, 50 + c.width, 600), 50 + c.kept) << c.width;
}

TEST_F(WindowRules, SizingClampsTheListToTheClient) {
  state.compactWidth = 200;
  state.fullWidth = 400;
  state.settings.ListWidth = 500;
  SnapSizingRight(state, 0, 500, 300);
  EXPECT_EQ(state.settings.ListWidth, 280);
  EXPECT_EQ(state.settings.DefaultListWidth, 280);
}

TEST_F(WindowRules, GeometryFromTheTemplate) {
  TakeInitialGeometry(state, {100, 100, 480, 520}, {0, 0, 374, 392}, {114, 170, 460, 440}, {258, 114, 286, 142});
  EXPECT_EQ(state.listMargin, (374 - 346) / 2);
  EXPECT_EQ(state.bottomSpace, 392 - 270 - 14);
  EXPECT_EQ(state.fullWidth, 380);
  EXPECT_EQ(state.compactWidth, (380 - 346) / 2 + 186);
  const SizeLimits limits = WindowSizeLimits(state, {0, 0, 1920, 1040}, 4, 4, 200, 100);
  EXPECT_EQ(limits.minWidth, state.compactWidth);
  EXPECT_EQ(limits.minHeight, 100 + 14);
  EXPECT_EQ(limits.maxWidth, 1936);
  EXPECT_EQ(limits.maxHeight, 1056);
}

TEST_F(WindowRules, WheelChangesVolumeFivePerNotch) {
  struct {
    int position, delta, expected;
  } cases[] = {{50, 120, 55}, {50, -120, 45}, {98, 120, 100}, {3, -120, 0}, {50, 60, 52}, {50, -60, 48},
               {50, 23, 50}, {50, 240, 60}};
  for (auto c : cases) {
    window.volumeBar = c.position;
    EXPECT_TRUE(TurnWheel(state, WheelControl::Window, false, c.delta).volume);
    EXPECT_EQ(window.volumeBar, c.expected) << c.position << " " << c.delta;
    EXPECT_EQ(state.volume, c.expected * 10);
  }
}

// One notch up (delta 120) from slider position 50, per control.
TEST_F(WindowRules, EachControlTurnsTheWheelByItsOwnRule) {
  struct {
    WheelControl control;
    bool paneScrolls;
    int volume;
    bool scrolls, relayout;
  } cases[] = {
      {WheelControl::Window, false, 55, false, false},
      {WheelControl::Window, true, 55, false, false},  // only the pane scrolls
      {WheelControl::ListBox, false, 55, true, false},
      {WheelControl::PaneEdit, false, 55, false, false},
      {WheelControl::PaneEdit, true, 50, true, true},
      {WheelControl::PositionBar, false, 50, false, false},
      {WheelControl::VolumeBar, false, 53, false, false},
  };
  for (const auto& c : cases) {
    window.volumeBar = 50;
    state.volume = 500;
    const WheelRoute route = TurnWheel(state, c.control, c.paneScrolls, 120);
    EXPECT_EQ(window.volumeBar, c.volume) << int(c.control) << " " << c.paneScrolls;
    EXPECT_EQ(state.volume, c.volume * 10) << int(c.control);
    EXPECT_EQ(route.scrolls, c.scrolls) << int(c.control);
    EXPECT_EQ(route.relayout, c.relayout) << int(c.control);
  }
  window.volumeBar = 1;
  TurnWheel(state, WheelControl::VolumeBar, false, -120);
  EXPECT_EQ(window.volumeBar, 0);
  EXPECT_EQ(state.volume, 0);
}

TEST_F(WindowRules, OnlyAShiftPressOnASelectedRowMovesRows) {
  state.entries.resize(6);
  EXPECT_FALSE(PressOnListRow(state, 2, false, true));   // a plain press selects
  EXPECT_EQ(DragOverList(state, 3, true), 0);
  EXPECT_FALSE(PressOnListRow(state, 2, true, false));   // Shift extends the selection
  EXPECT_EQ(DragOverList(state, 3, true), 0);
  EXPECT_TRUE(PressOnListRow(state, 2, true, true));
  EXPECT_EQ(DragOverList(state, 2, true), 0);
  EXPECT_EQ(DragOverList(state, 3, true), 2000);
  EXPECT_EQ(DragOverList(state, 5, true), 2000);  // one row per move
  EXPECT_EQ(DragOverList(state, 1, true), 2100);
  EXPECT_EQ(DragOverList(state, 0, false), 0);  // released: the move ends
  EXPECT_EQ(DragOverList(state, 4, true), 0);
  EXPECT_TRUE(PressOnListRow(state, 4, true, true));
  EXPECT_EQ(DragOverList(state, -1, true), 0);  // beyond the rows
  EXPECT_EQ(DragOverList(state, 2, true), 0);
  state.entries.clear();
  EXPECT_FALSE(PressOnListRow(state, 0, true, true));
}

TEST_F(WindowRules, ContextMenuChoice) {
  EXPECT_EQ(ChooseContextMenu(state, ClickedControl::VolumeBar, false), ContextMenu::Master);
  EXPECT_EQ(ChooseContextMenu(state, ClickedControl::PaneEdit, false), ContextMenu::Text);
  EXPECT_EQ(ChooseContextMenu(state, ClickedControl::NextButton, true), ContextMenu::RandomJump);
  EXPECT_EQ(ChooseContextMenu(state, ClickedControl::Other, true), ContextMenu::Title);
  EXPECT_EQ(ChooseContextMenu(state, ClickedControl::ListBox, false), ContextMenu::None);
  state.entries.push_back({"/a.mp3", "", 0});
  EXPECT_EQ(ChooseContextMenu(state, ClickedControl::ListBox, false), ContextMenu::Popup);
  EXPECT_EQ(ChooseContextMenu(state, ClickedControl::Other, false), ContextMenu::None);
}

TEST_F(WindowRules, ListContextMenuSelectsTheRowUnderThePoint) {
  window.rows = {"a", "b", "c", "d"};
  state.currentIndex = 0;
  window.selected = {0, 1};
  PrepareListContextMenu(state, 1);  // already selected: kept with the others
  EXPECT_EQ(state.contextRow, 1);
  EXPECT_EQ(window.selected, (std::set<int>{1}));
  window.selected = {1, 2};
  PrepareListContextMenu(state, 3);
  EXPECT_EQ(window.selected, (std::set<int>{3}));
}

TEST_F(WindowRules, HandOffLine) {
  state.instanceName = "qel";
  ReceiveHandOff(state, "\"/music/a b.mp3\"");
  EXPECT_EQ(HandOffTarget(state.handOffLine), "/music/a b.mp3");
  // Without quotes the first and last characters are lost.
  ReceiveHandOff(state, "/music/a.mp3");
  EXPECT_EQ(HandOffTarget(state.handOffLine), "music/a.mp");
  ReceiveHandOff(state, "");
  EXPECT_EQ(state.handOffLine, "");
  EXPECT_EQ(HandOffTarget("\"\""), "");
  EXPECT_EQ(HandOffTarget("x"), "");
}

TEST_F(WindowRules, HandOffToANamedInstanceDropsTheName) {
  state.instanceName = "-b";
  ReceiveHandOff(state, "-b \"/x.mp3\"");
  EXPECT_EQ(state.handOffLine, "\"/x.mp3\"");
  ReceiveHandOff(state, "-b");
  EXPECT_EQ(state.handOffLine, "");
}

// Paths on Linux run far beyond 259 bytes: a long line arrives whole and its
// file plays; nothing cuts it inside a character or empties the list.
TEST(HandOff, ALongLineOpensItsFileWhole) {
  test::TempDir dir;
  std::string folder = dir.path;
  for (int i = 0; i < 5; ++i) folder += "/" + std::string(30, 'a' + i) + "「夜の歌」を聴きながら";
  const std::string song = folder + "/曲.mp3";
  test::WriteAll(song, "");
  test::WriteAll(folder + "/other.mp3", "");
  ASSERT_GT(song.size(), 300u);
  for (const char* name : {"qel", "-b"}) {
    test::FakePlayer p;
    p.state.instanceName = name;
    const std::string line = (name[0] == '-' ? std::string(name) + " " : "") + "\"" + song + "\"";
    ReceiveHandOff(p.state, line);
    HandleHandOff(p.state);
    ASSERT_EQ(p.state.entries.size(), 2u) << name;
    EXPECT_EQ(p.state.entries[p.state.currentIndex].path, song);
    EXPECT_TRUE(std::any_of(p.device.commands.begin(), p.device.commands.end(),
                            [&](const std::string& c) { return c.rfind("open \"" + song + "\"", 0) == 0; }));
  }
}

// ---- layout

struct Layout : WindowRules {
  ControlSizes sizes;
  void SetUp() override {
    WindowRules::SetUp();
    state.bottomSpace = 70;
    state.compactWidth = 200;
    state.fullWidth = 380;
    sizes = {28, 28, 28, 28, 124, 16, {14, 46, 196, 70}};
  }
};

TEST_F(Layout, ListLeftAndRight) {
  state.settings.ListWidth = 100;
  state.settings.LeftList = true;
  WindowLayout l = LayOutWindow(state, 300, 400, 0, false, sizes);
  EXPECT_EQ(l.gap, 4);
  EXPECT_EQ(l.list, (Rect{10, 70, 110, 390}));
  EXPECT_EQ(l.pane, (Rect{114, 70, 290, 390}));
  state.settings.LeftList = false;
  l = LayOutWindow(state, 300, 400, 0, false, sizes);
  EXPECT_EQ(l.pane, (Rect{10, 70, 186, 390}));
  EXPECT_EQ(l.list, (Rect{190, 70, 290, 390}));
  EXPECT_TRUE(l.paintPicture);
}

TEST_F(Layout, HiddenAndFullList) {
  state.settings.ListWidth = 0;
  WindowLayout l = LayOutWindow(state, 300, 400, 0, false, sizes);
  EXPECT_EQ(l.gap, 0);
  EXPECT_EQ(l.pane.Width(), 280);
  EXPECT_EQ(l.list.Width(), 0);
  state.settings.ListWidth = 500;  // larger than the client allows
  l = LayOutWindow(state, 300, 400, 0, false, sizes);
  EXPECT_EQ(state.settings.ListWidth, 280);
  EXPECT_EQ(window.buttonIcons[1013], kIconListFull);
  EXPECT_EQ(l.pane.Width(), 0);
  EXPECT_EQ(l.gap, 0);
  EXPECT_FALSE(l.paintPicture);
}

TEST_F(Layout, TopRightControls) {
  state.relayoutPending = false;
  state.settings.ListWidth = 100;
  WindowLayout l = LayOutWindow(state, 360, 400, 0, true, sizes);
  ASSERT_TRUE(l.showTopRight);
  EXPECT_EQ(l.button1012, (Rect{322, 10, 350, 38}));
  EXPECT_EQ(l.button1013, (Rect{322, 38, 350, 66}));
  EXPECT_EQ(l.timeLabel.left, 360 - 124 - 28 - 10);
  EXPECT_EQ(l.timeLabel.top, (70 - 16 - 28 - 10) / 2 + 28 + 10);
  EXPECT_EQ(l.positionBar.right, l.timeLabel.left);
  EXPECT_EQ(l.positionBar.left, 14);
  // Between the compact and the full width they are hidden once the first
  // tick has passed.
  l = LayOutWindow(state, 250, 400, 0, true, sizes);
  EXPECT_TRUE(l.hideTopRight);
  state.relayoutPending = true;
  l = LayOutWindow(state, 250, 400, 0, true, sizes);
  EXPECT_FALSE(l.hideTopRight);
}

TEST_F(Layout, FullScreenPaneCoversTheWindow) {
  state.screenMode = 3;
  const WindowLayout l = LayOutWindow(state, 300, 400, 0, true, sizes);
  EXPECT_FALSE(l.placeListAndPane);
  EXPECT_FALSE(l.showTopRight);
  EXPECT_TRUE(l.paneCoversWindow);
  EXPECT_EQ(l.pane, (Rect{0, 0, 300, 400}));
}

TEST(Fonts, PointsAndPixels) {
  EXPECT_EQ(FontPixelHeight(12, 96), -16);
  EXPECT_EQ(FontPixelHeight(10, 96), -13);  // 13.33 rounds to 13
  EXPECT_EQ(FontPixelHeight(9, 96), -12);
  EXPECT_EQ(FontPointsFromHeight(-16, 96), 12);
  EXPECT_EQ(FontPointsFromHeight(-13, 96), 10);
  EXPECT_EQ(ListRowHeight(-16, 16, 0), 16);
  EXPECT_EQ(ListRowHeight(-16, 15, 1), 18);
  EXPECT_EQ(AdjustFontSize(106, 14), 9);
  EXPECT_EQ(AdjustFontSize(107, 9), 10);
  EXPECT_EQ(AdjustFontSize(109, 7), 6);
  EXPECT_EQ(AdjustFontSize(109, 6), 6);
}

// The font dialogs through their commands: preset from the settings, the
// answer stored in points, the control's font made again either way.
TEST_F(WindowRules, FontDialogsPresetAndStoreTheChoice) {
  state.settings.textFontName = "Noto Sans";
  state.settings.textFontSize = 12;
  state.settings.textFontStyle = 0x100;
  window.fontDialogAnswer = FontPick{"DejaVu Serif", -19, 0x200};
  HandleCommand(state, 3400, 0);
  ASSERT_EQ(window.fontDialogs.size(), 1u);
  EXPECT_EQ(window.fontDialogs[0].face, "Noto Sans");
  EXPECT_EQ(window.fontDialogs[0].height, -16);
  EXPECT_EQ(window.fontDialogs[0].style, 0x100);
  EXPECT_EQ(state.settings.textFontSize, 14);  // 19 px at 96 ppi is 14.25 pt
  EXPECT_EQ(state.settings.textFontName, "DejaVu Serif");
  EXPECT_EQ(state.settings.textFontStyle, 0x200);
  EXPECT_EQ(window.fonts[Control::PaneEdit].face, "DejaVu Serif");
  EXPECT_EQ(window.fonts[Control::PaneEdit].points, 14);
  EXPECT_GT(window.relayouts, 0);
  EXPECT_EQ(window.fonts.count(Control::ListBox), 0u);

  // Cancel keeps the list's settings but still gives the list its font.
  state.settings.listFontSize = 9;
  window.fontDialogAnswer.reset();
  window.pixelsPerInch = 144;
  const int redraws = window.listRedraws;
  HandleCommand(state, 3500, 0);
  ASSERT_EQ(window.fontDialogs.size(), 2u);
  EXPECT_EQ(window.fontDialogs[1].height, -18);
  EXPECT_EQ(state.settings.listFontSize, 9);
  EXPECT_EQ(window.fonts[Control::ListBox].points, 9);
  EXPECT_GT(window.listRedraws, redraws);

  // A height that is no size in points leaves the size alone.
  window.fontDialogAnswer = FontPick{"", 0, 0};
  HandleCommand(state, 3500, 0);
  EXPECT_EQ(state.settings.listFontSize, 9);
  EXPECT_EQ(state.settings.listFontName, "");
}

TEST_F(WindowRules, FontSizeKeysActOnTheFocusedControl) {
  struct Case {
    Control focus;
    int command, before, after;
  };
  const Case cases[] = {{Control::ListBox, 106, 14, 9},  {Control::ListBox, 107, 9, 10},
                        {Control::PaneEdit, 109, 7, 6},  {Control::PaneEdit, 109, 6, 6},
                        {Control::MainWindow, 107, 9, 9}};
  for (const Case& c : cases) {
    window.focus = c.focus;
    window.fonts.clear();
    state.settings.listFontSize = state.settings.textFontSize = c.before;
    HandleCommand(state, c.command, 0);
    const int size = c.focus == Control::PaneEdit ? state.settings.textFontSize : state.settings.listFontSize;
    EXPECT_EQ(size, c.after) << c.command << " from " << c.before;
    EXPECT_EQ(window.fonts.count(c.focus), c.before != c.after ? 1u : 0u);
  }
}

}  // namespace
}  // namespace qel

namespace qel {
namespace {
TEST(OpenDialogs, FiltersTitleAndCancel) {
  AppState state;
  test::FakeWindow window;
  state.platform.window = &window;
  state.nowDir = "/music";
  EXPECT_FALSE(RunOpenFileDialog(state));  // cancelled: nothing opens
  ASSERT_EQ(window.openDialogFilters.size(), 1u);
  const std::vector<FileFilter>& filters = window.openDialogFilters[0];
  ASSERT_EQ(filters.size(), 5u);
  EXPECT_EQ(filters[0].label, "Qelファイル");
  EXPECT_EQ(filters[0].pattern, "*.mp3;*.m3u;*.m3u8;*.qel;*.mid;*.mp4;*.wmv");
  EXPECT_EQ(filters[4].label, "すべてのファイル(*.*)");
  EXPECT_FALSE(RunOpenFolderDialog(state));
  ASSERT_EQ(window.folderDialogs.size(), 1u);
  EXPECT_EQ(window.folderDialogs[0].first, "フォルダ選択");
  EXPECT_EQ(window.folderDialogs[0].second, "/music");
  EXPECT_TRUE(window.titles.empty());
}
}  // namespace
}  // namespace qel

namespace qel {
namespace {

// At exit the auto-saved playlist and the ini are written; one that cannot
// be written keeps its old file and is named to the user.
TEST(Exit, FilesThatCannotBeWrittenAreNamed) {
  test::TempDir dir;
  const char* saved = std::getenv("XDG_STATE_HOME");
  const std::string before = saved ? saved : "";
  test::FakePlayer p;
  p.state.executablePath = dir / "bin/qel";
  p.state.entries = {{dir / "a.mp3", "", 0}};
  p.state.lastIndex = 0;
  p.state.currentIndex = 0;

  // Writable: both written, nothing said.
  setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
  p.state.iniPath = dir / "config/qel.ini";
  DestroyMainWindow(p.state);
  EXPECT_TRUE(p.window.messages.empty());
  EXPECT_NE(test::ReadAll(dir / "state/qel/qel.m3u8").find("a.mp3"), std::string::npos);
  EXPECT_NE(test::ReadAll(dir / "config/qel.ini").find("nowPlaying"), std::string::npos);

  // A folder that is a file cannot be made: neither can be written.
  test::WriteAll(dir / "blocked", "");
  setenv("XDG_STATE_HOME", (dir / "blocked").c_str(), 1);
  p.state.iniPath = dir / "blocked/qel.ini";
  DestroyMainWindow(p.state);
  ASSERT_EQ(p.window.messages.size(), 1u);
  const test::FakeWindow::Message& m = p.window.messages[0];
  EXPECT_EQ(m.text, dir / "blocked/qel/qel.m3u8" + " の保存に失敗しました。\n" + dir / "blocked/qel.ini" +
                        " の保存に失敗しました。");
  EXPECT_EQ(m.caption, "Qel");
  EXPECT_EQ(m.icon, MessageIcon::Error);
  EXPECT_TRUE(m.owned);

  // An empty list writes no playlist: only the ini can fail.
  p.window.messages.clear();
  p.state.entries.clear();
  p.state.lastIndex = -1;
  DestroyMainWindow(p.state);
  ASSERT_EQ(p.window.messages.size(), 1u);
  EXPECT_EQ(p.window.messages[0].text, dir / "blocked/qel.ini" + " の保存に失敗しました。");

  if (saved) setenv("XDG_STATE_HOME", before.c_str(), 1);
  else unsetenv("XDG_STATE_HOME");
}

}  // namespace
}  // namespace qel
