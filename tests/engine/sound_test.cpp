// The sound path's decoders against the field's own tools: every kind of
// file ffmpeg and LAME make plays whole and answers the length it plays;
// damaged files play on; files follow one another on the sound server with
// no silence between; the first sample is at the volume set; a hung server
// fails an open instead of hanging it; loudness tags level files when asked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>

#include "core/playback/device.h"
#include "core/playback/order.h"
#include "core/playback/volume.h"
#include "core/settings/settings.h"
#include "engine/decoder.h"
#include "engine_harness.h"
#include "recorder.h"

namespace qel::test {
namespace {

// Frames a reference decoder (ffmpeg, or LAME's own for free format) makes
// of a file, at the file's rate.
long long ReferenceFrames(const std::string& path, bool lame) {
  std::string command = lame ? "lame --quiet --decode '" + path + "' - | ffmpeg -v fatal -i - -f f32le -ac 1 -"
                             : "ffmpeg -nostdin -v fatal -i '" + path + "' -f f32le -ac 1 -";
  long long bytes = 0;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) bytes += static_cast<long long>(n);
    pclose(p);
  }
  return bytes / 4;
}

bool Shell(const std::string& command) { return std::system(("{ " + command + "; } >/dev/null 2>&1").c_str()) == 0; }

// An ID3v2.3 tag holding one picture of `bytes` random bytes, put before
// the file's sound.
void PrependCover(const std::string& path, size_t bytes) {
  std::string picture(bytes, '\0');
  std::mt19937 random(7);
  for (char& c : picture) c = static_cast<char>(random());
  std::string body = std::string("\0image/png\0\x03\0", 13) + picture;
  auto be = [](size_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
  std::string frame = "APIC" + be(body.size()) + std::string(2, '\0') + body;
  size_t n = frame.size();
  std::string size{char((n >> 21) & 0x7F), char((n >> 14) & 0x7F), char((n >> 7) & 0x7F), char(n & 0x7F)};
  WriteAll(path, std::string("ID3\x03\0\0", 6) + size + frame + ReadAll(path));
}

struct Kind {
  const char* name;
  const char* file;        // its name; the extension chooses the decoder
  std::string make;        // ffmpeg's arguments after the tone's, or a shell line with {in} and {out}
  double trackGain = NAN;  // the gain its tags give, in ReplayGain's terms
  std::function<void(const std::string&)> damage = nullptr;
  bool lameReference = false;
  bool keepsLength = false;  // damaged, it still plays as long as it did whole
};

// Bytes of the file from `at` (a fraction of its length) overwritten.
std::function<void(const std::string&)> Damage(double at, std::string bytes) {
  return [at, bytes](const std::string& path) {
    std::string data = ReadAll(path);
    size_t pos = static_cast<size_t>(data.size() * at);
    data.replace(pos, bytes.size(), bytes);
    WriteAll(path, data);
  };
}
std::string RandomBytes(size_t n) {
  std::string out(n, '\0');
  std::mt19937 random(3);
  for (char& c : out) c = static_cast<char>(random());
  return out;
}

TEST(SoundFiles, EveryKindPlaysWholeAndAnswersTheLengthItPlays) {
  TempDir dir;
  const std::string tone = dir / "tone.wav";
  ASSERT_TRUE(Ffmpeg("-f lavfi -i 'sine=frequency=440:sample_rate=44100:duration=2.96' -ac 2", tone));
  const std::string gainTags = "-metadata REPLAYGAIN_TRACK_GAIN='-6.50 dB' -metadata REPLAYGAIN_TRACK_PEAK=0.9 ";
  const std::vector<Kind> kinds = {
      {"MP3 CBR with a LAME tag", "cbr.mp3", gainTags + "-c:a libmp3lame -b:a 128k", -6.5},
      {"MP3 CBR, no Info frame, a 1 MiB cover", "cover.mp3", "-c:a libmp3lame -b:a 128k -write_xing 0"},
      {"MP3 VBR with a Xing frame", "vbr.mp3", "-c:a libmp3lame -q:a 2"},
      {"MP3 VBR without a Xing frame", "vbr-bare.mp3", "-c:a libmp3lame -q:a 2 -write_xing 0"},
      {"MPEG-2 VBR without a Xing frame", "mpeg2.mp3", "-ar 22050 -c:a libmp3lame -q:a 4 -write_xing 0"},
      {"MPEG-2.5 without a Xing frame", "mpeg25.mp3", "-ar 8000 -c:a libmp3lame -b:a 16k -write_xing 0"},
      {"MP3 in free format", "free.mp3", "lame --quiet --freeformat -b 200 {in} {out}", NAN, nullptr, true},
      {"two MP3s joined", "joined.mp3", "cat {cbr.mp3} {cbr.mp3} > {out}", -6.5},
      {"MP3 with a block of garbage", "garbage.mp3", "-c:a libmp3lame -q:a 2 -write_xing 0", NAN,
       Damage(0.5, RandomBytes(4096))},
      {"FLAC", "plain.flac", gainTags + "-c:a flac", -6.5},
      {"FLAC with a damaged frame", "damaged.flac", "-c:a flac", NAN, Damage(0.5, std::string(64, '\0')), false,
       true},
      {"Ogg Vorbis", "plain.ogg", gainTags + "-c:a libvorbis", -6.5},
      {"two Ogg Vorbis streams chained", "chained.ogg",
       "ffmpeg -v error -i {in} -c:a libvorbis -serial_offset 7 {out}.2.ogg && cat {plain.ogg} {out}.2.ogg > {out}",
       -6.5},
      {"Ogg Opus", "plain.opus", "-metadata R128_TRACK_GAIN=-2560 -c:a libopus", -5.0},
      {"WAV", "plain.wav", "-c:a pcm_s16le"},
  };
  EngineLoop loop;
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    const std::string path = dir / kind.file;
    if (kind.make.find("{out}") != std::string::npos) {
      std::string line = kind.make;
      for (std::string mark : {"{in}", "{out}", "{cbr.mp3}", "{plain.ogg}"})
        for (size_t at; (at = line.find(mark)) != std::string::npos;)
          line.replace(at, mark.size(), "'" + (mark == "{in}" ? tone : mark == "{out}" ? path
                                                                       : dir / mark.substr(1, mark.size() - 2)) + "'");
      ASSERT_TRUE(Shell(line)) << line;
    } else {
      ASSERT_TRUE(Ffmpeg("-i '" + tone + "' " + kind.make, path));
    }
    if (std::string(kind.file) == "cover.mp3") PrependCover(path, 1 << 20);
    const double wholeMs = ReferenceFrames(path, kind.lameReference) * 1000.0;
    if (kind.damage) kind.damage(path);

    auto decoder = engine::OpenDecoder(path);
    ASSERT_TRUE(decoder) << "the sound path takes it";
    const int rate = decoder->Rate();
    std::vector<float> buffer(4096 * static_cast<size_t>(decoder->Channels()));
    long long played = 0;
    while (size_t got = decoder->Read(buffer.data(), 4096)) played += static_cast<long long>(got);
    EXPECT_FALSE(decoder->Failed());
    // Within one frame of the format's own (an MPEG frame holds 1152); where
    // damage leaves a few frames in doubt, within those.
    EXPECT_NEAR(played, decoder->Frames(), kind.damage ? 4 * 1152 : 1152) << "the length answered is the length played";
    const double lengthMs = decoder->Frames() * 1000.0 / rate;
    const double referenceMs =
        (kind.keepsLength ? wholeMs : ReferenceFrames(path, kind.lameReference) * 1000.0) / rate;
    EXPECT_NEAR(lengthMs, referenceMs, 30.0) << "against the reference decoder";
    if (std::isnan(kind.trackGain)) EXPECT_FALSE(decoder->Gains().trackGain);
    else EXPECT_NEAR(decoder->Gains().trackGain.value_or(99), kind.trackGain, 0.01);

    // The probe measures with the same decoder.
    ASSERT_EQ(loop.engine.Send("open \"" + path + "\" alias Qel_ type mpegvideo shareable"), 0);
    EXPECT_EQ(loop.Number("status Qel_ length"), engine::FramesToMs(decoder->Frames(), rate));
    loop.engine.Send("close Qel_");
  }

  // A picture stream, even after the sound's, is libmpv's to show.
  const std::string video = dir / "sound-then-picture.ogg";
  ASSERT_TRUE(Ffmpeg("-i '" + tone + "' -f lavfi -i testsrc=size=64x48:rate=5:duration=2 -map 0:a -map 1:v "
                     "-c:a libvorbis -c:v libtheora",
                     video));
  EXPECT_FALSE(engine::OpenDecoder(video));
}

