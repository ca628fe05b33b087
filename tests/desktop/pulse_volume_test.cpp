// The master volume against a real PulseAudio daemon of the test's own.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>

#include "core/app/commands.h"
#include "core/playback/volume.h"
#include "core/settings/settings.h"
#include "desktop/desktop_services.h"
#include "desktop/pulse_volume.h"
#include "fakes/fakes.h"
#include "private_pulse.h"

namespace qel::desktop {
namespace {

using namespace std::chrono_literals;
using qel::test::PrivatePulse;

constexpr double kUnit = 1.0 / 65536;  // one volume unit of the server

// Every test has a folder, a daemon and a client environment of its own:
// the client finds the daemon through PULSE_SERVER unless a test says
// otherwise, and nothing reaches the machine's or the user's sound server.
class PulseVolumeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qel-pulse-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    pulse_ = std::make_unique<PrivatePulse>(folder_);
    setenv("HOME", (folder_ + "/home").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", pulse_->RuntimeDir().c_str(), 1);
    setenv("PULSE_RUNTIME_PATH", pulse_->RuntimeDir().c_str(), 1);
    setenv("PULSE_SERVER", pulse_->Server().c_str(), 1);
    std::string error;
    // The machine has the daemon installed (scripts/bootstrap): not being
    // able to run it is a failure of the setup, not a reason to skip.
    ASSERT_TRUE(pulse_->Start(&error)) << error;
  }
  void TearDown() override {
    pulse_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::string folder_;
  std::unique_ptr<PrivatePulse> pulse_;
};

TEST_F(PulseVolumeTest, ReadsWhatTheServerHolds) {
  struct Case {
    const char* pactl;  // arguments of set-sink-volume after the sink
    double expected;
    int thousandths;  // what the player makes of it, truncating
  } cases[] = {
      {"25%", 0.25, 250},
      {"40%", 0.4, 400},  // 26214 units: a mixer's 40 is the player's 400
      {"37%", 0.37, 370},
      {"100%", 1.0, 1000},
      {"0", 0.0, 0},
      {"150%", 1.0, 1000},  // amplified: clamped
      {"30% 60%", 0.6, 600},  // the louder channel
      {"60% 30%", 0.6, 600},
      {"12345", 12345 * kUnit, 188},  // between thousandths: as it is
  };
  PulseVolume volume;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pactl);
    pulse_->Pactl(std::string("set-sink-volume @DEFAULT_SINK@ ") + c.pactl);
    std::optional<double> read = volume.Volume();
    ASSERT_TRUE(read.has_value());
    EXPECT_NEAR(*read, c.expected, kUnit);
    EXPECT_EQ(static_cast<int>(*read * 1000), c.thousandths);
  }
}

