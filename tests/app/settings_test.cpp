// Start-up with and without a settings file, the changed markers and what the close stores.
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include "support/window_env.h"

namespace velmora::app::test {
namespace {

struct FirstStartCase {
    const char* lang;
    const char* expectedCode;
};

class FirstStart : public ::testing::TestWithParam<FirstStartCase> {};

TEST_P(FirstStart, DefaultsLanguageOfTheSystemAndNoFileWritten) {
    TLocaleEnv env(GetParam().lang);
    TAppDir dir;
    {
        auto w = ShowWindow(dir.Options());
        EXPECT_EQ(w->Ui().edAPIKey->text(), "");
        EXPECT_EQ(w->Ui().edMaxTreads->value(), 8);
        EXPECT_EQ(w->Ui().edMinReqDelay->value(), 1300);
        EXPECT_FALSE(w->Ui().cbImpNoClearURLs->isChecked());
        EXPECT_EQ(w->SelectedLangCode(), GetParam().expectedCode);
        for (QWidget* c :
             {static_cast<QWidget*>(w->Ui().edAPIKey), static_cast<QWidget*>(w->Ui().edMaxTreads),
              static_cast<QWidget*>(w->Ui().edMinReqDelay),
              static_cast<QWidget*>(w->Ui().cbImpNoClearURLs)})
            EXPECT_FALSE(w->ParamChanged(c)) << c->objectName().toStdString();
        w->close();
    }
    EXPECT_FALSE(dir.IniExists());
}

INSTANTIATE_TEST_SUITE_P(Locales, FirstStart,
                         ::testing::Values(FirstStartCase{"en_US.UTF-8", "en"},
                                           FirstStartCase{"ru_RU.UTF-8", "ru"},
                                           FirstStartCase{"ru", "ru"},
                                           FirstStartCase{"de_DE.UTF-8", "en"},
                                           FirstStartCase{nullptr, "en"}));

TEST(FirstStart, LcAllOutranksLang) {
    TLocaleEnv env("en_US.UTF-8");
    ::setenv("LC_ALL", "ru_RU.UTF-8", 1);
    TAppDir dir;
    auto w = ShowWindow(dir.Options());
    EXPECT_EQ(w->SelectedLangCode(), "ru");
}

struct LoadCase {
    const char* ini;
    int threads;
    int delay;
    bool noClear;
    const char* lang;  // code selected, on an English system
};

class SettingsLoad : public ::testing::TestWithParam<LoadCase> {};

TEST_P(SettingsLoad, ValuesBroughtIntoRange) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    dir.WriteIni(QByteArray("[PARAMS]\n") + GetParam().ini);
    auto w = ShowWindow(dir.Options());
    EXPECT_EQ(w->Ui().edMaxTreads->value(), GetParam().threads);
    EXPECT_EQ(w->Ui().edMinReqDelay->value(), GetParam().delay);
    EXPECT_EQ(w->Ui().cbImpNoClearURLs->isChecked(), GetParam().noClear);
    EXPECT_EQ(w->SelectedLangCode(), GetParam().lang);
}

INSTANTIATE_TEST_SUITE_P(Table, SettingsLoad,
                         ::testing::Values(LoadCase{"max-threads=50\n", 20, 1300, false, "en"},
                                           LoadCase{"max-threads=0\n", 1, 1300, false, "en"},
                                           LoadCase{"max-threads=0x10\n", 16, 1300, false, "en"},
                                           LoadCase{"max-threads=$A\n", 10, 1300, false, "en"},
                                           LoadCase{"max-threads=abc\n", 8, 1300, false, "en"},
                                           LoadCase{"req-predelay=50\n", 8, 100, false, "en"},
                                           LoadCase{"req-predelay=20000\n", 8, 10000, false, "en"},
                                           LoadCase{"import-no-clear=1\n", 8, 1300, true, "en"},
                                           LoadCase{"import-no-clear=yes\n", 8, 1300, false, "en"},
                                           LoadCase{"lang=RU\n", 8, 1300, false, "ru"},
                                           LoadCase{"lang=EN\n", 8, 1300, false, "en"},
                                           LoadCase{"lang=de\n", 8, 1300, false, "en"},
                                           LoadCase{"lang=\n", 8, 1300, false, "en"}));

TEST(SettingsLoad, UnknownLanguageFallsBackToARussianSystem) {
    TLocaleEnv env("ru_RU.UTF-8");
    TAppDir dir;
    dir.WriteIni("[PARAMS]\nlang=de\n");
    auto w = ShowWindow(dir.Options());
    EXPECT_EQ(w->SelectedLangCode(), "ru");
}

TEST(SettingsClose, InitialValuesInTheFileMarkNothingAndWriteNothing) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    const QByteArray text =
        "[PARAMS]\napi-key=\nmax-threads=8\nreq-predelay=1300\nimport-no-clear=0\n";
    dir.WriteIni(text);
    const QDateTime before = QFileInfo(dir.Ini()).lastModified();
    {
        auto w = ShowWindow(dir.Options());
        w->close();
    }
    EXPECT_EQ(dir.ReadIni(), text);
    EXPECT_EQ(QFileInfo(dir.Ini()).lastModified(), before);
}

