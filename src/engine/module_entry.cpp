// The engine module's one entry point: the program finds it by name once it
// has loaded the module (see module.h).
#include <type_traits>

#include "engine/device.h"
#include "engine/module.h"

extern "C" __attribute__((visibility("default"))) qel::engine::MediaEngine* qel_engine_module_create(
    int interfaceVersion, const qel::engine::Poster* post) {
  if (interfaceVersion != qel::engine::kModuleInterfaceVersion || !post || !*post) return nullptr;
  return new qel::engine::Engine(*post);
}

// The type the program casts the symbol to must be the one defined here.
static_assert(std::is_same_v<decltype(&qel_engine_module_create), qel::engine::ModuleFactory>);
