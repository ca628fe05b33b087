#include "desktop/mpris_service.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStringList>
#include <QVariantMap>
#include <algorithm>
#include <map>
#include <utility>

#include "desktop/main_window.h"
#include "engine/media_types.h"

namespace qel::desktop {

namespace {

const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QVariant ToVariant(const MprisEntry& entry) {
  if (const auto* number = std::get_if<long long>(&entry)) return QVariant::fromValue(static_cast<qlonglong>(*number));
  if (const auto* text = std::get_if<std::string>(&entry)) return Text(*text);
  return QVariant::fromValue(QDBusObjectPath(Text(std::get<MprisObjectPath>(entry).path)));
}

QVariant ToVariant(const MprisValue& value) {
  return std::visit(
      [](const auto& v) -> QVariant {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, double>) {
          return QVariant::fromValue(v);
        } else if constexpr (std::is_same_v<T, long long>) {
          return QVariant::fromValue(static_cast<qlonglong>(v));
        } else if constexpr (std::is_same_v<T, std::string>) {
          return Text(v);
        } else if constexpr (std::is_same_v<T, MprisObjectPath>) {
          return QVariant::fromValue(QDBusObjectPath(Text(v.path)));
        } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
          QStringList list;
          for (const std::string& s : v) list << Text(s);
          return list;
        } else {
          QVariantMap map;
          for (const auto& [key, entry] : v) map.insert(Text(key), ToVariant(entry));
          return map;
        }
      },
      value);
}

// A value a client wrote, as the property's type; nothing when it is not
// of that type (a number is taken for a fraction, whatever its width).
std::optional<MprisValue> FromVariant(const QVariant& variant, std::string_view signature) {
  const int type = variant.metaType().id();
  if (signature == "s" && type == QMetaType::QString) {
    const QString text = variant.toString();
    if (static_cast<size_t>(text.size()) > kMprisMaxText) return std::nullopt;
    return MprisValue(text.toStdString());
  }
  if (signature == "b" && type == QMetaType::Bool) return MprisValue(variant.toBool());
  if (signature == "d") {
    switch (type) {
      case QMetaType::Double: case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong:
      case QMetaType::ULongLong: case QMetaType::Short: case QMetaType::UShort: case QMetaType::UChar:
        return MprisValue(variant.toDouble());
      default: break;
    }
  }
  return std::nullopt;
}

QDBusMessage Error(const QDBusMessage& message, const char* name, const QString& text) {
  // A client's text is quoted back only in part: an answer never grows with
  // what was sent.
  return message.createErrorReply(QString::fromLatin1(name), text.left(200));
}

QString EmitsAnnotation(MprisEmits emits) {
  switch (emits) {
    case MprisEmits::Never: return QStringLiteral("false");
    case MprisEmits::Const: return QStringLiteral("const");
    case MprisEmits::Changes: break;
  }
  return QStringLiteral("true");
}

// The names the arguments of the methods go by on the bus.
QStringList ArgumentNames(const MprisMethod& method) {
  if (method.name == "Seek") return {QStringLiteral("Offset")};
  if (method.name == "SetPosition") return {QStringLiteral("TrackId"), QStringLiteral("Position")};
  if (method.name == "OpenUri") return {QStringLiteral("Uri")};
  return {};
}

}  // namespace

MprisService::MprisService(AppState& state, MainWindow& window) : state_(state), window_(window) {
  about_.desktopEntry = QEL_APP_ID;
  // What the engine plays and the playlists the player opens, each once.
  for (const engine::MediaType& type : engine::kMediaTypes)
    if (std::find(about_.mimeTypes.begin(), about_.mimeTypes.end(), type.mime) == about_.mimeTypes.end())
      about_.mimeTypes.emplace_back(type.mime);
  for (std::string_view mime : engine::kPlaylistMimeTypes) about_.mimeTypes.emplace_back(mime);
}

MprisService::~MprisService() { Unregister(); }

bool MprisService::Register(const std::string& instanceName) {
  // Without an address libdbus would launch a bus of its own for us, which
  // then outlives the player.
  if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return false;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  if (!bus.registerVirtualObject(Text(kMprisObjectPath), this, QDBusConnection::SingleNode)) return false;
  bus_ = bus;
  busName_ = Text(MprisBusName(instanceName));
  view_ = ReadMprisView(state_, nullptr);
  registered_ = true;
  // Queued rather than refused: a player of this name that is closing
  // gives the name up in a moment, and this one takes it then.
  bus.interface()->registerService(busName_, QDBusConnectionInterface::QueueService,
                                   QDBusConnectionInterface::DontAllowReplacement);
  return true;
}

