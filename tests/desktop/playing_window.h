// The real window over the real engine, its sound going nowhere: the
// fixture of the tests that play files through the window.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <functional>

#include "desktop/main_window.h"
#include "engine/device.h"
#include "fakes/fakes.h"
#include "fakes/files.h"

namespace qel::desktop {

struct PlayingWindow : ::testing::Test {
  test::FakePlayer player;
  const bool quiet = setenv("QEL_AUDIO_OUTPUT", "null", 1) == 0;
  engine::Engine engine{[](std::function<void()> task) {
    QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
  }};
  MainWindow window{player.state, &engine};
  test::TempDir dir;

  PlayingWindow() { player.state.platform.device = &engine; }
};

}  // namespace qel::desktop
