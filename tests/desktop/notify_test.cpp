// The engine's playback notifications through the real window: taken at
// once when the player is idle, held behind a dialog, and dropped when the
// device they speak for has been given another file meanwhile.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "core/playback/device.h"
#include "desktop/main_window.h"
#include "playing_window.h"
#include "engine/device.h"
#include "fakes/fakes.h"
#include "fakes/files.h"

namespace qel::desktop {
namespace {

// 8 kHz mono 16-bit PCM of `ms` milliseconds, byte for byte.
std::string Wav(int ms) {
  const uint32_t samples = 8000u * static_cast<uint32_t>(ms) / 1000u;
  std::string bytes;
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) bytes += static_cast<char>(v >> (8 * i)); };
  auto u16 = [&](uint16_t v) { bytes += static_cast<char>(v); bytes += static_cast<char>(v >> 8); };
  bytes += "RIFF"; u32(36 + samples * 2); bytes += "WAVEfmt "; u32(16); u16(1); u16(1); u32(8000);
  u32(16000); u16(2); u16(16); bytes += "data"; u32(samples * 2);
  for (uint32_t i = 0; i < samples; ++i) u16((i / 10) % 2 ? 6000 : static_cast<uint16_t>(-6000));
  return bytes;
}

void Spin(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

struct Notifications : PlayingWindow {

  void SetUp() override {
    test::WriteAll(dir / "a.wav", Wav(300));
    test::WriteAll(dir / "b.wav", Wav(300));
    test::WriteAll(dir / "c.mp3", test::ReadAll(std::string(QEL_SOURCE_DIR) + "/tests/data/engine/tone.mp3"));
    window.TakePlaybackNotifications();
  }
  ~Notifications() override { engine.Send("close all"); }

  // The file the device has open, and whether it plays.
  std::string Playing() {
    std::string mode;
    engine.Send("status " + player.state.mciAlias + " mode", &mode);
    const int i = player.state.currentIndex;
    if (mode != "playing" || i < 0) return mode;
    const std::string& path = player.state.entries[i].path;
    return path.substr(path.rfind('/') + 1);
  }
  bool WaitFor(const std::string& name, int milliseconds) {
    for (int waited = 0; waited < milliseconds && Playing() != name; waited += 20) Spin(20);
    return Playing() == name;
  }
};

TEST_F(Notifications, AnEndHeldBehindADialogIsDroppedWhenAnotherFilePlaysMeanwhile) {
  window.Create(dir / "a.wav", OpenKind::File);
  ASSERT_EQ(Playing(), "a.wav");
  // Idle: the end of a moves the list on to b.
  ASSERT_TRUE(WaitFor("b.wav", 5000));

  // b ends while a dialog is open; the operation behind the dialog then
  // plays c. The held end of b, released after, must not move c on.
  QDialog dialog(&window);
  QTimer::singleShot(1500, &dialog, [&] {
    EXPECT_NE(Playing(), "b.wav") << "b has ended under the dialog";
    player.state.currentIndex = 2;
    ListEntry entry = player.state.entries[2];
    PlayEntry(player.state, entry, 2, player.state.lastIndex);
    dialog.accept();
  });
  dialog.exec();
  Spin(500);
  EXPECT_EQ(Playing(), "c.mp3");
  EXPECT_EQ(player.state.currentIndex, 2);
}

}  // namespace
}  // namespace qel::desktop
