// The desktop services against a private D-Bus: one dbus-daemon stands in
// for the session bus and one for the system bus, and the peers on them (a
// screen saver, logind's manager, a launcher listening for progress) record
// what the player sends. Recent documents go to a real recently-used.xbel in
// a temporary folder and are read back with GLib's own bookmark reader.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QDateTime>
#include <QStandardPaths>
#include <QUrl>
#include <QXmlStreamReader>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <glib.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "desktop/desktop_services.h"
#include "private_bus.h"

namespace qel::desktop {
namespace {

namespace fs = std::filesystem;

// ---- the private buses

using test::BusDaemon;
using test::PumpFor;
using test::PumpUntil;
using test::StartBus;
using test::StopBus;

// A round trip from `client` to the peer: everything `client` sent to that
// peer before has arrived once it returns (a bus keeps each sender's order),
// and the answers the peer gave before have been handled.
void Barrier(QDBusConnection client, const QString& service, const QString& path) {
  QDBusMessage ping = QDBusMessage::createMethodCall(service, path, "org.qel.Test", "Ping");
  QDBusPendingCallWatcher watcher(client.asyncCall(ping, 3000));
  PumpUntil([&] { return watcher.isFinished(); });
  QCoreApplication::processEvents();
}

// ---- the peers

// org.freedesktop.ScreenSaver: answers Inhibit with a fresh cookie, or holds
// the call unanswered when `answer` is off.
class FakeScreenSaver : public QDBusVirtualObject {
 public:
  bool answer = true;
  unsigned nextCookie = 41;
  std::vector<QDBusMessage> inhibits;
  std::vector<QDBusMessage> held;
  std::vector<unsigned> uninhibits;

  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
    if (m.interface() == "org.qel.Test") return c.send(m.createReply());
    if (m.interface() != "org.freedesktop.ScreenSaver") return false;
    if (m.member() == "Inhibit") {
      inhibits.push_back(m);
      if (answer)
        c.send(m.createReply(QVariant::fromValue(nextCookie++)));
      else
        held.push_back(m);
      return true;
    }
    if (m.member() == "UnInhibit") {
      uninhibits.push_back(m.arguments().value(0).toUInt());
      return c.send(m.createReply());
    }
    return false;
  }
};

// org.freedesktop.login1.Manager: answers Inhibit with the write end of a
// pipe and keeps the read end, which sees end-of-file once every copy of
// the write end is closed, that is when the inhibition ends.
class FakeLogin : public QDBusVirtualObject {
 public:
  bool answer = true;
  std::vector<QDBusMessage> inhibits;
  std::vector<QDBusMessage> held;
  std::vector<int> readEnds;

  ~FakeLogin() override {
    for (int fd : readEnds) close(fd);
  }
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
    if (m.interface() == "org.qel.Test") return c.send(m.createReply());
    if (m.interface() != "org.freedesktop.login1.Manager" || m.member() != "Inhibit") return false;
    inhibits.push_back(m);
    if (answer)
      Reply(m, c);
    else
      held.push_back(m);
    return true;
  }
  void Reply(const QDBusMessage& m, const QDBusConnection& c) {
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0) return;
    readEnds.push_back(p[0]);
    {
      QDBusUnixFileDescriptor fd(p[1]);  // holds its own copy
      c.send(m.createReply(QVariant::fromValue(fd)));
    }
    close(p[1]);
  }
  // Whether the inhibition behind read end `i` has ended.
  bool Ended(size_t i) const {
    pollfd p{readEnds.at(i), POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) return false;
    char c;
    return read(readEnds.at(i), &c, 1) == 0;
  }
};

QStringList Strings(const QDBusMessage& m) {
  QStringList out;
  for (const QVariant& v : m.arguments()) out << v.toString();
  return out;
}

// The two fake services, each on its own connection to its own bus, so that
// everything they see travelled through a dbus-daemon.
struct PowerPeers : ::testing::Test {
  QDBusConnection sessionPeer = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-session-peer");
  QDBusConnection systemPeer = QDBusConnection::connectToBus(QDBusConnection::SystemBus, "fake-system-peer");
  FakeScreenSaver screenSaver;
  FakeLogin login;

