// The MIDI backend module's one entry point (see backends.h).
#include "engine/backends.h"

extern "C" __attribute__((visibility("default"))) const qel::engine::MidiBackend* qel_engine_midi_backend() {
  return &qel::engine::kMidiBackend;
}
