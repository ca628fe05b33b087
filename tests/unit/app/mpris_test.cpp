// The player as the desktop's media controls see it: bus names, track ids,
// file URIs, the play orders both ways, which changes are told, the jumps
// of the position, and what each method and property write does to a
// player over real files and the device model.
#include "core/app/mpris.h"

#include <gtest/gtest.h>

#include <climits>

#include <cmath>
#include <filesystem>
#include <limits>
#include <regex>
#include <set>

#include "../playback/harness.h"
#include "core/fs/companion.h"
#include "core/fs/file_uri.h"
#include "core/playback/device.h"
#include "core/playback/order.h"

namespace qel {
namespace {

using test::MediaPlayer;
namespace fs = std::filesystem;

// ---- names

// A well-known bus name as the bus checks it: dot-separated elements of
// [A-Za-z0-9_-], none beginning with a digit, at most 255 bytes.
bool ValidBusName(const std::string& name) {
  static const std::regex element("[A-Za-z_-][A-Za-z0-9_-]*");
  if (name.empty() || name.size() > 255) return false;
  size_t start = 0;
  int elements = 0;
  while (true) {
    size_t dot = name.find('.', start);
    if (!std::regex_match(name.substr(start, dot - start), element)) return false;
    ++elements;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return elements >= 2;
}

TEST(MprisNames, BusNamePerInstance) {
  const std::string base = "org.mpris.MediaPlayer2.qel";
  struct Row {
    std::string instance, bus;
  } rows[] = {
      {"qel", base},
      {"-work", base + ".instance_work"},
      {"-my-player_2", base + ".instance_my-player_2"},
      {"-my player", base + ".instance_my_20player"},
      {"-a.b", base + ".instance_a_2eb"},
      {"-仕事", base + ".instance__e4_bb_95_e4_ba_8b"},
      {"-9", base + ".instance_9"},
      {"-", base + ".instance_"},
      // Started under another program name: its own family.
      {"qel-test", base + ".instance_qel-test"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(MprisBusName(row.instance), row.bus) << row.instance;
    EXPECT_TRUE(ValidBusName(MprisBusName(row.instance))) << row.instance;
  }
  // However long the name, the bus takes it.
  for (const std::string& name : {"-" + std::string(400, 'x'), "-" + std::string(200, '/'), "-" + std::string(150, 'a') + "日本"}) {
    EXPECT_TRUE(ValidBusName(MprisBusName(name))) << name.size();
    EXPECT_LE(MprisBusName(name).size(), 255u);
  }
}

TEST(MprisNames, TrackIdsAreObjectPathsOfTheirFile) {
  static const std::regex objectPath("(/[A-Za-z0-9_]+)+");
  const std::vector<std::string> paths = {"/m/a.mp3", "/m/b.mp3", "/m/日本 語.flac", "/m/a.mp3 ", ""};
  std::set<std::string> ids;
  for (const std::string& path : paths) {
    const std::string id = MprisTrackId(path);
    EXPECT_TRUE(std::regex_match(id, objectPath)) << id;
    EXPECT_NE(id.rfind("/org/mpris", 0), 0u) << "the /org/mpris tree is the protocol's own";
    EXPECT_EQ(MprisTrackId(path), id);
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), paths.size());
}

// ---- file URIs

TEST(FileUris, BothWays) {
  EXPECT_EQ(FileUri("/m/a b#c%d?.mp3"), "file:///m/a%20b%23c%25d%3F.mp3");
  EXPECT_EQ(FileUri("/m/朝.mp3"), "file:///m/%E6%9C%9D.mp3");
  struct Row {
    std::string uri;
    std::optional<std::string> path;
  } rows[] = {
      {"file:///m/a.mp3", "/m/a.mp3"},
      {"FILE://localhost/m/a%20b.mp3", "/m/a b.mp3"},
      {"file:/m/a.mp3", "/m/a.mp3"},
      {"file:///m/%e6%9c%9d.mp3", "/m/朝.mp3"},
      {"file:///m/a.mp3?query#fragment", "/m/a.mp3"},
      {"file:///m/", "/m/"},
      {"file://server/m/a.mp3", std::nullopt},
      {"http://example.org/a.mp3", std::nullopt},
      {"/m/a.mp3", std::nullopt},
      {"file:m/a.mp3", std::nullopt},
      {"file://", std::nullopt},
      {"file:///m/a%2", std::nullopt},
      {"file:///m/a%zz.mp3", std::nullopt},
      {"file:///m/a%00.mp3", std::nullopt},
      {std::string("file:/\0\0a.mp3", 13), std::nullopt},  // would open "/"
      {"", std::nullopt},
  };
  for (const Row& row : rows) EXPECT_EQ(LocalPathFromUri(row.uri), row.path) << row.uri;
  std::string everyByte = "/m/";
  for (int c = 1; c < 256; ++c) everyByte.push_back(static_cast<char>(c));
  for (const std::string& path : {std::string("/"), std::string("/m/a b#%?.mp3"), everyByte})
    EXPECT_EQ(LocalPathFromUri(FileUri(path)), path);
}

// ---- the companion picture

TEST(Companions, PictureBesideTheFile) {
  test::MediaFolder folder;
  struct Row {
    std::string media;
    std::vector<std::string> present;
    std::optional<std::string> found;
  } rows[] = {
      {"a.mp3", {"a.png", "a.jpg", "a.jpeg"}, "a.png"},
      {"b.mp3", {"b.jpg", "b.jpeg"}, "b.jpg"},
      {"c.mp3", {"c.jpeg", "c.JPG"}, "c.jpeg"},
      {"d.mp3", {"d.txt", "d.mp3.png", "dd.png"}, std::nullopt},
      {"e.f.ogg", {"e.png", "e.f.png"}, "e.f.png"},
      {"noext", {"noext.jpg"}, "noext.jpg"},
      // Copied from Windows: the name differs in case only; the pane shows
      // the same picture.
      {"h.mp3", {"H.JPG"}, "H.JPG"},
  };
  for (const Row& row : rows) {
    for (const std::string& name : row.present) folder.Touch(name);
    const std::optional<std::string> found = CompanionPicture(folder.path + "/" + row.media);
    EXPECT_EQ(found, row.found ? std::optional(folder.path + "/" + *row.found) : std::nullopt) << row.media;
  }
  // A folder under a picture's name is no picture.
  fs::create_directory(folder.path + "/g.png");
  folder.Touch("g.jpg");
  EXPECT_EQ(CompanionPicture(folder.path + "/g.mp3"), folder.path + "/g.jpg");
}

// ---- play orders

TEST(MprisPlayOrder, ReadBothWays) {
  struct Row {
    PlayMode mode;
    std::string_view loop;
    bool shuffle;
  } rows[] = {{PlayMode::Order, "Playlist", false},
              {PlayMode::Random, "Playlist", true},
              {PlayMode::Single, "Track", false},
              {PlayMode::One, "None", false}};
  for (const Row& row : rows) {
    EXPECT_EQ(LoopStatusOf(row.mode), row.loop);
    EXPECT_EQ(ShuffleOf(row.mode), row.shuffle);
    // What a client reads back, written again, changes nothing.
    EXPECT_EQ(PlayModeForShuffle(*PlayModeForLoopStatus(row.mode, row.loop), row.shuffle), row.mode);
  }
}

TEST(MprisPlayOrder, WrittenByLoopStatusAndShuffle) {
  using P = PlayMode;
  struct LoopRow {
    P current;
    std::string_view loop;
    std::optional<P> result;
  } loops[] = {
      {P::Order, "Playlist", P::Order}, {P::Random, "Playlist", P::Random}, {P::Single, "Playlist", P::Order},
      {P::One, "Playlist", P::Order},   {P::Order, "Track", P::Single},     {P::Random, "Track", P::Single},
      {P::Order, "None", P::One},       {P::Random, "None", P::One},        {P::Order, "playlist", std::nullopt},
      {P::Order, "", std::nullopt},
  };
  for (const LoopRow& row : loops)
    EXPECT_EQ(PlayModeForLoopStatus(row.current, row.loop), row.result) << static_cast<int>(row.current) << row.loop;
  struct ShuffleRow {
    P current;
    bool shuffle;
    P result;
  } shuffles[] = {
      {P::Order, true, P::Random},   {P::Single, true, P::Random}, {P::One, true, P::Random},
      {P::Random, true, P::Random},  {P::Random, false, P::Order}, {P::Single, false, P::Single},
      {P::One, false, P::One},       {P::Order, false, P::Order},
  };
  for (const ShuffleRow& row : shuffles)
    EXPECT_EQ(PlayModeForShuffle(row.current, row.shuffle), row.result) << static_cast<int>(row.current);
}

const MprisProperty& Property(std::string_view name) {
  const MprisProperty* p = FindMprisProperty(kMprisPlayerInterface, name);
  if (!p) p = FindMprisProperty(kMprisRootInterface, name);
  EXPECT_NE(p, nullptr) << name;
  return *p;
}

std::vector<int> Orders(const MediaPlayer& p) {
  std::vector<int> orders;
  for (const ListEntry& e : p.state.entries) orders.push_back(e.order);
  return orders;
}

TEST(MprisPlayOrder, WritesGoThroughThePlayOrderMenu) {
  MediaPlayer p(8);
  p.state.shuffleSeed = 7;
  SetMprisProperty(p.state, Property("Shuffle"), true);
  EXPECT_EQ(p.state.playMode, PlayMode::Random);
  EXPECT_TRUE(p.window.menuChecks[kMenuRandom]);
  EXPECT_EQ(p.window.buttonIcons[kButtonPlayOrder], kIconRandom);
  const std::vector<int> shuffled = Orders(p);
  // Asked again for what is in force, the order is not shuffled anew, nor
  // by a LoopStatus that keeps it.
  p.state.shuffleSeed = 8;
  SetMprisProperty(p.state, Property("Shuffle"), true);
  SetMprisProperty(p.state, Property("LoopStatus"), std::string("Playlist"));
  EXPECT_EQ(Orders(p), shuffled);
  SetMprisProperty(p.state, Property("LoopStatus"), std::string("Track"));
  EXPECT_EQ(p.state.playMode, PlayMode::Single);
  EXPECT_TRUE(p.window.menuChecks[kMenuSingle]);
  EXPECT_FALSE(p.window.menuChecks[kMenuRandom]);
  EXPECT_EQ(Orders(p), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  SetMprisProperty(p.state, Property("LoopStatus"), std::string("Sometimes"));
  EXPECT_EQ(p.state.playMode, PlayMode::Single);
}

// ---- volume and the other writes

TEST(MprisVolume, WrittenAsAFraction) {
  struct Row {
    double fraction;
    int volume;
    int bar;
  } rows[] = {{0.5, 500, 50}, {0.37, 370, 37}, {0.3333, 333, 33}, {1.7, 1000, 100},
              {-0.3, 0, 0},   {0.0, 0, 0},     {1.0, 1000, 100}};
  for (const Row& row : rows) {
    MediaPlayer p(1);
    p.state.volume = 620;
    SetMprisProperty(p.state, Property("Volume"), row.fraction);
    EXPECT_EQ(p.state.volume, row.volume) << row.fraction;
    EXPECT_EQ(p.window.volumeBar, row.bar) << row.fraction;
    EXPECT_TRUE(p.device.Sent("setaudio qel volume to " + std::to_string(row.volume))) << row.fraction;
  }
  MediaPlayer p(1);
  p.state.volume = 620;
  SetMprisProperty(p.state, Property("Volume"), std::nan(""));
  SetMprisProperty(p.state, Property("Volume"), std::string("0.5"));
  EXPECT_EQ(p.state.volume, 620);
  EXPECT_TRUE(p.device.commands.empty());
}

TEST(MprisProperties, OnlyWritablePropertiesOfTheirTypeAreTaken) {
  EXPECT_TRUE(MprisAccepts(Property("Volume"), 0.5));
  EXPECT_FALSE(MprisAccepts(Property("Volume"), std::string("loud")));
  EXPECT_TRUE(MprisAccepts(Property("LoopStatus"), std::string("None")));
  EXPECT_FALSE(MprisAccepts(Property("LoopStatus"), true));
  EXPECT_TRUE(MprisAccepts(Property("Shuffle"), false));
  EXPECT_FALSE(MprisAccepts(Property("Position"), 10LL));
  EXPECT_FALSE(MprisAccepts(Property("PlaybackStatus"), std::string("Playing")));
  EXPECT_FALSE(MprisAccepts(Property("Identity"), std::string("Other")));
}

// ---- what the view shows

MprisMap MetadataOf(const MprisView& view) {
  return std::get<MprisMap>(Property("Metadata").get(view, MprisAbout()));
}

TEST(MprisView, MetadataOfTheCurrentEntry) {
  MediaPlayer p(2);
  p.device.On("status Qel_ length", {0, "95000"});
  p.state.entries[1].title = "夜の歌";
  const std::string picture = p.folder.Touch("0.jpg");
  p.state.settings.NoExt = true;
  MprisView view = ReadMprisView(p.state, nullptr);
  MprisMap meta = MetadataOf(view);
  EXPECT_EQ(meta["mpris:trackid"], MprisEntry(MprisObjectPath{MprisTrackId(p.Path(0))}));
  EXPECT_EQ(meta["xesam:title"], MprisEntry(std::string("0")));  // as the row shows it
  EXPECT_EQ(meta["xesam:url"], MprisEntry(FileUri(p.Path(0))));
  // Not open, so the file's headers alone tell (these hold none): the
  // device's probe would load the media engine for a list that plays nothing.
  EXPECT_EQ(meta["mpris:length"], MprisEntry(0LL));
  EXPECT_EQ(p.device.Count("status Qel_ length"), 0);
  EXPECT_EQ(meta["mpris:artUrl"], MprisEntry(FileUri(picture)));
  EXPECT_EQ(std::get<std::string>(Property("PlaybackStatus").get(view, {})), "Stopped");

  p.state.currentIndex = 1;
  view = ReadMprisView(p.state, &view);
  meta = MetadataOf(view);
  EXPECT_EQ(meta["xesam:title"], MprisEntry(std::string("夜の歌")));
  EXPECT_EQ(meta.count("mpris:artUrl"), 0u);

  p.state.currentIndex = -1;
  meta = MetadataOf(ReadMprisView(p.state, &view));
  EXPECT_EQ(meta, (MprisMap{{"mpris:trackid", MprisObjectPath{std::string(kMprisNoTrack)}}}));
}

TEST(MprisView, TheLengthMeasuredOnceIsKept) {
  MediaPlayer p(1);
  p.device.On("status Qel_ length", {0, "95000"});
  p.model.mode = "playing";
  p.model.openPath = p.Path(0);
  MprisView view = ReadMprisView(p.state, nullptr);
  EXPECT_EQ(p.device.Count("status Qel_ length"), 1);
  for (int i = 0; i < 5; ++i) view = ReadMprisView(p.state, &view);
  EXPECT_EQ(p.device.Count("status Qel_ length"), 1);
  // The slider's own measure of the file is taken as it is.
  p.state.lengthPath = p.Path(0);
  p.state.lengthStamp = StampOf(p.Path(0));
  p.state.lengthSeconds = 42;
  EXPECT_EQ(ReadMprisView(p.state, nullptr).track->lengthUs, 42'000'000LL);
}

// ---- which changes are told

TEST(MprisChanges, EachChangeNamesItsProperties) {
  MprisView base;
  base.mode = "playing";
  base.order = PlayMode::Order;
  base.volume = 500;
  base.hasList = true;
  base.track = MprisTrack{"/m/a.mp3", MprisTrackId("/m/a.mp3"), "a", 95'000'000, ""};
  base.positionUs = 10'000'000;
  struct Row {
    const char* what;
    void (*change)(MprisView&);
    std::vector<std::string_view> names;
  } rows[] = {
      {"nothing", [](MprisView&) {}, {}},
      {"the position moves on", [](MprisView& v) { v.positionUs += 100'000; }, {}},
      {"a seek", [](MprisView& v) { v.seeks++; v.positionUs = 0; }, {}},
      {"pause", [](MprisView& v) { v.mode = "paused"; }, {"PlaybackStatus"}},
      {"stop", [](MprisView& v) { v.mode = ""; }, {"PlaybackStatus", "CanSeek"}},
      {"stopped at the end", [](MprisView& v) { v.mode = "stopped"; }, {"PlaybackStatus", "CanSeek"}},
      {"shuffle", [](MprisView& v) { v.order = PlayMode::Random; }, {"Shuffle"}},
      {"repeat one", [](MprisView& v) { v.order = PlayMode::Single; }, {"LoopStatus"}},
      {"volume", [](MprisView& v) { v.volume = 450; }, {"Volume"}},
      {"next track", [](MprisView& v) { v.track = MprisTrack{"/m/b.mp3", MprisTrackId("/m/b.mp3"), "b", 1, ""}; },
       {"Metadata"}},
      {"retitled", [](MprisView& v) { v.track->title = "A"; }, {"Metadata"}},
      {"a picture appears", [](MprisView& v) { v.track->picture = "/m/a.png"; }, {"Metadata"}},
      {"no length known", [](MprisView& v) { v.track->lengthUs = 0; }, {"Metadata", "CanSeek"}},
      {"the list cleared",
       [](MprisView& v) {
         v = MprisView();
         v.volume = 500;
       },
       {"PlaybackStatus", "Metadata", "CanGoNext", "CanGoPrevious", "CanPlay", "CanPause", "CanSeek"}},
  };
  for (const Row& row : rows) {
    MprisView after = base;
    row.change(after);
    std::vector<std::string_view> names;
    for (const MprisProperty* p : ChangedMprisProperties(base, after, MprisAbout())) names.push_back(p->name);
    EXPECT_EQ(names, row.names) << row.what;
  }
}

TEST(MprisChanges, JumpsOfThePosition) {
  MprisView playing;
  playing.mode = "playing";
  playing.track = MprisTrack{"/m/a.mp3", MprisTrackId("/m/a.mp3"), "a", 95'000'000, ""};
  playing.positionUs = 30'000'000;
  struct Row {
    const char* what;
    void (*change)(MprisView&);
    bool jumped;
  } rows[] = {
      {"plays on", [](MprisView& v) { v.positionUs += 100'000; }, false},
      {"a late tick", [](MprisView& v) { v.positionUs += 3'000'000; }, false},
      {"a little unevenness", [](MprisView& v) { v.positionUs -= 200'000; }, false},
      {"a seek forward", [](MprisView& v) { v.seeks++; v.positionUs += 1'000'000; }, true},
      {"a seek to where it was", [](MprisView& v) { v.seeks++; }, true},
      {"a seek while paused", [](MprisView& v) { v.seeks++; v.mode = "paused"; }, true},
      {"started again", [](MprisView& v) { v.positionUs = 0; }, true},
      {"another track from 0",
       [](MprisView& v) {
         v.track = MprisTrack{"/m/b.mp3", MprisTrackId("/m/b.mp3"), "b", 1, ""};
         v.positionUs = 0;
         v.seeks++;
       },
       false},
      {"stopped", [](MprisView& v) { v.mode = ""; v.positionUs = 0; }, false},
  };
  for (const Row& row : rows) {
    MprisView after = playing;
    row.change(after);
    EXPECT_EQ(MprisPositionJumped(playing, after), row.jumped) << row.what;
  }
  MprisView stopped = playing;
  stopped.mode = "";
  stopped.positionUs = 0;
  EXPECT_FALSE(MprisPositionJumped(stopped, playing)) << "a start is no jump";
}

// ---- methods

const MprisMethod& Method(std::string_view name) {
  const MprisMethod* m = FindMprisMethod(kMprisPlayerInterface, name);
  if (!m) m = FindMprisMethod(kMprisRootInterface, name);
  EXPECT_NE(m, nullptr) << name;
  return *m;
}

enum class Start { Closed, Playing, Paused };

struct MethodRow {
  const char* what;
  Start start;
  std::string_view method;
  long long number;
  std::string mode;       // the device afterwards
  int open;               // the entry open afterwards, -1 for none
  long long positionMs;   // where it stands afterwards (-1: anywhere)
};

void Prepare(MediaPlayer& p, Start start) {
  p.device.On("status Qel_ length", {0, "95000"});
  p.state.lengthPath = p.Path(0);
  p.state.lengthStamp = StampOf(p.Path(0));
  p.state.lengthSeconds = 95;
  if (start == Start::Closed) return;
  ListEntry entry = p.state.entries[0];
  PlayEntry(p.state, entry, 0, p.state.lastIndex);
  p.model.positionMs = 30'000;
  if (start == Start::Paused) TogglePause(p.state);
}

TEST(MprisMethods, EachDoesWhatThePlayerWould) {
  const MethodRow rows[] = {
      {"play/pause opens", Start::Closed, "PlayPause", 0, "playing", 0, 0},
      {"play/pause pauses", Start::Playing, "PlayPause", 0, "paused", 0, 30'000},
      {"play/pause resumes", Start::Paused, "PlayPause", 0, "playing", 0, 30'000},
      {"play opens", Start::Closed, "Play", 0, "playing", 0, 0},
      {"play resumes", Start::Paused, "Play", 0, "playing", 0, 30'000},
      {"play while playing", Start::Playing, "Play", 0, "playing", 0, 30'000},
      {"pause pauses", Start::Playing, "Pause", 0, "paused", 0, 30'000},
      {"pause while paused", Start::Paused, "Pause", 0, "paused", 0, 30'000},
      {"pause with nothing open", Start::Closed, "Pause", 0, "", -1, 0},
      {"stop", Start::Playing, "Stop", 0, "", -1, -1},
      {"next", Start::Playing, "Next", 0, "playing", 1, 0},
      {"previous from the first", Start::Playing, "Previous", 0, "playing", 2, 0},
      {"seek forward", Start::Playing, "Seek", 5'000'000, "playing", 0, 35'000},
      {"seek back past the start", Start::Playing, "Seek", -50'000'000, "playing", 0, 0},
      {"seek while paused stays paused", Start::Paused, "Seek", 10'500'000, "paused", 0, 40'500},
      {"seek past the end ends the file", Start::Playing, "Seek", 70'000'000, "playing", 1, 0},
      {"seek as far as can be", Start::Playing, "Seek", std::numeric_limits<long long>::max(), "playing", 1, 0},
      {"seek as far back as can be", Start::Playing, "Seek", std::numeric_limits<long long>::min(), "playing", 0, 0},
      {"seek with nothing open", Start::Closed, "Seek", 5'000'000, "", -1, 0},
      {"set position", Start::Playing, "SetPosition", 61'250'000, "playing", 0, 61'250},
      {"set position while paused", Start::Paused, "SetPosition", 1'000'000, "paused", 0, 1'000},
      {"set position before the start", Start::Playing, "SetPosition", -1, "playing", 0, 30'000},
      {"set position past the length", Start::Playing, "SetPosition", 95'000'001, "playing", 0, 30'000},
      {"set position at the length ends the file", Start::Playing, "SetPosition", 95'000'000, "playing", 1, 0},
  };
  for (const MethodRow& row : rows) {
    MediaPlayer p(3);
    Prepare(p, row.start);
    MprisCall call{row.number, MprisTrackId(p.Path(0))};
    RunMprisMethod(p.state, Method(row.method), call);
    EXPECT_EQ(p.model.mode, row.mode) << row.what;
    EXPECT_EQ(p.OpenIndex(), row.open) << row.what;
    if (row.positionMs >= 0) {
      EXPECT_EQ(p.model.positionMs, row.positionMs) << row.what;
    }
  }
}

TEST(MprisMethods, SeeksAreCountedAndShown) {
  MediaPlayer p(1);
  Prepare(p, Start::Paused);
  const uint32_t before = p.state.seeks;
  RunMprisMethod(p.state, Method("Seek"), {12'000'000, ""});
  EXPECT_EQ(p.state.seeks, before + 1);
  EXPECT_EQ(p.window.position, 420);  // tenths of a second
  EXPECT_EQ(p.window.timeText, "00:42 / 01:35");
}

TEST(MprisMethods, AStaleTrackIdIsIgnored) {
  MediaPlayer p(2);
  Prepare(p, Start::Playing);
  p.device.Clear();
  RunMprisMethod(p.state, Method("SetPosition"), {10'000'000, MprisTrackId(p.Path(1))});
  EXPECT_EQ(p.model.positionMs, 30'000);
  EXPECT_FALSE(p.device.Sent("pause qel"));
}

TEST(MprisMethods, OpenUriIsAHandOff) {
  MediaPlayer p(2);
  test::MediaFolder other;
  const std::string first = other.Touch("a 1.mp3");
  other.Touch("b.ogg");
  ASSERT_EQ(MprisHandOffLine(p.state, "file://" + other.path + "/"), "\"" + other.path + "\"");
  RunMprisMethod(p.state, Method("OpenUri"), {0, FileUri(other.path)});
  ASSERT_EQ(p.state.entries.size(), 2u);
  EXPECT_EQ(p.state.entries[0].path, first);
  EXPECT_EQ(p.model.openPath, first);
  EXPECT_EQ(p.model.mode, "playing");

  // A URI that names no local file changes nothing.
  EXPECT_EQ(MprisHandOffLine(p.state, "https://example.org/a.mp3"), std::nullopt);
  RunMprisMethod(p.state, Method("OpenUri"), {0, "https://example.org/a.mp3"});
  EXPECT_EQ(p.model.openPath, first);

  // A named player's line carries its name, as a second start's does.
  p.state.instanceName = "-work";
  EXPECT_EQ(MprisHandOffLine(p.state, "file:///m/a%20b.mp3"), "-work \"/m/a b.mp3\"");

  // No path is longer than the system's limit: a longer one is refused
  // without being looked at, however it is written.
  const std::string longest = "/" + std::string(PATH_MAX - 2, 'a');
  EXPECT_NE(MprisHandOffLine(p.state, FileUri(longest)), std::nullopt);
  EXPECT_EQ(MprisHandOffLine(p.state, FileUri(longest + "a")), std::nullopt);
  EXPECT_EQ(MprisHandOffLine(p.state, "file:///" + std::string(10 << 20, 'a')), std::nullopt);
  EXPECT_EQ(MprisHandOffLine(p.state, FileUri("/" + std::string(PATH_MAX, '\xe3'))), std::nullopt);
}

TEST(MprisMethods, RaiseAndQuitGoToTheWindow) {
  MediaPlayer p(1);
  RunMprisMethod(p.state, Method("Raise"), {});
  EXPECT_EQ(p.window.activations, 1);
  RunMprisMethod(p.state, Method("Quit"), {});
  EXPECT_EQ(p.window.closeRequests, 1);
}

TEST(MprisMethods, ARateOfNothingPauses) {
  MediaPlayer p(1);
  Prepare(p, Start::Playing);
  SetMprisProperty(p.state, Property("Rate"), 2.0);
  EXPECT_EQ(p.model.mode, "playing");
  SetMprisProperty(p.state, Property("Rate"), 0.0);
  EXPECT_EQ(p.model.mode, "paused");
}

}  // namespace
}  // namespace qel
