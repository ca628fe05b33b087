// Positions, seeks and the ends of files through the real engine and the
// player's core, on a private PulseAudio daemon (a sound server's timing) and
// on the null output, which must agree; each for both devices that play
// sampled sound: the engine's own decoders' (WAV, MP3) and libmpv's
// (Matroska, MP4).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "core/metadata/metadata.h"
#include "core/playback/device.h"
#include "core/playback/order.h"
#include "core/playback/position.h"
#include "engine_harness.h"

namespace qel::test {
namespace {

const std::string kData = QEL_ENGINE_DATA;

// An output, and the container the test's sound comes in: "wav" plays on
// the engine's own decoders, "mka" (the same samples in Matroska) on libmpv's.
using OutputAndContainer = std::tuple<const char*, const char*>;

class Outputs : public ::testing::TestWithParam<OutputAndContainer> {
 protected:
  void SetUp() override {
    output_ = std::make_unique<AudioOutput>(std::get<0>(GetParam()));
    ASSERT_TRUE(output_->Ready()) << output_->Error();
  }
  bool ThroughLibmpv() const { return std::string(std::get<1>(GetParam())) == "mka"; }
  // A tone of `ms` as name.wav, or name.mka for libmpv.
  std::string Wav(const std::string& name, int ms) {
    std::string path = dir_ / (name + ".wav");
    WriteWav(path, ms);
    if (!ThroughLibmpv()) return path;
    std::string mka = dir_ / (name + ".mka");
    EXPECT_TRUE(Ffmpeg("-i '" + path + "' -c:a pcm_s16le", mka));
    std::filesystem::remove(path);
    return mka;
  }
  // A position slider whose channel is 300 pixels wide (margins of 9).
  static constexpr Rect kSlider{100, 0, 418, 20};
  void ClickSliderAt(EnginePlayer& p, double fraction) {
    int x = kSlider.left + kSliderChannelMargin + static_cast<int>(fraction * 300);
    OnPositionSlider(p.state, kSliderPageDown, 0, x, kSlider);
  }

  std::unique_ptr<AudioOutput> output_;
  TempDir dir_;
};

INSTANTIATE_TEST_SUITE_P(Engine, Outputs,
                         ::testing::Combine(::testing::Values("pulse", "null"), ::testing::Values("wav", "mka")),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param)) + "_" + std::get<1>(info.param);
                         });

TEST_P(Outputs, PositionsModesSeeksAndOneSuccessfulNotification) {
  EngineLoop h;
  std::string wav = Wav("ファイル with space", 1500);
  ASSERT_EQ(h.engine.Send("open \"" + wav + "\" alias qel type mpegvideo shareable parent 5 style child"), 0);
  h.engine.Send("set qel seek exactly on");
  h.engine.Send("set qel time format milliseconds");
  EXPECT_NEAR(h.Number("status qel length"), 1500, 20);
  EXPECT_EQ(h.engine.Send("play qel  notify"), 0);
  EXPECT_EQ(h.Ask("status qel mode"), "playing");
  ASSERT_TRUE(h.RunUntil([&] { return h.Number("status qel position") > 100; }, 3000));
  h.engine.Send("pause qel");
  EXPECT_EQ(h.Ask("status qel mode"), "paused");
  long long paused = h.Number("status qel position");
  h.Run(300);
  EXPECT_EQ(h.Number("status qel position"), paused);
  h.engine.Send("seek qel to 700");
  EXPECT_EQ(h.Number("status qel position"), 700);
  EXPECT_EQ(h.Ask("status qel mode"), "stopped");
  h.Run(50);
  ASSERT_EQ(h.notes.size(), 1u);
  EXPECT_EQ(h.notes[0], (std::pair<int, std::string>{kNotifyAborted, "qel"}));
  h.notes.clear();

  // From 700 the rest plays out in about 800 ms: neither at once nor never.
  auto start = Clock::now();
  h.engine.Send("play qel notify");
  h.engine.Send("play qel notify");  // supersedes the first
  ASSERT_TRUE(h.RunUntil([&] { return h.Ask("status qel mode") == "stopped"; }, 4000));
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  EXPECT_GT(ms, 600) << "the end came before the sound did";
  EXPECT_EQ(h.Number("status qel position"), h.Number("status qel length"));
  h.Run(100);
  ASSERT_EQ(h.notes.size(), 2u);
  EXPECT_EQ(h.notes[0].first, kNotifySuperseded);
  EXPECT_EQ(h.notes[1].first, kNotifySuccessful);
}

