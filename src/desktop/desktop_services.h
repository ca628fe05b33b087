// The desktop's services over D-Bus and freedesktop files: power requests,
// launcher progress, recent documents, the master volume.
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "core/platform.h"

namespace qel::desktop {

class DesktopServices : public Desktop {
 public:
  DesktopServices();
  ~DesktopServices() override;
  void AddRecentDocument(const std::string& path) override;
  void SetPowerRequests(bool keepSystemAwake, bool keepDisplayOn) override;
  void SetTaskbarProgress(long long done, long long total) override;
  // No master volume control is wired up: the link then has nothing to follow.
  std::optional<double> MasterVolume() override { return std::nullopt; }
  void SetMasterVolume(double) override {}
  bool MoveToTrash(const std::string& path) override;
  void SetBusyMarker(bool on) override {
    if (onBusy) onBusy(on);
  }
  std::function<void(bool)> onBusy;

  // The recently-used.xbel file the recent documents go to.
  static QString RecentFilePath();

 private:
  bool bus_ = false;
  unsigned screenCookie_ = 0;
  bool screenInhibited_ = false;
  int sleepFd_ = -1;
};

// Adds or refreshes one entry of a recently-used.xbel file, written through a
// temporary file beside it. Returns false when nothing was written.
bool AddToRecentFile(const QString& xbelPath, const std::string& path);

}  // namespace qel::desktop
