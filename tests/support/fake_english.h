// An English stand-in for the gettext catalogue, and screenshots of widgets for a person to
// look at.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <cstring>
#include <string>

#include "base/translate.h"
#include "support/test_paths.h"

namespace velmora::app::test {

// Stands in for the English gettext catalogue: the Russian originals of these widgets map to
// English, everything else comes back unchanged as an untranslated text would.
inline std::string FakeEnglish(const char* msgid) {
    static const struct {
        const char* Ru;
        const char* En;
    } kCatalogue[] = {
        {"Хорошо (%d%%)", "Good (%d%%)"},
        {"Средне (%d%%)", "Average (%d%%)"},
        {"Плохо (%d%%)", "Poor (%d%%)"},
        {"Распределение\r\nскорости загрузки", "Score\r\ndistribution"},
        {"Рекомендации и предупреждения", "Recommendations and warnings"},
        {"Параметр", "Parameter"},
        {"Описание", "Description"},
    };
    for (const auto& e : kCatalogue)
        if (std::strcmp(msgid, e.Ru) == 0) return e.En;
    return msgid;
}

// Restores the identity translation when a test ends, whatever way it ends.
struct TTranslatorGuard {
    explicit TTranslatorGuard(TTranslateFn fn) { SetTranslator(fn); }
    ~TTranslatorGuard() { SetTranslator(nullptr); }
    TTranslatorGuard(const TTranslatorGuard&) = delete;
    TTranslatorGuard& operator=(const TTranslatorGuard&) = delete;
};

// Saves the widget as the user would see it; returns the file written, empty on failure.
inline QString SaveScreenshot(QWidget* w, const QString& name) {
    // Charts lay out and repaint through posted events, as they would in the running program.
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    const QString dir = velmora::test::ScreenshotDir();
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + name;
    return w->grab().save(path) ? path : QString();
}

}  // namespace velmora::app::test