  void SetUp() override {
    ASSERT_TRUE(sessionPeer.isConnected());
    ASSERT_TRUE(systemPeer.isConnected());
    ASSERT_TRUE(systemPeer.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing);
    ASSERT_TRUE(systemPeer.registerVirtualObject("/org/freedesktop/login1", &login));
    ASSERT_TRUE(systemPeer.registerService("org.freedesktop.login1"));
  }
  void TearDown() override {
    sessionPeer.unregisterService("org.freedesktop.ScreenSaver");
    sessionPeer.unregisterObject("/org/freedesktop/ScreenSaver");
    systemPeer.unregisterService("org.freedesktop.login1");
    systemPeer.unregisterObject("/org/freedesktop/login1");
    QDBusConnection::disconnectFromBus("fake-session-peer");
    QDBusConnection::disconnectFromBus("fake-system-peer");
  }
  void OfferScreenSaver() {
    ASSERT_TRUE(sessionPeer.registerVirtualObject("/org/freedesktop/ScreenSaver", &screenSaver));
    ASSERT_TRUE(sessionPeer.registerService("org.freedesktop.ScreenSaver"));
  }
  void SessionBarrier() {
    Barrier(QDBusConnection::sessionBus(), "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver");
  }
  void SystemBarrier() { Barrier(QDBusConnection::systemBus(), "org.freedesktop.login1", "/org/freedesktop/login1"); }
};

TEST_F(PowerPeers, DisplayIsInhibitedOnceAndGivenBackWithItsCookie) {
  OfferScreenSaver();
  DesktopServices services;
  services.SetPowerRequests(false, true);
  ASSERT_TRUE(PumpUntil([&] { return screenSaver.inhibits.size() == 1; }));
  EXPECT_EQ(Strings(screenSaver.inhibits[0]), (QStringList{"Qel", "再生中"}));
  SessionBarrier();

  services.SetPowerRequests(false, true);  // already held: nothing new
  SessionBarrier();
  EXPECT_EQ(screenSaver.inhibits.size(), 1u);
  EXPECT_TRUE(screenSaver.uninhibits.empty());

  services.SetPowerRequests(false, false);
  SessionBarrier();
  EXPECT_EQ(screenSaver.uninhibits, std::vector<unsigned>{41});

  services.SetPowerRequests(false, false);  // nothing held: nothing to give back
  SessionBarrier();
  EXPECT_EQ(screenSaver.uninhibits.size(), 1u);
  EXPECT_TRUE(login.inhibits.empty());
}

// Every start of a file clears the requests and makes them again.
TEST_F(PowerPeers, ANewFileClearsAndRequestsAgain) {
  OfferScreenSaver();
  DesktopServices services;
  for (int play = 0; play < 3; ++play) {
    services.SetPowerRequests(false, false);
    services.SetPowerRequests(true, true);
    ASSERT_TRUE(PumpUntil([&] { return screenSaver.inhibits.size() == size_t(play) + 1; }));
    ASSERT_TRUE(PumpUntil([&] { return login.inhibits.size() == size_t(play) + 1; }));
    SessionBarrier();
    SystemBarrier();
  }
  EXPECT_EQ(screenSaver.uninhibits, (std::vector<unsigned>{41, 42}));
  EXPECT_TRUE(login.Ended(0));
  EXPECT_TRUE(login.Ended(1));
  EXPECT_FALSE(login.Ended(2));
}

TEST_F(PowerPeers, SystemSleepIsInhibitedUntilTheDescriptorCloses) {
  DesktopServices services;
  services.SetPowerRequests(true, false);
  ASSERT_TRUE(PumpUntil([&] { return login.inhibits.size() == 1; }));
  const QStringList args = Strings(login.inhibits[0]);
  ASSERT_EQ(args.size(), 4);
  EXPECT_EQ(args[0], "sleep:idle");
  EXPECT_EQ(args[1], "Qel");
  EXPECT_FALSE(args[2].isEmpty());  // the reason shown to the user
  EXPECT_EQ(args[3], "block");
  SystemBarrier();
  PumpFor(50);
  EXPECT_FALSE(login.Ended(0));

  services.SetPowerRequests(true, false);
  SystemBarrier();
  EXPECT_EQ(login.inhibits.size(), 1u);

  services.SetPowerRequests(false, false);
  EXPECT_TRUE(PumpUntil([&] { return login.Ended(0); }));
}

