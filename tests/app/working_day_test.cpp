// The window through a day of use against the simulator with quotas: a daily stop that
// explains its rows, a quota wait in the progress line, the report of an import full of junk and
// a past run opened by name; one URL typed in, the log's errors alone, one strategy checked, the
// pace of a run and the notice at the end of a long one. Each picture of the screen is saved for
// a person to look at.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "app/grid_filter.h"
#include "app/grid_model.h"
#include "app/history_page.h"
#include "app/score_chart.h"
#include "app/url_grids.h"
#include "sim/simulator.h"
#include "support/window_env.h"

namespace velmora::app::test {
namespace {

class WorkingDay : public ::testing::Test {
  protected:
    void StartSim(sim::SimOptions o) {
        simulator = std::make_unique<sim::Simulator>(o);
        ASSERT_TRUE(simulator->Start()) << simulator->Error();
    }
    // Opens the one run the History page lists, once the history has it.
    void OpenTheOnlyRun() {
        THistoryPage& page = *w->Ui().tsHistory;
        ASSERT_TRUE(WaitFor([&] {
            page.RefreshRuns();
            return page.RunList()->rowCount() == 1;
        }));
        page.RunList()->selectRow(0);
        page.btOpenRunClick();
    }
    // urlCount pages of a shop, then the extra URLs.
    void Open(int urlCount, const QStringList& extra = {}) {
        QStringList urls;
        for (int i = 1; i <= urlCount; ++i)
            urls << QStringLiteral("https://shop.example/catalogue/page-%1").arg(i);
        urls << extra;
        urlCount += static_cast<int>(extra.size());
        QFile f(dir.Path() + "urls.txt");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(urls.join("\n").toUtf8());
        f.close();
        TAppOptions o = dir.Options();
        if (simulator) o.Endpoint = QString::fromStdString(simulator->Endpoint());
        o.UrlsFile = f.fileName();
        w = ShowWindow(o);
        ASSERT_TRUE(WaitFor([&] { return w->Master().Count() == static_cast<size_t>(urlCount); }));
        w->Ui().edMaxTreads->setValue(2);
        w->Ui().edMinReqDelay->setValue(100);
    }
    // The whole screen under a real display server, else the window.
    void Shoot(const char* name) {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
        QTest::qWait(300);
        const QString path = velmora::test::ScreenshotDir() + "/" + name;
        QDir().mkpath(velmora::test::ScreenshotDir());
        const bool screen = QGuiApplication::platformName() == QLatin1String("xcb");
        const QPixmap shot = screen ? w->screen()->grabWindow(0) : w->grab();
        EXPECT_TRUE(shot.save(path)) << path.toStdString();
    }
    QString ErrorCell(int row) const {
        auto* m = w->Ui().vtURLsD->model();
        return m->data(m->index(row, gcError)).toString();
    }
    QString UrlCell(TMetricaStrategy s, int row) const {
        auto* m = w->GridModel(s);
        return m->data(m->index(row, gcURL)).toString();
    }
    // The summary line the run ended with.
    QString LastSummary() const {
        for (int r = 0; r < w->Ui().lvLog->rowCount(); ++r)
            if (w->Ui().lvLog->item(r, 1)->text().startsWith("Check finished: "))
                return w->Ui().lvLog->item(r, 1)->text();
        return {};
    }
    void Run() {
        w->btRunRequestsClick();
        ASSERT_TRUE(WaitFor([&] { return !w->Running(); }, 30000));
    }

