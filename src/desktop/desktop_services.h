// The desktop's services over D-Bus and freedesktop files: power requests,
// launcher progress, recent documents, the master volume.
#pragma once

#include <QObject>
#include <QThreadPool>
#include <QString>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <utility>

#include "core/platform.h"
#include "desktop/pulse_volume.h"

namespace qel::desktop {

class DesktopServices : public Desktop {
 public:
  DesktopServices();
  ~DesktopServices() override;
  void AddRecentDocument(const std::string& path) override;
  void SetPowerRequests(bool keepSystemAwake, bool keepDisplayOn) override;
  void SetTaskbarProgress(long long done, long long total) override;
  // The default sink's volume; without a sound server the link has nothing
  // to follow.
  std::optional<double> MasterVolume() override;
  void SetMasterVolume(double volume) override;
  // Starts reading the master volume now, on a thread of its own; the next
  // MasterVolume() answers with what it read. Opening libpulse and
  // connecting to the sound server takes about as long as the window's
  // first paint, which it then runs beside instead of after.
  void ReadMasterVolumeAhead();
  void SetBusyMarker(bool on) override {
    if (onBusy) onBusy(on);
  }
  std::function<void(bool)> onBusy;
  void PutPictureOnClipboard(const Picture& picture) override;

  // Waits until every recent document handed over so far is written.
  void FlushRecentDocuments() { recentWriter_.waitForDone(); }

  // The recently-used.xbel file the recent documents go to.
  static QString RecentFilePath();

 private:
  void RequestDisplay();
  void RequestSystem();
  // Whether a session bus is there, asked the first time it matters: the
  // connection is made then, not while the window is being built.
  bool Bus();
  // The first answer of the master volume, when it has been asked ahead.
  void AwaitFirstVolume();

  std::optional<bool> bus_;
  // Power requests never wait for their answer: a screen saver or logind
  // that is slow or stuck must not freeze the window. Answers come back to
  // this object; deleting it drops the ones still outstanding.
  std::unique_ptr<QObject> replies_;
  bool wantDisplay_ = false;
  bool displayPending_ = false;
  std::optional<unsigned> screenCookie_;
  bool wantSystem_ = false;
  bool systemPending_ = false;
  int sleepFd_ = -1;
  // The launcher entry is told only of changes: the position timer asks
  // ten times a second for what is mostly the same value.
  std::optional<std::pair<bool, double>> lastProgress_;
  PulseVolume masterVolume_;
  // The read started ahead; the window's thread touches masterVolume_ only
  // once it has taken its answer.
  std::future<std::optional<double>> firstVolume_;
  // The desktop-wide xbel grows to megabytes and is rewritten whole: that
  // happens on one thread of its own, in order, never on the window's.
  QThreadPool recentWriter_;
};

// Adds or refreshes one entry of a recently-used.xbel file, written through a
// temporary file beside it. Returns false when nothing was written.
bool AddToRecentFile(const QString& xbelPath, const std::string& path);

}  // namespace qel::desktop