// A screen saver that never answers must not hold up the caller, which is
// the user-interface thread; an answer arriving after the request was
// cleared is given back at once.
TEST_F(PowerPeers, UnansweredRequestsDoNotWaitAndLateAnswersAreGivenBack) {
  OfferScreenSaver();
  screenSaver.answer = false;
  login.answer = false;
  DesktopServices services;
  QElapsedTimer timer;
  timer.start();
  services.SetPowerRequests(true, true);
  const qint64 onNs = timer.nsecsElapsed();
  ASSERT_TRUE(PumpUntil([&] { return screenSaver.held.size() == 1 && login.held.size() == 1; }));
  timer.restart();
  services.SetPowerRequests(true, true);  // still waiting: not asked twice
  services.SetPowerRequests(false, false);
  const qint64 offNs = timer.nsecsElapsed();
  std::cout << "[ measured ] unanswered on: " << onNs / 1000 << " us, on again + off: " << offNs / 1000 << " us\n";
  EXPECT_LT(onNs, 200'000'000);
  EXPECT_LT(offNs, 200'000'000);

  sessionPeer.send(screenSaver.held[0].createReply(QVariant::fromValue(7u)));
  login.Reply(login.held[0], systemPeer);
  EXPECT_TRUE(PumpUntil([&] { return screenSaver.uninhibits.size() == 1; }));
  EXPECT_EQ(screenSaver.uninhibits, std::vector<unsigned>{7});
  EXPECT_TRUE(PumpUntil([&] { return login.Ended(0); }));
  EXPECT_EQ(screenSaver.inhibits.size(), 1u);
  EXPECT_EQ(login.inhibits.size(), 1u);
}

TEST_F(PowerPeers, WithoutAScreenSaverNothingIsLeftToGiveBack) {
  DesktopServices services;
  QElapsedTimer timer;
  timer.start();
  services.SetPowerRequests(false, true);
  EXPECT_LT(timer.elapsed(), 200);
  PumpFor(200);  // the bus's "no such service" comes back meanwhile

  OfferScreenSaver();
  services.SetPowerRequests(false, false);
  SessionBarrier();
  EXPECT_TRUE(screenSaver.uninhibits.empty());

  services.SetPowerRequests(false, true);  // a screen saver that came later is asked
  EXPECT_TRUE(PumpUntil([&] { return screenSaver.inhibits.size() == 1; }));
}

TEST_F(PowerPeers, ClosingTheServicesEndsEveryRequest) {
  OfferScreenSaver();
  {
    DesktopServices services;
    services.SetPowerRequests(true, true);
    ASSERT_TRUE(PumpUntil([&] { return screenSaver.inhibits.size() == 1 && login.inhibits.size() == 1; }));
    SessionBarrier();
    SystemBarrier();
  }
  SessionBarrier();
  EXPECT_EQ(screenSaver.uninhibits, std::vector<unsigned>{41});
  EXPECT_TRUE(PumpUntil([&] { return login.Ended(0); }));
}

// ---- launcher progress

class LauncherListener : public QObject {
  Q_OBJECT
 public:
  std::vector<QDBusMessage> updates;
  int marks = 0;
 public slots:
  void OnUpdate(const QDBusMessage& m) { updates.push_back(m); }
  void OnMark(const QDBusMessage&) { ++marks; }
};

struct LauncherProgress : ::testing::Test {
  QDBusConnection peer = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-launcher");
  LauncherListener listener;

  void SetUp() override {
    ASSERT_TRUE(peer.connect("", "", "com.canonical.Unity.LauncherEntry", "Update", &listener,
                             SLOT(OnUpdate(QDBusMessage))));
    ASSERT_TRUE(peer.connect("", "", "org.qel.Test", "Mark", &listener, SLOT(OnMark(QDBusMessage))));
  }
  void TearDown() override { QDBusConnection::disconnectFromBus("fake-launcher"); }
  // Everything the player's connection sent before has been heard.
  void Heard() {
    const int before = listener.marks;
    QDBusConnection::sessionBus().send(QDBusMessage::createSignal("/org/qel/Test", "org.qel.Test", "Mark"));
    ASSERT_TRUE(PumpUntil([&] { return listener.marks > before; }));
  }
};

