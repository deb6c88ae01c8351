// The window through a day of use against the simulator with quotas: a daily stop that
// explains its rows, a quota wait in the progress line, the report of an import full of junk and
// a past run opened by name. Each saves a picture of the screen for a person to look at.
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "app/grid_filter.h"
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
    void Open(int urlCount) {
        QStringList urls;
        for (int i = 1; i <= urlCount; ++i)
            urls << QStringLiteral("https://shop.example/catalogue/page-%1").arg(i);
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
    THistoryPage& page = *w->Ui().tsHistory;
    ASSERT_TRUE(WaitFor([&] {
        page.RefreshRuns();
        return page.RunList()->rowCount() == 1;
    }));
    page.RunList()->selectRow(0);
    page.btOpenRunClick();
    EXPECT_TRUE(w->windowTitle().startsWith("Velmora — run 1 (")) << w->windowTitle().toStdString();
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

}  // namespace
}  // namespace velmora::app::test
