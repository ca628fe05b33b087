#include "engine/midi.h"

#include <alsa/asoundlib.h>
#include <fluidsynth.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace qel::engine {

void MidiOutput::Silence() {
  for (uint8_t ch = 0; ch < 16; ++ch) {
    MidiEvent off;
    off.size = 3;
    off.bytes[0] = static_cast<uint8_t>(0xB0 | ch);
    off.bytes[1] = 123;  // all notes off
    Send(off);
    off.bytes[1] = 121;  // reset controllers
    Send(off);
  }
}

namespace {

const char* kSoundFonts[] = {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/default-GM.sf2"};
constexpr double kBaseGain = 1.0;

bool NullAudio() {
  const char* ao = std::getenv("QEL_AUDIO_OUTPUT");
  return ao && std::strcmp(ao, "null") == 0;
}

bool IsRegularFile(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// The built-in synthesizer: one for the process, loaded at the first use
// (the SoundFont takes a moment), kept until exit.
class Synth : public MidiOutput {
 public:
  static std::shared_ptr<Synth> Get() {
    static std::mutex m;
    static std::shared_ptr<Synth> instance;
    static bool tried = false;
    std::lock_guard lock(m);
    if (!tried) {
      tried = true;
      auto s = std::shared_ptr<Synth>(new Synth);
      if (s->Start()) instance = s;
    }
    return instance;
  }
  ~Synth() override {
    quit_ = true;
    if (pull_.joinable()) pull_.join();
    if (driver_) delete_fluid_audio_driver(driver_);
    if (synth_) delete_fluid_synth(synth_);
    if (settings_) delete_fluid_settings(settings_);
  }
  void Send(const MidiEvent& e) override {
    int ch = e.bytes[0] & 0x0F;
    switch (e.bytes[0] & 0xF0) {
      case 0x80: fluid_synth_noteoff(synth_, ch, e.bytes[1]); break;
      case 0x90: fluid_synth_noteon(synth_, ch, e.bytes[1], e.bytes[2]); break;
      case 0xA0: fluid_synth_key_pressure(synth_, ch, e.bytes[1], e.bytes[2]); break;
      case 0xB0: fluid_synth_cc(synth_, ch, e.bytes[1], e.bytes[2]); break;
      case 0xC0: fluid_synth_program_change(synth_, ch, e.bytes[1]); break;
      case 0xD0: fluid_synth_channel_pressure(synth_, ch, e.bytes[1]); break;
      case 0xE0: fluid_synth_pitch_bend(synth_, ch, e.bytes[1] | (e.bytes[2] << 7)); break;
    }
  }
  void SetVolume(double gain) override {
    fluid_synth_set_gain(synth_, static_cast<float>(kBaseGain * std::clamp(gain, 0.0, 1.0)));
  }
  double TakePeak() { return peak_.exchange(0.0); }

 private:
  bool Start() {
    fluid_set_log_function(FLUID_PANIC, nullptr, nullptr);
    fluid_set_log_function(FLUID_ERR, nullptr, nullptr);
    fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
    fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
    fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
    settings_ = new_fluid_settings();
    if (!settings_) return false;
    fluid_settings_setint(settings_, "synth.dynamic-sample-loading", 1);
    fluid_settings_setnum(settings_, "synth.sample-rate", 44100);
    // A player, not an instrument: about 90 ms of sound queued instead of
    // 23, so a busy machine does not break the sound up.
    fluid_settings_setint(settings_, "audio.period-size", 512);
    fluid_settings_setint(settings_, "audio.periods", 8);
    synth_ = new_fluid_synth(settings_);
    if (!synth_) return false;
    std::string soundFont = SoundFontPath();
    if (soundFont.empty() || fluid_synth_sfload(synth_, soundFont.c_str(), 1) == FLUID_FAILED) return false;
    fluid_synth_set_gain(synth_, static_cast<float>(kBaseGain));
    if (!NullAudio()) {
      for (const char* name : {"pulseaudio", "pipewire", "alsa"}) {
        fluid_settings_setstr(settings_, "audio.driver", name);
        driver_ = new_fluid_audio_driver(settings_, synth_);
        if (driver_) break;
      }
    }
    // Without a sound card (or with the null output asked for) the samples are
    // still rendered in real time, so the synthesizer behaves the same.
    if (!driver_) pull_ = std::thread([this] { Pull(); });
    return true;
  }
  void Pull() {
    constexpr int kFrames = 441;  // 10 ms
    std::vector<float> left(kFrames), right(kFrames);
    auto next = std::chrono::steady_clock::now();
    while (!quit_) {
      fluid_synth_write_float(synth_, kFrames, left.data(), 0, 1, right.data(), 0, 1);
      float peak = 0;
      for (int i = 0; i < kFrames; ++i) peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
      double old = peak_.load();
      while (peak > old && !peak_.compare_exchange_weak(old, peak)) {
      }
      next += std::chrono::milliseconds(10);
      std::this_thread::sleep_until(next);
    }
  }
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  fluid_audio_driver_t* driver_ = nullptr;
  std::thread pull_;
  std::atomic<bool> quit_{false};
  std::atomic<double> peak_{0.0};
};

// A connection to one ALSA sequencer output port. Such ports have no output
// gain of their own, so the volume scales the note velocities; General MIDI
// instruments sound at about (velocity / 127)^2, hence the square root.
class AlsaPort : public MidiOutput {
 public:
  AlsaPort(snd_seq_t* seq, int port) : seq_(seq), port_(port) {}
  ~AlsaPort() override { snd_seq_close(seq_); }
  void Send(const MidiEvent& e) override {
    snd_seq_event_t ev;
    snd_seq_ev_clear(&ev);
    snd_seq_ev_set_source(&ev, port_);
    snd_seq_ev_set_subs(&ev);
    snd_seq_ev_set_direct(&ev);
    int ch = e.bytes[0] & 0x0F;
    switch (e.bytes[0] & 0xF0) {
      case 0x80: snd_seq_ev_set_noteoff(&ev, ch, e.bytes[1], e.bytes[2]); break;
      case 0x90: snd_seq_ev_set_noteon(&ev, ch, e.bytes[1], ScaledVelocity(e.bytes[2], velocityScale_)); break;
      case 0xA0: snd_seq_ev_set_keypress(&ev, ch, e.bytes[1], e.bytes[2]); break;
      case 0xB0: snd_seq_ev_set_controller(&ev, ch, e.bytes[1], e.bytes[2]); break;
      case 0xC0: snd_seq_ev_set_pgmchange(&ev, ch, e.bytes[1]); break;
      case 0xD0: snd_seq_ev_set_chanpress(&ev, ch, e.bytes[1]); break;
      case 0xE0: snd_seq_ev_set_pitchbend(&ev, ch, (e.bytes[1] | (e.bytes[2] << 7)) - 8192); break;
      default: return;
    }
    snd_seq_event_output_direct(seq_, &ev);
  }
  void SetVolume(double gain) override { velocityScale_ = std::sqrt(std::clamp(gain, 0.0, 1.0)); }

 private:
  snd_seq_t* seq_;
  int port_;
  double velocityScale_ = 1.0;
};

struct AlsaDest {
  int client, port;
  std::string name;
};

// alsa-lib prints its errors to stderr (a machine without /dev/snd/seq gets
// a line per look-up); a missing sequencer just means no ports here.
void QuietAlsaError(const char*, int, const char*, int, const char*, ...) {}

std::vector<AlsaDest> AlsaDestinations() {
  static const bool quiet = (snd_lib_error_set_handler(QuietAlsaError), true);
  (void)quiet;
  std::vector<AlsaDest> out;
  snd_seq_t* seq = nullptr;
  if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0) return out;
  snd_seq_client_info_t* cinfo;
  snd_seq_port_info_t* pinfo;
  snd_seq_client_info_alloca(&cinfo);
  snd_seq_port_info_alloca(&pinfo);
  snd_seq_client_info_set_client(cinfo, -1);
  int self = snd_seq_client_id(seq);
  while (snd_seq_query_next_client(seq, cinfo) >= 0) {
    int client = snd_seq_client_info_get_client(cinfo);
    if (client == self || client == SND_SEQ_CLIENT_SYSTEM) continue;
    snd_seq_port_info_set_client(pinfo, client);
    snd_seq_port_info_set_port(pinfo, -1);
    while (snd_seq_query_next_port(seq, pinfo) >= 0) {
      unsigned caps = snd_seq_port_info_get_capability(pinfo);
      if ((caps & (SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE)) !=
          (SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE))
        continue;
      if (caps & SND_SEQ_PORT_CAP_NO_EXPORT) continue;
      out.push_back({client, snd_seq_port_info_get_port(pinfo), snd_seq_port_info_get_name(pinfo)});
    }
  }
  snd_seq_close(seq);
  return out;
}

class AlsaPorts : public MidiPortList {
 public:
  std::vector<std::string> Names() override {
    std::vector<std::string> names;
    for (const auto& d : AlsaDestinations()) names.push_back(d.name);
    return names;
  }
  std::shared_ptr<MidiOutput> Open(size_t index) override {
    auto dests = AlsaDestinations();
    if (index >= dests.size()) return nullptr;
    const AlsaDest& d = dests[index];
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0) return nullptr;
    snd_seq_set_client_name(seq, "Qel");
    int port = snd_seq_create_simple_port(seq, "Qel output", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                          SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0 || snd_seq_connect_to(seq, port, d.client, d.port) < 0) {
      snd_seq_close(seq);
      return nullptr;
    }
    return std::make_shared<AlsaPort>(seq, port);
  }
};

std::mutex portsMutex;
std::shared_ptr<MidiPortList> replacedPorts;

std::shared_ptr<MidiPortList> Ports() {
  std::lock_guard lock(portsMutex);
  if (replacedPorts) return replacedPorts;
  return std::make_shared<AlsaPorts>();
}

}  // namespace

