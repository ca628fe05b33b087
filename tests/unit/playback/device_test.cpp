#include "core/playback/device.h"

#include <gtest/gtest.h>

#include "harness.h"

namespace qel::test {
namespace {

TEST(MciAlias, FromExecutableAndInstance) {
  struct Case {
    const char* exe;
    const char* instance;
    const char* alias;
  } cases[] = {
      {"/opt/Player.exe", "-b", "Player-b"},
      {"/opt/Player.exe", "Player", "Player"},
      {"/opt/Player.exe", "", "Player"},
      {"C:/Qel/Qel.exe", "-a.b", "Qel-a"},
      {"/usr/bin/qel", "-2", "qel-2"},
      {"/usr/bin/qel", "qel", "qel"},
      {"/usr/bin/my player", "-x y", "my_player-x_y"},
      {"", "", "qel"},
  };
  for (const auto& c : cases) EXPECT_EQ(MakeMciAlias(c.exe, c.instance), c.alias) << c.exe << " " << c.instance;
}

TEST(TimeFormat, ShortAndLongFiles) {
  struct Case {
    int e, t;
    const char* text;
  } cases[] = {
      {62, 95, "01:02 / 01:35"},   {0, 0, "00:00 / 00:00"},       {5999, 5999, "99:59 / 99:59"},
      {75, 6000, "001:15/100:00"}, {0, 36000, "000:00/600:00"}, {61, 95, "01:01 / 01:35"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatTime(c.e, c.t), c.text);
}

TEST(PlayEntry, OpensAndStartsAnMp3WithEveryCommandInOrder) {
  MediaPlayer p(3);
  p.state.settings.NoStandby = true;
  p.state.settings.NoDisplayOff = true;
  EXPECT_EQ(PlayEntry(p.state, p.state.entries[1], 1, 2), 0);
  const std::string& path = p.Path(1);
  std::vector<std::string> expected = {
      "status qel mode",
      "stop qel",
      "close qel",
      "open \"" + path + "\" alias qel type mpegvideo shareable parent 1000 style child",
      "where qel source",
      "set qel seek exactly on",
      "set qel time format milliseconds",
      "status qel length",
      "setaudio qel volume to 500",
      "play qel  notify",
  };
  EXPECT_EQ(p.device.commands, expected);
  EXPECT_TRUE(p.window.timerRunning);
  EXPECT_EQ(p.window.timerPeriod, 100);
  EXPECT_EQ(p.window.title, "1.mp3");
  EXPECT_EQ(p.state.savedTitle, "1.mp3");
  EXPECT_TRUE(p.window.paneScrollBar);
  EXPECT_TRUE(p.window.messages.empty());
  // Cleared as the device closes, cleared again, then system and display
  // together; a stop clears them.
  std::vector<std::pair<bool, bool>> power = {{false, false}, {false, false}, {true, true}};
  EXPECT_EQ(p.desktop.powerCalls, power);
  StopPlayback(p.state, 95);
  EXPECT_FALSE(p.desktop.powerSystem);
  EXPECT_FALSE(p.desktop.powerDisplay);
}

TEST(PlayEntry, PowerRequestsFollowTheTwoSwitches) {
  struct Case {
    bool standby, display;
    std::pair<bool, bool> last;
  } cases[] = {{false, false, {false, false}}, {true, false, {true, false}}, {false, true, {false, true}},
               {true, true, {true, true}}};
  for (const auto& c : cases) {
    MediaPlayer p(1);
    p.state.settings.NoStandby = c.standby;
    p.state.settings.NoDisplayOff = c.display;
    PlayEntry(p.state, p.state.entries[0], 0, 0);
    ASSERT_FALSE(p.desktop.powerCalls.empty());
    EXPECT_EQ(p.desktop.powerCalls.front(), std::make_pair(false, false));
    EXPECT_EQ(p.desktop.powerCalls.back(), c.last);
  }
}

TEST(PlayEntry, MidiChoosesTheSequencerByExtensionWithoutRegardToCase) {
  struct Case {
    const char* ext;
    int midiDevice;
    bool sequencer;
    bool port;
  } cases[] = {{".MID", 2, true, true}, {".mid", -1, true, false}, {".midi", 2, false, false}, {".Mid", 0, true, true}};
  for (const auto& c : cases) {
    MediaPlayer p(1, c.ext);
    p.state.midiDevice = c.midiDevice;
    PlayEntry(p.state, p.state.entries[0], 0, 0);
    const std::string open = "open \"" + p.Path(0) + "\" alias qel type ";
    EXPECT_EQ(p.device.Sent(open + "sequencer"), c.sequencer) << c.ext;
    EXPECT_EQ(p.device.Sent(open + "mpegvideo shareable parent 1000 style child"), !c.sequencer) << c.ext;
    EXPECT_EQ(p.device.Sent("set qel port " + std::to_string(c.midiDevice)), c.port) << c.ext;
  }
}

TEST(PlayEntry, DoublesAsPauseAndResumeIgnoringTheEntry) {
  MediaPlayer p(2);
  PlayEntry(p.state, p.state.entries[0], 0, 1);
  p.device.Clear();
  PlayEntry(p.state, p.state.entries[1], 1, 1);
  EXPECT_EQ(p.device.commands, (std::vector<std::string>{"status qel mode", "status qel mode", "pause qel"}));
  EXPECT_EQ(p.model.mode, "paused");
  p.device.Clear();
  PlayEntry(p.state, p.state.entries[1], 1, 1);
  EXPECT_EQ(p.device.commands, (std::vector<std::string>{"status qel mode", "resume qel"}));
  EXPECT_EQ(p.OpenIndex(), 0);
}

TEST(PlayEntry, FailuresAndTheirMessages) {
  struct Case {
    const char* what;
    bool ignoreError;
    int result;
    const char* message;
    MessageIcon icon;
    bool owned;
  } cases[] = {
      {"missing", false, 0, "ファイルが見つかりません。", MessageIcon::None, true},
      {"missing", true, 1, nullptr, MessageIcon::None, false},
      {"refused", false, 0, "対応していないファイルです。", MessageIcon::Warning, false},
      {"refused", true, 1, nullptr, MessageIcon::None, false},
      {"zero", false, 0, "対応していないファイルです。", MessageIcon::Warning, false},
      {"garbage", true, 1, nullptr, MessageIcon::None, false},
  };
  for (const auto& c : cases) {
    MediaPlayer p(1);
    p.state.settings.IgnoreError = c.ignoreError;
    std::string what = c.what;
    ListEntry entry = p.state.entries[0];
    if (what == "missing") entry.path = p.folder.path + "/gone.mp3";
    if (what == "refused") p.model.unplayable.insert(entry.path);
    if (what == "zero") p.model.lengthMs[entry.path] = 0;
    if (what == "garbage") p.device.On("status qel length", {0, "n/a"});
    EXPECT_EQ(PlayEntry(p.state, entry, 0, 0), c.result) << what;
    if (c.message) {
      ASSERT_EQ(p.window.messages.size(), 1u) << what;
      EXPECT_EQ(p.window.messages[0].text, c.message);
      EXPECT_EQ(p.window.messages[0].caption, "Qel");
      EXPECT_EQ(p.window.messages[0].icon, c.icon);
      EXPECT_EQ(p.window.messages[0].buttons, MessageButtons::Ok);
      EXPECT_EQ(p.window.messages[0].owned, c.owned);
    } else {
      EXPECT_TRUE(p.window.messages.empty()) << what;
    }
    EXPECT_FALSE(p.device.Sent("play qel  notify")) << what;
    EXPECT_TRUE(p.model.mode.empty()) << what << ": the device is left closed";
    if (what == "zero" || what == "garbage") {
      EXPECT_EQ(p.device.commands.back(), "close qel");
    }
  }
}

TEST(PlayEntry, AQuoteInsideThePathIsWrittenTwice) {
  for (const char* name : {"a\"b.mp3", "a\" alias x type sequencer \"b.mid", "\"\"\".mp3", "end\""}) {
    MediaPlayer p(1);
    ListEntry entry{p.folder.Touch(name), "", 0};
    std::string doubled;
    for (char c : entry.path) doubled += c == '"' ? std::string("\"\"") : std::string(1, c);
    EXPECT_EQ(PlayEntry(p.state, entry, 0, 0), 0) << name;
    ASSERT_FALSE(p.device.commands.empty());
    const std::string& open = p.device.commands[3];  // after the mode query, stop and close
    EXPECT_EQ(open.substr(0, 6 + doubled.size() + 2), "open \"" + doubled + "\" ") << name;
    EXPECT_EQ(p.model.openPath, entry.path) << name;
    EXPECT_EQ(p.model.mode, "playing") << name;
  }
}

TEST(PlayEntry, WithoutAutoPlayOpensAppliesVolumeAndPowerButDoesNotPlay) {
  MediaPlayer p(1);
  p.state.autoPlay = false;
  p.state.settings.NoDisplayOff = true;
  EXPECT_EQ(PlayEntry(p.state, p.state.entries[0], 0, 0), 0);
  EXPECT_TRUE(p.device.Sent("setaudio qel volume to 500"));
  EXPECT_FALSE(p.device.Sent("play qel  notify"));
  EXPECT_FALSE(p.window.timerRunning);
  EXPECT_TRUE(p.desktop.powerDisplay);
  EXPECT_EQ(p.model.mode, "stopped");
}

TEST(PlayEntry, TitleAndPictureAndEmptyList) {
  MediaPlayer p(2);
  p.state.entries[1].title = "曲名";
  p.model.pictures.insert(p.Path(1));
  PlayEntry(p.state, p.state.entries[1], 1, 1);
  EXPECT_EQ(p.window.title, "曲名");
  EXPECT_EQ(p.state.savedTitle, "曲名");
  EXPECT_TRUE(p.device.Sent("window qel handle 1002"));
  EXPECT_FALSE(p.window.paneScrollBar);

  p.device.Clear();
  EXPECT_EQ(PlayEntry(p.state, p.state.entries[0], 0, -1), 0);
  EXPECT_TRUE(p.device.commands.empty());
}

TEST(StopPlayback, ClosesAnOpenFileAndResetsTheDisplays) {
  MediaPlayer p(1);
  PlayEntry(p.state, p.state.entries[0], 0, 0);
  p.window.position = 300;
  p.device.Clear();
  StopPlayback(p.state, 95);
  EXPECT_EQ(p.device.commands, (std::vector<std::string>{"status qel mode", "stop qel", "close qel"}));
  EXPECT_EQ(p.window.position, 0);
  EXPECT_EQ(p.desktop.progress.back(), std::make_pair(0LL, 100LL));
  EXPECT_FALSE(p.window.timerRunning);
  EXPECT_EQ(p.window.timeText, "00:00 / 01:35");
  EXPECT_EQ(p.window.relayouts, 1);

  // Nothing open: no stop or close, but the displays still reset.
  p.device.Clear();
  p.desktop.progress.clear();
  StopPlayback(p.state, 6000);
  EXPECT_EQ(p.device.commands, (std::vector<std::string>{"status qel mode"}));
  EXPECT_TRUE(p.desktop.progress.empty());
  EXPECT_EQ(p.window.timeText, "000:00/100:00");
}

TEST(TogglePause, PausesResumesOrDoesNothing) {
  MediaPlayer p(1);
  TogglePause(p.state);
  EXPECT_EQ(p.device.commands, (std::vector<std::string>{"status qel mode"}));
  PlayEntry(p.state, p.state.entries[0], 0, 0);
  TogglePause(p.state);
  EXPECT_EQ(p.model.mode, "paused");
  TogglePause(p.state);
  EXPECT_EQ(p.model.mode, "playing");
  EXPECT_EQ(p.device.commands.back(), "resume qel");
  ResumeWithNotify(p.state);
  EXPECT_EQ(p.device.commands.back(), "play qel notify");
}

TEST(DeviceMode, AnswersInLowerCase) {
  FakePlayer p;
  p.device.On("status qel mode", {0, "Playing"});
  EXPECT_EQ(DeviceMode(p.state), "playing");
  p.state.platform.device = nullptr;
  EXPECT_EQ(DeviceMode(p.state), "");
}

}  // namespace
}  // namespace qel::test
