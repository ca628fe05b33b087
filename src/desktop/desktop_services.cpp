#include "desktop/desktop_services.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMimeDatabase>
#include <QSaveFile>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

#include "desktop/pane_view.h"
#include "desktop/qt_helpers.h"

namespace qel::desktop {

namespace {

constexpr char kBookmarkNs[] = "http://www.freedesktop.org/standards/desktop-bookmarks";
constexpr char kMimeNs[] = "http://www.freedesktop.org/standards/shared-mime-info";
constexpr char kAppName[] = "Qel";
constexpr char kAppExec[] = "'qel %u'";
// How long an unanswered power request stays outstanding; nothing waits for it.
constexpr int kPowerReplyTimeoutMs = 5000;

// Whether a bookmark's href names the path, however the writer escaped it.
bool NamesPath(QStringView href, const std::string& path) {
  if (!href.startsWith(u"file://")) return false;
  QStringView rest = href.mid(7);
  if (rest.startsWith(u"localhost/")) rest = rest.mid(9);
  const QByteArray decoded = QByteArray::fromPercentEncoding(rest.toUtf8());
  return decoded == QByteArray::fromStdString(path);
}

QString MimeTypeOf(const std::string& path) {
  return QMimeDatabase().mimeTypeForFile(QString::fromStdString(path)).name();
}

void WriteApplication(QXmlStreamWriter& w, const QString& now, long long count) {
  w.writeEmptyElement(kBookmarkNs, "application");
  w.writeAttribute("name", kAppName);
  w.writeAttribute("exec", kAppExec);
  w.writeAttribute("modified", now);
  w.writeAttribute("count", QString::number(count));
}

void WriteInfo(QXmlStreamWriter& w, const std::string& path, const QString& now) {
  w.writeStartElement("info");
  w.writeStartElement("metadata");
  w.writeAttribute("owner", "http://freedesktop.org");
  w.writeEmptyElement(kMimeNs, "mime-type");
  w.writeAttribute("type", MimeTypeOf(path));
  w.writeStartElement(kBookmarkNs, "applications");
  WriteApplication(w, now, 1);
  w.writeEndElement();
  w.writeEndElement();
  w.writeEndElement();
}

// Declares a namespace on the root element unless the document does already,
// under the usual prefix when that is free.
void DeclareOnce(QXmlStreamWriter& w, const QXmlStreamReader& r, const char* uri, QStringView prefix) {
  bool prefixTaken = false;
  for (const QXmlStreamNamespaceDeclaration& n : r.namespaceDeclarations()) {
    if (n.namespaceUri() == QLatin1StringView(uri)) return;
    if (n.prefix() == prefix) prefixTaken = true;
  }
  w.writeNamespace(uri, prefixTaken ? QString() : prefix.toString());
}

// Copies an xbel document token by token, refreshing the bookmark of the
// path (or adding one), so that everything other programs keep there stays
// as it was. Nothing comes out of a document that is not an xbel one.
std::optional<QByteArray> WithRecentEntry(const QByteArray& document, const std::string& path, const QString& now) {
  QXmlStreamReader r(document);
  QByteArray out;
  out.reserve(document.size() + 2048);
  QXmlStreamWriter w(&out);
  int depth = 0;
  bool found = false;
  bool inEntry = false;   // inside the bookmark of the path
  bool hasOurs = false;   // that bookmark names this program already
  bool sawRoot = false;
  while (!r.atEnd()) {
    r.readNext();
    if (r.hasError()) return std::nullopt;
    switch (r.tokenType()) {
      case QXmlStreamReader::StartElement: {
        ++depth;
        if (depth == 1) {
          if (r.name() != u"xbel" || !r.namespaceUri().isEmpty()) return std::nullopt;
          sawRoot = true;
          w.writeCurrentToken(r);
          // Declared once here, or the writer would declare them again on
          // every element of ours.
          DeclareOnce(w, r, kBookmarkNs, u"bookmark");
          DeclareOnce(w, r, kMimeNs, u"mime");
          break;
        }
        if (depth == 2 && !found && r.name() == u"bookmark" && r.namespaceUri().isEmpty() &&
            NamesPath(r.attributes().value("href"), path)) {
          found = inEntry = true;
          w.writeStartElement(r.namespaceUri().toString(), r.name().toString());
          for (const QXmlStreamNamespaceDeclaration& n : r.namespaceDeclarations())
            w.writeNamespace(n.namespaceUri().toString(), n.prefix().toString());
          for (const QXmlStreamAttribute& a : r.attributes())
            if (a.name() != u"modified" && a.name() != u"visited") w.writeAttribute(a);
          if (!r.attributes().hasAttribute("added")) w.writeAttribute("added", now);
          w.writeAttribute("modified", now);
          w.writeAttribute("visited", now);
          break;
        }
        if (inEntry && !hasOurs && r.name() == u"application" && r.namespaceUri() == QLatin1StringView(kBookmarkNs) &&
            r.attributes().value("name") == QLatin1StringView(kAppName)) {
          hasOurs = true;
          const long long count = r.attributes().value("count").toLongLong();
          w.writeStartElement(kBookmarkNs, "application");
          for (const QXmlStreamNamespaceDeclaration& n : r.namespaceDeclarations())
            w.writeNamespace(n.namespaceUri().toString(), n.prefix().toString());
          for (const QXmlStreamAttribute& a : r.attributes())
            if (a.name() != u"name" && a.name() != u"exec" && a.name() != u"modified" && a.name() != u"count" &&
                a.name() != u"timestamp")
              w.writeAttribute(a);
          w.writeAttribute("name", kAppName);
          w.writeAttribute("exec", kAppExec);
          w.writeAttribute("modified", now);
          w.writeAttribute("count", QString::number(std::max(count, 0LL) + 1));
          break;
        }
        w.writeCurrentToken(r);
        break;
      }
      case QXmlStreamReader::EndElement:
        if (inEntry && !hasOurs && r.name() == u"applications" && r.namespaceUri() == QLatin1StringView(kBookmarkNs)) {
          WriteApplication(w, now, 1);
          hasOurs = true;
        }
        if (inEntry && depth == 2) {
          if (!hasOurs) WriteInfo(w, path, now);
          inEntry = false;
        }
        if (depth == 1 && !found) {
          w.writeCharacters("  ");
          w.writeStartElement("bookmark");
          w.writeAttribute("href", FileUri(path));
          w.writeAttribute("added", now);
          w.writeAttribute("modified", now);
          w.writeAttribute("visited", now);
          WriteInfo(w, path, now);
          w.writeEndElement();
          w.writeCharacters("\n");
          found = true;
        }
        w.writeCurrentToken(r);
        --depth;
        break;
      case QXmlStreamReader::StartDocument:
      case QXmlStreamReader::DTD:
        w.writeCurrentToken(r);
        w.writeCharacters("\n");
        break;
      default:
        w.writeCurrentToken(r);
        break;
    }
  }
  if (!sawRoot || w.hasError()) return std::nullopt;
  return out;
}

// Ends the screen saver's inhibition of this cookie; nothing waits for it.
void UnInhibitScreen(unsigned cookie) {
  QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                                     "org.freedesktop.ScreenSaver", "UnInhibit");
  call << cookie;
  QDBusConnection::sessionBus().send(call);
}

}  // namespace