TEST_F(LauncherProgress, UpdateCarriesTheShareDone) {
  struct Case {
    long long done, total;
    bool visible;
    double progress;
  };
  const Case cases[] = {
      {30, 120, true, 0.25}, {0, 100, true, 0.0},  {120, 120, true, 1.0}, {250, 100, true, 1.0},
      {-5, 100, true, 0.0},  {0, 0, false, 0.0},   {5, -1, false, 0.0},   {1, 3, true, 1.0 / 3.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.done << " of " << c.total);
    DesktopServices services;  // each its first value: none is held back as a repeat
    listener.updates.clear();
    services.SetTaskbarProgress(c.done, c.total);
    Heard();
    ASSERT_EQ(listener.updates.size(), 1u);
    const QDBusMessage& m = listener.updates[0];
    EXPECT_EQ(m.interface(), "com.canonical.Unity.LauncherEntry");
    EXPECT_EQ(m.signature(), "sa{sv}");
    ASSERT_EQ(m.arguments().size(), 2);
    EXPECT_EQ(m.arguments()[0].toString(), "application://" QEL_APP_ID ".desktop");
    const QVariantMap properties = qdbus_cast<QVariantMap>(m.arguments()[1]);
    EXPECT_EQ(properties.value("progress-visible").toBool(), c.visible);
    if (c.visible) {
      EXPECT_EQ(properties.value("progress").metaType(), QMetaType::fromType<double>());
      EXPECT_DOUBLE_EQ(properties.value("progress").toDouble(), c.progress);
    }
  }
}

// The position timer asks ten times a second; the launcher hears changes.
TEST_F(LauncherProgress, RepeatedValuesAreSentOnce) {
  DesktopServices services;
  for (int tick = 0; tick < 10; ++tick) services.SetTaskbarProgress(12, 240);
  services.SetTaskbarProgress(13, 240);
  services.SetTaskbarProgress(13, 240);
  services.SetTaskbarProgress(0, 0);
  services.SetTaskbarProgress(0, 0);
  Heard();
  ASSERT_EQ(listener.updates.size(), 3u);
  EXPECT_DOUBLE_EQ(qdbus_cast<QVariantMap>(listener.updates[1].arguments()[1]).value("progress").toDouble(),
                   13.0 / 240.0);
}

// ---- no session bus at all

// Run in a child process, since a process connects to its session bus once:
// every call must come back at once and do nothing harmful.
int RunWithoutSessionBus(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QElapsedTimer timer;
  timer.start();
  {
    DesktopServices services;
    services.SetPowerRequests(true, true);
    services.SetTaskbarProgress(5, 10);
    services.SetPowerRequests(false, true);
    services.SetPowerRequests(false, false);
    services.SetPowerRequests(true, false);
    std::printf("calls_us=%lld\n", static_cast<long long>(timer.nsecsElapsed() / 1000));
    std::fflush(stdout);
    PumpFor(300);  // logind's answer, still reachable on the system bus
    services.SetPowerRequests(false, false);
    PumpFor(50);
  }
  return 0;
}

TEST_F(PowerPeers, WithoutASessionBusCallsAreQuickAndSleepIsStillInhibited) {
  OfferScreenSaver();
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QEL_SERVICES_CHILD", "no-session-bus");
  env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/qel-no-bus");
  child.setProcessEnvironment(env);
  child.start(QCoreApplication::applicationFilePath(), {});
  ASSERT_TRUE(child.waitForStarted());
  ASSERT_TRUE(PumpUntil([&] { return child.state() == QProcess::NotRunning; }, 10000));
  EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(child.exitCode(), 0);
  const QString out = QString::fromUtf8(child.readAllStandardOutput());
  std::cout << "[ measured ] without a session bus: " << out.trimmed().toStdString() << "\n";
  const qsizetype at = out.indexOf("calls_us=");
  ASSERT_GE(at, 0);
  EXPECT_LT(out.mid(at + 9).trimmed().toLongLong(), 200'000);
  EXPECT_TRUE(screenSaver.inhibits.empty());
  EXPECT_EQ(login.inhibits.size(), 1u);
  if (!login.readEnds.empty()) {
    EXPECT_TRUE(PumpUntil([&] { return login.Ended(0); }));
  }
}

// ---- recent documents

struct Bookmark {
  QString href, added, modified, visited, mimeType;
  std::map<QString, std::map<QString, QString>> applications;  // name -> attributes
};

// Reads back what the file holds, strictly: nothing when it is not
// well-formed or not an xbel document.
std::optional<std::vector<Bookmark>> ReadXbel(const QString& file) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
  QXmlStreamReader r(&f);
  std::vector<Bookmark> out;
  const QString bookmarkNs = "http://www.freedesktop.org/standards/desktop-bookmarks";
  const QString mimeNs = "http://www.freedesktop.org/standards/shared-mime-info";
  if (!r.readNextStartElement() || r.name() != u"xbel") return std::nullopt;
  while (!r.atEnd()) {
    r.readNext();
    if (!r.isStartElement()) continue;
    const QXmlStreamAttributes a = r.attributes();
    if (r.name() == u"bookmark" && r.namespaceUri().isEmpty()) {
      out.push_back({a.value("href").toString(), a.value("added").toString(), a.value("modified").toString(),
                     a.value("visited").toString(), {}, {}});
    } else if (!out.empty() && r.name() == u"mime-type" && r.namespaceUri() == mimeNs) {
      out.back().mimeType = a.value("type").toString();
    } else if (!out.empty() && r.name() == u"application" && r.namespaceUri() == bookmarkNs) {
      auto& app = out.back().applications[a.value("name").toString()];
      for (const QXmlStreamAttribute& attribute : a) app[attribute.name().toString()] = attribute.value().toString();
    }
  }
  if (r.hasError()) return std::nullopt;
  return out;
}

