// Interface language: the design texts follow the language, run-time texts and the excluded
// components do not, and the web addresses follow the language code.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>

#include "app/web_links.h"
#include "base/translate.h"
#include "io/translation.h"
#include "support/window_env.h"

namespace velmora::app::test {
namespace {

void PickLanguage(TfmMain& w, const char* code) {
    w.Ui().cbAppLang->setCurrentIndex(w.Ui().cbAppLang->findData(QString::fromLatin1(code)));
    w.cbAppLangChange();
}

struct CaptionCase {
    const char* what;
    std::function<QString(TfmMain&)> get;
    QString ru, en;
};

TEST(LanguageSwitch, DesignTextsFollowBothWays) {
    TLocaleEnv env("ru_RU.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());
    const CaptionCase cases[] = {
        {"button", [](TfmMain& m) { return m.Ui().btRunRequests->text(); }, "Проверить URL",
         "Check URLs"},
        {"group", [](TfmMain& m) { return m.Ui().gbParams->title(); }, " Параметры ",
         " Parameters "},
        {"label", [](TfmMain& m) { return m.Ui().lbMaxThreads->text(); },
         "Количество потоков:", "Number of threads:"},
        {"tab", [](TfmMain& m) { return m.Ui().pcBottom->tabText(1); }, " Журнал ", " Log "},
        {"settings tab", [](TfmMain& m) { return m.Ui().pcPages->tabText(1); }, " Настройки ",
         " Settings "},
        {"log column", [](TfmMain& m) { return m.Ui().lvLog->horizontalHeaderItem(1)->text(); },
         "Событие", "Event"},
        {"grid column",
         [](TfmMain& m) {
             return m.Ui().vtURLsD->model()->headerData(2, Qt::Horizontal).toString();
         },
         "Ошибка", "Error"},
        {"link", [](TfmMain& m) { return m.Ui().lbGotoSite->text(); },
         "<a href=\"#\">Посетить страницу программы</a>",
         "<a href=\"#\">Visit the program's page</a>"},
        {"URL page caption", [](TfmMain& m) { return m.Ui().pcPages->tabText(0); }, " Список URL ",
         " URL list "},
    };
    for (const auto& c : cases) EXPECT_EQ(c.get(*w), c.ru) << c.what;
    PickLanguage(*w, "en");
    for (const auto& c : cases) EXPECT_EQ(c.get(*w), c.en) << c.what;
    PickLanguage(*w, "ru");
    for (const auto& c : cases) EXPECT_EQ(c.get(*w), c.ru) << c.what;
}

TEST(LanguageSwitch, LeavesExcludedComponentsAndRunTimeTextsAlone) {
    TLocaleEnv env("ru_RU.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());
    ASSERT_TRUE(WaitFor([&] { return w->Ui().lvLog->rowCount() == 1; }));
    w->Ui().lvMetrics->selectRow(1);
    w->Ui().edAPIKey->setText("Проверить URL");  // a key that happens to be a catalogue text
    const QString version = w->Ui().lbVersion->text();
    const QString descr = w->Ui().lbMetricaDescr->text();
    const QString logLine = w->Ui().lvLog->item(0, 1)->text();
    EXPECT_EQ(logLine, "Запуск программы");

    PickLanguage(*w, "en");
    EXPECT_EQ(w->Ui().cbAppLang->itemText(0), "Русский");
    EXPECT_EQ(w->Ui().cbAppLang->itemText(1), "English");
    EXPECT_EQ(w->Ui().lbVersion->text(), version);
    EXPECT_EQ(w->Ui().lbMetricaDescr->text(), descr);
    EXPECT_EQ(w->Ui().lvLog->item(0, 1)->text(), logLine);
    EXPECT_EQ(w->Ui().edAPIKey->text(), "Проверить URL");
}

TEST(LanguageSwitch, VersionLabelCarriesTheFourNumbers) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());
    EXPECT_EQ(w->Ui().lbVersion->text(), QStringLiteral("Version: %1.%2.%3.%4")
                                             .arg(VELMORA_VERSION_MAJOR)
                                             .arg(VELMORA_VERSION_MINOR)
                                             .arg(VELMORA_VERSION_PATCH)
                                             .arg(VELMORA_VERSION_TWEAK + 0));
}

TEST(LanguageSwitch, RunTimeLookupsAnswerInTheNewLanguage) {
    TLocaleEnv env("ru_RU.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());
    EXPECT_EQ(Tr("Проверка запущена"), "Проверка запущена");
    PickLanguage(*w, "en");
    EXPECT_EQ(Tr("Проверка запущена"), "Check started");
    // Worker threads look up too.
    std::string fromThread;
    std::thread([&] { fromThread = Tr("URL %d: задача начата"); }).join();
    EXPECT_EQ(fromThread, "URL %d: task started");
}

TEST(WebLinks, SiteChosenByLanguageCode) {
    const char* paths[] = {kPathNews, kPathApiKeyArticle, kPathProgramPage};
    for (const char* path : paths) {
        EXPECT_EQ(WebAddress("ru", path), QString(kSiteRussian) + path);
        EXPECT_EQ(WebAddress("en", path), QString(kSiteOther) + path);
        EXPECT_EQ(WebAddress("de", path), QString(kSiteOther) + path);
    }
    EXPECT_NE(QString(kSiteRussian), QString(kSiteOther));
}

}  // namespace
}  // namespace velmora::app::test
