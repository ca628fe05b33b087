// The file operations through the real window, under an X server and on a
// session bus of the test's own: the filter, jump and file-name dialogs
// driven with keys, the rename of a file the real engine is playing, the
// clipboard read back by another program (xclip), and the properties
// reaching a file manager on the bus.
#include <QAccessible>
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>

#include "desktop/desktop_services.h"
#include "desktop/file_manager.h"
#include "desktop/main_window.h"
#include "desktop/qt_image_decoder.h"
#include "desktop/query_dialog.h"
#include "desktop/rename_dialog.h"
#include "engine/device.h"
#include "fakes/fakes.h"
#include "fakes/files.h"
#include "private_bus.h"

namespace qel::desktop {
namespace {

namespace fs = std::filesystem;
using test::PumpFor;
using test::PumpUntil;
using Names = std::vector<std::string>;

const std::string kSource = QEL_SOURCE_DIR;
bool haveDisplay = false;

// Acts on the modal windows as they open, one step each, in order.
class DialogScript : public QObject {
 public:
  struct Step {
    std::function<bool(QWidget*)> matches;
    std::function<void(QWidget*)> act;
  };
  explicit DialogScript(std::vector<Step> steps) : steps_(steps.begin(), steps.end()) {
    connect(&timer_, &QTimer::timeout, this, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (pending_ || !modal || steps_.empty() || !modal->isVisible() || !steps_.front().matches(modal)) return;
      // The act runs from the event loop, not from this timer: a timer is
      // not fired again inside its own slot, and the act may open the next
      // window and wait in its loop.
      auto step = std::make_shared<Step>(std::move(steps_.front()));
      steps_.pop_front();
      pending_ = true;
      QPointer<QWidget> target = modal;
      QTimer::singleShot(0, this, [this, step, target] {
        pending_ = false;
        if (target) step->act(target);
      });
    });
    timer_.start(20);
  }
  bool Done() const { return steps_.empty() && !pending_; }

 private:
  std::deque<Step> steps_;
  bool pending_ = false;
  QTimer timer_;
};

template <class T>
DialogScript::Step On(std::function<void(T*)> act) {
  return {[](QWidget* w) { return dynamic_cast<T*>(w) != nullptr; }, [act](QWidget* w) { act(dynamic_cast<T*>(w)); }};
}

// What another program reads from the clipboard in the given format.
QByteArray ReadClipboard(const QString& target) {
  QProcess xclip;
  xclip.start("xclip", {"-o", "-selection", "clipboard", "-t", target});
  // The player answers the request from its own event loop.
  PumpUntil([&] { return xclip.state() == QProcess::NotRunning; }, 5000);
  return xclip.readAllStandardOutput();
}

// Types text as key presses carrying it, as an input method commits it.
void Type(QWidget* target, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(target, &release);
  }
}

QByteArray Uri(const std::string& path) { return QUrl::fromLocalFile(QString::fromStdString(path)).toEncoded(); }

struct FileOpsWindow : ::testing::Test {
  test::FakePlayer player;
  engine::Engine engine{[](std::function<void()> task) {
    QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
  }};
  FileManagerService fileManager;
  MainWindow window{player.state, &engine};
  test::TempDir dir;
  std::string music = dir / "music";

  void SetUp() override {
    if (!haveDisplay) GTEST_SKIP() << "no X server could be started for the window";
    player.state.platform.device = &engine;
    player.state.platform.fileManager = &fileManager;
    for (const char* name : {"01 朝の歌.mp3", "02 夜の歌.mp3", "03 Evening.ogg"})
      test::WriteAll(music + "/" + name, test::ReadAll(kSource + "/demo/" + name));
    window.Create(music, OpenKind::ChosenFolder);  // plays the first file
    ASSERT_TRUE(PumpUntil([&] { return Mode() == "playing"; }));
    // The first tick after an open selects the current row anew.
    ASSERT_TRUE(PumpUntil([&] { return !player.state.relayoutPending; }));
  }
  std::string Mode() {
    std::string mode;
    engine.Send("status " + player.state.mciAlias + " mode", &mode);
    return mode;
  }
  long long Position() {
    std::string ms;
    engine.Send("status " + player.state.mciAlias + " position", &ms);
    return std::atoll(ms.c_str());
  }
  std::string Current() {
    const int i = player.state.currentIndex;
    return i < 0 ? "" : fs::path(player.state.entries[i].path).filename().string();
  }
  Names Rows() {
    Names rows;
    for (int i = 0; i < window.RowCount(); ++i) rows.push_back(window.RowText(i));
    return rows;
  }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(window.list(), static_cast<Qt::Key>(key), modifiers);
  }
};

