#pragma once

class QCoreApplication;

// Loads Qt's own Polish texts (Debian's qt6-translations-l10n), so that the standard boxes,
// dialogs and command-line messages of every program speak Polish too. Without them the
// programs go on in Qt's English.
void LoadPolishTranslations(QCoreApplication& app);
