// The pane follows the current entry through the commands that move it.
#include <gtest/gtest.h>

#include <fstream>

#include "../playback/harness.h"
#include "core/app/commands.h"
#include "core/app/window_rules.h"
#include "core/list/list.h"

namespace qel::test {
namespace {

void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

TEST(PaneFollowsTheEntry, OpenNextPreviousAndTheLyricsSwitch) {
  MediaPlayer p(0);
  const std::string dir = p.folder.path;
  for (const char* name : {"1.mp3", "2.mp3", "3.mp3"}) Write(dir + "/" + name, "x");
  Write(dir + "/1.txt", "first");
  Write(dir + "/2.txt", "second");
  // 3.mp3 has no text: the pane goes empty rather than keeping the last one.

  RunOpenSequence(p.state, dir + "/1.mp3", OpenKind::File);
  ASSERT_EQ(p.state.entries.size(), 3u);
  EXPECT_EQ(p.window.paneText, "first");

  HandleCommand(p.state, 1008, 0);
  EXPECT_EQ(p.window.paneText, "second");
  HandleCommand(p.state, 1008, 0);
  EXPECT_EQ(p.window.paneText, "");
  HandleCommand(p.state, 1007, 0);
  EXPECT_EQ(p.window.paneText, "second");

  // The lyrics switch reloads the pane for the same entry.
  HandleCommand(p.state, 40026, 0);
  EXPECT_FALSE(p.state.settings.ShowText);
  EXPECT_EQ(p.window.paneText, "");
  HandleCommand(p.state, 40026, 0);
  EXPECT_EQ(p.window.paneText, "second");
}

}  // namespace
}  // namespace qel::test