DialogScript::Step TypeQuery(const char* title, const char* text) {
  return On<QueryDialog>([title, text](QueryDialog* d) {
    EXPECT_EQ(d->windowTitle().toStdString(), title);
    EXPECT_TRUE(d->edit()->text().isEmpty());
    // What a screen reader says of the field, which has no label beside it.
    const QString name = QAccessible::queryAccessibleInterface(d->edit())->text(QAccessible::Name);
    EXPECT_TRUE(name.endsWith(QString::fromUtf8("文字列"))) << name.toStdString();
    Type(d->edit(), QString::fromUtf8(text));
    QTest::keyClick(d->edit(), Qt::Key_Return);
  });
}

TEST_F(FileOpsWindow, FilterAndJumpDialogsAnswerThroughTheKeys) {
  {
    DialogScript script({TypeQuery("Qel絞り込み", "OR 夜 Evening")});
    Key(Qt::Key_F10);
    EXPECT_TRUE(script.Done());
  }
  EXPECT_EQ(Rows(), (Names{"夜の歌", "Evening"}));  // the files' titles
  EXPECT_EQ(Current(), "02 夜の歌.mp3");  // the playing file was filtered away
  {
    DialogScript script({TypeQuery("Qelジャンプ", "Evening")});
    Key(Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(script.Done());
  }
  EXPECT_EQ(Current(), "03 Evening.ogg");
  EXPECT_TRUE(PumpUntil([&] { return Mode() == "playing"; }));
  Key(Qt::Key_F3);  // jump again: the only match is the current entry
  EXPECT_EQ(Current(), "03 Evening.ogg");

  // The close box keeps the query, Escape clears it.
  {
    DialogScript script({On<QueryDialog>([](QueryDialog* d) { d->close(); })});
    Key(Qt::Key_F2);
  }
  EXPECT_EQ(player.state.queryText, "Evening");
  {
    DialogScript script({On<QueryDialog>([](QueryDialog* d) {
      Type(d->edit(), "夜");
      QTest::keyClick(d->edit(), Qt::Key_Escape);
    })});
    Key(Qt::Key_F2);
    EXPECT_TRUE(script.Done());
  }
  EXPECT_EQ(player.state.queryText, "");
  EXPECT_EQ(Current(), "03 Evening.ogg");
  EXPECT_TRUE(window.isEnabled());
}

TEST_F(FileOpsWindow, ThePlayingFileRenamedPlaysOnWithinASecondOfWhereItWas) {
  ASSERT_TRUE(PumpUntil([&] { return Position() >= 1500; }, 5000));
  window.SetAllRowsSelected(false);
  window.SetRowSelected(0, true);
  long long before = -1;
  DialogScript script({
      On<FileNameDialog>([](FileNameDialog* d) {
        EXPECT_EQ(d->windowTitle().toStdString(), "ファイル名");
        EXPECT_EQ(d->edit()->text().toStdString(), "01 朝の歌.mp3");
        EXPECT_EQ(d->edit()->selectedText().toStdString(), "01 朝の歌");
        EXPECT_EQ(QAccessible::queryAccessibleInterface(d->edit())->text(QAccessible::Name).toStdString(),
                  "新しいファイル名");
        QTest::keyClick(d->edit(), Qt::Key_Return);  // its own name: taken
      }),
      On<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->text().toStdString(), "既に存在するファイル名です。");
        box->button(QMessageBox::Ok)->click();
      }),
      On<FileNameDialog>([&](FileNameDialog* d) {
        Type(d->edit(), "morning");  // replaces the selected base name
        before = Position();
        QTest::keyClick(d->edit(), Qt::Key_Return);
      }),
  });
  Key(Qt::Key_R);
  ASSERT_TRUE(script.Done());
  EXPECT_TRUE(fs::exists(music + "/morning.mp3"));
  EXPECT_FALSE(fs::exists(music + "/01 朝の歌.mp3"));
  EXPECT_EQ(player.state.entries[0].path, music + "/morning.mp3");
  EXPECT_EQ(Current(), "morning.mp3");
  EXPECT_EQ(Mode(), "playing");
  const long long after = Position();
  std::printf("position before the rename %lld ms, after %lld ms\n", before, after);
  EXPECT_LT(std::llabs(after - before), 1000);
  EXPECT_TRUE(PumpUntil([&] { return Position() > after + 200; }));  // and it goes on
}

