// The player on the session bus as an MPRIS media player, so that the
// desktop's media controls, its media keys without the window's focus, lock
// screens and playerctl reach it. Methods and property writes come from
// outside the player: they run through the window's requests, never inside
// a dialog or an operation under way. What they mean is the core's
// (core/app/mpris.h); this only carries it over the bus.
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QString>
#include <optional>
#include <string>

#include "core/app/mpris.h"
#include "core/state.h"

namespace qel::desktop {

class MainWindow;

class MprisService : public QDBusVirtualObject {
  Q_OBJECT
 public:
  MprisService(AppState& state, MainWindow& window);
  ~MprisService() override;

  // Puts the player on the session bus under the instance's name (waiting
  // in the bus's queue while another holds that name). False when there is
  // no session bus, which leaves the player without remote control.
  bool Register(const std::string& instanceName);
  // Leaves the bus: the player is closing.
  void Unregister();
  // After each operation of the player: clients hear of what changed, and
  // of a jump of the position.
  void Refresh();

  QString BusName() const { return busName_; }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
  QString introspect(const QString& path) const override;

 private:
  bool HandleProperties(const QDBusMessage& message, const QDBusConnection& connection);
  bool HandleMethod(const MprisMethod& method, const QDBusMessage& message, const QDBusConnection& connection);
  // The view clients are answered from, its position read now.
  MprisView LiveView();

  AppState& state_;
  MainWindow& window_;
  MprisAbout about_;
  std::optional<QDBusConnection> bus_;
  QString busName_;
  bool registered_ = false;
  // What clients were last told: changes are found against it.
  MprisView view_;
};

}  // namespace qel::desktop
