#include "qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace vorkal {

namespace {

// Where Qt's own files are (Debian's qt6-translations-l10n), then beside the program,
// for an installation that brings its own.
bool loadPolish(QTranslator& translator) {
    for (const QString& folder : {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                                  QCoreApplication::applicationDirPath() + QStringLiteral("/translations")})
        if (translator.load(QStringLiteral("qtbase_pl"), folder)) return true;
    return false;
}

}  // namespace

bool UseQtTranslations(bool polish) {
    // Owned by the application, so that it goes with it.
    static QPointer<QTranslator> installed;
    if (!polish) {
        delete installed.data();  // which takes it out of the application's list
        return true;
    }
    if (installed) return true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!loadPolish(*translator)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

}  // namespace vorkal
