// The core's own work on a track's words and cover: detecting and decoding
// Shift-JIS lyrics, and fading a 1500 x 1500 cover for the pane. The whole
// refresh, with the image codec and the painting, is measured on the real
// window by the pane view benchmark.
#include <benchmark/benchmark.h>
#include <string>

#include "core/pane/picture.h"
#include "core/pane/text_file.h"
#include "core/text/encoding.h"

namespace {

// Lyrics of about 2,000 characters, as the player's users keep them.
std::string Lyrics() {
  std::string text;
  for (int verse = 0; verse < 12; ++verse)
    text += "夜の歌\r\n星がひとつ、またひとつ\r\n窓のむこうでまばたきをする\r\nおやすみ、また明日\r\n\r\n";
  return text;
}

qel::Picture Cover(int side) {
  qel::Picture p;
  p.width = p.height = side;
  p.pixels.resize(size_t(side) * side * 4);
  for (size_t i = 0; i < p.pixels.size(); ++i) p.pixels[i] = static_cast<uint8_t>(i * 7);
  return p;
}


void BM_DetectAndDecodeShiftJisLyrics(benchmark::State& st) {
  qel::SetLegacyCodePage("");
  const std::string bytes = qel::Utf8ToLegacy(Lyrics());
  for (auto _ : st) {
    const qel::TextEncoding encoding = qel::DetectTextEncoding(bytes);
    benchmark::DoNotOptimize(qel::DecodeTextFile(bytes, encoding));
  }
  st.SetBytesProcessed(st.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_DetectAndDecodeShiftJisLyrics)->Unit(benchmark::kMicrosecond);

void BM_FadeBitmap1500(benchmark::State& st) {
  const qel::Picture cover = Cover(1500);
  for (auto _ : st) {
    qel::Picture copy = cover;  // the backdrop is a fresh copy at every refresh
    qel::FadeBitmap(copy);
    benchmark::DoNotOptimize(copy.pixels.data());
  }
}
BENCHMARK(BM_FadeBitmap1500)->Unit(benchmark::kMillisecond);


}  // namespace

BENCHMARK_MAIN();
