#include "net/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

void LoadPolishTranslations(QCoreApplication& app)
{
    auto* translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_pl"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}
