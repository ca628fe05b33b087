#include "engine/smf.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

namespace qel::engine {
namespace {

uint32_t Be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }
uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

struct TickEvent {
  uint64_t tick;
  uint32_t order;  // keeps the file order of simultaneous events
  MidiEvent event;
};

// Variable-length quantity; false at the end of the data or when longer than 4 bytes.
bool ReadVlq(const uint8_t*& p, const uint8_t* end, uint32_t* out) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    if (p >= end) return false;
    uint8_t b = *p++;
    v = (v << 7) | (b & 0x7F);
    if (!(b & 0x80)) {
      *out = v;
      return true;
    }
  }
  return false;
}

// Reads one track; returns the tick of its end. Tempo changes go to *tempos.
uint64_t ReadTrack(const uint8_t* p, const uint8_t* end, std::vector<TickEvent>* events,
                   std::multimap<uint64_t, uint32_t>* tempos, uint32_t* order) {
  uint64_t tick = 0;
  uint8_t running = 0;
  while (p < end) {
    uint32_t delta;
    if (!ReadVlq(p, end, &delta)) break;
    tick += delta;
    if (p >= end) break;
    uint8_t status = *p;
    if (status == 0xFF) {  // meta event
      if (end - p < 2) break;
      uint8_t type = p[1];
      p += 2;
      uint32_t len;
      if (!ReadVlq(p, end, &len) || len > static_cast<uint64_t>(end - p)) break;
      if (type == 0x51 && len == 3) tempos->emplace(tick, (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]);
      p += len;
      if (type == 0x2F) break;  // end of track
      continue;
    }
    if (status == 0xF0 || status == 0xF7) {  // system exclusive: not forwarded
      ++p;
      uint32_t len;
      if (!ReadVlq(p, end, &len) || len > static_cast<uint64_t>(end - p)) break;
      p += len;
      running = 0;
      continue;
    }
    if (status & 0x80) {
      running = status;
      ++p;
    } else if (!running) {
      break;  // data byte without a status: the track is damaged
    }
    uint8_t kind = running & 0xF0;
    int dataBytes = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
    if (running >= 0xF0) break;
    if (end - p < dataBytes) break;
    TickEvent te{tick, (*order)++, {}};
    te.event.bytes[0] = running;
    te.event.bytes[1] = p[0] & 0x7F;
    if (dataBytes == 2) te.event.bytes[2] = p[1] & 0x7F;
    te.event.size = static_cast<uint8_t>(1 + dataBytes);
    p += dataBytes;
    events->push_back(te);
    if (events->size() > 20'000'000) break;
  }
  return tick;
}

}  // namespace

std::optional<Song> ParseSmf(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 14) return std::nullopt;
  const uint8_t* data = bytes.data();
  if (!std::equal(data, data + 4, "MThd")) return std::nullopt;
  uint32_t headerLen = Be32(data + 4);
  if (headerLen < 6 || headerLen > bytes.size() - 8) return std::nullopt;
  uint16_t tracks = Be16(data + 10);
  uint16_t division = Be16(data + 12);
  if (division == 0) return std::nullopt;

  std::vector<TickEvent> events;
  std::multimap<uint64_t, uint32_t> tempos;
  uint32_t order = 0;
  uint64_t lastTick = 0;
  size_t pos = 8 + headerLen;
  int found = 0;
  for (int t = 0; t < tracks && pos + 8 <= bytes.size(); ++t) {
    uint32_t len = Be32(data + pos + 4);
    bool isTrack = std::equal(data + pos, data + pos + 4, "MTrk");
    size_t start = pos + 8;
    size_t stop = start + std::min<uint64_t>(len, bytes.size() - start);
    if (isTrack) {
      ++found;
      lastTick = std::max(lastTick, ReadTrack(data + start, data + stop, &events, &tempos, &order));
    } else {
      --t;  // an unknown chunk does not count as a track
    }
    pos = stop;
  }
  if (found == 0) return std::nullopt;

  std::stable_sort(events.begin(), events.end(), [](const TickEvent& a, const TickEvent& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });

  // Tick to milliseconds through the tempo map (120 bpm until the first tempo).
  std::vector<std::pair<uint64_t, uint32_t>> map(tempos.begin(), tempos.end());
  auto toMs = [&](uint64_t tick) {
    if (division & 0x8000) {
      int fps = -static_cast<int8_t>(division >> 8);
      int perFrame = division & 0xFF;
      if (fps <= 0 || perFrame <= 0) return 0.0;
      return tick * 1000.0 / (fps * perFrame);
    }
    double ms = 0;
    uint64_t at = 0;
    uint32_t tempo = 500000;
    for (const auto& [t, value] : map) {
      if (t >= tick) break;
      ms += (t - at) * tempo / 1000.0 / division;
      at = t;
      tempo = value;
    }
    return ms + (tick - at) * tempo / 1000.0 / division;
  };

  Song song;
  song.events.reserve(events.size());
  // Events are in tick order, so walk the map once instead of per event.
  double ms = 0;
  uint64_t at = 0;
  uint32_t tempo = 500000;
  size_t next = 0;
  for (const TickEvent& te : events) {
    if (division & 0x8000) {
      ms = toMs(te.tick);
    } else {
      while (next < map.size() && map[next].first <= te.tick) {
        ms += (map[next].first - at) * tempo / 1000.0 / division;
        at = map[next].first;
        tempo = map[next].second;
        ++next;
      }
    }
    MidiEvent e = te.event;
    e.ms = (division & 0x8000) ? ms : ms + (te.tick - at) * tempo / 1000.0 / division;
    song.events.push_back(e);
  }
  song.lengthMs = toMs(lastTick);
  return song;
}

std::optional<Song> ReadSmfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  // Nothing is read in whole that does not begin like a MIDI file.
  char magic[4] = {};
  if (!in.read(magic, 4) || std::string(magic, 4) != "MThd") return std::nullopt;
  in.seekg(0, std::ios::end);
  auto size = in.tellg();
  if (size < 0 || size > (256 << 20)) return std::nullopt;
  in.seekg(0);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return std::nullopt;
  return ParseSmf(bytes);
}

}  // namespace qel::engine
