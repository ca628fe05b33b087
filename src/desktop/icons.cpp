#include "desktop/icons.h"

#include <QFile>
#include <QHash>

namespace qel::desktop {

QIcon IconByNumber(int number) {
  static QHash<int, QIcon> cache;
  if (auto it = cache.find(number); it != cache.end()) return *it;
  const QString path = QStringLiteral(":/icons/%1.svg").arg(number);
  QIcon icon = QFile::exists(path) ? QIcon(path) : QIcon();
  cache.insert(number, icon);
  return icon;
}

QIcon AppIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/103.svg"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/icons/105.svg"), QSize(16, 16));
  return icon;
}

}  // namespace qel::desktop