std::string GlibUri(const std::string& path) {
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  std::string out = uri ? uri : "";
  g_free(uri);
  return out;
}

struct RecentDocuments : ::testing::Test {
  std::string root;
  QString xbel;
  void SetUp() override {
    char pattern[] = "/tmp/qel-recent-XXXXXX";
    root = mkdtemp(pattern);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    xbel = QString::fromStdString(root + "/data/recently-used.xbel");
  }
  void TearDown() override {
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(root);
  }
  std::string Media(const std::string& name) {
    const std::string path = root + "/" + name;
    std::ofstream(path) << "x";
    return path;
  }
  static QByteArray Bytes(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
};

TEST_F(RecentDocuments, FirstAddWritesAnXbelOtherReadersUnderstand) {
  const std::string names[] = {"a b.mp3", "日本語の曲 01.flac", "#1 100%.ogg", "A&B <x> \"q\".mp3",
                               "it's;[x]=y?.m3u", "plain.mid"};
  DesktopServices services;
  EXPECT_EQ(DesktopServices::RecentFilePath(), xbel);
  std::vector<std::string> paths;
  for (const std::string& name : names) {
    paths.push_back(Media(name));
    services.AddRecentDocument(paths.back());
  }
  services.FlushRecentDocuments();
  const auto bookmarks = ReadXbel(xbel);
  ASSERT_TRUE(bookmarks);
  ASSERT_EQ(bookmarks->size(), std::size(names));
  for (size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(paths[i]);
    const Bookmark& b = (*bookmarks)[i];
    EXPECT_EQ(b.href.toStdString(), GlibUri(paths[i]));
    EXPECT_EQ(QUrl(b.href).toLocalFile().toStdString(), paths[i]);
    EXPECT_FALSE(b.href.contains(' '));
    EXPECT_FALSE(b.href.contains('#'));
    for (const QString& stamp : {b.added, b.modified, b.visited}) {
      const QDateTime t = QDateTime::fromString(stamp, Qt::ISODateWithMs);
      EXPECT_TRUE(t.isValid()) << stamp.toStdString();
      EXPECT_EQ(t.timeSpec(), Qt::UTC);
      EXPECT_LE(std::abs(t.secsTo(QDateTime::currentDateTimeUtc())), 60);
    }
    EXPECT_FALSE(b.mimeType.isEmpty());
    ASSERT_EQ(b.applications.count("Qel"), 1u);
    EXPECT_EQ(b.applications.at("Qel").at("count"), "1");
    EXPECT_TRUE(b.applications.at("Qel").at("exec").contains("%u"));
  }
  EXPECT_EQ((*bookmarks)[0].mimeType, "audio/mpeg");
  EXPECT_EQ((*bookmarks)[5].mimeType, "audio/midi");

  // GLib's reader, as GTK's recent-files list uses it.
  GBookmarkFile* file = g_bookmark_file_new();
  GError* error = nullptr;
  ASSERT_TRUE(g_bookmark_file_load_from_file(file, xbel.toUtf8().constData(), &error))
      << (error ? error->message : "");
  EXPECT_EQ(g_bookmark_file_get_size(file), static_cast<int>(std::size(names)));
  for (const std::string& path : paths) {
    const std::string uri = GlibUri(path);
    EXPECT_TRUE(g_bookmark_file_has_item(file, uri.c_str())) << uri;
    EXPECT_TRUE(g_bookmark_file_has_application(file, uri.c_str(), "Qel", nullptr));
    gchar* exec = nullptr;
    guint count = 0;
    EXPECT_TRUE(g_bookmark_file_get_application_info(file, uri.c_str(), "Qel", &exec, &count, nullptr, nullptr));
    EXPECT_EQ(count, 1u);
    EXPECT_TRUE(exec && std::string(exec).find("qel") != std::string::npos);
    g_free(exec);
  }
  g_bookmark_file_free(file);
}

TEST_F(RecentDocuments, AddingAgainRefreshesTheOneEntry) {
  const std::string path = Media("again & again.mp3");
  ASSERT_TRUE(AddToRecentFile(xbel, path));
  const auto first = ReadXbel(xbel);
  ASSERT_TRUE(first && first->size() == 1);
  usleep(5000);
  ASSERT_TRUE(AddToRecentFile(xbel, path));
  ASSERT_TRUE(AddToRecentFile(xbel, path));
  const auto later = ReadXbel(xbel);
  ASSERT_TRUE(later);
  ASSERT_EQ(later->size(), 1u);
  const Bookmark& b = (*later)[0];
  EXPECT_EQ(b.added, (*first)[0].added);
  EXPECT_GT(QDateTime::fromString(b.modified, Qt::ISODateWithMs),
            QDateTime::fromString((*first)[0].modified, Qt::ISODateWithMs));
  EXPECT_EQ(b.visited, b.modified);
  ASSERT_EQ(b.applications.size(), 1u);
  EXPECT_EQ(b.applications.at("Qel").at("count"), "3");
  EXPECT_EQ(b.mimeType, "audio/mpeg");
}

// What GTK programs keep in the file stays: their bookmarks, and on the
// bookmark both share, their application, title and groups.
TEST_F(RecentDocuments, OtherProgramsEntriesAreKept) {
  const std::string ours = Media("shared song.flac");
  const std::string theirs = Media("their document.txt");
  const std::string oursUri = GlibUri(ours), theirsUri = GlibUri(theirs);
  GBookmarkFile* file = g_bookmark_file_new();
  g_bookmark_file_set_title(file, theirsUri.c_str(), "Their <Document> & co");
  g_bookmark_file_set_mime_type(file, theirsUri.c_str(), "text/plain");
  g_bookmark_file_add_application(file, theirsUri.c_str(), "gedit", "gedit %u");
  g_bookmark_file_add_group(file, theirsUri.c_str(), "Office");
  g_bookmark_file_set_mime_type(file, oursUri.c_str(), "audio/flac");
  g_bookmark_file_add_application(file, oursUri.c_str(), "Rhythmbox", "rhythmbox %u");
  g_bookmark_file_add_application(file, oursUri.c_str(), "Rhythmbox", "rhythmbox %u");
  g_bookmark_file_set_title(file, oursUri.c_str(), "Shared");
  g_bookmark_file_set_is_private(file, oursUri.c_str(), TRUE);
  fs::create_directories(root + "/data");
  ASSERT_TRUE(g_bookmark_file_to_file(file, xbel.toUtf8().constData(), nullptr));
  g_bookmark_file_free(file);

  ASSERT_TRUE(AddToRecentFile(xbel, ours));
  ASSERT_TRUE(AddToRecentFile(xbel, Media("new one.mp3")));

  file = g_bookmark_file_new();
  GError* error = nullptr;
  ASSERT_TRUE(g_bookmark_file_load_from_file(file, xbel.toUtf8().constData(), &error))
      << (error ? error->message : "");
  EXPECT_EQ(g_bookmark_file_get_size(file), 3);
  gchar* title = g_bookmark_file_get_title(file, theirsUri.c_str(), nullptr);
  EXPECT_STREQ(title, "Their <Document> & co");
  g_free(title);
  EXPECT_TRUE(g_bookmark_file_has_group(file, theirsUri.c_str(), "Office", nullptr));
  EXPECT_TRUE(g_bookmark_file_has_application(file, theirsUri.c_str(), "gedit", nullptr));
  EXPECT_FALSE(g_bookmark_file_has_application(file, theirsUri.c_str(), "Qel", nullptr));
  gchar* mime = g_bookmark_file_get_mime_type(file, oursUri.c_str(), nullptr);
  EXPECT_STREQ(mime, "audio/flac");
  g_free(mime);
  guint count = 0;
  EXPECT_TRUE(g_bookmark_file_get_application_info(file, oursUri.c_str(), "Rhythmbox", nullptr, &count, nullptr,
                                                   nullptr));
  EXPECT_EQ(count, 2u);
  EXPECT_TRUE(g_bookmark_file_get_application_info(file, oursUri.c_str(), "Qel", nullptr, &count, nullptr, nullptr));
  EXPECT_EQ(count, 1u);
  EXPECT_TRUE(g_bookmark_file_get_is_private(file, oursUri.c_str(), nullptr));
  title = g_bookmark_file_get_title(file, oursUri.c_str(), nullptr);
  EXPECT_STREQ(title, "Shared");
  g_free(title);
  g_bookmark_file_free(file);
}

// Another writer may escape more than GLib does; the file is still the same.
TEST_F(RecentDocuments, EntryEscapedOtherwiseIsTheSameFile) {
  const std::string path = Media("a&b c.mp3");
  const std::string escaped = "file://" + root + "/a%26b%20c.mp3";
  fs::create_directories(root + "/data");
  std::ofstream(xbel.toStdString())
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\"\n"
         "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
         "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
         "  <!-- kept -->\n  <bookmark href=\""
      << escaped
      << "\" added=\"2020-01-02T03:04:05Z\" modified=\"2020-01-02T03:04:05Z\" visited=\"2020-01-02T03:04:05Z\"/>\n"
         "</xbel>\n";
  ASSERT_TRUE(AddToRecentFile(xbel, path));
  const auto bookmarks = ReadXbel(xbel);
  ASSERT_TRUE(bookmarks);
  ASSERT_EQ(bookmarks->size(), 1u);
  EXPECT_EQ((*bookmarks)[0].href.toStdString(), escaped);
  EXPECT_EQ((*bookmarks)[0].added, "2020-01-02T03:04:05Z");
  EXPECT_NE((*bookmarks)[0].modified, "2020-01-02T03:04:05Z");
  EXPECT_EQ((*bookmarks)[0].applications.count("Qel"), 1u);
  EXPECT_FALSE((*bookmarks)[0].mimeType.isEmpty());
  EXPECT_TRUE(Bytes(xbel).contains("<!-- kept -->"));
}

// Documents other writers leave: no declaration, no namespaces declared,
// a document type, an empty root, a prefix bound elsewhere.
TEST_F(RecentDocuments, SparseDocumentsStayReadable) {
  const std::string path = Media("song.mp3");
  const std::string uri = GlibUri(path);
  const std::string contents[] = {
      "<xbel version=\"1.0\"/>",
      "<xbel version=\"1.0\"><bookmark href=\"" + uri + "\" added=\"2020-01-01T00:00:00Z\"/></xbel>",
      "<?xml version=\"1.0\"?>\n<!DOCTYPE xbel PUBLIC \"+//IDN python.org//DTD XML Bookmark Exchange Language "
      "1.0//EN//XML\" \"http://www.python.org/topics/xml/dtds/xbel-1.0.dtd\">\n<xbel version=\"1.0\"></xbel>",
      "<xbel version=\"1.0\" xmlns:bookmark=\"urn:something-else\"><bookmark href=\"file:///elsewhere\"/></xbel>",
  };
  fs::create_directories(root + "/data");
  for (const std::string& content : contents) {
    SCOPED_TRACE(content);
    std::ofstream(xbel.toStdString(), std::ios::trunc) << content;
    ASSERT_TRUE(AddToRecentFile(xbel, path));
    ASSERT_TRUE(AddToRecentFile(xbel, path));
    const auto bookmarks = ReadXbel(xbel);
    ASSERT_TRUE(bookmarks);
    const auto ours = std::find_if(bookmarks->begin(), bookmarks->end(),
                                   [&](const Bookmark& b) { return b.href.toStdString() == uri; });
    ASSERT_NE(ours, bookmarks->end());
    EXPECT_EQ(ours->applications.count("Qel"), 1u);
    EXPECT_EQ(ours->mimeType, "audio/mpeg");
    GBookmarkFile* file = g_bookmark_file_new();
    GError* error = nullptr;
    EXPECT_TRUE(g_bookmark_file_load_from_file(file, xbel.toUtf8().constData(), &error))
        << (error ? error->message : "");
    if (error) g_error_free(error);
    guint count = 0;
    EXPECT_TRUE(g_bookmark_file_get_application_info(file, uri.c_str(), "Qel", nullptr, &count, nullptr, nullptr));
    EXPECT_EQ(count, 2u);
    g_bookmark_file_free(file);
  }
}

TEST_F(RecentDocuments, AFileThatIsNotXbelIsLeftAlone) {
  const QByteArray contents[] = {
      "not xml at all \x01\x02",
      "<html><body>recent</body></html>\n",
      "<?xml version=\"1.0\"?>\n<xbel version=\"1.0\"><bookmark href=\"file:///x\">",
      "garbage before </xbel>\n",
      "<xbel version=\"1.0\"></xbel><xbel/>",
  };
  const std::string path = Media("song.mp3");
  fs::create_directories(root + "/data");
  for (const QByteArray& content : contents) {
    SCOPED_TRACE(content.toStdString());
    {
      QFile f(xbel);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
      f.write(content);
    }
    const auto before = Files();
    EXPECT_FALSE(AddToRecentFile(xbel, path));
    EXPECT_EQ(Bytes(xbel), content);
    EXPECT_EQ(Files(), before);
  }
}

TEST_F(RecentDocuments, NothingIsWrittenWhereItCannotBe) {
  const std::string path = Media("song.mp3");
  // The folder's place is taken by a file.
  std::ofstream(root + "/data") << "a file, not a folder";
  EXPECT_FALSE(AddToRecentFile(xbel, path));
  // The xbel's place is taken by a folder.
  fs::remove(root + "/data");
  fs::create_directories(xbel.toStdString());
  EXPECT_FALSE(AddToRecentFile(xbel, path));
  EXPECT_TRUE(fs::is_directory(xbel.toStdString()));
  EXPECT_TRUE(fs::is_empty(xbel.toStdString()));
  fs::remove(xbel.toStdString());
  if (geteuid() != 0) {  // the super-user writes through permissions
    fs::permissions(root + "/data", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(AddToRecentFile(xbel, path));
    EXPECT_TRUE(fs::is_empty(root + "/data"));
    fs::permissions(root + "/data", fs::perms::owner_all);
    ASSERT_TRUE(AddToRecentFile(xbel, path));
    const QByteArray written = Bytes(xbel);
    fs::permissions(xbel.toStdString(), fs::perms::none);
    EXPECT_FALSE(AddToRecentFile(xbel, Media("other.mp3")));
    fs::permissions(xbel.toStdString(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Bytes(xbel), written);
  }
  const auto files = Files();
  for (const std::string& name : files) EXPECT_EQ(name.find("recently-used.xbel."), std::string::npos) << name;
}

}  // namespace
}  // namespace qel::desktop

int main(int argc, char** argv) {
  if (qEnvironmentVariable("QEL_SERVICES_CHILD") == "no-session-bus")
    return qel::desktop::RunWithoutSessionBus(argc, argv);
  bool listing = false;
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]).starts_with("--gtest_list_tests")) listing = true;
  ::testing::InitGoogleTest(&argc, argv);
  if (listing) return RUN_ALL_TESTS();

  std::signal(SIGPIPE, SIG_IGN);
  char pattern[] = "/tmp/qel-buses-XXXXXX";
  const std::string folder = mkdtemp(pattern);
  qel::test::BusDaemon session = qel::test::StartBus(folder, "session");
  qel::test::BusDaemon system = qel::test::StartBus(folder, "system");
  if (session.address.empty() || system.address.empty()) {
    std::fprintf(stderr, "dbus-daemon did not start\n");
    return 1;
  }
  setenv("DBUS_SESSION_BUS_ADDRESS", session.address.c_str(), 1);
  setenv("DBUS_SYSTEM_BUS_ADDRESS", system.address.c_str(), 1);
  int result;
  {
    QCoreApplication app(argc, argv);
    result = RUN_ALL_TESTS();
  }
  qel::test::StopBus(session);
  qel::test::StopBus(system);
  std::filesystem::remove_all(folder);
  return result;
}

#include "services_test.moc"