int ScaledVelocity(int velocity, double scale) {
  if (velocity <= 0 || scale <= 0) return 0;  // note on at 0 is a note off: silence
  return std::clamp(static_cast<int>(std::lround(velocity * scale)), 1, 127);
}

void ReplaceMidiPorts(std::shared_ptr<MidiPortList> ports) {
  std::lock_guard lock(portsMutex);
  replacedPorts = std::move(ports);
}

std::string SoundFontPath() {
  if (const char* own = std::getenv("QEL_SOUNDFONT"); own && *own) return IsRegularFile(own) ? own : "";
  for (const char* sf : kSoundFonts)
    if (IsRegularFile(sf)) return sf;
  return "";
}

std::vector<std::string> ListMidiOutputs() {
  std::vector<std::string> names{"Qel Synthesizer (FluidSynth)"};
  for (auto& name : Ports()->Names()) names.push_back(std::move(name));
  return names;
}

std::shared_ptr<MidiOutput> OpenMidiOutput(int index) {
  if (index == 0) return Synth::Get();
  if (index < 0) return nullptr;
  return Ports()->Open(static_cast<size_t>(index - 1));
}

bool AnyMidiOutput() { return !SoundFontPath().empty() || !Ports()->Names().empty(); }

double TakeSynthPeak() {
  auto s = Synth::Get();
  return s ? s->TakePeak() : 0.0;
}

