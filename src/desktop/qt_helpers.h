// Conversions between the core's plain types and Qt's.
#pragma once

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QRect>
#include <QString>
#include <QWidget>
#include <string>

#include "core/platform.h"

namespace qel::desktop {

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline Rect ToRect(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }
inline QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }
// A widget's rectangle in screen coordinates.
inline Rect ScreenRect(const QWidget* w) { return ToRect(QRect(w->mapToGlobal(QPoint()), w->size())); }

// Whether windows may place themselves and be kept above others. Under
// Wayland the compositor alone decides where a window stands and which lies
// on top; a client that asks is ignored, and what it reads back of its own
// place is meaningless.
inline bool WindowsPlaceThemselves() { return !QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

// The file: URI of a path, byte for byte, escaped as GLib's g_filename_to_uri
// does, so that what GTK programs write for the same file names it alike.
inline QString FileUri(const std::string& path) {
  const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
  return QStringLiteral("file://") + QString::fromLatin1(bytes.toPercentEncoding("/!$&'()*+,:=@"));
}

// A font of the face (the default face when none is named), the character
// height in pixels (negative; the default size when not) and the style bits.
inline QFont FontOf(const FontPick& pick) {
  QFont font = QApplication::font();
  if (!pick.face.empty()) font.setFamily(Q(pick.face));
  if (pick.height < 0) font.setPixelSize(-pick.height);
  font.setBold(pick.style & 0x100);
  font.setItalic(pick.style & 0x200);
  return font;
}

}  // namespace qel::desktop
