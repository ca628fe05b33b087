#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/command.h"
#include "engine/device.h"
#include "engine/loudness.h"
#include "engine/midi.h"
#include "engine/smf.h"
#include "engine_harness.h"

namespace fs = std::filesystem;
using qel::engine::Engine;

namespace {

using qel::test::EngineLoop;
using qel::test::TempDir;
using qel::test::WriteWav;

const std::string kData = QEL_ENGINE_DATA;

// The engine on libmpv's null output, the test as its user-interface thread.
struct Harness : EngineLoop {
  Harness() { setenv("QEL_AUDIO_OUTPUT", "null", 1); }
};

}  // namespace

TEST(EngineCommands, ADoubledQuoteInsideQuotesIsOneQuote) {
  using Items = std::vector<std::string>;
  struct Case {
    const char* command;
    Items words;
    bool unclosed;
  } cases[] = {
      {"open \"a\"\"b.mp3\" alias x", {"open", "a\"b.mp3", "alias", "x"}, false},
      {"open \"\"\"\" alias x", {"open", "\"", "alias", "x"}, false},
      {"open \"end\"\"\"", {"open", "end\""}, false},
      {"open \"a\"\" alias x type sequencer \"\"b.mid\" alias qel",
       {"open", "a\" alias x type sequencer \"b.mid", "alias", "qel"}, false},
      // what held before holds still
      {"open \"with  two blanks\"  alias   x", {"open", "with  two blanks", "alias", "x"}, false},
      {"open \"\" alias x", {"open", "", "alias", "x"}, false},
      {"status a\"b mode", {"status", "a\"b", "mode"}, false},
      {"open \"abc\"\"", {"open", "abc\""}, true},
      {"open \"abc", {"open", "abc"}, true},
  };
  for (const auto& c : cases) {
    auto words = qel::engine::SplitCommand(c.command);
    EXPECT_EQ(words.unclosedQuote, c.unclosed) << c.command;
    if (!c.unclosed) {
      EXPECT_EQ(words.items, c.words) << c.command;
    }
  }
}

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
  std::ofstream(dir / "text.mp3") << "this is no sound at all\n";
  {
    std::ofstream r(dir / "random.mp4", std::ios::binary);
    for (int i = 0; i < 5000; ++i) r.put(static_cast<char>((i * 7919 + 13) % 251));
  }
  std::ifstream src(kData + "/clip.mp4", std::ios::binary);
  std::string head(4000, '\0');
  src.read(head.data(), head.size());
  std::ofstream(dir / "cut.mp4", std::ios::binary) << head;
  std::ofstream(dir / "cut.mid", std::ios::binary) << std::string("MThd\0\0\0\6\0\1\0\1", 12);
  const std::string bad[] = {
      "", "   ", "frobnicate qel", "status nothere mode", "play", "open \"unclosed alias x",
      "open \"" + (dir / "missing.mp3") + "\" alias x",
      "open \"" + (dir / "text.mp3") + "\" alias x",
      "open \"" + (dir / "random.mp4") + "\" alias x",
      "open \"" + (dir / "cut.mp4") + "\" alias Qel_ type mpegvideo shareable",
      "open \"" + (dir / "cut.mid") + "\" alias x type sequencer",
      "open \"" + (dir / "text.mp3") + "\" alias Qel_ type mpegvideo shareable",
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

TEST(EngineSeek, PastTheLengthIsRefusedAndWhatPlaysGoesOn) {
  Harness h;
  TempDir dir;
  std::string wav = dir / "a.wav";
  WriteWav(wav, 1500);
  struct Device {
    std::string open;
    long long length;
  } devices[] = {{"open \"" + wav + "\" alias s type mpegvideo", 1500},
                 {"open \"" + kData + "/song.mid\" alias s type sequencer", 3000}};
  for (const auto& d : devices) {
    SCOPED_TRACE(d.open);
    ASSERT_EQ(h.engine.Send(d.open), 0);
    h.engine.Send("set s seek exactly on");
    h.engine.Send("set s time format milliseconds");
    ASSERT_EQ(h.engine.Send("play s notify"), 0);
    ASSERT_TRUE(h.RunUntil([&] { return h.Number("status s position") > 100; }, 3000));
    for (const std::string& cmd : {"seek s to " + std::to_string(d.length + 1), std::string("seek s to 2000000000"),
                                   "play s from " + std::to_string(d.length + 500) + " notify"}) {
      EXPECT_EQ(h.engine.Send(cmd), qel::engine::kErrOutOfRange) << cmd;
      EXPECT_EQ(h.Ask("status s mode"), "playing") << cmd;
    }
    long long before = h.Number("status s position");
    h.Run(200);
    EXPECT_GT(h.Number("status s position"), before) << "still playing";
    EXPECT_TRUE(h.notes.empty()) << "the pending notification stays pending";
    // The length itself is a place: the end.
    EXPECT_EQ(h.engine.Send("seek s to " + std::to_string(d.length)), 0);
    EXPECT_EQ(h.Number("status s position"), d.length);
    h.engine.Send("close s");
    h.Run(20);
    h.notes.clear();
  }
}

TEST(EngineProbe, AHugeFileThatIsNoMediaIsGivenUpWithinABound) {
  Harness h;
  TempDir dir;
  std::string zeros = dir / "zeros.mp3";
  std::ofstream(zeros).close();
  fs::resize_file(zeros, 1LL << 30);  // a GiB of zeros (sparse: made in no time)
  auto start = std::chrono::steady_clock::now();
  EXPECT_NE(h.engine.Send("open \"" + zeros + "\" alias Qel_ type mpegvideo shareable"), 0);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 2.0) << "the length probe is bounded (took " << seconds << " s)";
  EXPECT_NE(h.engine.Send("status Qel_ length"), 0);
}

