#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/device.h"
#include "engine/smf.h"

namespace fs = std::filesystem;
using qel::engine::Engine;

namespace {

const std::string kData = QEL_ENGINE_DATA;

// The user-interface thread of a test: tasks the engine posts run in Run().
struct Harness {
  std::mutex mutex;
  std::deque<std::function<void()>> tasks;
  std::vector<std::pair<int, std::string>> notes;
  Engine engine{[this](std::function<void()> t) {
    std::lock_guard l(mutex);
    tasks.push_back(std::move(t));
  }};
  Harness() {
    setenv("QEL_AUDIO_OUTPUT", "null", 1);
    engine.SetNotifyHandler([this](int code, const std::string& alias) { notes.push_back({code, alias}); });
  }
  void Run(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      std::function<void()> t;
      {
        std::lock_guard l(mutex);
        if (!tasks.empty()) {
          t = std::move(tasks.front());
          tasks.pop_front();
        }
      }
      if (t) t();
      else std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < end);
  }
  std::string Ask(const std::string& cmd, int* err = nullptr) {
    std::string a;
    int e = engine.Send(cmd, &a);
    if (err) *err = e;
    return a;
  }
  long long Number(const std::string& cmd) { return std::atoll(Ask(cmd).c_str()); }
};

struct TempDir {
  fs::path path;
  TempDir() {
    char tmpl[] = "/tmp/qel-engine-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path); }
};

// 16-bit mono PCM WAV of `ms` milliseconds of a square wave.
void WriteWav(const fs::path& p, int ms) {
  const int rate = 8000, n = rate * ms / 1000;
  std::ofstream o(p, std::ios::binary);
  auto u32 = [&](uint32_t v) { o.write(reinterpret_cast<char*>(&v), 4); };
  auto u16 = [&](uint16_t v) { o.write(reinterpret_cast<char*>(&v), 2); };
  o.write("RIFF", 4); u32(36 + n * 2); o.write("WAVEfmt ", 8); u32(16); u16(1); u16(1); u32(rate);
  u32(rate * 2); u16(2); u16(16); o.write("data", 4); u32(n * 2);
  for (int i = 0; i < n; ++i) u16((i / 10) % 2 ? 8000 : static_cast<uint16_t>(-8000));
}

}  // namespace

TEST(EngineFormats, LengthsOfEveryFormatAgreeWithTheirDurations) {
  Harness h;
  struct { const char* file; long long ms; } table[] = {
      {"tone.mp3", 2000}, {"tone.ogg", 2000}, {"tone.flac", 2000}, {"tone.m4a", 2000},
      {"clip.mp4", 2000}, {"clip.mkv", 2000}, {"clip.avi", 2000}, {"song.mid", 3000}};
  for (auto& row : table) {
    std::string path = kData + "/" + row.file;
    ASSERT_EQ(h.engine.Send("open \"" + path + "\" alias Qel_ type mpegvideo shareable"), 0) << row.file;
    EXPECT_NEAR(h.Number("status Qel_ length"), row.ms, 80) << row.file;
    h.engine.Send("close Qel_");
    ASSERT_EQ(h.engine.Send("OPEN \"" + path + "\"  Alias Song"), 0) << row.file;
    EXPECT_NEAR(h.Number("status song length"), row.ms, 80) << row.file;
    EXPECT_EQ(h.Ask("status song mode"), "stopped");
    bool video = std::string(row.file).rfind("clip", 0) == 0;
    EXPECT_EQ(h.Ask("where song source"), video ? "0 0 160 120" : "") << row.file;
    h.engine.Send("close song");
  }
}

