#include "harness.h"

namespace {

// Stands in for the picture decoder: reads every byte handed over, as a
// real decoder would, and answers a one-pixel picture.
class TouchingDecoder : public qel::ImageDecoder {
 public:
  std::optional<qel::Picture> DecodeImageMemory(const std::vector<uint8_t>& bytes) override {
    size_t sum = 0;
    for (uint8_t b : bytes) sum += b;
    if (sum % 2) return std::nullopt;
    return qel::Picture{1, 1, {0, 0, 0, 0}};
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  auto a = fuzz::Input(data, size);
  fuzz::Touch(meta::Mp3Title(a));
  auto b = fuzz::Input(data, size);
  TouchingDecoder images;
  fuzz::Touch(meta::Mp3LyricsAndPicture(b, &images).lyrics);
  auto c = fuzz::Input(data, size);
  (void)meta::MpegAudioLength(c);
  return 0;
}