void MprisService::Unregister() {
  if (!registered_ || !bus_) return;
  registered_ = false;
  bus_->unregisterService(busName_);
  bus_->unregisterObject(Text(kMprisObjectPath));
}

MprisView MprisService::LiveView() {
  MprisView view = view_;
  view.positionUs = MprisPositionUs(state_);
  return view;
}

void MprisService::Refresh() {
  if (!registered_) return;
  MprisView now = ReadMprisView(state_, &view_);
  const std::vector<const MprisProperty*> changed = ChangedMprisProperties(view_, now, about_);
  const bool jumped = MprisPositionJumped(view_, now);
  view_ = std::move(now);
  // One signal per interface, every changed property in it.
  std::map<std::string_view, QVariantMap> byInterface;
  for (const MprisProperty* property : changed)
    byInterface[property->interface].insert(Text(property->name), ToVariant(property->get(view_, about_)));
  for (const auto& [interface, values] : byInterface) {
    QDBusMessage signal =
        QDBusMessage::createSignal(Text(kMprisObjectPath), kPropertiesInterface, QStringLiteral("PropertiesChanged"));
    signal << Text(interface) << values << QStringList();
    bus_->send(signal);
  }
  if (jumped) {
    QDBusMessage signal =
        QDBusMessage::createSignal(Text(kMprisObjectPath), Text(kMprisPlayerInterface), QStringLiteral("Seeked"));
    signal << QVariant::fromValue(static_cast<qlonglong>(view_.positionUs));
    bus_->send(signal);
  }
}

bool MprisService::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
  if (message.type() != QDBusMessage::MethodCallMessage) return false;
  if (message.interface() == kPropertiesInterface) return HandleProperties(message, connection);
  const std::string member = message.member().toStdString();
  const MprisMethod* method = nullptr;
  if (message.interface().isEmpty()) {
    for (const MprisMethod& m : MprisMethods())
      if (m.name == member) method = &m;
  } else {
    method = FindMprisMethod(message.interface().toStdString(), member);
  }
  return method && HandleMethod(*method, message, connection);
}

bool MprisService::HandleProperties(const QDBusMessage& message, const QDBusConnection& connection) {
  const QList<QVariant> args = message.arguments();
  const QString member = message.member();
  // Interface and property names are short; a long one names nothing here.
  for (qsizetype i = 0; i < args.size() && i < 2; ++i)
    if (args[i].metaType().id() == QMetaType::QString && args[i].toString().size() > 255) {
      connection.send(Error(message, "org.freedesktop.DBus.Error.InvalidArgs", QStringLiteral("name too long")));
      return true;
    }
  if (member == "GetAll" && message.signature() == "s") {
    const std::string interface = args[0].toString().toStdString();
    const MprisView view = LiveView();
    QVariantMap all;
    for (const MprisProperty& p : MprisProperties())
      if (p.interface == interface) all.insert(Text(p.name), ToVariant(p.get(view, about_)));
    connection.send(message.createReply(QVariant::fromValue(all)));
    return true;
  }
  if ((member == "Get" && message.signature() == "ss") || (member == "Set" && message.signature() == "ssv")) {
    const std::string interface = args[0].toString().toStdString(), name = args[1].toString().toStdString();
    const MprisProperty* property = FindMprisProperty(interface, name);
    // An empty interface asks for the name in whichever has it.
    if (interface.empty() && !property) property = FindMprisProperty(kMprisRootInterface, name);
    if (interface.empty() && !property) property = FindMprisProperty(kMprisPlayerInterface, name);
    if (!property) {
      connection.send(Error(message, "org.freedesktop.DBus.Error.UnknownProperty", args[1].toString()));
      return true;
    }
    if (member == "Get") {
      const MprisView view = property->name == "Position" ? LiveView() : view_;
      connection.send(message.createReply(QVariant::fromValue(QDBusVariant(ToVariant(property->get(view, about_))))));
      return true;
    }
    if (!property->writable) {
      connection.send(Error(message, "org.freedesktop.DBus.Error.PropertyReadOnly", args[1].toString()));
      return true;
    }
    const std::optional<MprisValue> value =
        FromVariant(qvariant_cast<QDBusVariant>(args[2]).variant(), property->signature);
    if (!value || !MprisAccepts(*property, *value)) {
      connection.send(Error(message, "org.freedesktop.DBus.Error.InvalidArgs", args[1].toString()));
      return true;
    }
    // Answered now, done when the player is free: a dialog may stay open
    // for longer than a client waits for its answer.
    connection.send(message.createReply());
    window_.Request([this, property, v = *value] { SetMprisProperty(state_, *property, v); });
    return true;
  }
  return false;
}