TEST_F(FileOpsWindow, TheClipboardHoldsTheFilesForCopyAndForCut) {
  const std::string a = music + "/01 朝の歌.mp3";
  const std::string c = music + "/03 Evening.ogg";
  window.SetAllRowsSelected(false);
  window.SetRowSelected(0, true);
  window.SetRowSelected(2, true);
  Key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(ReadClipboard("text/uri-list"), Uri(a) + "\r\n" + Uri(c) + "\r\n");
  EXPECT_EQ(ReadClipboard("x-special/gnome-copied-files"), "copy\n" + Uri(a) + "\n" + Uri(c));
  EXPECT_EQ(ReadClipboard("application/x-kde-cutselection"), "0");
  EXPECT_EQ(ReadClipboard("UTF8_STRING").toStdString(), a + "\n" + c);
  EXPECT_EQ(Rows().size(), 3u);

  Key(Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(ReadClipboard("x-special/gnome-copied-files"), "cut\n" + Uri(a) + "\n" + Uri(c));
  EXPECT_EQ(ReadClipboard("application/x-kde-cutselection"), "1");
  EXPECT_EQ(Rows(), (Names{"夜の歌"}));
  EXPECT_NE(Mode(), "playing");  // the playing entry was cut
  EXPECT_TRUE(fs::exists(a));    // the file moves when the file manager pastes it
}

// A picture with transparency, captured to the clipboard, pastes as the
// pane shows it (opaque, its stored colours) in whichever flavour another
// program takes.
TEST_F(FileOpsWindow, ACapturedPictureIsOpaqueInEveryFlavour) {
  DesktopServices services;
  QtImageDecoder images;
  player.state.platform.desktop = &services;
  player.state.platform.images = &images;
  QImage picture(30, 20, QImage::Format_ARGB32);
  picture.fill(QColor(10, 200, 30, 0));
  for (int y = 0; y < 20; ++y)
    for (int x = 15; x < 30; ++x) picture.setPixel(x, y, qRgba(200, 10, 30, 128));
  ASSERT_TRUE(picture.save(QString::fromStdString(music + "/01 朝の歌.png"), "PNG"));
  window.Command(40026);  // the lyrics switch, twice: the pane is read anew
  window.Command(40026);
  ASSERT_TRUE(PumpUntil([&] { return player.state.panePicture.has_value(); }));
  Key(Qt::Key_F11);
  for (const char* flavour : {"image/png", "image/bmp"}) {
    const QImage pasted = QImage::fromData(ReadClipboard(flavour));
    ASSERT_EQ(pasted.size(), QSize(30, 20)) << flavour;
    EXPECT_EQ(pasted.pixel(5, 10), qRgb(10, 200, 30)) << flavour;
    EXPECT_EQ(pasted.pixel(25, 10), qRgb(200, 10, 30)) << flavour;
  }
  player.state.platform.desktop = &player.desktop;
  player.state.platform.images = &player.images;
}

// org.freedesktop.FileManager1 on its own connection to the test's bus.
class FileManagerPeer : public QDBusVirtualObject {
 public:
  enum class Answer { Properties, OnlyShowItems, Never } answer = Answer::Properties;
  std::vector<QDBusMessage> calls;

  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
    if (m.interface() != "org.freedesktop.FileManager1") return false;
    calls.push_back(m);
    if (answer == Answer::Never) return true;  // a file manager that hangs
    if (m.member() == "ShowItemProperties" && answer == Answer::OnlyShowItems)
      return c.send(m.createErrorReply(QDBusError::UnknownMethod, "no properties here"));
    return c.send(m.createReply());
  }
};