    TLocaleEnv env{"en_US.UTF-8"};
    TAppDir dir;
    std::unique_ptr<sim::Simulator> simulator;
    std::unique_ptr<TfmMain> w;
};

TEST_F(WorkingDay, ADailyQuotaStopSaysSoInItsRowsAndTheChart) {
    sim::SimOptions so;
    so.latencyMinMs = 20;
    so.latencyMaxMs = 60;
    so.quotaPerDay = 12;  // two requests a URL: six URLs
    StartSim(so);
    Open(15);
    w->btRunRequestsClick();
    ASSERT_TRUE(WaitFor([&] { return !w->Running(); }, 30000));
    int stopped = 0;
    for (int r = 0; r < 15; ++r) stopped += ErrorCell(r) == "stopped: daily quota";
    EXPECT_GE(stopped, 8);
    const QString coverage = w->Ui().crtURLScore->CoverageText();
    EXPECT_TRUE(coverage.startsWith("Desktop: ") && coverage.endsWith(" of 15 checked"))
        << coverage.toStdString();
    w->Ui().vtURLsD->selectRow(10);
    Shoot("screenshot-daily-quota-stop.png");
    // The filter in use: the failed rows whose URL holds "page-1".
    w->GridFilter().cbFilterStatus->setCurrentIndex(TGridFilterRule::fsFailed);
    w->GridFilter().edFilter->setText("page-1");
    int shown = 0;
    for (int r = 0; r < 15; ++r) shown += !w->Ui().vtURLsD->isRowHidden(r);
    EXPECT_EQ(shown, 6) << "pages 10 to 15";
    Shoot("screenshot-filter.png");
}

TEST_F(WorkingDay, AQuotaWaitIsShownInTheProgressLine) {
    sim::SimOptions so;
    so.latencyMinMs = 20;
    so.latencyMaxMs = 60;
    so.quotaPerMinute = 6;
    StartSim(so);
    Open(12);
    w->Ui().edRetries->setValue(3);
    w->btRunRequestsClick();
    ASSERT_TRUE(WaitFor(
        [&] { return w->Ui().pbProgress->format().contains("Waiting for the quota: about"); },
        20000))
        << w->Ui().pbProgress->format().toStdString();
    EXPECT_TRUE(w->Running()) << "a per-minute quota holds the run back, never ends it";
    Shoot("screenshot-quota-wait.png");
}

TEST_F(WorkingDay, AnImportOfAJunkFilledFileReportsInTheStatusBar) {
    Open(1);
    QByteArray text;
    const char* junk[] = {"not a url",
                          "http//broken",
                          "# comment line",
                          "<a href=\"https://x.example/\">x</a>",
                          "https://",
                          "www.example.com/no-scheme",
                          "127.0.0.1/admin",
                          "https://example.com/with a space",
                          ""};
    for (int i = 0; i < 1000; ++i) {
        if (i % 10 == 9)
            text += junk[(i / 10) % std::size(junk)];
        else
            text += "https://shop.example/item/" + QByteArray::number(i);
        text += '\n';
    }
    QFile f(dir.Path() + "junk.txt");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    f.close();
    // The list holds a URL: the import asks, and the answer is to replace it.
    w->UrlGrids().Dialogs.ChooseImport = [](const QString&, TImportChoice) {
        return TImportChoice::Replace;
    };
    ASSERT_TRUE(w->LoadUrlsFromTextFile(f.fileName()));
    const QString report = w->statusBar()->currentMessage();
    EXPECT_TRUE(report.startsWith("Data loaded. Added: 901 (without a scheme, with https://: 1)"))
        << report.toStdString();
    EXPECT_TRUE(report.contains("duplicates: 10, no URL: 67, comments: 11, empty lines: 11"))
        << report.toStdString();
    Shoot("screenshot-import-report.png");
}

TEST_F(WorkingDay, APastRunOpenedIsNamed) {
    sim::SimOptions so;
    so.latencyMinMs = 20;
    so.latencyMaxMs = 60;
    StartSim(so);
    Open(8);
    w->btRunRequestsClick();
    ASSERT_TRUE(WaitFor([&] { return !w->Running(); }, 30000));
    OpenTheOnlyRun();
    EXPECT_TRUE(w->windowTitle().startsWith("run 1 (")) << w->windowTitle().toStdString();
    EXPECT_TRUE(w->windowTitle().endsWith(") — Velmora")) << "the name once, last";
    EXPECT_TRUE(w->Ui().pCompare->isVisible());
    Shoot("screenshot-opened-run.png");
}

TEST_F(WorkingDay, TheSpreadsheetExportNamesItsSeparatorAndWritesBothFiles) {
    sim::SimOptions so;
    so.latencyMinMs = 20;
    so.latencyMaxMs = 60;
    StartSim(so);
    Open(4);
    w->btRunRequestsClick();
    ASSERT_TRUE(WaitFor([&] { return !w->Running(); }, 30000));
    ASSERT_TRUE(w->Ui().btExportSheet->isEnabled());
    // The real dialog, as the user sees it; then one that answers with a file.
    QString title;
    QTimer::singleShot(800, w.get(), [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        Shoot("screenshot-spreadsheet-export.png");
        dialog->close();
    });
    w->Ui().btExportSheet->click();
    EXPECT_EQ(title,
              "Export for spreadsheets: UTF-8, separator semicolon (;), numbers with a point");
    const QString file = dir.Path() + "sheet.csv";
    w->UrlGrids().Dialogs.SaveFileName = [&](const QString&, const QString&, const QString&) {
        return file;
    };
    w->Ui().btExportSheet->click();
    QFile sheet(file);
    ASSERT_TRUE(sheet.open(QIODevice::ReadOnly));
    EXPECT_EQ(sheet.readAll().count('\n'), 9) << "a header and two lines for each URL";
    EXPECT_TRUE(QFile::exists(dir.Path() + "sheet-advice.csv"));
}

// A run opened from History exports the numbers it measured, as the live run did.
TEST_F(WorkingDay, AnOpenedRunsSpreadsheetExportHasItsNumbers) {
    sim::SimOptions so;
    so.latencyMinMs = 20;
    so.latencyMaxMs = 60;
    StartSim(so);
    Open(3);
    w->btRunRequestsClick();
    ASSERT_TRUE(WaitFor([&] { return !w->Running(); }, 30000));
    QString file = dir.Path() + "live.csv";
    w->UrlGrids().Dialogs.SaveFileName = [&](const QString&, const QString&, const QString&) {
        return file;
    };
    w->Ui().btExportSheet->click();
    OpenTheOnlyRun();
    file = dir.Path() + "opened.csv";
    w->Ui().btExportSheet->click();
    const auto read = [](const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        return QString::fromUtf8(f.readAll());
    };
    const QString live = read(dir.Path() + "live.csv"), opened = read(file);
    EXPECT_EQ(opened, live);
    const QStringList lines = opened.split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 7);
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList cells = lines[i].split(';');
        EXPECT_EQ(cells[3], "OK") << lines[i].toStdString();
        EXPECT_EQ(cells[4], "") << lines[i].toStdString();  // no log text in the Error cell
        bool number = false;
        cells[5].toInt(&number);
        EXPECT_TRUE(number) << lines[i].toStdString();
    }
}

