// One reader per container family. Each works on a Source (a file or a
// buffer), reads only the ranges it needs and answers "nothing" (empty text,
// 0 seconds, no picture) for anything it does not recognise. The extension
// dispatch lives in metadata.cpp; these readers do not look at names.
#pragma once

#include <optional>
#include <string>

#include "core/metadata/bytes.h"
#include "core/metadata/metadata.h"
#include "core/platform.h"

namespace qel::meta {

// The bytes an ID3v2 tag at offset at takes (header, frames and a 2.4
// footer), or 0 when none stands there. MP3 audio and FLAC streams follow it.
uint64_t Id3v2Length(Source& src, uint64_t at);

// MP3: ID3v2 (2.2, 2.3, 2.4) title, else the ID3v1 title.
std::string Mp3Title(Source& src);
// Lyrics (USLT/ULT), synchronised lyrics in milliseconds (SYLT/SLT) and
// the cover (APIC/PIC) of the ID3v2 tag; the picture goes through the
// decoder when one is given.
struct LyricsAndPicture {
  std::string lyrics;
  std::vector<SyncedLine> syncedLyrics;
  std::optional<Picture> picture;
};
LyricsAndPicture Mp3LyricsAndPicture(Source& src, ImageDecoder* images);
// MPEG audio length from the first frame header (Xing frame count, else the
// bitrate over the audio bytes).
int MpegAudioLength(Source& src);

std::string FlacTitle(Source& src);
int FlacLength(Source& src);

std::string OggTitle(Source& src);

// The TITLE= comment of a Vorbis comment structure (vendor, count, comments)
// read from s, which ends with the enclosing block or packet.
std::string VorbisCommentTitle(Stream& s);

std::string MidiTitle(Source& src);

std::string AsfTitle(Source& src);
int AsfLength(Source& src);

std::string RealMediaTitle(Source& src);
int RealMediaLength(Source& src);

std::string Mp4AudioTitle(Source& src);
int Mp4Length(Source& src);

int MatroskaLength(Source& src);

int AviLength(Source& src);
int WavLength(Source& src);

// The answer of "status Qel_ length" (milliseconds) as whole seconds, rounded
// up; text that does not start with a digit reads as 0.
int ProbeAnswerSeconds(const std::string& answer);

}  // namespace qel::meta
