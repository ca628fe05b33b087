// The engine's Standard MIDI File reader: a song of the fuzzer's bytes.
// Its events come in time order, none after the song's length, each of at
// most three bytes with a status byte first.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/smf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  const std::optional<qel::engine::Song> song = qel::engine::ParseSmf(bytes);
  if (!song) return 0;
  double last = 0;
  for (const qel::engine::MidiEvent& e : song->events) {
    if (!(e.ms >= last) || e.size > 3 || (e.size && !(e.bytes[0] & 0x80))) abort();
    last = e.ms;
  }
  if (!(song->lengthMs >= last)) abort();
  return 0;
}