// The engine keeps the player of a closed file for the next one: nothing of
// the old file (its end, its pause, its length) may reach the new.
TEST_P(Outputs, AKeptPlayerStartsTheNextFileAsANewOneWould) {
  EngineLoop h;
  const std::string a = Wav("a", 600), b = Wav("b", 1200);
  for (bool closedAtItsEnd : {true, false}) {
    SCOPED_TRACE(closedAtItsEnd ? "closed at its end" : "closed while playing");
    ASSERT_EQ(h.engine.Send("open \"" + a + "\" alias qel"), 0);
    h.engine.Send("set qel time format milliseconds");
    h.engine.Send("play qel notify");
    if (closedAtItsEnd)
      ASSERT_TRUE(h.RunUntil([&] { return h.Ask("status qel mode") == "stopped"; }, 3000));
    else
      h.Run(200);
    h.engine.Send("close qel");
    h.Run(50);
    h.notes.clear();

    ASSERT_EQ(h.engine.Send("open \"" + b + "\" alias qel"), 0);
    h.engine.Send("set qel time format milliseconds");
    EXPECT_NEAR(h.Number("status qel length"), 1200, 20);
    EXPECT_EQ(h.Ask("status qel mode"), "stopped");
    EXPECT_EQ(h.Number("status qel position"), 0);
    // The probe asks the player, and answers the same.
    ASSERT_EQ(h.engine.Send("open \"" + b + "\" alias Qel_"), 0);
    EXPECT_NEAR(h.Number("status Qel_ length"), 1200, 20);
    h.engine.Send("close Qel_");

    auto start = Clock::now();
    h.engine.Send("play qel notify");
    h.Run(300);
    EXPECT_EQ(h.Ask("status qel mode"), "playing");
    EXPECT_TRUE(h.notes.empty());
    ASSERT_TRUE(h.RunUntil([&] { return h.Ask("status qel mode") == "stopped"; }, 4000));
    const double played = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    EXPECT_GT(played, 900);
    h.Run(100);
    ASSERT_EQ(h.notes.size(), 1u);
    EXPECT_EQ(h.notes[0], (std::pair<int, std::string>{kNotifySuccessful, "qel"}));
    h.engine.Send("close qel");
    h.Run(50);
    h.notes.clear();
  }
}

TEST_P(Outputs, AClickPastTheEndOfTheSliderKeepsPlayingAndTheNextEntryFollows) {
  EnginePlayer p({Wav("a", 2500), Wav("b", 1500)});
  p.PlayIndex(0);
  ASSERT_EQ(p.state.lengthSeconds, 3) << "2.5 s count as 3, so the slider reaches past the sound";
  ASSERT_TRUE(p.loop.RunUntil([&] { return p.PositionMs() > 300; }, 3000));
  ClickSliderAt(p, 1.0);  // 3 s: refused by the device
  long long at = p.PositionMs();
  p.loop.Run(300);
  EXPECT_TRUE(p.Playing(0));
  EXPECT_GT(p.PositionMs(), at);
  ASSERT_TRUE(p.loop.RunUntil([&] { return p.Playing(1); }, 5000)) << "the next entry follows the end";
}

TEST_P(Outputs, AClickAtTheVeryEndStartsTheNextEntry) {
  EnginePlayer p({Wav("a", 2000), Wav("b", 1500)});
  p.PlayIndex(0);
  ASSERT_EQ(p.state.lengthSeconds, 2);
  ASSERT_TRUE(p.loop.RunUntil([&] { return p.PositionMs() > 300; }, 3000));
  ClickSliderAt(p, 1.0);  // 2000 ms: the end itself
  EXPECT_TRUE(p.loop.RunUntil([&] { return p.Playing(1); }, 1500));
}

TEST_P(Outputs, SeekKeysPastALengthThatOverestimatesTheFileKeepPlaying) {
  EnginePlayer p({Wav("a", 2500), Wav("b", 1500)});
  p.PlayIndex(0);
  p.state.lengthSeconds = 30;  // as a header that claims more than is there
  ASSERT_TRUE(p.loop.RunUntil([&] { return p.PositionMs() > 300; }, 3000));
  p.window.position = 5;
  SeekBySeconds(p.state, 10);  // to 11 s
  p.loop.Run(200);
  EXPECT_TRUE(p.Playing(0));
  SeekToTenth(p.state, 9);  // to 27 s
  long long at = p.PositionMs();
  p.loop.Run(300);
  EXPECT_TRUE(p.Playing(0));
  EXPECT_GT(p.PositionMs(), at);
  ASSERT_TRUE(p.loop.RunUntil([&] { return p.Playing(1); }, 5000));
}