TEST(EnginePlayback, PositionModesSeeksAndOneSuccessfulNotification) {
  Harness h;
  TempDir dir;
  fs::path wav = dir.path / "ファイル with space.wav";
  WriteWav(wav, 1500);
  ASSERT_EQ(h.engine.Send("open \"" + wav.string() + "\" alias qel type mpegvideo shareable parent 5 style child"), 0);
  h.engine.Send("set qel seek exactly on");
  h.engine.Send("set qel time format milliseconds");
  EXPECT_NEAR(h.Number("status qel length"), 1500, 20);
  EXPECT_EQ(h.engine.Send("play qel  notify"), 0);
  EXPECT_EQ(h.Ask("status qel mode"), "playing");
  h.Run(400);
  long long p1 = h.Number("status qel position");
  EXPECT_GT(p1, 100);
  h.engine.Send("pause qel");
  EXPECT_EQ(h.Ask("status qel mode"), "paused");
  long long p2 = h.Number("status qel position");
  h.Run(300);
  EXPECT_EQ(h.Number("status qel position"), p2);
  h.engine.Send("seek qel to 700");
  EXPECT_EQ(h.Number("status qel position"), 700);
  EXPECT_EQ(h.Ask("status qel mode"), "stopped");
  h.Run(50);
  ASSERT_EQ(h.notes.size(), 1u);
  EXPECT_EQ(h.notes[0], (std::pair<int, std::string>{qel::kNotifyAborted, "qel"}));
  h.notes.clear();
  h.engine.Send("play qel notify");
  h.engine.Send("play qel notify");  // supersedes the first
  h.Run(1400);
  EXPECT_EQ(h.Ask("status qel mode"), "stopped");
  EXPECT_EQ(h.Number("status qel position"), h.Number("status qel length"));
  h.Run(100);
  ASSERT_EQ(h.notes.size(), 2u);
  EXPECT_EQ(h.notes[0].first, qel::kNotifySuperseded);
  EXPECT_EQ(h.notes[1].first, qel::kNotifySuccessful);
}

TEST(EnginePlayback, ClosedDeviceNotificationsAreDroppedAndProbeLeavesPlayingAlone) {
  Harness h;
  std::string mp3 = kData + "/tone.mp3";
  ASSERT_EQ(h.engine.Send("open \"" + mp3 + "\" alias qel"), 0);
  h.engine.Send("play qel notify");
  h.Run(200);
  ASSERT_EQ(h.engine.Send("open \"" + kData + "/clip.mkv\" alias Qel_ type mpegvideo shareable"), 0);
  h.engine.Send("close Qel_");
  EXPECT_EQ(h.Ask("status qel mode"), "playing");
  h.engine.Send("stop qel");
  h.engine.Send("close qel");
  ASSERT_EQ(h.engine.Send("open \"" + mp3 + "\" alias qel"), 0);
  h.Run(100);
  EXPECT_TRUE(h.notes.empty());  // the aborted one belonged to the closed file
}

TEST(EngineMidi, PlaysThroughTheSynthesizerAndEndsOnTime) {
  Harness h;
  auto devices = h.engine.MidiOutputDevices();
  ASSERT_FALSE(devices.empty());
  ASSERT_EQ(h.engine.Send("open \"" + kData + "/song.mid\" alias m type sequencer"), 0);
  EXPECT_EQ(h.Number("status m length"), 3000);
  EXPECT_EQ(h.engine.Send("set m port 0"), 0);
  EXPECT_NE(h.engine.Send("set m port 99"), 0);
  h.engine.TakeMidiOutputPeak();
  h.engine.Send("seek m to 2000");
  EXPECT_EQ(h.Number("status m position"), 2000);
  h.engine.Send("play m notify");
  h.Run(500);
  EXPECT_GT(h.engine.TakeMidiOutputPeak(), 0.001);
  h.Run(700);
  EXPECT_EQ(h.Ask("status m mode"), "stopped");
  ASSERT_EQ(h.notes.size(), 1u);
  EXPECT_EQ(h.notes[0].first, qel::kNotifySuccessful);
}

TEST(EngineMidi, TempoMapGivesExactTimes) {
  auto song = qel::engine::ReadSmfFile(kData + "/song.mid");
  ASSERT_TRUE(song);
  EXPECT_DOUBLE_EQ(song->lengthMs, 3000);
  ASSERT_EQ(song->events.size(), 9u);  // program change and four notes on and off
  EXPECT_DOUBLE_EQ(song->events[5].ms, 1000);
  EXPECT_DOUBLE_EQ(song->events[7].ms, 2000);
  EXPECT_FALSE(qel::engine::ParseSmf({'M', 'T', 'h', 'd', 0, 0}));
}

