#include "desktop/desktop_services.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>
#include <unistd.h>

namespace qel::desktop {

DesktopServices::DesktopServices() {
  // Only with a session bus: headless runs have none.
  bus_ = !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") && QDBusConnection::sessionBus().isConnected();
}

DesktopServices::~DesktopServices() { SetPowerRequests(false, false); }

QString DesktopServices::RecentFilePath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/recently-used.xbel";
}

void DesktopServices::AddRecentDocument(const std::string& path) { AddToRecentFile(RecentFilePath(), path); }

bool AddToRecentFile(const QString& xbelPath, const std::string& path) {
  const QString href = QUrl::fromLocalFile(QString::fromStdString(path)).toString(QUrl::FullyEncoded);
  const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
  QString text;
  {
    QFile file(xbelPath);
    if (file.open(QIODevice::ReadOnly)) text = QString::fromUtf8(file.readAll());
  }
  if (!text.isEmpty() && !text.contains("</xbel>")) return false;  // not a file we understand: keep it
  if (text.isEmpty())
    text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\"\n"
           "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
           "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\">\n</xbel>\n";
  const QString escapedHref = href.toHtmlEscaped();
  const QString marker = "<bookmark href=\"" + escapedHref + "\"";
  if (const qsizetype at = text.indexOf(marker); at >= 0) {
    const qsizetype end = text.indexOf("</bookmark>", at);
    if (end < 0) return false;
    text.remove(at, end + 11 - at);
  }
  const QString entry = "  " + marker + " added=\"" + now + "\" modified=\"" + now + "\" visited=\"" + now +
                        "\">\n    <info>\n      <metadata owner=\"http://freedesktop.org\">\n"
                        "        <bookmark:applications>\n          <bookmark:application name=\"Qel\" "
                        "exec=\"&apos;qel %u&apos;\" modified=\"" + now +
                        "\" count=\"1\"/>\n        </bookmark:applications>\n      </metadata>\n    </info>\n"
                        "  </bookmark>\n";
  text.insert(text.lastIndexOf("</xbel>"), entry);
  QDir().mkpath(QFileInfo(xbelPath).absolutePath());
  QSaveFile out(xbelPath);
  if (!out.open(QIODevice::WriteOnly)) return false;
  out.write(text.toUtf8());
  return out.commit();
}

bool DesktopServices::MoveToTrash(const std::string& path) {
  return QFile::moveToTrash(QString::fromStdString(path));
}

void DesktopServices::SetPowerRequests(bool system, bool display) {
  if (!bus_) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (display && !screenInhibited_) {
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                                       "org.freedesktop.ScreenSaver", "Inhibit");
    call << QString("Qel") << QString("再生中");
    QDBusReply<unsigned> reply = bus.call(call, QDBus::Block, 1000);
    if (reply.isValid()) {
      screenCookie_ = reply.value();
      screenInhibited_ = true;
    }
  } else if (!display && screenInhibited_) {
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                                       "org.freedesktop.ScreenSaver", "UnInhibit");
    call << screenCookie_;
    bus.call(call, QDBus::NoBlock);
    screenInhibited_ = false;
  }
  if (system && sleepFd_ < 0) {
    QDBusConnection systemBus = QDBusConnection::systemBus();
    if (systemBus.isConnected()) {
      QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                         "org.freedesktop.login1.Manager", "Inhibit");
      call << QString("sleep:idle") << QString("Qel") << QString("再生中") << QString("block");
      QDBusReply<QDBusUnixFileDescriptor> reply = systemBus.call(call, QDBus::Block, 1000);
      if (reply.isValid()) sleepFd_ = ::dup(reply.value().fileDescriptor());
    }
  } else if (!system && sleepFd_ >= 0) {
    ::close(sleepFd_);  // closing the descriptor ends the inhibition
    sleepFd_ = -1;
  }
}

void DesktopServices::SetTaskbarProgress(long long done, long long total) {
  if (!bus_) return;
  QDBusMessage signal = QDBusMessage::createSignal("/com/canonical/unity/launcherentry/qel",
                                                   "com.canonical.Unity.LauncherEntry", "Update");
  QVariantMap properties;
  const bool visible = total > 0;
  properties["progress-visible"] = visible;
  properties["progress"] = visible ? std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0) : 0.0;
  signal << QString("application://qel.desktop") << properties;
  QDBusConnection::sessionBus().send(signal);
}

}  // namespace qel::desktop
