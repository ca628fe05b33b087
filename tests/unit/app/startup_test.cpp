#include "core/app/startup.h"

#include <gtest/gtest.h>

#include <set>

#include "../list/temp_tree.h"
#include "core/app/window_rules.h"

namespace qel {
namespace {

using test::TempTree;

TEST(Startup, InstanceNameFromTheLeadingArgument) {
  const std::string exe = "/opt/qel/qel";
  struct Case {
    Arguments args;
    const char* name;
  } cases[] = {
      {{"qel"}, "qel"},
      {{"qel", "-b"}, "-b"},
      {{"qel", "-b", "x.mp3"}, "-b"},
      {{"qel", "-b x"}, "-b"},          // up to the first blank
      {{"qel", "a", "-b"}, "qel"},      // only a leading token names
      {{"qel", "/music/a.mp3"}, "qel"},
      {{"qel", "-a/../b"}, "-a_.._b"},  // never a path
      {{"qel", ""}, "qel"},
  };
  for (const Case& c : cases) EXPECT_EQ(InstanceNameFromArguments(c.args, exe), c.name);
  EXPECT_EQ(InstanceNameFromArguments({"x"}, "/usr/bin/qel.bin"), "qel.bin");

  std::string longName = "-";
  for (int i = 0; i < 120; ++i) longName += "曲";  // 3 bytes each
  std::string got = InstanceNameFromArguments({"qel", longName}, exe);
  EXPECT_LE(got.size(), kMaxInstanceName);
  EXPECT_EQ(got.size() % 3, 1u);  // cut between characters
  EXPECT_EQ(longName.compare(0, got.size(), got), 0);
}

TEST(Startup, RemoteSwitchesAreWholeArgumentsWithPlayFirst) {
  struct Case {
    Arguments args;
    int command;
  } cases[] = {
      {{"qel", "/Play"}, 1004},
      {{"qel", "/Stop"}, 1006},
      {{"qel", "/Next"}, 1008},
      {{"qel", "/Next", "/Stop", "/Play"}, 1004},
      {{"qel", "/Stop", "/Next"}, 1006},
      {{"qel", "-b", "/Next"}, 1008},
      {{"qel", "/music/Next Level.mp3"}, 0},
      {{"qel", "/Play/x.mp3"}, 0},
      {{"qel", "/play"}, 0},  // case-sensitive
      {{"/Play"}, 0},         // the program itself is no switch
      {{"qel"}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(RemoteCommandFromArguments(c.args), c.command);
}

TEST(Startup, TargetFromTheArguments) {
  struct Case {
    Arguments args;
    const char* target;
  } cases[] = {
      {{"qel"}, ""},
      {{"qel", "-b"}, ""},
      {{"qel", "/m/a.mp3"}, "/m/a.mp3"},
      {{"qel", "-b", "/m/a.mp3"}, "/m/a.mp3"},
      {{"qel", "/m/a.mp3", "/m/b.mp3"}, "/m/a.mp3"},
      {{"qel", ""}, ""},
      {{"qel", "-b", ""}, ""},
      {{"qel", "a.mp3"}, "/home/u/a.mp3"},  // relative to the start's folder
      {{"qel", "./x/../a.mp3"}, "/home/u/a.mp3"},
      {{"qel", "/m//Album/"}, "/m/Album"},
      {{"qel", "/"}, "/"},
  };
  for (const Case& c : cases) EXPECT_EQ(StartupTarget(c.args, "/home/u"), c.target);
}

TEST(Startup, HandOffLineQuotesTheAbsolutePath) {
  EXPECT_EQ(BuildHandOffLine({"qel", "/m/a b.mp3"}, "qel", "/w"), "\"/m/a b.mp3\"");
  EXPECT_EQ(BuildHandOffLine({"qel", "a.mp3"}, "qel", "/w"), "\"/w/a.mp3\"");
  EXPECT_EQ(BuildHandOffLine({"qel", "-b", "/m/曲.mp3"}, "-b", "/w"), "-b \"/m/曲.mp3\"");
  EXPECT_EQ(BuildHandOffLine({"qel"}, "qel", "/w"), "");
  EXPECT_EQ(BuildHandOffLine({"qel", "-b"}, "-b", "/w"), "-b");
}

TEST(Startup, HandOffLineReachesTheRunningInstanceIntact) {
  struct Case {
    Arguments args;
    std::string target;
  } cases[] = {
      {{"qel", "/m/a \"quoted\" b.mp3"}, "/m/a \"quoted\" b.mp3"},
      {{"qel", "-b", "/m/x.mp3"}, "/m/x.mp3"},
      {{"qel", "-b"}, ""},
      {{"qel"}, ""},
  };
  for (const Case& c : cases) {
    AppState running;
    running.instanceName = InstanceNameFromArguments(c.args, "/opt/qel/qel");
    ReceiveHandOff(running, BuildHandOffLine(c.args, running.instanceName, "/w"));
    EXPECT_EQ(HandOffTarget(running.handOffLine), c.target);
  }
}

TEST(Startup, WhatTheWindowOpensFirst) {
  TempTree t;
  std::string saved = t.Path("qel.m3u8");
  EXPECT_EQ(ChooseStartupOpen({"qel"}, "/w", saved), (StartupOpen{"", OpenKind::File}));
  t.File("qel.m3u8", "#EXTM3U\n");
  EXPECT_EQ(ChooseStartupOpen({"qel"}, "/w", saved), (StartupOpen{saved, OpenKind::ResumedList}));
  EXPECT_EQ(ChooseStartupOpen({"qel", ""}, "/w", saved), (StartupOpen{saved, OpenKind::ResumedList}));
  EXPECT_EQ(ChooseStartupOpen({"qel", "-b"}, "/w", saved), (StartupOpen{saved, OpenKind::ResumedList}));
  EXPECT_EQ(ChooseStartupOpen({"qel", "x.mp3"}, "/w", saved), (StartupOpen{"/w/x.mp3", OpenKind::File}));
  t.Dir("dir.m3u8");
  EXPECT_EQ(ChooseStartupOpen({"qel"}, "/w", t.Path("dir.m3u8")), (StartupOpen{"", OpenKind::File}));
}

TEST(Startup, AcceleratorTable) {
  const auto& table = AcceleratorTable();
  ASSERT_EQ(table.size(), 57u);
  std::set<std::pair<Key, unsigned>> keys;
  for (const Accelerator& a : table) EXPECT_TRUE(keys.insert({a.key, a.modifiers}).second) << a.command;

  EXPECT_EQ(table.front().command, 1008);
  EXPECT_EQ(table.back().command, 2900);
  struct Case {
    Key key;
    unsigned mods;
    std::optional<int> command;
  } cases[] = {
      {Key::Down, kNoModifier, 1008},     {Key::Down, kCtrl, 2000},        {Key::Up, kCtrl, 2100},
      {Key::Enter, kNoModifier, 13},      {Key::Escape, kNoModifier, 27},  {Key::Delete, kNoModifier, 1500},
      {Key::S, kCtrl, 1600},              {Key::S, kNoModifier, 2900},     {Key::R, kNoModifier, 40025},
      {Key::R, kCtrl, 40014},             {Key::Right, kCtrl | kShift, 5000},
      {Key::Left, kShift, 4500},          {Key::Num0, kNoModifier, 41000}, {Key::Num9, kNoModifier, 41009},
      {Key::NumDecimal, kNoModifier, 3700}, {Key::Tab, kNoModifier, 3700}, {Key::Insert, kShift, 1100},
      {Key::Insert, kCtrl, 1200},         {Key::F10, kNoModifier, 4700},   {Key::G, kCtrl, 4700},
      {Key::F3, kNoModifier, 4900},       {Key::F11, kNoModifier, 40021},  {Key::X, kCtrl, 40024},
      {Key::Down, kShift, std::nullopt},  // modifiers must match exactly
      {Key::A, kNoModifier, std::nullopt}, {Key::A, kCtrl | kShift, std::nullopt},
      {Key::Space, kAlt, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(CommandForKey(c.key, c.mods), c.command) << int(c.key);
}

}  // namespace
}  // namespace qel