// F2 changes the current row's URL as an import would take it; both grids show the change.
TEST_F(WorkingDay, F2ChangesTheUrlOfTheRowOrSaysWhyNot) {
    Open(3);
    struct {
        const char* typed;
        const char* url;      // the first row's URL afterwards
        const char* message;  // the start of the refusal; empty when taken
    } cases[] = {
        {"https://shop.example/catalogue/new", "https://shop.example/catalogue/new", ""},
        {"www.example.com/shop", "https://www.example.com/shop", ""},
        {"not a url", "https://www.example.com/shop", "This is no URL"},
        {"https://shop.example/catalogue/page-2", "https://www.example.com/shop",
         "This URL is in the list already"},
        {"https://shop.example/logo.png", "https://www.example.com/shop", "Images, scripts"},
        {"HTTPS://WWW.example.com/shop", "HTTPS://WWW.example.com/shop", ""},
    };
    QString typed, message;
    w->UrlGrids().Dialogs.AskText = [&](const QString&, const QString&, const QString&) {
        return typed;
    };
    w->UrlGrids().Dialogs.Message = [&](QMessageBox::Icon, const QString& text, const QString&) {
        message = text;
    };
    QTableView* grid = w->Ui().vtURLsD;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        typed = QString::fromUtf8(c.typed);
        message.clear();
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(0, gcURL));
        QTest::keyClick(grid, Qt::Key_F2);
        EXPECT_EQ(w->Master()[0].URL, c.url);
        EXPECT_EQ(UrlCell(msDesktop, 0), c.url);
        EXPECT_EQ(UrlCell(msMobile, 0), c.url);
        EXPECT_EQ(message.isEmpty(), *c.message == 0);
        if (*c.message) {
            EXPECT_TRUE(message.startsWith(QString::fromUtf8(c.message))) << message.toStdString();
        }
    }
    EXPECT_EQ(w->Master().Count(), 3u);
}