TEST_P(Outputs, AFileCutShortUnderThePlayerEndsAndTheNextEntryPlays) {
  // Long enough that the middle is far beyond what the player has read
  // ahead. Cut short, the WAV's length shrinks with it (the click's seek is
  // refused and the rest plays out); the MP3 or MP4 keeps the length its
  // header states (the seek lands where there is nothing left).
  std::string wav = Wav("a", 160000), compressed = dir_ / (ThroughLibmpv() ? "a.m4a" : "a.mp3");
  ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=frequency=440:duration=30 -ac 2 -b:a 320k", compressed));
  for (const auto& [path, keep] : {std::pair{wav, 44 + 16000}, std::pair{compressed, 120000}}) {
    SCOPED_TRACE(path);
    EnginePlayer p({path, Wav("b", 1500)});
    p.PlayIndex(0);
    ASSERT_TRUE(p.loop.RunUntil([&] { return p.PositionMs() > 300; }, 3000));
    // The file shrinks to its first second or three (a copy cut off, a drive
    // going away); then the user clicks in the middle of the slider.
    ASSERT_EQ(truncate(path.c_str(), keep), 0);
    ClickSliderAt(p, 0.5);
    ASSERT_TRUE(p.loop.RunUntil([&] { return p.Playing(1); }, 8000))
        << "mode " << p.Mode() << " at " << p.PositionMs() << " ms of entry " << p.state.currentIndex;
  }
}

TEST_P(Outputs, AFileWithAQuoteInItsNamePlays) {
  const std::string ext = ThroughLibmpv() ? ".m4a" : ".mp3";
  std::string quoted = dir_ / ("a\"b" + ext), plain = dir_ / ("ab" + ext);
  std::filesystem::copy_file(kData + "/tone" + ext, quoted);
  std::filesystem::copy_file(kData + "/tone" + ext, plain);
  EnginePlayer p({quoted});
  p.PlayIndex(0);
  EXPECT_TRUE(p.window.messages.empty());
  EXPECT_EQ(p.window.title, "a\"b" + ext);
  EXPECT_GT(p.state.lengthSeconds, 0);
  EXPECT_EQ(p.state.lengthSeconds, ReadLength(p.state, plain)) << "measured through the device as any name is";
  EXPECT_EQ(p.Mode(), "playing");
  EXPECT_TRUE(p.loop.RunUntil([&] { return p.PositionMs() > 200; }, 3000));
}

// The sound server goes away while a file plays through it (restarted,
// killed): the file ends as a failed one, so the player moves on rather
// than show it playing forever, and the next open finds a server again.
TEST(SoundServer, AServerThatGoesAwayEndsWhatPlaysAsAFailure) {
  AudioOutput output("pulse");
  ASSERT_TRUE(output.Ready()) << output.Error();
  TempDir dir;
  const std::string wav = dir / "a.wav";
  WriteWav(wav, 5000);
  EngineLoop h;
  ASSERT_EQ(h.engine.Send("open \"" + wav + "\" alias qel"), 0);
  h.engine.Send("set qel time format milliseconds");
  h.engine.Send("play qel notify");
  ASSERT_TRUE(h.RunUntil([&] { return h.Number("status qel position") > 200; }, 3000));
  output.Pulse()->Stop();
  ASSERT_TRUE(h.RunUntil([&] { return !h.notes.empty(); }, 3000)) << "still " << h.Ask("status qel mode");
  EXPECT_EQ(h.notes[0], (std::pair<int, std::string>{kNotifyFailure, "qel"}));
  EXPECT_EQ(h.Ask("status qel mode"), "stopped");
  h.engine.Send("close qel");

  std::string error;
  ASSERT_TRUE(output.Pulse()->Start(&error)) << error;
  ASSERT_EQ(h.engine.Send("open \"" + wav + "\" alias qel"), 0);
  h.notes.clear();
  h.engine.Send("play qel notify");
  ASSERT_TRUE(h.RunUntil([&] { return h.Number("status qel position") > 200; }, 3000));
  EXPECT_TRUE(h.notes.empty());
}

}  // namespace
}  // namespace qel::test
