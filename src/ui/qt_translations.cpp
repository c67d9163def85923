#include "ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace tavrel {

bool installKoreanQtTranslations(QCoreApplication& application) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // "qt_ko" gathers every module's catalogue; "qtbase_ko" alone covers the widgets.
    for (const QString& name : {QStringLiteral("qt_ko"), QStringLiteral("qtbase_ko")}) {
        auto* translator = new QTranslator(&application);
        if (translator->load(name, folder) && QCoreApplication::installTranslator(translator))
            return true;
        delete translator;
    }
    return false;
}

}  // namespace tavrel
