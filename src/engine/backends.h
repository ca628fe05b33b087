// The parts of the engine whose libraries weigh most: libmpv with libavformat
// (video and the sound libsndfile does not read, the length probe), and the
// MIDI outputs (FluidSynth, the ALSA sequencer). The engine asks for each
// the first time it needs it. Built into the program's engine module they
// are modules of their own beside it, loaded then, so an MP3 that plays
// maps neither; the static engine that tests and tools link holds them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/engine_internal.h"

namespace qel::engine {

struct PlayerBackend {
  OpenDevice open;  // libmpv
  // Length from container headers and stream information, no decoding.
  std::optional<long long> (*probeLengthMs)(const std::string& path);
};

struct MidiBackend {
  OpenDevice open;  // the sequencer; the output is chosen when it plays
  std::vector<std::string> (*outputs)();  // product names, index 0 the synthesizer
  double (*takeSynthPeak)();
};

// nullptr when the backend cannot be loaded (its module or a library it
// needs is missing). Called on the user-interface thread.
const PlayerBackend* Player();
const MidiBackend* Midi();

// Each backend's own table, defined beside its code.
extern const PlayerBackend kPlayerBackend;
extern const MidiBackend kMidiBackend;

// The symbols a backend module exports, each a function answering its table.
inline constexpr const char* kPlayerBackendSymbol = "qel_engine_player_backend";
inline constexpr const char* kMidiBackendSymbol = "qel_engine_midi_backend";

}  // namespace qel::engine
