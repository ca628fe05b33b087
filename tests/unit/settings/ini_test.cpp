#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/settings/ini.h"
#include "core/settings/paths.h"
#include "core/settings/settings.h"
#include "core/text/encoding.h"
#include "fakes/fakes.h"
#include "fakes/files.h"

namespace qel {
namespace {

using test::ReadAll;
using test::TempDir;
using test::WriteAll;

TEST(Ini, HandEditedFileKeepsEverythingButThePlayersKeys) {
  TempDir dir;
  const std::string before =
      "; my settings\r\n"
      "[systemsetting]\r\n"
      "  VOLUME = 3\r\n"
      "Colour=blue\r\n"
      "\r\n"
      "; user part\r\n"
      "[UserSetting]\r\n"
      "x= 999\r\n"
      "MCIExt=.mp3.OGG\r\n";
  WriteAll(dir / "qel.ini", before);
  test::FakePlayer p;
  p.state.iniPath = dir / "qel.ini";
  p.state.fullWidth = 374;
  p.desktop.master.reset();
  LoadSettings(p.state);
  EXPECT_EQ(p.state.volume, 30);
  {
    // Linked but unreadable, with no stored level: full volume, not silence.
    test::FakePlayer fresh;
    fresh.state.iniPath = dir / "none/fresh.ini";
    fresh.desktop.master.reset();
    LoadSettings(fresh.state);
    EXPECT_EQ(fresh.state.volume, 1000);
    EXPECT_EQ(fresh.window.volumeBar, 100);
  }
  EXPECT_EQ(p.state.settings.x, 10);  // x in the wrong section is not ours
  EXPECT_EQ(p.state.mediaExtensions.rfind(".mp3.ogg.mp3.ogg", 0), 0u);
  p.window.windowRect = Rect{5, 6, 405, 306};
  p.state.volume = 70;
  ASSERT_TRUE(SaveSettings(p.state));
  std::string after = ReadAll(dir / "qel.ini");
  // Untouched lines stay byte for byte; the key keeps its place and spelling.
  EXPECT_EQ(after.rfind("; my settings\r\n[systemsetting]\r\n  VOLUME = 7\r\nColour=blue\r\n", 0), 0u) << after;
  EXPECT_NE(after.find("nowPlaying=\r\nnowDir=\r\n\r\n; user part\r\n[UserSetting]\r\nx= 999\r\nMCIExt=.mp3.OGG\r\nCaptureDir=\r\n"),
            std::string::npos)
      << after;
  EXPECT_NE(after.find("\r\nx= 5\r\ny= 6\r\nwidth= 400\r\nheight= 300\r\n"), std::string::npos);
  EXPECT_NE(after.find("Mode=ORDER\r\nTopMost=OFF\r\nListWidth= 120\r\n"), std::string::npos);
}

TEST(Ini, NoFileGivesEveryDefault) {
  TempDir dir;
  test::FakePlayer p;
  p.state.iniPath = dir / "none/qel.ini";
  p.state.fullWidth = 374;
  LoadSettings(p.state);
  const Settings& s = p.state.settings;
  EXPECT_EQ(p.window.moves.back(), (Rect{10, 10, 384, 390}));
  EXPECT_EQ(p.state.playMode, PlayMode::Order);
  EXPECT_FALSE(s.TopMost);
  EXPECT_EQ(p.window.buttonIcons[1011], 114);
  EXPECT_EQ(p.window.buttonIcons[1012], 117);
  EXPECT_EQ(p.window.buttonIcons[1013], 127);
  EXPECT_EQ(s.ListWidth, 120);
  EXPECT_EQ(s.DefaultListWidth, 120);
  EXPECT_TRUE(s.LeftList && s.MasterVolume && s.ShowBitmapList && s.ShowBitmapText && s.ShowText);
  EXPECT_FALSE(s.SearchSubFolder || s.CenterText || s.IgnoreError || s.NoStandby || s.NoDisplayOff ||
               s.SingleClickMode || s.NoExt || s.DarkMode);
  EXPECT_EQ(s.ViewSize, ViewSizeMode::Zoom);
  EXPECT_EQ(p.state.volume, 500);  // master volume 0.5
  EXPECT_EQ(p.window.volumeBar, 50);
  EXPECT_EQ(s.textFontSize, 10);
  EXPECT_EQ(s.listFontSize, 10);
  EXPECT_EQ(p.window.fonts[Control::ListBox].face, "");
  EXPECT_EQ(p.state.midiDevice, -1);
  EXPECT_EQ(p.state.mediaExtensions, ".mp3.wave.mid.mp3.ogg.flac.wav.m4a.mp4.mkv.wma.avi.m3u.m3u8.qel");
  const std::map<int, bool> checks = {{2500, true}, {2600, false}, {2700, false}, {3000, false}, {1900, false},
                                      {2400, true}, {2410, true}, {2420, false}, {2430, false}, {40007, true}, {40008, true}, {40026, true}, {40010, false},
                                      {3800, false}, {40003, false}, {40005, false}, {40012, false},
                                      {40017, false}, {40028, false}};
  EXPECT_EQ(p.window.menuChecks, checks);
  EXPECT_EQ(LegacyCodePage(), "CP932");
}

TEST(Ini, ValueSyntax) {
  struct Case {
    std::string line;
    PlayMode mode;
  };
  const Case cases[] = {{"Mode=one", PlayMode::One},      {"Mode=xyz", PlayMode::One}, {"Mode=", PlayMode::One},
                        {"Mode=random", PlayMode::Random}, {"Mode=Single", PlayMode::Single}, {"", PlayMode::Order}};
  TempDir dir;
  for (const Case& c : cases) {
    WriteAll(dir / "a.ini", "[SystemSetting]\n" + c.line + "\nTopMost=yes\nViewSize=original\nLeftList=on\n"
                                                  "MasterVolume=OFF\nVolume= -x\nlistFontSize=  12abc\n"
                                                  "[UserSetting]\nMCIExt=*\nMidiDevice=qel SYNTHESIZER\n");
    test::FakePlayer p;
    p.state.iniPath = dir / "a.ini";
    LoadSettings(p.state);
    EXPECT_EQ(p.state.playMode, c.mode) << c.line;
    EXPECT_FALSE(p.state.settings.TopMost);
    EXPECT_TRUE(p.state.settings.LeftList);
    EXPECT_EQ(p.state.settings.ViewSize, ViewSizeMode::Original);
    EXPECT_EQ(p.state.volume, 0);  // "-x" is not a number
    EXPECT_EQ(p.state.settings.listFontSize, 12);
    EXPECT_EQ(p.state.mediaExtensions, "*");
    EXPECT_EQ(p.state.midiDevice, 0);
  }
  EXPECT_EQ(ParseIniNumber(" -42", 5), -42);
  EXPECT_EQ(ParseIniNumber("4294967297", 5), 1);  // wraps like a 32-bit number
  EXPECT_EQ(ParseIniNumber("", 5), 5);
}

TEST(Ini, VolumeWithoutMasterLinkRoundTrips) {
  TempDir dir;
  WriteAll(dir / "q.ini", "[SystemSetting]\nMasterVolume=OFF\nVolume=7\nNoExt=ON\n");
  test::FakePlayer p;
  p.state.iniPath = dir / "q.ini";
  LoadSettings(p.state);
  EXPECT_EQ(p.state.volume, 70);
  EXPECT_EQ(p.window.volumeBar, 7);
  p.state.settings.SingleClickMode = true;
  ASSERT_TRUE(SaveSettings(p.state));
  EXPECT_EQ(ReadIniString(dir / "q.ini", "systemsetting", "volume", "?"), "7");
  EXPECT_NE(ReadAll(dir / "q.ini").find("Volume= 7\n"), std::string::npos);
  EXPECT_EQ(ReadIniString(dir / "q.ini", "SystemSetting", "NoExt", "?"), "ON");
  EXPECT_EQ(ReadIniString(dir / "q.ini", "SystemSetting", "SingleClickMode", "?"), "ON");
}

TEST(Ini, EncodingsAreKept) {
  TempDir dir;
  struct Case {
    std::string name, prefix;
    bool utf16, bigEndian;
  };
  const Case cases[] = {{"le.ini", "\xFF\xFE", true, false}, {"be.ini", "\xFE\xFF", true, true},
                        {"bom.ini", "\xEF\xBB\xBF", false, false}, {"plain.ini", "", false, false}};
  for (const Case& c : cases) {
    std::string text = "[UserSetting]\r\nCaptureDir=/写真\r\n";
    WriteAll(dir / c.name, c.prefix + (c.utf16 ? Utf8ToUtf16(text, c.bigEndian) : text));
    EXPECT_EQ(ReadIniString(dir / c.name, "UserSetting", "CaptureDir", ""), "/写真") << c.name;
    ASSERT_TRUE(WriteIniString(dir / c.name, "SystemSetting", "nowDir", "/音楽"));
    std::string bytes = ReadAll(dir / c.name);
    ASSERT_EQ(bytes.rfind(c.prefix, 0), 0u) << c.name;
    std::string expect = text + "\r\n[SystemSetting]\r\nnowDir=/音楽\r\n";
    EXPECT_EQ(bytes.substr(c.prefix.size()), c.utf16 ? Utf8ToUtf16(expect, c.bigEndian) : expect) << c.name;
  }
}

TEST(Ini, FailedWriteLeavesTheOldFileWhole) {
  TempDir dir;
  // The folder of the target is a file: no temporary file can be made.
  WriteAll(dir / "blocker", "x");
  EXPECT_FALSE(WriteIniString(dir / "blocker/qel.ini", "SystemSetting", "x", " 1"));
  // A directory stands where the file must be: the rename fails, nothing is lost.
  std::filesystem::create_directory(dir / "dir.ini");
  WriteAll(dir / "dir.ini/keep", "keep");
  EXPECT_FALSE(WriteIniString(dir / "dir.ini", "SystemSetting", "x", " 1"));
  EXPECT_EQ(ReadAll(dir / "dir.ini/keep"), "keep");
  // A folder where the ini should be reads as "unreadable": saving refuses it.
  test::FakePlayer p;
  p.state.iniPath = dir / "dir.ini";
  EXPECT_FALSE(SaveSettings(p.state));
  EXPECT_EQ(ReadAll(dir / "dir.ini/keep"), "keep");
}

TEST(Ini, BadInputNeverCrashes) {
  std::string garbage;
  for (int i = 0; i < 70000; ++i) garbage.push_back(static_cast<char>((i * 7919) & 0xFF));
  IniDocument doc = ParseIni(garbage);
  EXPECT_EQ(SerializeIni(doc), garbage);  // kept byte for byte
  IniSet(doc, "SystemSetting", "x", " 1\nfake=1");
  EXPECT_EQ(IniGet(doc, "SystemSetting", "x"), "1 fake=1");
  IniDocument odd = ParseIni(std::string("\xFF\xFE[\x00", 4) + "\x01");
  EXPECT_FALSE(IniGet(odd, "a", "b"));
}

TEST(Paths, PortableAndXdgAndInstances) {
  TempDir dir;
  std::filesystem::create_directories(dir / "bin");
  setenv("XDG_CONFIG_HOME", (dir / "cfg").c_str(), 1);
  setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
  std::string exe = dir / "bin/qel";
  EXPECT_EQ(IniPathFor(exe, "qel"), dir / "cfg/qel/qel.ini");
  EXPECT_EQ(IniPathFor(exe, "-b"), dir / "cfg/qel/qel.ini");  // no own file yet
  EXPECT_EQ(AutoPlaylistPath(exe, "-b"), dir / "state/qel/qel-b.m3u8");
  std::filesystem::create_directories(dir / "cfg/qel");
  WriteAll(dir / "cfg/qel/qel-b.ini", "");
  EXPECT_EQ(IniPathFor(exe, "-b"), dir / "cfg/qel/qel-b.ini");
  EXPECT_EQ(IniPathFor(exe, "-../../x"), dir / "cfg/qel/qel.ini");
  WriteAll(dir / "bin/qel.ini", "");
  EXPECT_EQ(IniPathFor(exe, "qel"), dir / "bin/qel.ini");
  EXPECT_EQ(AutoPlaylistPath(exe, "qel"), dir / "bin/qel.m3u8");
  setenv("XDG_CONFIG_HOME", "relative", 1);
  EXPECT_EQ(ConfigFolder(), std::string(getenv("HOME")) + "/.config/qel");
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_STATE_HOME");
}

TEST(Ini, OnDemandKeys) {
  TempDir dir;
  WriteAll(dir / "q.ini", "[UserSetting]\nIgnoreDir=x\n[SystemSetting]\nnowDir=/m\nnowPlaying=/m/a.mp3\n");
  test::FakePlayer p;
  p.state.iniPath = dir / "q.ini";
  ReloadIgnoreDir(p.state);
  ReadResumePoint(p.state);
  EXPECT_EQ(p.state.settings.IgnoreDir, "x");
  EXPECT_EQ(p.state.settings.nowDir, "/m");
  EXPECT_EQ(p.state.settings.nowPlaying, "/m/a.mp3");
}

TEST(Ini, PathsComeBackByteForByte) {
  // Blanks at either end and enclosing quotes are legal in Linux names; the
  // resume point must name exactly the file that was playing.
  const std::string names[] = {"/m/a.mp3 ", " /m/a.mp3", "/m/\ttab\t", "/m/\"q\"", "\"/m/q\"", "/m/a\"",
                               "/m/ \" ", "/m/a=b;c", "", "/m/plain.mp3"};
  TempDir dir;
  for (const std::string& name : names) {
    test::FakePlayer p;
    p.state.iniPath = dir / "q.ini";
    p.state.entries = {{name, "", 0}};
    p.state.lastIndex = 0;
    p.state.currentIndex = 0;
    p.state.nowDir = name + "dir ";
    p.state.settings.CaptureDir = " " + name;
    p.state.settings.listFontName = " Noto Sans ";
    ASSERT_TRUE(SaveSettings(p.state));

    test::FakePlayer q;
    q.state.iniPath = dir / "q.ini";
    LoadSettings(q.state);
    ReadResumePoint(q.state);
    EXPECT_EQ(q.state.settings.nowPlaying, name) << "[" << name << "]";
    EXPECT_EQ(q.state.settings.nowDir, name + "dir ") << "[" << name << "]";
    EXPECT_EQ(q.state.settings.CaptureDir, " " + name) << "[" << name << "]";
    EXPECT_EQ(q.state.settings.listFontName, " Noto Sans ");
  }
  // Numbers keep their one leading blank and no quotes; a plain path is
  // written as it is.
  std::string text = ReadAll(dir / "q.ini");
  EXPECT_NE(text.find("Volume= "), std::string::npos);
  EXPECT_NE(text.find("\nnowPlaying=/m/plain.mp3\n"), std::string::npos) << text;
  // Hand-written values still lose the blanks around them, as they always did.
  WriteAll(dir / "h.ini", "[SystemSetting]\nnowPlaying=  /m/x.mp3  \n");
  test::FakePlayer h;
  h.state.iniPath = dir / "h.ini";
  ReadResumePoint(h.state);
  EXPECT_EQ(h.state.settings.nowPlaying, "/m/x.mp3");
}

TEST(AtomicFile, StaleTemporariesOfAKilledSaveGoAtTheNextSave) {
  TempDir dir;
  const std::string target = dir / "qel.ini";
  WriteAll(target, "[SystemSetting]\n");
  // What a save killed between writing and renaming leaves behind, beside
  // files that only look alike or belong to other names.
  const std::string stale[] = {target + ".tmp-a1B2c3", target + ".tmp-ZZZZZZ"};
  const std::string kept[] = {target + ".tmp-short", target + ".tmp-abcdefg", dir / "other.ini.tmp-a1B2c3",
                              target + ".tmp-dir123", target + ".bak"};
  for (const std::string& f : stale) WriteAll(f, std::string(1000, 'x'));
  for (const std::string& f : kept) WriteAll(f, "keep");
  std::filesystem::remove(target + ".tmp-dir123");
  std::filesystem::create_directory(target + ".tmp-dir123");
  // One temporary is being written by another running save right now: it
  // holds its lock and must survive.
  const std::string busy = target + ".tmp-busy01";
  WriteAll(busy, "busy");
  int fd = ::open(busy.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);

  ASSERT_TRUE(WriteIniString(target, "SystemSetting", "x", " 1"));
  for (const std::string& f : stale) EXPECT_FALSE(std::filesystem::exists(f)) << f;
  for (const std::string& f : kept) EXPECT_TRUE(std::filesystem::exists(f)) << f;
  EXPECT_TRUE(std::filesystem::exists(busy));
  ::close(fd);
  EXPECT_EQ(ReadIniString(target, "SystemSetting", "x", ""), "1");
  // Once that save has gone, its leftover goes at the next save too.
  ASSERT_TRUE(WriteIniString(target, "SystemSetting", "x", " 2"));
  EXPECT_FALSE(std::filesystem::exists(busy));
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path)) files += e.path().filename().string().rfind("qel.ini.tmp-", 0) == 0;
  EXPECT_EQ(files, 3);  // the look-alikes only
}

TEST(Ini, APipeOrDeviceForAnIniIsNeitherReadNorReplaced) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir / "zero.ini");
  for (const char* name : {"fifo.ini", "zero.ini"}) {
    IniDocument doc = LoadIniFile(dir / name);  // returns at once
    EXPECT_TRUE(doc.lines.empty()) << name;
    EXPECT_TRUE(doc.readFailed) << name;
    EXPECT_FALSE(SaveIniFile(dir / name, doc)) << name;
  }
  EXPECT_TRUE(std::filesystem::is_fifo(dir / "fifo.ini"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "zero.ini"));
}

}  // namespace
}  // namespace qel
