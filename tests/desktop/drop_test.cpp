// Files and folders dropped from a file manager, on the list and beside it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

#include "desktop/main_window.h"
#include "playing_window.h"
#include "engine/device.h"
#include "fakes/fakes.h"
#include "fakes/files.h"

namespace qel::desktop {
namespace {

const std::string kSource = QEL_SOURCE_DIR;

struct Drops : PlayingWindow {

  void SetUp() override {
    const std::pair<const char*, const char*> media[] = {
        {"b 10.mp3", "demo/02 夜の歌.mp3"},       {"b 9.mp3", "demo/01 朝の歌.mp3"},
        {"a.ogg", "demo/03 Evening.ogg"},         {"more/c.mp3", "tests/data/engine/tone.mp3"},
        {"more/d.flac", "tests/data/engine/tone.flac"}};
    for (const auto& [name, source] : media) test::WriteAll(dir / name, test::ReadAll(kSource + "/" + source));
    for (const char* name : {"cover.jpg", "notes.txt"}) test::WriteAll(dir / name, "");
    // The real creation: geometry from the template, settings, an empty open.
    window.Create("", OpenKind::File);
  }

  // Drops these URLs at a point of the window, as a file manager would.
  bool Drop(const QList<QUrl>& urls, QPoint at) {
    QMimeData mime;
    mime.setUrls(urls);
    // Qt hands a drop only to the widget that took the drag's entry.
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    QDropEvent event(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &event);
    return event.isAccepted();
  }
  QUrl Url(const std::string& name) const { return QUrl::fromLocalFile(QString::fromStdString(dir / name)); }
  QPoint OnList() { return window.list()->geometry().center(); }
  QPoint Beside() const { return {2, 2}; }  // the margin above the buttons

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const ListEntry& e : player.state.entries) names.push_back(e.path.substr(e.path.rfind('/') + 1));
    return names;
  }
  // What the real device plays now, by the list's current entry.
  std::string Playing() {
    std::string mode;
    engine.Send("status " + player.state.mciAlias + " mode", &mode);
    if (mode != "playing" || player.state.currentIndex < 0) return "";
    const std::string& path = player.state.entries[player.state.currentIndex].path;
    return path.substr(dir.path.size() + 1);
  }
};

TEST_F(Drops, AFolderBesideTheListReplacesItAndPlaysTheFirstFile) {
  ASSERT_TRUE(Drop({Url("")}, Beside()));
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.ogg", "b 9.mp3", "b 10.mp3"}));
  EXPECT_EQ(player.state.currentIndex, 0);
  EXPECT_EQ(window.RowCount(), 3);
  EXPECT_EQ(Playing(), "a.ogg");
}

TEST_F(Drops, OnTheListFilesAndFoldersGoBeforeTheRowUnderThePoint) {
  ASSERT_TRUE(Drop({Url("")}, Beside()));
  window.Command(1008);  // next: "b 9.mp3"
  ASSERT_EQ(Playing(), "b 9.mp3");
  const QRect row0 = window.list()->RowRect(0);
  const QPoint onRow0 = window.list()->mapTo(&window, window.list()->viewport()->mapTo(window.list(), row0.center()));
  ASSERT_TRUE(Drop({Url("more"), Url("b 10.mp3")}, onRow0));
  const std::vector<std::string> names = Names();
  ASSERT_EQ(names.size(), 6u);
  EXPECT_EQ(names.back(), "b 10.mp3");
  // The dropped items come first; the playing file is still the current one.
  EXPECT_EQ(std::count(names.begin(), names.begin() + 3, "b 10.mp3"), 1);
  EXPECT_EQ(names[player.state.currentIndex], "b 9.mp3");
  EXPECT_EQ(window.RowCount(), 6);
  EXPECT_EQ(Playing(), "b 9.mp3");  // a drop on the list plays nothing new
}

TEST_F(Drops, OnlyTheFirstItemBesideTheListIsOpened) {
  ASSERT_TRUE(Drop({Url("more/d.flac"), Url("b 9.mp3")}, Beside()));
  EXPECT_EQ(Names(), (std::vector<std::string>{"c.mp3", "d.flac"}));
  EXPECT_EQ(player.state.entries[player.state.currentIndex].path, dir / "more/d.flac");
  EXPECT_EQ(Playing(), "more/d.flac");
}

TEST_F(Drops, SomethingThatIsNoLocalFileChangesNothing) {
  ASSERT_TRUE(Drop({Url("")}, Beside()));
  EXPECT_FALSE(Drop({QUrl("https://example.org/song.mp3")}, OnList()));
  EXPECT_FALSE(Drop({}, Beside()));
  EXPECT_EQ(Names().size(), 3u);
  EXPECT_EQ(Playing(), "a.ogg");
}

}  // namespace
}  // namespace qel::desktop
