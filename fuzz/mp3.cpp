#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  auto a = fuzz::Input(data, size);
  fuzz::Touch(meta::Mp3Title(a));
  auto b = fuzz::Input(data, size);
  fuzz::TouchingDecoder images;
  const meta::LyricsAndPicture found = meta::Mp3LyricsAndPicture(b, &images);
  fuzz::Touch(found.lyrics);
  for (const SyncedLine& line : found.syncedLyrics) fuzz::Touch(line.words);
  auto c = fuzz::Input(data, size);
  (void)meta::MpegAudioLength(c);
  return 0;
}