DesktopServices::DesktopServices() : replies_(std::make_unique<QObject>()) {
  recentWriter_.setMaxThreadCount(1);
}

DesktopServices::~DesktopServices() {
  AwaitFirstVolume();
  SetPowerRequests(false, false);
  FlushRecentDocuments();
}

bool DesktopServices::Bus() {
  // Only with a session bus: headless runs have none.
  if (!bus_)
    bus_ = !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") && QDBusConnection::sessionBus().isConnected();
  return *bus_;
}

void DesktopServices::ReadMasterVolumeAhead() {
  AwaitFirstVolume();
  firstVolume_ = std::async(std::launch::async, [this] { return masterVolume_.Volume(); });
}

void DesktopServices::AwaitFirstVolume() {
  if (firstVolume_.valid()) firstVolume_.get();
}

std::optional<double> DesktopServices::MasterVolume() {
  if (firstVolume_.valid()) return firstVolume_.get();
  return masterVolume_.Volume();
}

void DesktopServices::SetMasterVolume(double volume) {
  AwaitFirstVolume();
  masterVolume_.SetVolume(volume);
}

QString DesktopServices::RecentFilePath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/recently-used.xbel";
}

void DesktopServices::PutPictureOnClipboard(const Picture& picture) {
  if (picture.Empty()) return;
  // Pasted, the picture looks as the pane shows it: opaque, in the stored
  // colours of its transparent pixels. (With its alpha, the PNG flavour most
  // programs take would paste a transparent PNG as nothing at all.) The
  // copy owns its pixels, as the clipboard keeps the image after the
  // picture is gone.
  QGuiApplication::clipboard()->setImage(OpaqueImage(picture).copy());
}