// ---- Sequencer ----

Sequencer::Sequencer(Song song, std::shared_ptr<MidiOutput> output, std::function<void()> onEnd)
    : song_(std::move(song)), output_(std::move(output)), onEnd_(std::move(onEnd)) {
  thread_ = std::thread([this] { Run(); });
}

Sequencer::~Sequencer() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
  if (output_) output_->Silence();
}

void Sequencer::SetOutput(std::shared_ptr<MidiOutput> output) {
  std::lock_guard lock(mutex_);
  if (output_) output_->Silence();
  output_ = std::move(output);
  ChaseTo(next_);
}

double Sequencer::NowPositionLocked() {
  if (!playing_) return basePos_;
  double elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - baseTime_).count();
  return std::min(basePos_ + elapsed, song_.lengthMs);
}

void Sequencer::Play() {
  {
    std::lock_guard lock(mutex_);
    if (playing_) return;
    if (basePos_ >= song_.lengthMs) return;
    playing_ = true;
    baseTime_ = std::chrono::steady_clock::now();
  }
  wake_.notify_all();
}

void Sequencer::Pause() {
  std::lock_guard lock(mutex_);
  if (!playing_) return;
  basePos_ = NowPositionLocked();
  playing_ = false;
  if (output_) output_->Silence();
  ChaseTo(next_);
}

void Sequencer::Seek(double ms) {
  std::lock_guard lock(mutex_);
  playing_ = false;
  basePos_ = std::clamp(ms, 0.0, song_.lengthMs);
  if (output_) output_->Silence();
  auto it = std::lower_bound(song_.events.begin(), song_.events.end(), basePos_,
                             [](const MidiEvent& e, double v) { return e.ms < v; });
  next_ = static_cast<size_t>(it - song_.events.begin());
  ChaseTo(next_);
  wake_.notify_all();
}

// Brings programs, controllers and pitch bends to what they are just before
// `index`, so playback resumed there sounds as it would have.
void Sequencer::ChaseTo(size_t index) {
  if (!output_) return;
  for (size_t i = 0; i < index && i < song_.events.size(); ++i) {
    uint8_t kind = song_.events[i].bytes[0] & 0xF0;
    if (kind == 0xB0 || kind == 0xC0 || kind == 0xE0) output_->Send(song_.events[i]);
  }
}

double Sequencer::PositionMs() {
  std::lock_guard lock(mutex_);
  return NowPositionLocked();
}

bool Sequencer::Playing() {
  std::lock_guard lock(mutex_);
  return playing_;
}

bool Sequencer::AtEnd() {
  std::lock_guard lock(mutex_);
  return !playing_ && basePos_ >= song_.lengthMs;
}

void Sequencer::Run() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    if (!playing_) {
      wake_.wait(lock);
      continue;
    }
    double pos = NowPositionLocked();
    while (next_ < song_.events.size() && song_.events[next_].ms <= pos) {
      if (output_) output_->Send(song_.events[next_]);
      ++next_;
    }
    if (pos >= song_.lengthMs) {
      playing_ = false;
      basePos_ = song_.lengthMs;
      if (output_) output_->Silence();
      auto onEnd = onEnd_;
      lock.unlock();
      if (onEnd) onEnd();
      lock.lock();
      continue;
    }
    double until = next_ < song_.events.size() ? std::min(song_.events[next_].ms, song_.lengthMs) : song_.lengthMs;
    auto when = baseTime_ + std::chrono::microseconds(static_cast<long long>((until - basePos_) * 1000.0));
    wake_.wait_until(lock, when);
  }
}

}  // namespace qel::engine
