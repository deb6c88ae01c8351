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

#include "app/grid_model.h"
#include "app/history_page.h"
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
        {"strategy tab", [](TfmMain& m) { return m.Ui().pcStrategy->tabText(1); }, "Для мобильных",
         "Mobile"},
        {"about", [](TfmMain& m) { return m.Ui().lbAboutTitle->text(); }, "О программе Velmora",
         "About Velmora"},
        {"version", [](TfmMain& m) { return m.Ui().lbVersion->text().section(' ', 0, 0); },
         "Версия:", "Version:"},
        {"metric name", [](TfmMain& m) { return m.Ui().lvMetrics->item(1, 1)->text(); },
         "Первая отрисовка контента (FCP)", "First Contentful Paint (FCP)"},
        {"size row", [](TfmMain& m) { return m.Ui().lvMetrics->item(10, 1)->text(); },
         "Изображения", "Images"},
        {"strategies choice", [](TfmMain& m) { return m.Ui().cbStrategies->itemText(2); },
         "Только мобильные", "Mobile only"},
        {"history column",
         [](TfmMain& m) { return m.Ui().tsHistory->RunList()->horizontalHeaderItem(3)->text(); },
         "Компьютеры", "Desktop"},
        {"log filter", [](TfmMain& m) { return m.Ui().cbLogErrorsOnly->text(); }, "Только ошибки",
         "Errors only"},
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
    const QString version = w->Ui().lbVersion->text().section(' ', 1);
    const QString logLine = w->Ui().lvLog->item(0, 1)->text();
    EXPECT_EQ(logLine, "Запуск программы");

    PickLanguage(*w, "en");
    EXPECT_EQ(w->Ui().cbAppLang->itemText(0), "Русский");
    EXPECT_EQ(w->Ui().cbAppLang->itemText(1), "English");
    EXPECT_EQ(w->Ui().lbVersion->text().section(' ', 1), version);
    EXPECT_EQ(w->Ui().lvLog->item(0, 1)->text(), logLine);
    EXPECT_EQ(w->Ui().edAPIKey->text(), "Проверить URL");
}

// The metric's description and the grid's units follow the language; the list keeps its row.
TEST(LanguageSwitch, MetricDescriptionsAndUnitsFollow) {
    TLocaleEnv env("ru_RU.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());
    TURLTaskInfo& task = w->Master().Add("https://a.example/");
    task.InitMetricResults();
    task.TaskResults->TaskResult = {trOK, trOK};
    // FCP, TBT and the HTML size, as the service and the engine write them.
    const std::pair<size_t, const char*> values[] = {
        {1, "1.2\u00a0s"}, {5, "880\u00a0ms"}, {7, "   0.8 kb"}};
    for (const auto& [metric, text] : values) {
        TMetricaValue v;
        v.Key = MetricaTable[metric].Key;
        v.DisplayText = text;
        v.ColNum = ColNumByKey(v.Key);
        task.TaskResults->MetricaValues.push_back(v);
    }
    const int fcp = ColNumByKey(MetricaTable[1].Key), tbt = ColNumByKey(MetricaTable[5].Key),
              html = ColNumByKey(MetricaTable[7].Key);
    w->GridModel(msDesktop)->Reload();
    const auto cell = [&](int col) {
        auto* m = w->Ui().vtURLsD->model();
        return m->data(m->index(0, col)).toString();
    };
    w->Ui().lvMetrics->selectRow(5);
    struct {
        const char* lang;
        const char* descr;
        QString fcp, tbt, html;
    } cases[] = {{"ru", " Сумма всех промежутков", "1.2\u00a0с", "880\u00a0мс", "   0.8 КБ"},
                 {"en", " Sum of all time periods", "1.2\u00a0s", "880\u00a0ms", "   0.8 kb"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lang);
        PickLanguage(*w, c.lang);
        EXPECT_TRUE(w->Ui().lbMetricaDescr->text().startsWith(QString::fromUtf8(c.descr)))
            << w->Ui().lbMetricaDescr->text().toStdString();
        EXPECT_EQ(cell(fcp), c.fcp);
        EXPECT_EQ(cell(tbt), c.tbt);
        EXPECT_EQ(cell(html), c.html);
    }
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
