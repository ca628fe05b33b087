// The backends of the program's engine module: modules of their own in the
// module's folder, loaded at their first use and kept.
#include <dlfcn.h>

#include "engine/backends.h"

namespace qel::engine {
namespace {

template <typename Table>
const Table* Load(const char* file, const char* symbol) {
  Dl_info self{};
  if (!dladdr(reinterpret_cast<void*>(&Load<Table>), &self) || !self.dli_fname) return nullptr;
  std::string path = self.dli_fname;
  path = path.substr(0, path.rfind('/') + 1) + file;
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) return nullptr;
  auto table = reinterpret_cast<const Table* (*)()>(dlsym(module, symbol));
  return table ? table() : nullptr;
}

}  // namespace

const PlayerBackend* Player() {
  static const PlayerBackend* player = Load<PlayerBackend>(kPlayerModuleFile, kPlayerBackendSymbol);
  return player;
}

const MidiBackend* Midi() {
  static const MidiBackend* midi = Load<MidiBackend>(kMidiModuleFile, kMidiBackendSymbol);
  return midi;
}

}  // namespace qel::engine