// ---- heard through a private sound server

class Heard : public HeardTest {
 protected:
  // The stretch of the recording from the first sample above `floor` to
  // the last one.
  static std::pair<size_t, size_t> Sounding(const std::vector<float>& s, float floor) {
    size_t first = 0, last = s.size();
    while (first < s.size() && std::fabs(s[first]) <= floor) ++first;
    while (last > first && std::fabs(s[last - 1]) <= floor) --last;
    return {first, last};
  }
  TempDir dir_;
};

TEST_F(Heard, TheTwoHalvesOfOneToneJoinWithoutASilentMillisecond) {
  // The halves of a continuous tone, each encoded on its own.
  const char* half = "-f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*(t+%s)):s=44100:d=0.7' -ac 2 ";
  const std::vector<std::pair<const char*, const char*>> formats = {
      {"flac", "-c:a flac"}, {"wav", "-c:a pcm_s16le"}, {"ogg", "-c:a libvorbis"},
      {"opus", "-c:a libopus"}, {"mp3", "-c:a libmp3lame -b:a 192k"}};
  for (auto [ext, codec] : formats) {
    SCOPED_TRACE(ext);
    std::vector<std::string> paths;
    for (const char* offset : {"0", "0.7"}) {
      char args[256];
      std::snprintf(args, sizeof args, half, offset);
      paths.push_back(dir_ / (std::string(offset) + "." + ext));
      ASSERT_TRUE(Ffmpeg(std::string(args) + codec, paths.back()));
    }
    EnginePlayer player(paths);
    player.state.playMode = PlayMode::One;
    const size_t mark = recorder_->Count();
    player.PlayIndex(0);
    ASSERT_TRUE(player.loop.RunUntil([&] { return player.state.currentIndex == 1 && player.Mode() == "stopped"; },
                                     5000));
    player.loop.Run(400);  // what the server still holds
    const std::vector<float> heard = recorder_->Samples(mark);
    auto [first, last] = Sounding(heard, 0.02f);
    ASSERT_GT(last - first, static_cast<size_t>(kRate)) << "both halves were heard";
    int silent = 0;
    const size_t ms = kRate / 1000;
    for (size_t at = first; at + ms <= last; at += ms)
      if (std::all_of(heard.begin() + at, heard.begin() + at + ms, [](float v) { return std::fabs(v) <= 0.02f; }))
        ++silent;
    EXPECT_EQ(silent, 0) << "silent milliseconds between the halves";
  }
}

