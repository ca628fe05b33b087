// The real window offscreen, driven by wheel and mouse events that enter
// through the window system as a user's would, and reach whichever control
// lies under the pointer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <qpa/qwindowsysteminterface.h>

#include "desktop/main_window.h"
#include "fakes/fakes.h"
#include "fakes/files.h"

namespace qel::desktop {
namespace {

struct Input : ::testing::Test {
  test::FakePlayer player;
  MainWindow window{player.state, nullptr};
  test::TempDir dir;
  ulong clock = 1000000;

  void SetUp() override {
    player.device.responder = [](const std::string& command, test::FakeDevice::Reply& reply) {
      if (command.find(" length") == std::string::npos) return false;
      reply.answer = "60000";
      return true;
    };
    for (int i = 0; i < 40; ++i) test::WriteAll(dir / ("track " + std::to_string(i + 1) + ".mp3"), "");
    window.Create(dir.path, OpenKind::File);
    window.resize(560, 420);
    Settle();
  }
  void Settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
  }
  // Window coordinates of a point inside a control.
  QPoint In(QWidget* control, QPoint at = {-1, -1}) const {
    if (at.x() < 0) at = control->rect().center();
    return control->mapTo(&window, at);
  }
  // One notch (delta 120 up, -120 down) of a real wheel at a point.
  void Wheel(QPoint at, int delta) {
    QWindow* handle = window.windowHandle();
    QWindowSystemInterface::handleWheelEvent(handle, QPointF(at), QPointF(handle->mapToGlobal(at)), QPoint(),
                                             QPoint(0, delta));
    QWindowSystemInterface::flushWindowSystemEvents();
    Settle();
  }
  void Mouse(QPoint at, Qt::MouseButtons buttons, Qt::MouseButton button, QEvent::Type type,
             Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWindow* handle = window.windowHandle();
    // A second apart: no two presses make a double click.
    clock += 1000;
    QWindowSystemInterface::handleMouseEvent(handle, clock, QPointF(at), QPointF(handle->mapToGlobal(at)), buttons,
                                             button, type, modifiers);
    QWindowSystemInterface::flushWindowSystemEvents();
    Settle();
  }
  int Volume() const { return window.volumeBar()->value(); }
  QPoint Row(int row) {
    const QRect r = window.list()->RowRect(row);
    return window.list()->viewport()->mapTo(&window, r.center());
  }
  std::vector<std::string> Order() const {
    std::vector<std::string> names;
    for (const ListEntry& e : player.state.entries) names.push_back(e.path.substr(e.path.rfind('/') + 1));
    return names;
  }
};

// One notch changes the volume once, by the rule of the control under the
// pointer; the position slider ignores the wheel.
TEST_F(Input, TheWheelFollowsOneRulePerControl) {
  ASSERT_EQ(player.state.entries.size(), 40u);
  ASSERT_TRUE(window.list()->isVisible());
  window.volumeBar()->setValue(50);
  player.state.volume = 500;
  const int listTop = window.list()->verticalScrollBar()->value();
  struct Case {
    const char* where;
    QPoint at;
    int delta;
    int volume;
  } cases[] = {
      {"list", In(window.list()->viewport()), -120, 45},
      {"list", In(window.list()->viewport()), 120, 50},
      {"background", In(&window, {3, window.height() - 3}), 120, 55},
      {"button", In(window.button(1004)), -120, 50},
      {"time", In(window.timeLabel()), -120, 45},
      {"position slider", In(window.positionBar()), 120, 45},
      {"position slider", In(window.positionBar()), -120, 45},
      {"volume slider", In(window.volumeBar()), 120, 48},
      {"volume slider", In(window.volumeBar()), -120, 45},
      {"pane without text", In(window.pane()->edit()->viewport()), 120, 50},
  };
  for (const Case& c : cases) {
    Wheel(c.at, c.delta);
    EXPECT_EQ(Volume(), c.volume) << c.where << " " << c.delta;
    EXPECT_EQ(player.state.volume, c.volume * 10) << c.where;
  }
  // The list scrolled under the wheel as well (down one notch, up one).
  EXPECT_EQ(window.list()->verticalScrollBar()->value(), listTop);
  Wheel(In(window.list()->viewport()), -120);
  EXPECT_GT(window.list()->verticalScrollBar()->value(), listTop);
  EXPECT_EQ(window.positionBar()->value(), 0);
}

TEST_F(Input, AScrollingPaneTakesTheWheelAndLeavesTheVolume) {
  QStringList lines;
  for (int i = 0; i < 200; ++i) lines << QString("歌詞の行 %1").arg(i);
  window.pane()->edit()->setPlainText(lines.join('\n'));
  Settle();
  ASSERT_GT(window.pane()->edit()->verticalScrollBar()->maximum(), 0);
  window.volumeBar()->setValue(50);
  Wheel(In(window.pane()->edit()->viewport()), -120);
  EXPECT_EQ(Volume(), 50);
  EXPECT_GT(window.pane()->edit()->verticalScrollBar()->value(), 0);
}

// The rows are a model under a list view: a real double click on a row
// reaches the list as one and plays that row's entry.
TEST_F(Input, ADoubleClickOnARowPlaysIt) {
  ASSERT_EQ(player.state.currentIndex, 0);
  QWindow* handle = window.windowHandle();
  const QPoint at = Row(5);
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonPress,
                            QEvent::MouseButtonRelease}) {
    clock += 40;
    const bool press = type == QEvent::MouseButtonPress;
    QWindowSystemInterface::handleMouseEvent(handle, clock, QPointF(at), QPointF(handle->mapToGlobal(at)),
                                             press ? Qt::LeftButton : Qt::NoButton, Qt::LeftButton, type);
  }
  QWindowSystemInterface::flushWindowSystemEvents();
  Settle();
  EXPECT_EQ(player.state.currentIndex, 5);
  EXPECT_EQ(window.SelectedRows(), (std::vector<int>{5}));
}