TEST_F(PulseVolumeTest, SetsEveryChannelAndReadsItBack) {
  struct Case {
    double set;
    unsigned units;  // what the server holds on each channel
  } cases[] = {
      {0.25, 16384}, {0.5, 32768}, {1.0, 65536}, {0.0, 0},
      {-1.0, 0},  // clamped
      {2.0, 65536},
      {0.37, 24248},  // 24248.32: rounded, and still read back as 0.370
  };
  PulseVolume volume;
  pulse_->Pactl("set-sink-volume @DEFAULT_SINK@ 30% 60%");  // a balance the set replaces
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    ASSERT_TRUE(volume.SetVolume(c.set));
    EXPECT_EQ(pulse_->DefaultSinkUnits(), (std::vector<unsigned>{c.units, c.units}));
    std::optional<double> read = volume.Volume();
    ASSERT_TRUE(read.has_value());
    EXPECT_NEAR(*read, std::clamp(c.set, 0.0, 1.0), kUnit);
    // The player reads levels as truncated thousandths: what it set must
    // come back whole.
    EXPECT_EQ(static_cast<int>(*read * 1000), static_cast<int>(std::clamp(c.set, 0.0, 1.0) * 1000));
  }
  EXPECT_NE(pulse_->Pactl("get-sink-volume @DEFAULT_SINK@").find("/  37%"), std::string::npos);

  EXPECT_FALSE(volume.SetVolume(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ(pulse_->DefaultSinkUnits(), (std::vector<unsigned>{24248, 24248})) << "NaN leaves the level alone";
}

TEST_F(PulseVolumeTest, FollowsTheDefaultSinkAndKeepsItsChannels) {
  pulse_->Pactl("load-module module-null-sink sink_name=surround channels=6 channel_map=surround-51");
  pulse_->Pactl("set-default-sink surround");
  PulseVolume volume;
  ASSERT_TRUE(volume.SetVolume(0.5));
  EXPECT_EQ(pulse_->DefaultSinkUnits(), std::vector<unsigned>(6, 32768));
  EXPECT_NE(pulse_->Pactl("list sinks").find("front-left,front-right,rear-left,rear-right,front-center,lfe"),
            std::string::npos)
      << "channel map kept";
  // The first sink is not touched by a set of the second.
  pulse_->Pactl("set-default-sink qel_test_sink");
  EXPECT_EQ(pulse_->DefaultSinkUnits(), (std::vector<unsigned>{65536, 65536}));
  EXPECT_NEAR(volume.Volume().value_or(-1), 1.0, kUnit);
}

TEST_F(PulseVolumeTest, FindsTheServerThroughTheRuntimePath) {
  unsetenv("PULSE_SERVER");
  pulse_->Pactl("set-sink-volume @DEFAULT_SINK@ 40%");
  PulseVolume volume;
  EXPECT_NEAR(volume.Volume().value_or(-1), 0.4, kUnit);
}

TEST_F(PulseVolumeTest, NoServerAnswersNothingAndSetsNothing) {
  pulse_->Pactl("set-sink-volume @DEFAULT_SINK@ 40%");
  setenv("PULSE_SERVER", ("unix:" + folder_ + "/missing").c_str(), 1);
  PulseVolume volume;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(volume.Volume().has_value());
  EXPECT_FALSE(volume.SetVolume(0.1));
  EXPECT_FALSE(volume.Volume().has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "an absent server must not hold the caller";
  EXPECT_EQ(pulse_->DefaultSinkUnits(), (std::vector<unsigned>{26214, 26214}));
  // Never started on demand: nothing listens where the client looked.
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/missing"));
}

TEST_F(PulseVolumeTest, StuckServerIsGivenUpWithinTheTimeout) {
  // A socket that takes connections and never says a word.
  std::string path = folder_ + "/stuck";
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, path.size());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(fd, 4), 0);
  setenv("PULSE_SERVER", ("unix:" + path).c_str(), 1);

  PulseVolume volume(200ms, 10s);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(volume.Volume().has_value());
  auto first = std::chrono::steady_clock::now() - start;
  EXPECT_LT(first, 2s);
  // Then quiet for a while: a slider drag is not held up at every step.
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(volume.SetVolume(0.5));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
  close(fd);
}

TEST_F(PulseVolumeTest, ServerThatGoesAwayAndComesBack) {
  PulseVolume volume;
  pulse_->Pactl("set-sink-volume @DEFAULT_SINK@ 20%");
  ASSERT_NEAR(volume.Volume().value_or(-1), 0.2, kUnit);

  pulse_->Kill();
  EXPECT_FALSE(volume.Volume().has_value());
  EXPECT_FALSE(volume.SetVolume(0.3));
  EXPECT_FALSE(volume.Volume().has_value());

  std::string error;
  ASSERT_TRUE(pulse_->Start(&error)) << error;
  // A fresh daemon keeps nothing of the old one: its sink starts at 100%.
  EXPECT_NEAR(volume.Volume().value_or(-1), 1.0, kUnit);
  EXPECT_TRUE(volume.SetVolume(0.3));
  EXPECT_EQ(pulse_->DefaultSinkUnits(), (std::vector<unsigned>{19661, 19661}));

  // An orderly stop between two calls, too.
  pulse_->Stop();
  EXPECT_FALSE(volume.SetVolume(0.6));
}

