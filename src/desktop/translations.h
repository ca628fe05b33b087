// Qt's own words (the standard buttons, the file and font dialogs) in the
// player's language: Qt's Japanese translations as the system installs
// them (Debian's qt6-translations-l10n).
#pragma once

class QCoreApplication;

namespace qel::desktop {

// Installs qtbase's Japanese catalogue from Qt's translations folder on the
// application; false when it is not installed there (Qt's words then stay
// English, and nothing else changes).
bool InstallQtTranslations(QCoreApplication& app);

}  // namespace qel::desktop