// A plain press-and-drag selects rows; only a Shift-press on a selected row
// moves the selection.
TEST_F(Input, OnlyAShiftPressOnASelectedRowDragsRows) {
  const std::vector<std::string> before = Order();
  Mouse(Row(1), Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress);
  Mouse(Row(2), Qt::LeftButton, Qt::NoButton, QEvent::MouseMove);
  Mouse(Row(3), Qt::LeftButton, Qt::NoButton, QEvent::MouseMove);
  Mouse(Row(3), Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease);
  EXPECT_EQ(Order(), before);
  EXPECT_EQ(window.SelectedRows(), (std::vector<int>{1, 2, 3}));

  // A Shift-press on an unselected row extends the selection; no move.
  Mouse(Row(5), Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress, Qt::ShiftModifier);
  Mouse(Row(6), Qt::LeftButton, Qt::NoButton, QEvent::MouseMove, Qt::ShiftModifier);
  Mouse(Row(6), Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease, Qt::ShiftModifier);
  EXPECT_EQ(Order(), before);

  // Select rows 1 and 2, then Shift-press on row 2 and drag two rows down.
  Mouse(Row(1), Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress);
  Mouse(Row(1), Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease);
  Mouse(Row(2), Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress, Qt::ShiftModifier);
  Mouse(Row(2), Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease, Qt::ShiftModifier);
  ASSERT_EQ(window.SelectedRows(), (std::vector<int>{1, 2}));
  Mouse(Row(2), Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress, Qt::ShiftModifier);
  EXPECT_EQ(window.SelectedRows(), (std::vector<int>{1, 2}));  // the press kept the selection
  Mouse(Row(3), Qt::LeftButton, Qt::NoButton, QEvent::MouseMove, Qt::ShiftModifier);
  Mouse(Row(4), Qt::LeftButton, Qt::NoButton, QEvent::MouseMove, Qt::ShiftModifier);
  Mouse(Row(4), Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease, Qt::ShiftModifier);
  std::vector<std::string> moved = before;
  std::rotate(moved.begin() + 1, moved.begin() + 3, moved.begin() + 5);
  EXPECT_EQ(Order(), moved);
  EXPECT_EQ(window.SelectedRows(), (std::vector<int>{3, 4}));
  // Moving on without the button moves nothing more.
  Mouse(Row(8), Qt::NoButton, Qt::NoButton, QEvent::MouseMove);
  EXPECT_EQ(Order(), moved);
}

}  // namespace
}  // namespace qel::desktop
