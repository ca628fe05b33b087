#include "desktop/file_manager.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QGuiApplication>
#include <QStringList>

#include "desktop/qt_helpers.h"

namespace qel::desktop {
namespace {

QByteArray PlainPaths(const QList<QByteArray>&, const std::vector<std::string>& paths, bool) {
  QByteArray out;
  for (const std::string& path : paths) {
    if (!out.isEmpty()) out += "\n";
    out += QByteArray(path.data(), static_cast<qsizetype>(path.size()));
  }
  return out;
}

// One clipboard format: its name and its content for the URIs and paths.
struct ClipboardFormat {
  const char* mime;
  QByteArray (*content)(const QList<QByteArray>& uris, const std::vector<std::string>& paths, bool cut);
};

const ClipboardFormat kFormats[] = {
    // The standard list: every file manager and most programs take it.
    {"text/uri-list",
     [](const QList<QByteArray>& uris, const std::vector<std::string>&, bool) {
       QByteArray out;
       for (const QByteArray& uri : uris) out += uri + "\r\n";
       return out;
     }},
    // GNOME and its kin (Nautilus, Nemo, Caja, Thunar): copy or cut first.
    {"x-special/gnome-copied-files",
     [](const QList<QByteArray>& uris, const std::vector<std::string>&, bool cut) {
       QByteArray out = cut ? "cut" : "copy";
       for (const QByteArray& uri : uris) out += "\n" + uri;
       return out;
     }},
    // Dolphin and KDE: the cut mark.
    {"application/x-kde-cutselection",
     [](const QList<QByteArray>&, const std::vector<std::string>&, bool cut) {
       return QByteArray(cut ? "1" : "0");
     }},
    // Terminals and editors: the plain paths (as UTF8_STRING and STRING too).
    {"text/plain;charset=utf-8", PlainPaths},
    {"text/plain", PlainPaths},
};

QDBusMessage FileManagerCall(const char* method, const QString& uri) {
  QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                     "org.freedesktop.FileManager1", method);
  call << QStringList{uri} << QString();
  return call;
}

}  // namespace

std::unique_ptr<QMimeData> FileListMimeData(const std::vector<std::string>& paths, bool cut) {
  QList<QByteArray> uris;
  for (const std::string& path : paths) uris.append(FileUri(path).toLatin1());
  auto mime = std::make_unique<QMimeData>();
  for (const ClipboardFormat& format : kFormats) mime->setData(format.mime, format.content(uris, paths, cut));
  return mime;
}

FileManagerService::FileManagerService() : replies_(std::make_unique<QObject>()) {}
FileManagerService::~FileManagerService() = default;

void FileManagerService::PutFilesOnClipboard(const std::vector<std::string>& paths, bool cut) {
  // The clipboard takes the data over.
  QGuiApplication::clipboard()->setMimeData(FileListMimeData(paths, cut).release());
}

void FileManagerService::ShowFileProperties(const std::string& path) {
  if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  const QString uri = FileUri(path);
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(FileManagerCall("ShowItemProperties", uri)), replies_.get());
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, replies_.get(), [uri](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    // No file manager that shows properties: one that shows the file in
    // its folder will do; when none answers either, nothing happens.
    if (w->isError()) QDBusConnection::sessionBus().send(FileManagerCall("ShowItems", uri));
  });
}

}  // namespace qel::desktop
