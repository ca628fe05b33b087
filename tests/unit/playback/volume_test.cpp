#include "core/playback/volume.h"

#include <gtest/gtest.h>

#include "harness.h"

namespace qel::test {
namespace {

TEST(Volume, ChannelValueConversion) {
  struct Case {
    int volume;
    uint16_t value;
  } cases[] = {{1000, 0xFFFF}, {500, 0x7FFF}, {370, 0x5EB7}, {0, 0}, {10, 655}, {-5, 0}, {4000, 0xFFFF}};
  for (const auto& c : cases) EXPECT_EQ(OutputChannelValue(c.volume), c.value) << c.volume;
}

TEST(Volume, SliderAppliesToEveryOutput) {
  FakePlayer p;
  p.state.midiDevice = 1;
  p.state.settings.MasterVolume = false;
  p.desktop.master = 0.25;
  p.window.volumeBar = 37;
  OnVolumeSlider(p.state, 5, 0, {});
  EXPECT_EQ(p.state.volume, 370);
  EXPECT_EQ(p.device.commands, (std::vector<std::string>{"setaudio qel volume to 370"}));
  ASSERT_EQ(p.device.midiVolumes.size(), 1u);
  EXPECT_EQ(p.device.midiVolumes[0].first, 1);
  EXPECT_DOUBLE_EQ(p.device.midiVolumes[0].second, 24247 / 65535.0);
  ASSERT_EQ(p.device.waveVolumes.size(), 1u);
  EXPECT_DOUBLE_EQ(p.device.waveVolumes[0], 24247 / 65535.0);
  EXPECT_EQ(*p.desktop.master, 0.25) << "not linked";

  p.state.settings.MasterVolume = true;
  p.window.volumeBar = 100;
  OnVolumeSlider(p.state, 4, 0, {});
  EXPECT_EQ(p.state.volume, 1000);
  EXPECT_DOUBLE_EQ(*p.desktop.master, 1.0);
}

TEST(Volume, ChannelClickJumpsToThePoint) {
  FakePlayer p;
  p.state.settings.MasterVolume = false;
  // Channel from 9 to 109: a click at 59 is the middle.
  OnVolumeSlider(p.state, 2, 59, Rect{0, 0, 118, 10});
  EXPECT_EQ(p.window.volumeBar, 50);
  EXPECT_EQ(p.state.volume, 500);
  OnVolumeSlider(p.state, 3, 200, Rect{0, 0, 118, 10});
  EXPECT_EQ(p.window.volumeBar, 100);
  OnVolumeSlider(p.state, 3, -50, Rect{0, 0, 118, 10});
  EXPECT_EQ(p.window.volumeBar, 0);
  EXPECT_EQ(p.state.volume, 0);
}

TEST(Volume, PageKeysMoveFiveStepsWithinTheRange) {
  struct Case {
    int bar;
    bool up;
    int after;
  } cases[] = {{3, false, 0}, {98, true, 100}, {50, true, 55}, {50, false, 45}, {0, false, 0}, {100, true, 100}};
  for (const auto& c : cases) {
    FakePlayer p;
    p.window.volumeBar = c.bar;
    StepVolumeBar(p.state, c.up);
    EXPECT_EQ(p.window.volumeBar, c.after);
    EXPECT_EQ(p.state.volume, c.after * 10);
    EXPECT_TRUE(p.device.Sent("setaudio qel volume to " + std::to_string(c.after * 10)));
  }
}

TEST(Volume, MediaKeysStepFiftyAndTheLinkedMasterFollows) {
  FakePlayer p;
  p.state.settings.MasterVolume = true;
  p.state.volume = 980;
  StepVolumeByMediaKey(p.state, true);
  EXPECT_EQ(p.state.volume, 1000);
  StepVolumeByMediaKey(p.state, true);
  EXPECT_EQ(p.state.volume, 1000);
  EXPECT_EQ(p.window.volumeBar, 100);
  EXPECT_DOUBLE_EQ(*p.desktop.master, 1.0);
  p.state.volume = 30;
  StepVolumeByMediaKey(p.state, false);
  EXPECT_EQ(p.state.volume, 0);
  EXPECT_EQ(p.window.volumeBar, 0);
  p.state.settings.MasterVolume = false;
  StepVolumeByMediaKey(p.state, true);
  EXPECT_EQ(p.state.volume, 50);
  EXPECT_DOUBLE_EQ(*p.desktop.master, 0.0);
}

TEST(Volume, MasterVolumeReadIntoVolumeAndSlider) {
  FakePlayer p;
  p.desktop.master = 0.5;
  ReadMasterVolume(p.state);
  EXPECT_EQ(p.state.volume, 500);
  EXPECT_EQ(p.window.volumeBar, 50);
  p.desktop.master = 1.7;
  ReadMasterVolume(p.state);
  EXPECT_EQ(p.state.volume, 1000);
  p.desktop.master = std::nullopt;  // no output endpoint: nothing changes
  ReadMasterVolume(p.state);
  EXPECT_EQ(p.state.volume, 1000);
  EXPECT_TRUE(p.device.commands.empty()) << "reading applies nothing";
}

}  // namespace
}  // namespace qel::test