// A row with results asks first; a no keeps the URL and its results.
TEST_F(WorkingDay, ChangingACheckedUrlAsksBeforeItsResultsGo) {
    Open(2);
    w->UrlGrids().Dialogs.AskText = [](const QString&, const QString&, const QString&) {
        return QStringLiteral("https://shop.example/other");
    };
    TURLTaskInfo& task = w->Master()[0];
    task.InitMetricResults();
    task.TaskResults->TaskResult = {trOK, trOK};
    int asked = 0;
    bool yes = false;
    w->UrlGrids().Dialogs.Confirm = [&](const QString&, bool*) {
        ++asked;
        return yes;
    };
    QTableView* grid = w->Ui().vtURLsD;
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, gcURL));
    QTest::keyClick(grid, Qt::Key_F2);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(task.URL, "https://shop.example/catalogue/page-1");
    EXPECT_NE(task.TaskResults, nullptr);
    yes = true;
    grid->setCurrentIndex(grid->model()->index(0, gcURL));
    QTest::keyClick(grid, Qt::Key_F2);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(task.URL, "https://shop.example/other");
    EXPECT_EQ(task.TaskResults, nullptr);
}

// Ins adds a URL at the end of both grids and makes it the current row.
TEST_F(WorkingDay, InsAddsOneUrlAtTheEnd) {
    Open(2);
    QString typed = QStringLiteral("https://shop.example/added");
    w->UrlGrids().Dialogs.AskText = [&](const QString&, const QString&, const QString&) {
        return typed;
    };
    QString message;
    w->UrlGrids().Dialogs.Message = [&](QMessageBox::Icon, const QString& text, const QString&) {
        message = text;
    };
    QTableView* grid = w->Ui().vtURLsD;
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Insert);
    ASSERT_EQ(w->Master().Count(), 3u);
    EXPECT_EQ(w->Master()[2].URL, "https://shop.example/added");
    EXPECT_EQ(UrlCell(msMobile, 2), "https://shop.example/added");
    EXPECT_EQ(grid->currentIndex().row(), 2);
    EXPECT_TRUE(w->Ui().btRunRequests->isEnabled());
    QTest::keyClick(grid, Qt::Key_Insert);  // the same again: a duplicate
    EXPECT_EQ(w->Master().Count(), 3u);
    EXPECT_TRUE(message.startsWith("This URL is in the list already")) << message.toStdString();
}

TEST_F(WorkingDay, TheEditDialogShowsTheRowsUrl) {
    Open(5);
    w->Ui().vtURLsD->selectRow(2);
    w->Ui().vtURLsD->setFocus();
    QString shown;
    QTimer::singleShot(800, w.get(), [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        if (auto* edit = dialog->findChild<QLineEdit*>()) shown = edit->text();
        Shoot("screenshot-edit-url.png");
        dialog->close();
    });
    QTest::keyClick(w->Ui().vtURLsD, Qt::Key_F2);
    EXPECT_EQ(shown, "https://shop.example/catalogue/page-3");
    EXPECT_EQ(w->Master()[2].URL, "https://shop.example/catalogue/page-3") << "cancelled";
}

// "Errors only" leaves the lines that tell of failures, also those that come later.
TEST_F(WorkingDay, ErrorsOnlyShowsTheLinesOfFailures) {
    sim::SimOptions so;
    so.latencyMinMs = 20;
    so.latencyMaxMs = 60;
    StartSim(so);
    Open(3, {"https://blog.example/sim-error500/post", "https://docs.example/sim-notHTML/a.pdf"});
    w->Ui().edRetries->setValue(0);
    w->Ui().pcBottom->setCurrentWidget(w->Ui().tsLog);
    w->Ui().cbLogErrorsOnly->click();
    Run();
    QStringList shown;
    for (int r = 0; r < w->Ui().lvLog->rowCount(); ++r)
        if (!w->Ui().lvLog->isRowHidden(r)) shown << w->Ui().lvLog->item(r, 1)->text();
    ASSERT_GE(shown.size(), 4) << "two strategies of two failing URLs";
    for (const QString& line : shown)
        EXPECT_TRUE(line.startsWith("URL 4: ") || line.startsWith("URL 5: ")) << line.toStdString();
    Shoot("screenshot-log-filter.png");
    w->Ui().cbLogErrorsOnly->click();
    int hidden = 0;
    for (int r = 0; r < w->Ui().lvLog->rowCount(); ++r) hidden += w->Ui().lvLog->isRowHidden(r);
    EXPECT_EQ(hidden, 0);
}