void DesktopServices::AddRecentDocument(const std::string& path) {
  recentWriter_.start([xbel = RecentFilePath(), path] { AddToRecentFile(xbel, path); });
}

bool AddToRecentFile(const QString& xbelPath, const std::string& path) {
  if (path.empty()) return false;
  const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
  QByteArray document;
  {
    QFile file(xbelPath);
    // A file that is there but cannot be read holds other programs' entries:
    // writing a fresh one over it would lose them.
    if (file.exists()) {
      if (!file.open(QIODevice::ReadOnly)) return false;
      document = file.readAll();
      if (file.error() != QFileDevice::NoError) return false;
    }
  }
  if (document.trimmed().isEmpty())
    document = QByteArrayLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\"\n"
        "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
        "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\">\n</xbel>\n");
  const std::optional<QByteArray> text = WithRecentEntry(document, path, now);
  if (!text) return false;
  QDir().mkpath(QFileInfo(xbelPath).absolutePath());
  QSaveFile out(xbelPath);
  if (!out.open(QIODevice::WriteOnly)) return false;
  if (out.write(*text) != text->size()) {
    out.cancelWriting();
    return false;
  }
  return out.commit();
}

void DesktopServices::SetPowerRequests(bool system, bool display) {
  if (display ? Bus() : bus_.value_or(false)) {
    wantDisplay_ = display;
    if (display) {
      RequestDisplay();
    } else if (screenCookie_) {
      UnInhibitScreen(*screenCookie_);
      screenCookie_.reset();
    }
  }
  // logind lives on the system bus, which a session without a session bus
  // (a console or remote login) still has.
  wantSystem_ = system;
  if (system) {
    RequestSystem();
  } else if (sleepFd_ >= 0) {
    ::close(sleepFd_);  // closing the descriptor ends the inhibition
    sleepFd_ = -1;
  }
}

void DesktopServices::RequestDisplay() {
  if (screenCookie_ || displayPending_) return;
  QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                                     "org.freedesktop.ScreenSaver", "Inhibit");
  call << QString("Qel") << QString("再生中");
  QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call, kPowerReplyTimeoutMs);
  displayPending_ = true;
  auto* watcher = new QDBusPendingCallWatcher(pending, replies_.get());
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, replies_.get(), [this](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    displayPending_ = false;
    QDBusPendingReply<unsigned> reply = *w;
    if (reply.isError()) return;
    if (wantDisplay_) {
      screenCookie_ = reply.value();
      return;
    }
    // Cleared while the answer was on its way: give it back at once.
    UnInhibitScreen(reply.value());
  });
}

void DesktopServices::RequestSystem() {
  if (sleepFd_ >= 0 || systemPending_) return;
  QDBusConnection systemBus = QDBusConnection::systemBus();
  if (!systemBus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                     "org.freedesktop.login1.Manager", "Inhibit");
  call << QString("sleep:idle") << QString("Qel") << QString("再生中") << QString("block");
  QDBusPendingCall pending = systemBus.asyncCall(call, kPowerReplyTimeoutMs);
  systemPending_ = true;
  auto* watcher = new QDBusPendingCallWatcher(pending, replies_.get());
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, replies_.get(), [this](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    systemPending_ = false;
    QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
    // When cleared meanwhile, the reply's own descriptor closes with it,
    // which ends the inhibition again.
    if (reply.isError() || !wantSystem_ || !reply.value().isValid()) return;
    sleepFd_ = ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
  });
}

void DesktopServices::SetTaskbarProgress(long long done, long long total) {
  if (!Bus()) return;
  const bool visible = total > 0;
  const double progress =
      visible ? std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0) : 0.0;
  if (lastProgress_ && lastProgress_->first == visible && lastProgress_->second == progress) return;
  lastProgress_ = std::make_pair(visible, progress);
  QDBusMessage signal = QDBusMessage::createSignal("/com/canonical/unity/launcherentry/qel",
                                                   "com.canonical.Unity.LauncherEntry", "Update");
  QVariantMap properties;
  properties["progress-visible"] = visible;
  properties["progress"] = progress;
  signal << QStringLiteral("application://" QEL_APP_ID ".desktop") << properties;
  QDBusConnection::sessionBus().send(signal);
}

}  // namespace qel::desktop