TEST(SettingsClose, StoredKeyMarksTheBoxAndAllFourAreWritten) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    dir.WriteIni("; kept\n[PARAMS]\napi-key=secret\nmax-threads=50\nlang=en\n[OTHER]\nx=1\n");
    {
        auto w = ShowWindow(dir.Options());
        EXPECT_TRUE(w->ParamChanged(w->Ui().edAPIKey));
        EXPECT_TRUE(w->ParamChanged(w->Ui().edMaxTreads));  // 50 became 20
        EXPECT_FALSE(w->ParamChanged(w->Ui().edMinReqDelay));
        w->close();
    }
    const QString ini = QString::fromUtf8(dir.ReadIni());
    EXPECT_TRUE(ini.contains("api-key=secret"));
    EXPECT_TRUE(ini.contains("max-threads=20"));
    EXPECT_TRUE(ini.contains("req-predelay=1300"));
    EXPECT_TRUE(ini.contains("import-no-clear=0"));
    EXPECT_TRUE(ini.contains("lang=en"));
    EXPECT_TRUE(ini.startsWith("; kept\n"));
    EXPECT_TRUE(ini.contains("[OTHER]\nx=1"));
}

// One strategy and the advice language are read, run with and stored; a file that never chose
// keeps its lines.
TEST(SettingsClose, StrategiesAndAdviceLanguageAreStoredOnlyOnceChosen) {
    TLocaleEnv env("en_US.UTF-8");
    struct {
        const char* stored;
        int choice;  // cbStrategies index after load; -1: leave, else set
        TStrategySet runs;
        bool locale;
        const char* written;  // what the PARAMS lines hold of the two keys
    } cases[] = {
        {"", -1, kBothStrategies, false, ""},
        {"strategies=desktop\nrequest-locale=1\n", -1, 1 << msDesktop, true,
         "strategies=desktop request-locale=1"},
        {"", 2, 1 << msMobile, false, "strategies=mobile"},
        {"strategies=mobile\n", 0, kBothStrategies, false, "strategies=both"},
        {"strategies=tablet\n", -1, kBothStrategies, false, "strategies=tablet"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        TAppDir dir;
        dir.WriteIni(QByteArray("[PARAMS]\nmax-threads=8\n") + c.stored);
        {
            auto w = ShowWindow(dir.Options());
            if (c.choice >= 0) w->Ui().cbStrategies->setCurrentIndex(c.choice);
            EXPECT_EQ(w->CurrentRunSettings().Strategies, c.runs);
            EXPECT_EQ(w->CurrentRunSettings().Locale, c.locale ? "en" : "");
            w->close();
        }
        QStringList keys;
        for (const QString& line : QString::fromUtf8(dir.ReadIni()).split('\n'))
            if (line.startsWith("strategies=") || line.startsWith("request-locale=")) keys << line;
        EXPECT_EQ(keys.join(' '), c.written);
    }
}

TEST(SettingsClose, CategoriesShowTheirColumnsAndAreStoredWhenChanged) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    dir.WriteIni("[PARAMS]\ncategories=seo\n");
    {
        auto w = ShowWindow(dir.Options());
        EXPECT_TRUE(w->Ui().cbCategoryPerformance->isChecked());
        EXPECT_FALSE(w->Ui().cbCategoryPerformance->isEnabled());
        EXPECT_TRUE(w->Ui().cbCategorySeo->isChecked());
        EXPECT_FALSE(w->Ui().cbCategoryAccessibility->isChecked());
        EXPECT_FALSE(w->ParamChanged(w->Ui().cbCategoryAccessibility));
        EXPECT_EQ(w->CurrentRunSettings().Categories, kPerformanceOnly | 1 << ctSeo);
        for (QTableView* grid : {w->Ui().vtURLsD, w->Ui().vtURLsM}) {
            EXPECT_FALSE(grid->isColumnHidden(gcSeo));
            EXPECT_TRUE(grid->isColumnHidden(gcAccessibility));
            EXPECT_TRUE(grid->isColumnHidden(gcBestPractices));
            // The chosen scores stand beside the performance score, after the advice icon.
            EXPECT_EQ(grid->horizontalHeader()->visualIndex(gcSeo), gcFirstMetric + 2);
        }
        w->Ui().cbCategoryAccessibility->click();
        EXPECT_FALSE(w->Ui().vtURLsD->isColumnHidden(gcAccessibility));
        EXPECT_TRUE(w->ParamChanged(w->Ui().cbCategoryAccessibility));
        w->close();
    }
    EXPECT_TRUE(
        QString::fromUtf8(dir.ReadIni()).contains("\ncategories=performance,accessibility,seo\n"));
}

