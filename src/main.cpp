// Entry of the qel program: a remote command or a hand-off to the running
// player of this instance name, or a real start with the main window.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <climits>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/app/startup.h"
#include "core/app/window_rules.h"
#include "core/fileops/posix_files.h"
#include "core/playback/device.h"
#include "core/playback/order.h"
#include "core/settings/paths.h"
#include "core/state.h"
#include "desktop/desktop_services.h"
#include "desktop/engine_loader.h"
#include "desktop/file_manager.h"
#include "desktop/instance.h"
#include "desktop/main_window.h"
#include "desktop/mpris_service.h"
#include "desktop/session_end.h"
#include "desktop/translations.h"
#include "desktop/qt_image_decoder.h"

namespace {

std::string ExecutablePath(const char* argv0) {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n > 0) return std::string(buffer, static_cast<size_t>(n));
  return argv0;
}

std::string WorkingDir() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string("/");
}

// "qel --help" and "qel --version" answer and end; a leading "-" would
// otherwise make them instance names, and nobody names an instance so.
bool AnswerInfoRequest(int argc, char** argv) {
  if (argc != 2) return false;
  const std::string arg = argv[1];
  if (arg == "--version") {
    std::printf("qel %s\n", QEL_VERSION);
    return true;
  }
  if (arg == "--help") {
    std::printf(
        "Usage: qel [-name] [path]\n"
        "       qel [-name] /Play | /Stop | /Next\n"
        "\n"
        "Opens a media file, a folder, an M3U/M3U8 playlist or a saved search (.qel)\n"
        "in the player; without a path the list of the last run is resumed. A player\n"
        "of the same name that is already running takes the path over instead.\n"
        "\n"
        "  -name     the instance name: players of different names run side by side\n"
        "  /Play     play, pause or resume in the running player\n"
        "  /Stop     stop the running player\n"
        "  /Next     go to the next entry in the running player\n"
        "  --help    this text\n"
        "  --version the version\n"
        "\n"
        "See qel(1) for the keys, the files and the environment.\n");
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qel;
  if (AnswerInfoRequest(argc, argv)) return 0;
  const Arguments args(argv, argv + argc);
  const std::string executable = ExecutablePath(argv[0]);
  const std::string cwd = WorkingDir();
  const std::string name = InstanceNameFromArguments(args, executable);

  // Whatever a second start could not hand over, the user hears of: a
  // running player that stayed busy or closing, a path too long, no
  // private folder to find the player by.
  const auto tell = [&](desktop::SendOutcome outcome) {
    QApplication app(argc, argv);
    desktop::InstallQtTranslations(app);
    QMessageBox::information(nullptr, "Qel", QString::fromStdString(desktop::SendOutcomeMessage(outcome)));
    return outcome == desktop::SendOutcome::Busy ? 0 : 1;
  };
  if (const int remote = RemoteCommandFromArguments(args)) {
    // Done whether or not a player was running; a player in the middle of
    // a save acts once the save is over.
    const desktop::SendOutcome outcome = desktop::SendToRunningInstance(name, 'C', std::to_string(remote));
    if (outcome == desktop::SendOutcome::NoInstance || outcome == desktop::SendOutcome::Handled) return 0;
    return tell(outcome);
  }
  // No file has a longer path: neither this start nor a running player
  // could open it.
  if (StartupTarget(args, cwd).size() >= PATH_MAX) return tell(desktop::SendOutcome::TooLong);
  // Either the running player takes the line, or this start takes the name
  // and becomes the player.
  desktop::InstanceLock lock;
  const desktop::SendOutcome outcome =
      desktop::SendToRunningInstance(name, 'H', BuildHandOffLine(args, name, cwd), &lock);
  if (outcome == desktop::SendOutcome::Handled) return 0;
  if (outcome != desktop::SendOutcome::NoInstance) return tell(outcome);

  QApplication app(argc, argv);
  desktop::InstallQtTranslations(app);
  Q_INIT_RESOURCE(qel);
  QApplication::setApplicationName("qel");
  QApplication::setDesktopFileName(QStringLiteral(QEL_APP_ID));

  AppState state;
  state.executablePath = executable;
  state.instanceName = name;
  state.mciAlias = MakeMciAlias(executable, name);
  state.iniPath = IniPathFor(executable, name);

  // The engine's libraries are mapped the first time a file is opened or
  // measured, never before the window is up.
  desktop::EngineLoader engine(desktop::EngineLoader::ModulePathsFor(executable), [](std::function<void()> task) {
    QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
  });
  desktop::DesktopServices services;
  QtImageDecoder images;
  PosixFileSystem files;
  desktop::FileManagerService fileManager;
  state.platform.device = &engine;
  state.platform.desktop = &services;
  state.platform.images = &images;
  state.platform.files = &files;
  state.platform.fileManager = &fileManager;

  desktop::MainWindow window(state, &engine);
  window.TakePlaybackNotifications();
  // The sound server answers while the window paints and measures its list.
  window.onShown = [&services, &state] {
    if (state.settings.MasterVolume) services.ReadMasterVolumeAhead();
  };

  // Listening before the window exists: a second start during the first
  // open waits for it instead of finding no player and becoming another.
  desktop::InstanceServer server(
      [&window](char kind, const std::string& payload, std::function<bool()> take, std::function<void()> done) {
        window.FromSecondStart(kind, payload, std::move(take), std::move(done));
      });
  services.onBusy = [&server](bool saving) { server.SetBusy(saving); };
  server.Listen(name, std::move(lock));
  // The desktop's media controls hear of every change the player makes.
  desktop::MprisService mpris(state, window);
  window.onSettled = [&mpris] { mpris.Refresh(); };
  // Once it closes nothing more is taken: a start that arrives then waits,
  // and becomes the next player once this one has written its files and
  // gone; the media controls let it go at once.
  window.onClosing = [&server, &mpris] {
    server.StopListening();
    mpris.Unregister();
  };
  desktop::SessionEnd sessionEnd([&window] { return window.EndSession(); });

  const StartupOpen open = ChooseStartupOpen(args, cwd, AutoPlaylistPath(executable, name));
  // A start that plays needs the engine right after its list: its
  // libraries are mapped while the list is built. A resumed list plays
  // nothing until asked, and leaves them unmapped.
  const bool plays = open.kind != OpenKind::ResumedList && !open.target.empty();
  const std::string playsExtension(ExtensionOf(open.target));
  window.onStartupOpen = [&window, &engine, &mpris, &name, plays, playsExtension] {
    if (plays) engine.Preload(playsExtension);
    // The desktop's media controls find the player once its first list is
    // in: the connection to the session bus is made then, not while the
    // window and its list wait for it.
    QTimer::singleShot(0, &window, [&window, &mpris, &name] {
      if (!window.Destroyed()) mpris.Register(name);
    });
  };
  window.CreateThenOpen(open.target, open.kind);

  const int code = window.Destroyed() ? 0 : app.exec();
  server.Close();
  state.platform.window = nullptr;
  return code;
}
