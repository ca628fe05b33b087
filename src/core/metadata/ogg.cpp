// Ogg: the title of a Vorbis (or Opus) stream's comment header.
//
// Where this reading goes further than the plain one, and why:
// - Pages are parsed and the comment packet is put together across them:
//   an embedded cover makes the comment header longer than a page, and a
//   TITLE after it would otherwise be lost or read from the wrong bytes.
//   The comment walk ends with the packet, not with the file.
// - The field name is compared without regard to case (FFmpeg writes
//   "title="), and must be TITLE itself, not TITLESORT.
// - Opus streams in an .ogg file carry the same comments after "OpusTags".
// Page checksums are not checked: a damaged page gives a wrong title at
// worst, and the player reads titles of whole folders.
#include <algorithm>
#include <cstdint>

#include "core/metadata/readers.h"

namespace qel::meta {
namespace {

// Pages visited in all: the header pages of every stream in the file and a
// comment packet of up to about 64 MiB (255 segments of 255 bytes a page)
// fit well; a file that needs more is damaged or built to stall the scan.
constexpr int kMaxPages = 2048;
// The streams' first pages all come first; a Vorbis or Opus stream whose
// first page is not among these is not looked for.
constexpr int kMaxFirstPages = 16;

// One packet of one logical stream at a time, read across as many pages as
// it spans; pages of other streams in between are passed over.
class PacketStream final : public Stream {
 public:
  // At the first packet that begins on the page at offset page.
  PacketStream(Source& src, uint64_t page) : src_(src) {
    ok_ = LoadPage(page) && !continued_;
    if (ok_) serial_ = pageSerial_;
  }
  bool ok() const { return ok_; }
  std::string Read(uint64_t n) override {
    std::string out;
    Pull(std::min(n, kMaxRead), &out);
    return out;
  }
  uint64_t Skip(uint64_t n) override { return Pull(n, nullptr); }
  // Passes over the rest of this packet and starts the stream's next one.
  bool NextPacket() {
    while (Pull(UINT64_MAX, nullptr) != 0) {
    }
    if (!ok_ || !packetDone_) return false;
    packetDone_ = false;
    starting_ = true;
    return true;
  }

 private:
  bool LoadPage(uint64_t at) {
    if (++pages_ > kMaxPages) return false;
    Bytes h = src_.Get(at, 27);
    if (!h.Has(0, 27) || !h.Is(0, "OggS")) return false;
    continued_ = h.U8(5) & 0x01;
    pageSerial_ = h.LE32(14);
    uint8_t segments = h.U8(26);
    lacing_ = src_.Copy(at + 27, segments);
    if (lacing_.size() != segments) return false;
    uint64_t body = 0;
    for (char c : lacing_) body += static_cast<uint8_t>(c);
    data_ = at + 27 + segments;
    nextPage_ = data_ + body;
    segment_ = 0;
    return true;
  }
  // The next page of this stream after the current one.
  bool NextPageOfStream() {
    do {
      if (!LoadPage(nextPage_)) return false;
    } while (pageSerial_ != serial_);
    return true;
  }
  // Moves to the next segment of the packet; a segment shorter than 255
  // bytes is its last.
  bool NextSegment() {
    if (segment_ >= lacing_.size()) {
      if (!NextPageOfStream()) return false;
      // A packet that goes on carries on the next page; a new one does not.
      if (continued_ == starting_) return false;
    }
    starting_ = false;
    left_ = static_cast<uint8_t>(lacing_[segment_++]);
    packetDone_ = left_ < 255;
    return true;
  }
  uint64_t Pull(uint64_t n, std::string* out) {
    uint64_t done = 0;
    while (ok_ && done < n) {
      if (left_ == 0) {
        if (packetDone_) break;
        if (!NextSegment()) {
          ok_ = false;
          break;
        }
        continue;
      }
      uint64_t take = std::min(n - done, left_);
      if (out) {
        std::string piece = src_.Copy(data_, take);
        if (piece.size() != take) {
          ok_ = false;
          break;
        }
        out->append(piece);
      }
      data_ += take;
      left_ -= take;
      done += take;
    }
    return done;
  }

  Source& src_;
  bool ok_ = false;
  uint32_t serial_ = 0, pageSerial_ = 0;
  bool continued_ = false;
  std::string lacing_;
  size_t segment_ = 0;
  uint64_t data_ = 0, nextPage_ = 0;
  uint64_t left_ = 0;        // bytes left in the current segment
  bool packetDone_ = false;  // the current segment is the packet's last
  bool starting_ = true;     // no segment of the current packet taken yet
  int pages_ = 0;
};

}  // namespace

std::string OggTitle(Source& src) {
  if (!src.Get(0, 4).Is(0, "OggS")) return {};
  uint64_t page = 0;
  for (int i = 0; i < kMaxFirstPages; ++i) {
    PacketStream p(src, page);
    if (!p.ok()) return {};
    std::string magic = p.Read(8);
    const bool vorbis = magic.compare(0, 7, "\x01vorbis") == 0;
    if (vorbis || magic == "OpusHead") {
      if (!p.NextPacket()) return {};
      if (p.Read(vorbis ? 7 : 8) != (vorbis ? "\x03vorbis" : "OpusTags")) return {};
      return VorbisCommentTitle(p);
    }
    // Another stream (a video, a skeleton) comes first: try the next page.
    Bytes h = src.Get(page, 27);
    uint64_t next = page + 27 + h.U8(26);
    std::string lacing = src.Copy(page + 27, h.U8(26));
    for (char c : lacing) next += static_cast<uint8_t>(c);
    page = next;
  }
  return {};
}

}  // namespace qel::meta