TEST_F(Heard, TheFirstFileAfterStartIsAtTheVolumeSetFromItsFirstSample) {
  const std::string tone = dir_ / "tone.flac";
  ASSERT_TRUE(Ffmpeg("-f lavfi -i 'sine=frequency=440:sample_rate=44100:duration=1' -c:a flac", tone));
  for (int slider : {5, 20, 100}) {
    SCOPED_TRACE(slider);
    EnginePlayer player({tone});
    player.state.volume = slider * 10;
    const size_t mark = recorder_->Count();
    player.PlayIndex(0);
    ASSERT_TRUE(player.loop.RunUntil([&] { return player.Mode() == "stopped"; }, 4000));
    player.loop.Run(300);
    auto [first, last] = Sounding(recorder_->Samples(mark), 1e-5f);
    ASSERT_GT(last - first, static_cast<size_t>(kRate * 8 / 10));
    const size_t head = kRate / 5;
    EXPECT_NEAR(recorder_->LevelDb(mark + first, head), recorder_->LevelDb(mark + first + head, kRate / 2), 1.0)
        << "the first 200 ms against the rest";
  }
}

TEST_F(Heard, AServerThatStopsAnsweringFailsTheOpenWithinItsBound) {
  const std::string wav = dir_ / "a.wav", mka = dir_ / "a.mka";
  WriteWav(wav, 600);
  ASSERT_TRUE(Ffmpeg("-i '" + wav + "' -c:a pcm_s16le", mka));
  EngineLoop loop;
  ASSERT_EQ(loop.engine.Send("open \"" + wav + "\" alias qel"), 0);
  loop.engine.Send("close qel");
  output_->Pulse()->Freeze(true);
  for (const std::string& path : {wav, mka}) {
    auto start = Clock::now();
    EXPECT_NE(loop.engine.Send("open \"" + path + "\" alias qel"), 0) << path;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4)) << path;
    loop.engine.Send("close qel");
  }
  output_->Pulse()->Freeze(false);
  EXPECT_EQ(loop.engine.Send("open \"" + wav + "\" alias qel"), 0) << "a server that answers again plays again";
  EXPECT_EQ(loop.engine.Send("play qel"), 0);
  EXPECT_TRUE(loop.RunUntil([&] { return loop.Number("status qel position") > 100; }, 3000));
  loop.engine.Send("close qel");
}

