// Shared by the harnesses: the fuzzer's bytes as a media file in memory or
// on disk, and a picture decoder that reads what it is given.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/metadata/readers.h"
#include "core/platform.h"

namespace qel::fuzz {

inline meta::Source Input(const uint8_t* data, size_t size) {
  return meta::Source::Memory(std::string_view(reinterpret_cast<const char*>(data), size));
}

// Touches every byte of an answer so that a bad view is caught where it is
// made.
inline void Touch(std::string_view s) {
  static volatile size_t sink = 0;
  size_t sum = 0;
  for (char c : s) sum += static_cast<unsigned char>(c);
  sink = sink + sum;
}

// Stands in for the picture decoder: reads every byte handed over, as a
// real decoder would, and answers a one-pixel picture.
class TouchingDecoder : public ImageDecoder {
 public:
  std::optional<Picture> DecodeImageMemory(const std::vector<uint8_t>& bytes) override {
    size_t sum = 0;
    for (uint8_t b : bytes) sum += b;
    if (sum % 2) return std::nullopt;
    return Picture{1, 1, {0, 0, 0, 0}};
  }
};

// A private folder for the files a harness writes, under $TMPDIR, removed
// at exit (a crash leaves it; scripts/test-extra points TMPDIR into the
// build folder).
inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    const char* tmp = getenv("TMPDIR");
    std::string t = std::string(tmp && *tmp ? tmp : "/tmp") + "/qel-fuzz-XXXXXX";
    if (!mkdtemp(t.data())) abort();
    static std::string removeAtExit = t;
    atexit([] { (void)!system(("rm -rf '" + removeAtExit + "'").c_str()); });
    return t;
  }();
  return folder;
}

// Writes bytes to path, replacing what was there; abort on failure, which
// would otherwise look like a reader's answer.
inline void WriteFile(const std::string& path, std::string_view bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) abort();
  close(fd);
}

}  // namespace qel::fuzz
