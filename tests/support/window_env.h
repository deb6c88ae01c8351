// The setting around a widget test of the main window: locale, program folder, message boxes.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"
#include "support/test_paths.h"

namespace velmora::app::test {

using velmora::test::WaitFor;

// Sets the locale environment for one test and restores it afterwards.
class TLocaleEnv {
  public:
    explicit TLocaleEnv(const char* lang) {
        for (const char* v : kVars) {
            const char* old = std::getenv(v);
            FSaved.emplace_back(v, old ? std::optional<std::string>(old) : std::nullopt);
            ::unsetenv(v);
        }
        if (lang) ::setenv("LANG", lang, 1);
    }
    ~TLocaleEnv() {
        for (auto& [name, value] : FSaved) {
            if (value)
                ::setenv(name, value->c_str(), 1);
            else
                ::unsetenv(name);
        }
    }

  private:
    static constexpr const char* kVars[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::pair<const char*, std::optional<std::string>>> FSaved;
};

// Closes every message box that opens while it lives and remembers their texts.
class TMessageBoxCatcher {
  public:
    TMessageBoxCatcher() {
        FTimer.setInterval(20);
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box && box->isVisible()) {
                    Texts << box->text();
                    box->done(QMessageBox::Ok);
                }
            }
        });
        FTimer.start();
    }
    QStringList Texts;

  private:
    QTimer FTimer;
};

// A program folder of its own for each test, with the settings file inside.
class TAppDir {
  public:
    TAppDir() { EXPECT_TRUE(FDir.isValid()); }
    QString Path() const { return FDir.path() + "/"; }
    QString Ini() const { return Path() + "Velmora.ini"; }
    bool IniExists() const { return QFile::exists(Ini()); }
    void WriteIni(const QByteArray& text) const {
        QFile f(Ini());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray ReadIni() const {
        QFile f(Ini());
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.readAll();
    }
    TAppOptions Options() const {
        TAppOptions o;
        o.AppDir = Path();
        o.SettingsPath = Ini();
        o.HistoryPath = FDir.filePath("history.sqlite");
        o.CatalogueDirs = {velmora::test::LocaleDir()};
        // Nothing listens there: the news pane shows its note and never leaves the machine.
        o.NewsBaseUrl = QStringLiteral("http://127.0.0.1:9");
        return o;
    }

  private:
    QTemporaryDir FDir;
};

// Saves what the user sees into the screenshot folder: the whole screen under a real display
// server (dialogs and menus included), else the window alone.
inline void Shoot(QWidget* w, const char* name) {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    QTest::qWait(300);
    const QString path = velmora::test::ScreenshotDir() + "/" + name;
    QDir().mkpath(velmora::test::ScreenshotDir());
    const bool screen = QGuiApplication::platformName() == QLatin1String("xcb");
    const QPixmap shot = screen ? w->screen()->grabWindow(0) : w->window()->grab();
    EXPECT_TRUE(shot.save(path)) << path.toStdString();
}

// Creates the window and shows it, which runs the start-up steps.
inline std::unique_ptr<TfmMain> ShowWindow(const TAppOptions& options) {
    auto w = std::make_unique<TfmMain>(options);
    w->show();
    QApplication::processEvents();
    return w;
}

}  // namespace velmora::app::test