// Mobile alone: only its requests go, in the interface language when asked; desktop rows read
// as unchecked, and the summary counts no failure.
TEST_F(WorkingDay, MobileAloneLeavesDesktopUncheckedNotFailed) {
    sim::SimOptions so;
    so.latencyMinMs = 20;
    so.latencyMaxMs = 60;
    StartSim(so);
    Open(3);
    w->Ui().cbStrategies->setCurrentIndex(2);
    w->Ui().cbRequestLocale->setChecked(true);
    Run();
    const auto requests = simulator->Requests();
    ASSERT_EQ(requests.size(), 3u);
    for (const auto& r : requests) {
        EXPECT_EQ(r.strategy, "mobile");
        EXPECT_EQ(r.locale, "en");
    }
    EXPECT_TRUE(LastSummary().startsWith("Check finished: 3 OK, 0 failed"))
        << LastSummary().toStdString();
    auto* desktop = w->GridModel(msDesktop);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(ErrorCell(r), "");
        EXPECT_FALSE(desktop->CellColour(r, gcURL).has_value()) << "no failure's red";
    }
    w->GridFilter().cbFilterStatus->setCurrentIndex(TGridFilterRule::fsFailed);
    for (int r = 0; r < 3; ++r) EXPECT_TRUE(w->Ui().vtURLsD->isRowHidden(r));
    // Opened from the history, the run still knows desktop was not asked for.
    w->GridFilter().cbFilterStatus->setCurrentIndex(TGridFilterRule::fsAll);
    OpenTheOnlyRun();
    ASSERT_EQ(w->Master().Count(), 3u);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(ErrorCell(r), "");
        EXPECT_FALSE(w->GridModel(msDesktop)->CellColour(r, gcURL).has_value());
    }
}

// The pace line counts the requests of the day over runs and shows the gap kept.
TEST_F(WorkingDay, ThePaceLineCountsTodaysRequests) {
    sim::SimOptions so;
    so.latencyMinMs = 20;
    so.latencyMaxMs = 60;
    StartSim(so);
    Open(3);
    w->UrlGrids().Dialogs.Confirm = [](const QString&, bool*) { return true; };
    Run();
    EXPECT_EQ(w->Ui().lbPace->text(), "Requests today: 6, gap 0.1 s");
    Run();
    EXPECT_EQ(w->Ui().lbPace->text(), "Requests today: 12, gap 0.1 s");
}

// A run that took over a minute ends with a notification; a shorter one with none.
TEST_F(WorkingDay, ALongRunEndsWithANotification) {
    sim::SimOptions so;
    so.latencyMinMs = 20;
    so.latencyMaxMs = 60;
    StartSim(so);
    Open(2);
    w->UrlGrids().Dialogs.Confirm = [](const QString&, bool*) { return true; };
    QStringList notices;
    w->UrlGrids().Dialogs.Notify = [&](const QString&, const QString& text) { notices << text; };
    for (int seconds : {30, 61}) {
        SCOPED_TRACE(seconds);
        notices.clear();
        const auto start = TRunProgress::TClock::now();
        auto now = start;
        w->SetProgressClock([&] { return now; });
        w->btRunRequestsClick();
        now = start + std::chrono::seconds(seconds);
        ASSERT_TRUE(WaitFor([&] { return !w->Running(); }, 30000));
        ASSERT_EQ(notices.size(), seconds > 60 ? 1 : 0);
        if (!notices.isEmpty()) {
            EXPECT_TRUE(notices[0].startsWith("Check finished: 2 OK"));
        }
    }
}

}  // namespace
}  // namespace velmora::app::test