TEST_F(FileOpsWindow, PropertiesOfTheRightClickedFileReachTheFileManager) {
  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "file-manager-peer");
  ASSERT_TRUE(bus.isConnected());
  FileManagerPeer peer;
  ASSERT_TRUE(bus.registerVirtualObject("/org/freedesktop/FileManager1", &peer));
  ASSERT_TRUE(bus.registerService("org.freedesktop.FileManager1"));
  const QByteArray uri = Uri(music + "/02 夜の歌.mp3");

  auto properties = [&] {
    auto* list = window.list();
    const QPoint at = list->RowRect(1).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &event);
    QMenu* menu = window.menu("QEL_POPUP");
    for (QAction* action : menu->actions())
      if (action->text() == "プロパティ") action->trigger();
    menu->close();
  };
  struct Case {
    FileManagerPeer::Answer answer;
    Names members;
  } cases[] = {
      {FileManagerPeer::Answer::Properties, {"ShowItemProperties"}},
      {FileManagerPeer::Answer::OnlyShowItems, {"ShowItemProperties", "ShowItems"}},
  };
  for (const Case& c : cases) {
    peer.calls.clear();
    peer.answer = c.answer;
    properties();
    ASSERT_TRUE(PumpUntil([&] { return peer.calls.size() == c.members.size(); }));
    PumpFor(100);
    ASSERT_EQ(peer.calls.size(), c.members.size());
    for (size_t i = 0; i < c.members.size(); ++i) {
      EXPECT_EQ(peer.calls[i].member().toStdString(), c.members[i]);
      EXPECT_EQ(peer.calls[i].arguments().value(0).toStringList(), QStringList{QString::fromLatin1(uri)});
    }
  }
  // A file manager that never answers does not hold the window up.
  peer.calls.clear();
  peer.answer = FileManagerPeer::Answer::Never;
  QElapsedTimer clock;
  clock.start();
  properties();
  EXPECT_LT(clock.elapsed(), 200);
  EXPECT_TRUE(PumpUntil([&] { return peer.calls.size() == 1; }));
  bus.unregisterService("org.freedesktop.FileManager1");
  QDBusConnection::disconnectFromBus("file-manager-peer");
}

// An X server of the test's own.
pid_t StartX(std::string* display) {
  int out[2];
  if (pipe(out) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    close(out[0]);
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, 2);
    execlp("Xvfb", "Xvfb", "-displayfd", std::to_string(out[1]).c_str(), "-screen", "0", "1024x768x24", "-nolisten",
           "tcp", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string number;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') number += c;
  close(out[0]);
  if (number.empty()) {
    waitpid(pid, nullptr, 0);
    return -1;
  }
  *display = ":" + number;
  return pid;
}

}  // namespace
}  // namespace qel::desktop

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]).starts_with("--gtest_list_tests")) listing = true;
  ::testing::InitGoogleTest(&argc, argv);
  if (listing) return RUN_ALL_TESTS();

  std::signal(SIGPIPE, SIG_IGN);
  char pattern[] = "/tmp/qel-fileops-XXXXXX";
  const std::string folder = mkdtemp(pattern);
  std::string display;
  const pid_t x = qel::desktop::StartX(&display);
  qel::test::BusDaemon bus = qel::test::StartBus(folder, "session");
  qel::desktop::haveDisplay = x > 0 && !bus.address.empty();
  if (qel::desktop::haveDisplay) {
    setenv("DISPLAY", display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  } else {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  setenv("DBUS_SESSION_BUS_ADDRESS", bus.address.c_str(), 1);
  setenv("QEL_AUDIO_OUTPUT", "null", 1);
  setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
  int result;
  {
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(qel);
    result = RUN_ALL_TESTS();
  }
  qel::test::StopBus(bus);
  if (x > 0) {
    kill(x, SIGTERM);
    waitpid(x, nullptr, 0);
  }
  std::filesystem::remove_all(folder);
  return result;
}