bool MprisService::HandleMethod(const MprisMethod& method, const QDBusMessage& message,
                                const QDBusConnection& connection) {
  if (message.signature() != Text(method.signature)) {
    connection.send(Error(message, "org.freedesktop.DBus.Error.InvalidArgs",
                          QStringLiteral("%1 takes (%2)").arg(Text(method.name), Text(method.signature))));
    return true;
  }
  const QList<QVariant> args = message.arguments();
  if (method.signature == "s" && static_cast<size_t>(args[0].toString().size()) > kMprisMaxText) {
    connection.send(Error(message, "org.freedesktop.DBus.Error.InvalidArgs",
                          QStringLiteral("%1: the text is longer than a path can be").arg(Text(method.name))));
    return true;
  }
  MprisCall call;
  if (method.signature == "x") {
    call.number = args[0].toLongLong();
  } else if (method.signature == "ox") {
    call.text = qvariant_cast<QDBusObjectPath>(args[0]).path().toStdString();
    call.number = args[1].toLongLong();
  } else if (method.signature == "s") {
    call.text = args[0].toString().toStdString();
  }
  if (method.action == MprisAction::OpenUri && !MprisHandOffLine(state_, call.text)) {
    connection.send(Error(message, "org.freedesktop.DBus.Error.InvalidArgs",
                          QStringLiteral("not a local file: %1").arg(Text(call.text))));
    return true;
  }
  // Answered at once and run in its turn, as every request from outside
  // is: a client waiting for the end of a dialog would give up after the
  // bus's timeout and report a failure for a call that still happens.
  connection.send(message.createReply());
  MainWindow& window = window_;
  window_.Request([this, &window, &method, call] {
    if (method.action == MprisAction::Raise && window.isMinimized()) window.showNormal();
    RunMprisMethod(state_, method, call);
  });
  return true;
}

QString MprisService::introspect(const QString&) const {
  QString xml = QStringLiteral(
      "<interface name=\"org.freedesktop.DBus.Properties\">\n"
      "  <method name=\"Get\"><arg direction=\"in\" type=\"s\"/><arg direction=\"in\" type=\"s\"/>"
      "<arg direction=\"out\" type=\"v\"/></method>\n"
      "  <method name=\"GetAll\"><arg direction=\"in\" type=\"s\"/><arg direction=\"out\" type=\"a{sv}\"/></method>\n"
      "  <method name=\"Set\"><arg direction=\"in\" type=\"s\"/><arg direction=\"in\" type=\"s\"/>"
      "<arg direction=\"in\" type=\"v\"/></method>\n"
      "  <signal name=\"PropertiesChanged\"><arg type=\"s\"/><arg type=\"a{sv}\"/><arg type=\"as\"/></signal>\n"
      "</interface>\n");
  for (std::string_view interface : {kMprisRootInterface, kMprisPlayerInterface}) {
    xml += QStringLiteral("<interface name=\"%1\">\n").arg(Text(interface));
    for (const MprisMethod& m : MprisMethods()) {
      if (m.interface != interface) continue;
      xml += QStringLiteral("  <method name=\"%1\">\n").arg(Text(m.name));
      const QStringList names = ArgumentNames(m);
      for (qsizetype i = 0; i < names.size() && i < static_cast<qsizetype>(m.signature.size()); ++i)
        xml += QStringLiteral("    <arg direction=\"in\" name=\"%1\" type=\"%2\"/>\n").arg(names[i], QChar(m.signature[i]));
      xml += QStringLiteral("  </method>\n");
    }
    if (interface == kMprisPlayerInterface)
      xml += QStringLiteral("  <signal name=\"Seeked\">\n    <arg name=\"Position\" type=\"x\"/>\n  </signal>\n");
    for (const MprisProperty& p : MprisProperties()) {
      if (p.interface != interface) continue;
      xml += QStringLiteral(
                 "  <property name=\"%1\" type=\"%2\" access=\"%3\">\n"
                 "    <annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" value=\"%4\"/>\n"
                 "  </property>\n")
                 .arg(Text(p.name), Text(p.signature), p.writable ? QStringLiteral("readwrite") : QStringLiteral("read"),
                      EmitsAnnotation(p.emits));
    }
    xml += QStringLiteral("</interface>\n");
  }
  return xml;
}

}  // namespace qel::desktop
