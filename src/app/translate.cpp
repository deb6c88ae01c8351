#include "app/translate.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

#include "io/translation.h"

namespace velmora::app {

QString TrQ(const char* msgid) {
    return QString::fromStdString(i18n::Translate(msgid));
}

QString TrQ(const QString& msgid) {
    if (msgid.isEmpty()) return msgid;
    return QString::fromStdString(i18n::Translate(msgid.toUtf8().constData()));
}

QString CategoryName(TCategory c) {
    return c == ctPerformance ? TrQ("Производительность")
                              : TrQ(std::string(CategoryTable[c].Caption).c_str());
}

void UseInterfaceLanguage(const QString& code) {
    i18n::UseLanguage(code.toStdString());
    // Standard buttons and dialogs speak the same language as the rest of the window.
    static std::unique_ptr<QTranslator> qtTranslator;
    if (qtTranslator) QCoreApplication::removeTranslator(qtTranslator.get());
    qtTranslator = std::make_unique<QTranslator>();
    if (qtTranslator->load(QStringLiteral("qtbase_") + code,
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTranslator.get());
    else
        qtTranslator.reset();
}

}  // namespace velmora::app