TEST_F(Heard, LoudnessTagsLevelFilesOnBothPathsOnlyWhenAsked) {
  // A tone 20 dB under full scale whose tags say: track -6 dB, album +20 dB
  // with a peak of 0.25 (so the album gain is held at +12 dB).
  const std::string tags =
      "-metadata REPLAYGAIN_TRACK_GAIN='-6.00 dB' -metadata REPLAYGAIN_TRACK_PEAK=0.1 "
      "-metadata REPLAYGAIN_ALBUM_GAIN='+20.00 dB' -metadata REPLAYGAIN_ALBUM_PEAK=0.25 ";
  const std::string source = "-f lavfi -i 'aevalsrc=0.1*sin(2*PI*440*t):s=44100:d=0.8' ";
  const std::string flac = dir_ / "tagged.flac", mka = dir_ / "tagged.mka";
  ASSERT_TRUE(Ffmpeg(source + tags + "-c:a flac", flac));
  ASSERT_TRUE(Ffmpeg(source + tags + "-c:a pcm_s16le", mka));
  for (const std::string& path : {flac, mka}) {
    SCOPED_TRACE(path);
    EngineLoop loop;
    std::map<ReplayGain, double> level;
    for (ReplayGain mode : {ReplayGain::Off, ReplayGain::Track, ReplayGain::Album}) {
      loop.engine.SetReplayGain(mode);
      ASSERT_EQ(loop.engine.Send("open \"" + path + "\" alias qel"), 0);
      const size_t mark = recorder_->Count() + kRate / 5;
      ASSERT_EQ(loop.engine.Send("play qel"), 0);
      ASSERT_TRUE(loop.RunUntil([&] { return recorder_->Count() >= mark + kRate / 4; }, 3000));
      level[mode] = recorder_->LevelDb(mark, kRate / 4);
      loop.engine.Send("close qel");
    }
    EXPECT_NEAR(level[ReplayGain::Off], -23.0, 1.0) << "a tone of 0.1 at its own level";
    EXPECT_NEAR(level[ReplayGain::Track] - level[ReplayGain::Off], -6.0, 0.5);
    EXPECT_NEAR(level[ReplayGain::Album] - level[ReplayGain::Off], 12.0, 0.5);
  }
}

}  // namespace
}  // namespace qel::test
