// Loudness as heard: sound rendered by the real engine at the volume the
// player's core gives it, recorded from the null sink of a private PulseAudio
// daemon, its level measured at several slider positions for sampled audio
// (MP3) and MIDI.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

#include "core/playback/volume.h"
#include "engine_harness.h"
#include "recorder.h"

namespace qel::test {
namespace {

// A Standard MIDI File written byte for byte: one track, 120 beats a
// minute, every note held for `seconds` from the start, dry (no reverb or
// chorus send), programs {channel, program} and notes {channel, key, velocity}.
struct HeldNote {
  int channel, key, velocity;
};
std::string HeldNotesSong(std::vector<std::pair<int, int>> programs, std::vector<HeldNote> notes, int seconds) {
  auto vlq = [](int n) {
    std::string out(1, char(n & 0x7F));
    while (n >>= 7) out.insert(out.begin(), char((n & 0x7F) | 0x80));
    return out;
  };
  std::string track = vlq(0) + std::string("\xFF\x51\x03\x07\xA1\x20", 6);  // 500000 us a beat
  for (auto [channel, program] : programs) {
    track += vlq(0) + std::string{char(0xC0 | channel), char(program)};
    track += vlq(0) + std::string{char(0xB0 | channel), 91, 0};  // reverb send
    track += vlq(0) + std::string{char(0xB0 | channel), 93, 0};  // chorus send
  }
  for (const auto& n : notes) track += vlq(0) + std::string{char(0x90 | n.channel), char(n.key), char(n.velocity)};
  int ticks = seconds * 2 * 480;
  for (const auto& n : notes) {
    track += vlq(ticks) + std::string{char(0x80 | n.channel), char(n.key), 0};
    ticks = 0;
  }
  track += vlq(0) + std::string("\xFF\x2F\x00", 3);
  auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
  return std::string("MThd") + be32(6) + std::string("\x00\x00\x00\x01\x01\xE0", 6) + "MTrk" + be32(track.size()) +
         track;
}

class Loudness : public HeardTest {
 protected:
  void SetUp() override {
    HeardTest::SetUp();
    if (HasFatalFailure()) return;
    player_.state.platform.device = &loop_.engine;
    player_.state.mciAlias = "qel";
  }
  void TearDown() override {
    loop_.engine.Send("close all");
    recorder_.reset();
  }

  // The level heard at each slider position: the file plays from its start
  // at the volume the core applies for the slider, and `seconds` of it from
  // 0.3 s on (past the attack and what the last play left ringing) are
  // recorded in tenths of a second. The level is the 80th percentile of the
  // tenths, the held part of the sound: neither a moment a busy machine lets
  // the synthesizer miss (the server fills it with silence) nor a recording
  // that runs a little late moves it.
  std::map<int, double> Levels(const std::string& open, const std::vector<int>& sliders, double seconds) {
    std::map<int, double> levels;
    EXPECT_EQ(loop_.engine.Send(open), 0) << open;
    for (int slider : sliders) {
      player_.state.volume = slider * 10;
      ApplyVolume(player_.state);
      const size_t tenth = kRate / 10, count = static_cast<size_t>(kRate * seconds) / tenth * tenth;
      const size_t mark = recorder_->Count() + 3 * tenth;
      EXPECT_EQ(loop_.engine.Send("play qel from 0"), 0);
      EXPECT_TRUE(loop_.RunUntil([&] { return recorder_->Count() >= mark + count; }, 8000)) << "the recording stalled";
      std::vector<double> tenths;
      for (size_t at = mark; at < mark + count; at += tenth) tenths.push_back(recorder_->LevelDb(at, tenth));
      std::sort(tenths.begin(), tenths.end());
      levels[slider] = tenths[tenths.size() * 8 / 10];
      if (slider == sliders.front()) {
        peak_ = recorder_->PeakDb(mark, count);
        rms_ = recorder_->LevelDb(mark, count);
      }
      loop_.engine.Send("stop qel");
    }
    loop_.engine.Send("close qel");
    return levels;
  }

