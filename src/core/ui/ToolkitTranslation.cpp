#include "ToolkitTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace vocaset {

bool installToolkitTranslation(const QString& language)
{
    // The application owns the translator; a second call replaces the first one's.
    const QString name = QStringLiteral("toolkitTranslation");
    QCoreApplication* app = QCoreApplication::instance();
    if (QTranslator* old = app->findChild<QTranslator*>(name, Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(old);
        delete old;
    }
    if (language.isEmpty() || language.compare(QLatin1String("EN"), Qt::CaseInsensitive) == 0)
        return false;
    auto* translator = new QTranslator(app);
    translator->setObjectName(name);
    if (!translator->load(QStringLiteral("qtbase_") + language.toLower(),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace vocaset
