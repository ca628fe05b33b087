// file: URIs from outside (the media controls' OpenUri, drops, the
// clipboard): a URI of the fuzzer's bytes read as a local path; a path read
// so must come back the same through its own URI, and the media controls'
// hand-off line for it must stay within the bound of a path.
#include <climits>

#include "core/app/mpris.h"
#include "core/fs/file_uri.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qel;
  const std::string_view uri(reinterpret_cast<const char*>(data), size);
  if (const std::optional<std::string> path = LocalPathFromUri(uri)) {
    if (path->empty() || (*path)[0] != '/' || path->find('\0') != std::string::npos) abort();
    if (LocalPathFromUri(FileUri(*path)) != path) abort();
  }
  AppState state;
  state.executablePath = "/usr/bin/qel";
  state.instanceName = "qel";
  if (const std::optional<std::string> line = MprisHandOffLine(state, uri))
    if (line->size() > PATH_MAX + 2) abort();
  return 0;
}
