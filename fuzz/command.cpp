// The engine's command strings: split into words as the device does, each
// word read as a number, and answered as the device answers with nothing
// open.
#include "engine/command.h"
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  const std::string command(reinterpret_cast<const char*>(data), size);
  const engine::Words words = engine::SplitCommand(command);
  (void)engine::AnswerWithNothingOpen(words);
  return 0;
}