TEST(EngineVideo, NoFrameIsDrawnLargerThanTheLimitWhateverTheFileStates) {
  constexpr long long kLimit = 3840LL * 2160;
  Harness h;
  struct Sink : Engine::VideoSink {
    void FrameReady() override {}
    int Width() override { return 400; }
    int Height() override { return 300; }
  } sink;
  h.engine.RegisterSurface(42, &sink);
  ASSERT_EQ(h.engine.Send("open \"" + kData + "/huge.mkv\" alias v type mpegvideo shareable"), 0);
  EXPECT_EQ(h.Ask("where v source"), "0 0 8000 8000");
  // The default destination is the source's size; the frame stays within
  // the limit in the same (square) shape and is stretched over it.
  ASSERT_EQ(h.engine.Send("window v handle 42"), 0);
  EXPECT_EQ(h.Ask("where v destination"), "0 0 8000 8000");
  h.Run(100);
  auto pic = h.engine.CurrentFrame("v");
  ASSERT_TRUE(pic);
  EXPECT_LE(static_cast<long long>(pic->width) * pic->height, kLimit);
  EXPECT_GT(pic->width, 1000);
  EXPECT_EQ(pic->width, pic->height);
  auto frame = h.engine.VideoFrame(42);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->destination, (qel::Rect{0, 0, 8000, 8000}));
  // A destination given keeps its place and shape under the same bound.
  ASSERT_EQ(h.engine.Send("put v destination at -100 0 16000 4000"), 0);
  pic = h.engine.CurrentFrame("v");
  ASSERT_TRUE(pic);
  EXPECT_LE(static_cast<long long>(pic->width) * pic->height, kLimit);
  EXPECT_NEAR(static_cast<double>(pic->width) / pic->height, 4.0, 0.01);
  EXPECT_EQ(h.engine.VideoFrame(42)->destination, (qel::Rect{-100, 0, 15900, 4000}));
  h.engine.UnregisterSurface(42);
}

namespace {

// A MIDI port of the test's own in the place of the ALSA sequencer's ports:
// it keeps what the sequencer sends it.
struct RecordingPort : qel::engine::MidiOutput {
  std::mutex mutex;
  std::vector<qel::engine::MidiEvent> events;
  double gain = -1;
  void Send(const qel::engine::MidiEvent& e) override {
    std::lock_guard l(mutex);
    events.push_back(e);
  }
  void SetVolume(double g) override { gain = g; }
  std::vector<int> NotesOn() {
    std::lock_guard l(mutex);
    std::vector<int> keys;
    for (const auto& e : events)
      if ((e.bytes[0] & 0xF0) == 0x90 && e.bytes[2] > 0) keys.push_back(e.bytes[1]);
    return keys;
  }
};

struct TestPorts : qel::engine::MidiPortList {
  std::vector<std::shared_ptr<RecordingPort>> ports;
  std::vector<std::string> Names() override {
    std::vector<std::string> names;
    for (size_t i = 0; i < ports.size(); ++i) names.push_back("Test Port " + std::to_string(i + 1));
    return names;
  }
  std::shared_ptr<qel::engine::MidiOutput> Open(size_t i) override {
    return i < ports.size() ? ports[i] : nullptr;
  }
};

// No SoundFont anywhere for the built-in synthesizer, and the ports given.
struct NoSoundFont {
  explicit NoSoundFont(std::shared_ptr<TestPorts> ports) {
    setenv("QEL_SOUNDFONT", "/nonexistent/none.sf2", 1);
    qel::engine::ReplaceMidiPorts(std::move(ports));
  }
  ~NoSoundFont() {
    qel::engine::ReplaceMidiPorts(nullptr);
    unsetenv("QEL_SOUNDFONT");
  }
};

}  // namespace

