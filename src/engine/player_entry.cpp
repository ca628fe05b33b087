// The libmpv backend module's one entry point (see backends.h).
#include "engine/backends.h"

extern "C" __attribute__((visibility("default"))) const qel::engine::PlayerBackend* qel_engine_player_backend() {
  return &qel::engine::kPlayerBackend;
}