  // The synthesizer's first start (its SoundFont, the samples, a stream of
  // its own) takes longer than any later one: done once before measuring.
  void WarmUpSynthesizer(const std::string& song) {
    EXPECT_EQ(loop_.engine.Send("open \"" + song + "\" alias qel type sequencer"), 0);
    EXPECT_EQ(loop_.engine.Send("play qel"), 0);
    loop_.Run(800);
    loop_.engine.Send("close qel");
  }

  // Peak and RMS level of the whole measure at the first slider position of
  // the last Levels: a song's loudness is its mean, not its held part.
  double peak_ = 0, rms_ = 0;
  EngineLoop loop_;
  FakePlayer player_;
  TempDir dir_;
};

TEST_F(Loudness, TheSliderFollowsOnePerceptualCurveAndMidiMatchesSampledAudio) {
  // Sampled audio: a 440 Hz tone at -16 dBFS RMS, a usual level of mastered
  // music. MIDI: one held note of a reed organ for the curve (one voice of
  // an instrument whose level barely moves while it is held), and a song of a usual density to
  // compare with the tone: an organ chord, a string pad and a bowed bass,
  // seven voices at velocities 90 to 100.
  std::string mp3 = dir_ / "tone.mp3", note = dir_ / "note.mid", song = dir_ / "song.mid";
  ASSERT_TRUE(Ffmpeg("-f lavfi -i 'aevalsrc=0.2239*sin(2*PI*440*t):s=44100:d=1.5' -c:a libmp3lame -b:a 128k", mp3));
  WriteAll(note, HeldNotesSong({{0, 20}}, {{0, 69, 100}}, 2));
  WriteAll(song, HeldNotesSong({{0, 16}, {1, 48}, {2, 43}},
                               {{0, 60, 100}, {0, 64, 100}, {0, 67, 100}, {1, 55, 90}, {1, 60, 90}, {1, 64, 90},
                                {2, 36, 100}},
                               2));
  const std::vector<int> sliders = {100, 50, 20, 10, 0};
  auto sampled = Levels("open \"" + mp3 + "\" alias qel type mpegvideo", sliders, 0.9);
  double sampledPeak = peak_;
  WarmUpSynthesizer(note);
  auto midi = Levels("open \"" + note + "\" alias qel type sequencer", sliders, 0.9);
  Levels("open \"" + song + "\" alias qel type sequencer", {100}, 0.9);
  double songLevel = rms_;

  std::printf("slider   MP3 dBFS (rel)   MIDI dBFS (rel)\n");
  for (int s : sliders)
    std::printf("%6d  %7.1f (%5.1f)  %7.1f (%5.1f)\n", s, sampled[s], sampled[s] - sampled[100], midi[s],
                midi[s] - midi[100]);
  std::printf("MIDI song at 100: %.1f dBFS RMS (peak %.1f); the MP3 tone's peak %.1f dBFS\n", songLevel, peak_,
              sampledPeak);

  ASSERT_GT(sampled[100], -20.0) << "the tone is heard at full volume";
  ASSERT_GT(midi[100], -40.0) << "the note is heard at full volume";
  for (auto* levels : {&sampled, &midi}) {
    auto& l = *levels;
    const char* what = levels == &sampled ? "MP3" : "MIDI";
    EXPECT_NEAR(l[50] - l[100], -10.0, 1.5) << what << ": half the slider, half as loud";
    EXPECT_NEAR(l[20] - l[100], -25.0, 2.0) << what;
    EXPECT_NEAR(l[10] - l[100], -35.0, 2.5) << what;
    EXPECT_LT(l[0], -90.0) << what << ": 0 is silence";
  }
  EXPECT_NEAR(songLevel, sampled[100], 3.0) << "MIDI and MP3 at the same slider";
}

}  // namespace
}  // namespace qel::test