TEST(EngineMidi, AChosenPortPlaysTheSongWithoutTheSynthesizersSoundFont) {
  auto ports = std::make_shared<TestPorts>();
  ports->ports = {std::make_shared<RecordingPort>(), std::make_shared<RecordingPort>()};
  NoSoundFont setup(ports);
  Harness h;
  EXPECT_EQ(h.engine.MidiOutputDevices(),
            (std::vector<std::string>{"Qel Synthesizer (FluidSynth)", "Test Port 1", "Test Port 2"}));
  ASSERT_EQ(h.engine.Send("open \"" + kData + "/song.mid\" alias m type sequencer"), 0);
  EXPECT_NE(h.engine.Send("set m port 3"), 0);
  ASSERT_EQ(h.engine.Send("set m port 2"), 0);
  ASSERT_EQ(h.engine.Send("setaudio m volume to 500"), 0);
  EXPECT_DOUBLE_EQ(ports->ports[1]->gain, qel::engine::LoudnessGain(0.5));
  ASSERT_EQ(h.engine.Send("play m notify"), 0);
  ASSERT_TRUE(h.RunUntil([&] { return !h.notes.empty(); }, 5000));
  EXPECT_EQ(h.notes[0].first, qel::kNotifySuccessful);
  EXPECT_EQ(ports->ports[1]->NotesOn(), (std::vector<int>{60, 64, 67, 72}));
  EXPECT_TRUE(ports->ports[0]->NotesOn().empty());
}

TEST(EngineMidi, WithNeitherSoundFontNorPortASongDoesNotOpen) {
  NoSoundFont setup(std::make_shared<TestPorts>());
  Harness h;
  EXPECT_NE(h.engine.Send("open \"" + kData + "/song.mid\" alias m type sequencer"), 0);
  EXPECT_TRUE(h.engine.OpenAliases().empty());
  // Its length is still known.
  ASSERT_EQ(h.engine.Send("open \"" + kData + "/song.mid\" alias Qel_ type mpegvideo shareable"), 0);
  EXPECT_EQ(h.Number("status Qel_ length"), 3000);
}

// The same through the ALSA sequencer itself, where the machine has one
// (/dev/snd/seq): a client of the test's own offers a port, the engine lists
// it after the synthesizer, and the song's notes arrive there.
TEST(EngineMidi, AnAlsaSequencerPortReceivesTheSong) {
  snd_seq_t* seq = nullptr;
  if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0)
    GTEST_SKIP() << "no ALSA sequencer on this machine (/dev/snd/seq)";
  snd_seq_set_client_name(seq, "Qel Test");
  int port = snd_seq_create_simple_port(seq, "Qel Test Input", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  ASSERT_GE(port, 0);
  setenv("QEL_SOUNDFONT", "/nonexistent/none.sf2", 1);
  Harness h;
  auto names = h.engine.MidiOutputDevices();
  auto it = std::find(names.begin(), names.end(), "Qel Test Input");
  ASSERT_NE(it, names.end());
  int index = static_cast<int>(it - names.begin());
  ASSERT_EQ(h.engine.Send("open \"" + kData + "/song.mid\" alias m type sequencer"), 0);
  ASSERT_EQ(h.engine.Send("set m port " + std::to_string(index)), 0);
  ASSERT_EQ(h.engine.Send("play m notify"), 0);
  std::vector<int> keys;
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (keys.size() < 4 && std::chrono::steady_clock::now() < end) {
    snd_seq_event_t* ev = nullptr;
    if (snd_seq_event_input(seq, &ev) >= 0 && ev) {
      if (ev->type == SND_SEQ_EVENT_NOTEON && ev->data.note.velocity > 0) keys.push_back(ev->data.note.note);
    } else {
      h.Run(10);
    }
  }
  EXPECT_EQ(keys, (std::vector<int>{60, 64, 67, 72}));
  h.engine.Send("close m");
  unsetenv("QEL_SOUNDFONT");
  snd_seq_close(seq);
}
