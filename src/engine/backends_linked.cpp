// The backends of an engine linked whole (tests and tools): at hand.
#include "engine/backends.h"

namespace qel::engine {

const PlayerBackend* Player() { return &kPlayerBackend; }
const MidiBackend* Midi() { return &kMidiBackend; }

}  // namespace qel::engine