TEST(SettingsClose, TypedOutOfRangeNumberIsClampedOnLeavingAndStored) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    {
        auto w = ShowWindow(dir.Options());
        w->activateWindow();
        w->Ui().pcPages->setCurrentWidget(w->Ui().tsParams);
        w->Ui().edMaxTreads->setFocus();
        w->Ui().edMaxTreads->selectAll();
        QTest::keyClicks(w->Ui().edMaxTreads, "35");
        EXPECT_EQ(w->Ui().edMaxTreads->text(), "35");
        w->Ui().edAPIKey->setFocus();
        ASSERT_TRUE(WaitFor([&] { return w->Ui().edMaxTreads->text() == "20"; }, 2000))
            << w->Ui().edMaxTreads->text().toStdString();
        EXPECT_TRUE(w->ParamChanged(w->Ui().edMaxTreads));
        EXPECT_FALSE(w->ParamChanged(w->Ui().edAPIKey));
        w->close();
    }
    const QString ini = QString::fromUtf8(dir.ReadIni());
    EXPECT_TRUE(ini.contains("max-threads=20")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("api-key=\n")) << ini.toStdString();
}

TEST(SettingsClose, UserChangesEachMarkTheirControl) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());
    w->Ui().edMinReqDelay->setValue(1300);  // the value it shows: no change
    EXPECT_FALSE(w->ParamChanged(w->Ui().edMinReqDelay));
    w->Ui().edMinReqDelay->stepUp();
    EXPECT_EQ(w->Ui().edMinReqDelay->value(), 1400);
    EXPECT_TRUE(w->ParamChanged(w->Ui().edMinReqDelay));
    w->Ui().cbImpNoClearURLs->click();
    EXPECT_TRUE(w->ParamChanged(w->Ui().cbImpNoClearURLs));
    w->Ui().edAPIKey->setText("k");
    EXPECT_TRUE(w->ParamChanged(w->Ui().edAPIKey));
    w->Ui().edAPIKey->setText("");
    EXPECT_TRUE(w->ParamChanged(w->Ui().edAPIKey));  // never reset
}

TEST(SettingsClose, UnwritableFileShowsTheMessageAndStillCloses) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    TAppOptions o = dir.Options();
    o.SettingsPath = dir.Path() + "missing-folder/Velmora.ini";
    TMessageBoxCatcher boxes;
    auto w = ShowWindow(o);
    w->Ui().edAPIKey->setText("key");
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(w->isVisible());
    ASSERT_EQ(boxes.Texts.size(), 1);
    EXPECT_EQ(boxes.Texts[0], "Unable to write to " + o.SettingsPath);
}

