// Standard MIDI File reading: every channel event of every track merged in
// time order, with times in milliseconds from the tempo map.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qel::engine {

struct MidiEvent {
  double ms = 0;                 // from the start of the song
  uint8_t bytes[3] = {0, 0, 0};  // status and up to two data bytes
  uint8_t size = 0;
};

struct Song {
  std::vector<MidiEvent> events;  // ascending ms
  double lengthMs = 0;            // the last event of any track, end of track included
};

// nullopt when the bytes are not a Standard MIDI File ("MThd" header and at
// least one readable "MTrk"); a track cut short keeps what came before.
std::optional<Song> ParseSmf(const std::vector<uint8_t>& bytes);
std::optional<Song> ReadSmfFile(const std::string& path);

}  // namespace qel::engine