TEST_F(PulseVolumeTest, ServerWithoutASinkHasNoVolume) {
  PulseVolume volume;
  ASSERT_TRUE(volume.Volume().has_value());
  pulse_->Pactl("unload-module module-null-sink");
  ASSERT_EQ(pulse_->Pactl("list sinks short"), "");
  EXPECT_FALSE(volume.Volume().has_value());
  EXPECT_FALSE(volume.SetVolume(0.5));
  // A sink that turns up later is found by the same connection.
  pulse_->Pactl("load-module module-null-sink sink_name=late");
  pulse_->Pactl("set-sink-volume late 70%");
  EXPECT_NEAR(volume.Volume().value_or(-1), 0.7, kUnit);
}

// The player's own start-up and link toggle, with the desktop's real services.
TEST_F(PulseVolumeTest, PlayerVolumeFollowsTheSink) {
  unsetenv("DBUS_SESSION_BUS_ADDRESS");  // the services' other parts stay off the bus
  qel::test::FakePlayer p;
  DesktopServices services;
  p.state.platform.desktop = &services;

  pulse_->Pactl("set-sink-volume @DEFAULT_SINK@ 40%");
  LoadSettings(p.state);  // no ini: linked to the master volume
  ASSERT_TRUE(p.state.settings.MasterVolume);
  EXPECT_EQ(p.state.volume, 400);
  EXPECT_EQ(p.window.volumeBar, 40);

  // The slider at 37 gives the sink 37%, and reading it back gives 370.
  p.window.volumeBar = 37;
  OnVolumeSlider(p.state, 5, 0, Rect{});
  EXPECT_EQ(pulse_->DefaultSinkUnits(), (std::vector<unsigned>{24248, 24248}));
  pulse_->Pactl("set-sink-volume @DEFAULT_SINK@ 55%");  // 36044 units
  EXPECT_EQ(p.state.volume, 370) << "the player does not watch the sink";

  // Toggling the link off reads the sink once more, and a change is then the
  // player's alone.
  DispatchCommand(p.state, kMenuMasterVolume, 0);
  EXPECT_FALSE(p.state.settings.MasterVolume);
  EXPECT_EQ(p.state.volume, 550);
  EXPECT_EQ(p.window.volumeBar, 55);
  p.window.volumeBar = 80;
  OnVolumeSlider(p.state, 5, 0, Rect{});
  EXPECT_EQ(p.state.volume, 800);
  EXPECT_EQ(pulse_->DefaultSinkUnits(), (std::vector<unsigned>{36044, 36044}));

  // Without a server the stored level stands in.
  pulse_->Stop();
  qel::test::FakePlayer fresh;
  fresh.state.platform.desktop = &services;
  LoadSettings(fresh.state);
  EXPECT_EQ(fresh.state.volume, 1000);
}

// The program starts the read before it builds its window; the settings
// then take that answer, and the slider and the sink stay linked after it.
TEST_F(PulseVolumeTest, VolumeReadAheadReachesTheSettings) {
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  pulse_->Pactl("set-sink-volume @DEFAULT_SINK@ 30%");
  qel::test::FakePlayer p;
  DesktopServices services;
  services.ReadMasterVolumeAhead();
  p.state.platform.desktop = &services;
  LoadSettings(p.state);
  EXPECT_EQ(p.state.volume, 300);
  EXPECT_EQ(p.window.volumeBar, 30);
  p.window.volumeBar = 45;
  OnVolumeSlider(p.state, 5, 0, Rect{});
  EXPECT_EQ(pulse_->DefaultSinkUnits(), (std::vector<unsigned>{29491, 29491}));
  // Asked again, the sink is read anew, not the answer read ahead.
  pulse_->Pactl("set-sink-volume @DEFAULT_SINK@ 60%");
  EXPECT_NEAR(services.MasterVolume().value_or(-1), 0.6, kUnit);

  // A volume set before anyone took the early answer waits for that read,
  // and the sink takes it.
  DesktopServices early;
  early.ReadMasterVolumeAhead();
  early.SetMasterVolume(0.2);
  EXPECT_EQ(pulse_->DefaultSinkUnits(), (std::vector<unsigned>{13107, 13107}));
  EXPECT_NEAR(early.MasterVolume().value_or(-1), 0.2, kUnit);
}

}  // namespace
}  // namespace qel::desktop