TEST(EngineInput, BadInputGivesErrorNumbers) {
  Harness h;
  TempDir dir;
  std::ofstream(dir.path / "text.mp3") << "this is no sound at all\n";
  {
    std::ofstream r(dir.path / "random.mp4", std::ios::binary);
    for (int i = 0; i < 5000; ++i) r.put(static_cast<char>((i * 7919 + 13) % 251));
  }
  std::ifstream src(kData + "/clip.mp4", std::ios::binary);
  std::string head(4000, '\0');
  src.read(head.data(), head.size());
  std::ofstream(dir.path / "cut.mp4", std::ios::binary) << head;
  std::ofstream(dir.path / "cut.mid", std::ios::binary) << std::string("MThd\0\0\0\6\0\1\0\1", 12);
  const std::string bad[] = {
      "", "   ", "frobnicate qel", "status nothere mode", "play", "open \"unclosed alias x",
      "open \"" + (dir.path / "missing.mp3").string() + "\" alias x",
      "open \"" + (dir.path / "text.mp3").string() + "\" alias x",
      "open \"" + (dir.path / "random.mp4").string() + "\" alias x",
      "open \"" + (dir.path / "cut.mp4").string() + "\" alias Qel_ type mpegvideo shareable",
      "open \"" + (dir.path / "cut.mid").string() + "\" alias x type sequencer",
      "open \"" + (dir.path / "text.mp3").string() + "\" alias Qel_ type mpegvideo shareable",
  };
  for (const auto& cmd : bad) {
    std::string answer = "x";
    EXPECT_NE(h.engine.Send(cmd, &answer), 0) << cmd;
    EXPECT_EQ(answer, "") << cmd;
  }
  ASSERT_EQ(h.engine.Send("open \"" + kData + "/clip.mp4\" alias v"), 0);
  EXPECT_NE(h.engine.Send("setaudio v volume to 1001"), 0);
  EXPECT_EQ(h.engine.Send("setaudio v volume to 500"), 0);
  EXPECT_NE(h.engine.Send("seek v to banana"), 0);
  EXPECT_NE(h.engine.Send("put v destination at 0 0 0 10"), 0);
  EXPECT_NE(h.engine.Send("open \"" + kData + "/clip.mp4\" alias V"), 0);  // duplicate alias
  EXPECT_TRUE(h.engine.OpenAliases().size() == 1);
}

TEST(EngineVideo, FrameAtTheDestinationSize) {
  Harness h;
  struct Sink : Engine::VideoSink {
    int frames = 0;
    void FrameReady() override { ++frames; }
    int Width() override { return 200; }
    int Height() override { return 100; }
  } sink;
  h.engine.RegisterSurface(42, &sink);
  ASSERT_EQ(h.engine.Send("open \"" + kData + "/clip.mp4\" alias v type mpegvideo shareable"), 0);
  EXPECT_EQ(h.engine.Send("window v handle 42"), 0);
  EXPECT_EQ(h.engine.Send("put v destination at -33 0 267 100"), 0);
  EXPECT_EQ(h.Ask("where v destination"), "-33 0 267 100");
  h.Run(200);
  auto pic = h.engine.CurrentFrame("v");
  ASSERT_TRUE(pic);
  EXPECT_EQ(pic->width, 267);
  EXPECT_EQ(pic->height, 100);
  ASSERT_EQ(pic->pixels.size(), 267u * 100 * 4);
  bool colour = false;
  for (size_t i = 0; i < pic->pixels.size(); i += 4) colour |= pic->pixels[i] + pic->pixels[i + 1] + pic->pixels[i + 2] > 0;
  EXPECT_TRUE(colour);
  auto frame = h.engine.VideoFrame(42);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->destination, (qel::Rect{-33, 0, 234, 100}));
  EXPECT_GT(sink.frames, 0);
  h.engine.UnregisterSurface(42);
  EXPECT_FALSE(h.engine.CurrentFrame("nothing"));
}
