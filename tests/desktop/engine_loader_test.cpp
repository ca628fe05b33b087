// The engine as the program gets it: nothing of the media stack is mapped
// until a file is opened; until then the loader answers as the engine does
// with nothing open, and what it was handed reaches the engine once loaded.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "desktop/engine_loader.h"

namespace qel::desktop {
namespace {

const std::string kData = QEL_ENGINE_DATA;

bool Mapped(const std::string& library) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find(library) != std::string::npos) return true;
  return false;
}

// The test thread stands in for the user-interface thread.
struct Queue {
  std::mutex mutex;
  std::deque<std::function<void()>> tasks;
  engine::Poster Poster() {
    return [this](std::function<void()> task) {
      std::lock_guard lock(mutex);
      tasks.push_back(std::move(task));
    };
  }
  bool RunUntil(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < end) {
      std::function<void()> task;
      {
        std::lock_guard lock(mutex);
        if (!tasks.empty()) {
          task = std::move(tasks.front());
          tasks.pop_front();
        }
      }
      if (task) task();
      else std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
  }
};

struct Sink : engine::VideoSink {
  void FrameReady() override {}
  int Width() override { return 160; }
  int Height() override { return 120; }
};

TEST(EngineLoader, NothingIsLoadedUntilAFileIsOpened) {
  Queue queue;
  EngineLoader loader({QEL_ENGINE_MODULE_FILE}, queue.Poster());
  std::vector<int> notes;
  loader.SetNotifyHandler([&](int code, const std::string&, engine::NotifyCurrent) { notes.push_back(code); });
  Sink sink;
  loader.RegisterSurface(7, &sink);
  loader.SetWaveOutputVolume(0.5);

  // What the player asks at start, before anything plays, with the answers
  // of a device that has nothing open.
  const std::pair<const char*, int> asked[] = {
      {"status qel mode", 263}, {"stop qel", 263},  {"close qel", 263}, {"setaudio qel volume to 500", 263},
      {"status qel position", 263}, {"close all", 0}, {"bogus qel", 261}, {"status", 292},
      {"", 267}, {"open \"unclosed", 294},
  };
  for (const auto& [command, error] : asked) {
    std::string answer = "stale";
    EXPECT_EQ(loader.Send(command, &answer), error) << command;
    EXPECT_EQ(answer, "") << command;
  }
  const auto extensions = loader.PlayableExtensions();
  EXPECT_NE(std::find(extensions.begin(), extensions.end(), "mp3"), extensions.end());
  EXPECT_NE(std::find(extensions.begin(), extensions.end(), "mid"), extensions.end());
  EXPECT_FALSE(loader.VideoFrame(7));
  EXPECT_FALSE(loader.CurrentFrame("qel"));
  EXPECT_FALSE(loader.Loaded());
  for (const char* library : {"libmpv.so", "libavformat.so", "libfluidsynth.so", "qel-engine.so"})
    EXPECT_FALSE(Mapped(library)) << library << " is mapped before anything was opened";

  // The first open loads it, and it then answers as the loader did. An MP3
  // needs libmpg123, not libmpv, nor the MIDI synthesizer.
  ASSERT_EQ(loader.Send("open \"" + kData + "/tone.mp3\" alias qel"), 0);
  EXPECT_TRUE(loader.Loaded());
  EXPECT_TRUE(Mapped("libmpg123.so"));
  for (const char* library : {"libmpv.so", "libavformat.so", "libfluidsynth.so"})
    EXPECT_FALSE(Mapped(library)) << library << " is mapped for an MP3";
  for (const auto& [command, error] : asked) {
    const std::string text = command;
    // qel is open now, and "close all" would close it.
    if (text.find(" qel") != std::string::npos || text == "close all") continue;
    EXPECT_EQ(loader.Send(text), error) << text << ", from the engine";
  }
  EXPECT_EQ(loader.Send("status other mode"), 263);
  std::string length;
  EXPECT_EQ(loader.Send("status qel length", &length), 0);
  EXPECT_GT(std::stoll(length), 500);

  // The handler given before the engine was there gets its notifications.
  ASSERT_EQ(loader.Send("play qel notify"), 0);
  ASSERT_EQ(loader.Send("stop qel"), 0);
  EXPECT_TRUE(queue.RunUntil([&] { return !notes.empty(); }, 3000));
  EXPECT_EQ(notes, std::vector<int>{kNotifyAborted});
  EXPECT_EQ(loader.Send("close qel"), 0);

  // A video brings libmpv, a song the synthesizer, each when first opened.
  ASSERT_EQ(loader.Send("open \"" + kData + "/clip.mp4\" alias qel"), 0);
  EXPECT_TRUE(Mapped("libmpv.so"));
  EXPECT_FALSE(Mapped("libfluidsynth.so"));
  ASSERT_EQ(loader.Send("open \"" + kData + "/song.mid\" alias song"), 0);
  EXPECT_TRUE(Mapped("libfluidsynth.so"));
  EXPECT_EQ(loader.Send("close all"), 0);
}

// A start about to play maps what its file needs on a worker thread: the
// engine alone for an MP3, the engine and libmpv for a video.
TEST(EngineLoader, APreloadMapsWhatTheFileWillNeed) {
  Queue queue;
  {
    EngineLoader loader({QEL_ENGINE_MODULE_FILE}, queue.Poster());
    loader.Preload(".mp3");
  }  // the preload is done when the loader goes
  EXPECT_TRUE(Mapped("qel-engine.so"));
  EXPECT_FALSE(Mapped("libmpv.so"));
  {
    EngineLoader loader({QEL_ENGINE_MODULE_FILE}, queue.Poster());
    loader.Preload(".mp4");
  }
  EXPECT_TRUE(Mapped("libmpv.so"));
  EXPECT_FALSE(Mapped("libfluidsynth.so"));
}

TEST(EngineLoader, WithoutItsModuleNothingOpens) {
  Queue queue;
  const std::string notModule = kData + "/tone.mp3";
  EngineLoader loader({"/nonexistent/qel-engine.so", notModule}, queue.Poster());
  EXPECT_EQ(loader.Send("open \"" + kData + "/tone.mp3\" alias qel"), 265);
  EXPECT_FALSE(loader.Loaded());
  EXPECT_EQ(loader.Send("status qel mode"), 263);
  EXPECT_TRUE(loader.MidiOutputDevices().empty());
}

}  // namespace
}  // namespace qel::desktop