// A crash after a change loses nothing: the change is in the file before the window closes.
TEST(SettingsWrite, AChangeIsWrittenAtOnceAndADemoWritesNothing) {
    TLocaleEnv env("en_US.UTF-8");
    for (bool demo : {false, true}) {
        SCOPED_TRACE(demo);
        TAppDir dir;
        dir.WriteIni("[PARAMS]\nmax-threads=8\n");
        const QByteArray before = dir.ReadIni();
        TAppOptions o = dir.Options();
        o.Demo = demo;
        auto w = ShowWindow(o);
        w->Ui().edMaxTreads->setValue(5);
        w->Ui().edAPIKey->setText("typed-key");
        QTest::qWait(TfmMain::kParamsSaveDelayMs + 200);
        const QString ini = QString::fromUtf8(dir.ReadIni());
        if (demo) {
            EXPECT_EQ(dir.ReadIni(), before);
            w->close();
            EXPECT_EQ(dir.ReadIni(), before);
        } else {
            EXPECT_TRUE(ini.contains("max-threads=5")) << ini.toStdString();
            EXPECT_TRUE(ini.contains("api-key=typed-key")) << ini.toStdString();
        }
    }
}

// Page groups and the report's screenshots come back from the file; a group rule that does
// not read is said in the log and neither stored nor used.
TEST(SettingsWrite, PageGroupsAndReportScreenshotsAreKeptAndABadRuleIsRefused) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    dir.WriteIni("[PARAMS]\ngroups=Shop=*/product/*\nreport-screenshots=1\n");
    auto w = ShowWindow(dir.Options());
    EXPECT_EQ(w->Ui().edGroups->text(), "Shop=*/product/*");
    ASSERT_EQ(w->GroupRules().size(), 1u);
    EXPECT_TRUE(w->CurrentRunSettings().Screenshots);

    const auto groupsLine = [&] {
        for (const QString& line : QString::fromUtf8(dir.ReadIni()).split('\n'))
            if (line.startsWith("groups=")) return line.trimmed();
        return QString();
    };
    w->Ui().edGroups->setText("Shop");
    Q_EMIT w->Ui().edGroups->editingFinished();
    EXPECT_EQ(groupsLine(), "groups=Shop=*/product/*");
    ASSERT_EQ(w->GroupRules().size(), 1u);
    QTableWidget* log = w->Ui().lvLog;
    EXPECT_TRUE(log->item(0, 1)->text().contains("groups"))  // the newest line on top
        << log->item(0, 1)->text().toStdString();

    w->Ui().edGroups->setText("Blog=*/blog/*; Shop=*/product/*");
    Q_EMIT w->Ui().edGroups->editingFinished();
    EXPECT_EQ(groupsLine(), "groups=Blog=*/blog/*; Shop=*/product/*");
    ASSERT_EQ(w->GroupRules().size(), 2u);
    EXPECT_EQ(w->GroupRules()[0].Name, "Blog");

    w->Ui().cbReportScreenshots->setChecked(false);
    QTest::qWait(TfmMain::kParamsSaveDelayMs + 200);
    EXPECT_TRUE(QString::fromUtf8(dir.ReadIni()).contains("report-screenshots=0"));
    EXPECT_FALSE(w->CurrentRunSettings().Screenshots);
}

TEST(SettingsWrite, TheKeyIsAPasswordFieldWithAShowButton) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());
    EXPECT_EQ(w->Ui().edAPIKey->echoMode(), QLineEdit::Password);
    w->Ui().btShowAPIKey->click();
    EXPECT_EQ(w->Ui().edAPIKey->echoMode(), QLineEdit::Normal);
    w->Ui().btShowAPIKey->click();
    EXPECT_EQ(w->Ui().edAPIKey->echoMode(), QLineEdit::Password);
}

TEST(LanguagePick, WritesLangAtOnceAndKeepsTheRestOfTheFile) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    dir.WriteIni("[PARAMS]\r\napi-key=abc\r\nlang=en\r\n");
    auto w = ShowWindow(dir.Options());
    w->Ui().cbAppLang->setCurrentIndex(0);
    w->cbAppLangChange();
    EXPECT_EQ(dir.ReadIni(), "[PARAMS]\r\napi-key=abc\r\nlang=ru\r\n");
}

TEST(LanguagePick, CreatesTheFileWithTheSectionAndOneKey) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());
    ASSERT_FALSE(dir.IniExists());
    w->Ui().cbAppLang->setCurrentIndex(1);
    w->cbAppLangChange();
    const QString ini = QString::fromUtf8(dir.ReadIni());
    EXPECT_TRUE(ini.contains("[PARAMS]"));
    EXPECT_TRUE(ini.contains("lang=en"));
    EXPECT_FALSE(ini.contains("api-key"));
}

}  // namespace
}  // namespace velmora::app::test
