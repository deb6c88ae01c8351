// Check runs from the window against the in-process simulator: buttons, progress, log,
// completion, abort, and closing the window while workers are busy.
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include "app/grid_model.h"
#include "app/url_grids.h"
#include "engine/pool.h"
#include "sim/simulator.h"
#include "support/window_env.h"

namespace velmora::app::test {
namespace {

class Run : public ::testing::Test {
  protected:
    void StartSim(int latencyMin, int latencyMax) {
        sim::SimOptions o;
        o.latencyMinMs = latencyMin;
        o.latencyMaxMs = latencyMax;
        simulator = std::make_unique<sim::Simulator>(o);
        ASSERT_TRUE(simulator->Start()) << simulator->Error();
    }
    void Open(const QStringList& urls, int threads) {
        QFile f(dir.Path() + "urls.txt");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(urls.join("\n").toUtf8());
        f.close();
        TAppOptions o = dir.Options();
        o.Endpoint = QString::fromStdString(simulator->Endpoint());
        o.UrlsFile = dir.Path() + "urls.txt";
        w = ShowWindow(o);
        ASSERT_TRUE(
            WaitFor([&] { return w->Master().Count() == static_cast<size_t>(urls.size()); }));
        w->Ui().edMaxTreads->setValue(threads);
        w->Ui().edMinReqDelay->setValue(100);
    }
    bool RunEnded(int timeoutMs = 30000) {
        return WaitFor([&] { return !w->Running(); }, timeoutMs);
    }
    QStringList LogLines() const {
        QStringList lines;
        for (int r = 0; r < w->Ui().lvLog->rowCount(); ++r)
            lines << w->Ui().lvLog->item(r, 1)->text();
        return lines;
    }

    TLocaleEnv env{"en_US.UTF-8"};
    TAppDir dir;
    std::unique_ptr<sim::Simulator> simulator;
    std::unique_ptr<TfmMain> w;
};

TEST_F(Run, CompletedRunFillsBothGridsAndEnablesExport) {
    StartSim(20, 80);
    Open({"https://a.example/", "https://heavy.example/", "https://c.example/sim-error500",
          "https://d.example/"},
         2);
    EXPECT_EQ(w->Ui().pcPages->tabText(0), " URL list (4) ");
    ASSERT_TRUE(w->Ui().btRunRequests->isEnabled());

    w->Ui().btRunRequests->click();
    EXPECT_FALSE(w->Ui().btRunRequests->isEnabled());
    EXPECT_TRUE(w->Ui().btAbortRequests->isEnabled());
    EXPECT_FALSE(w->Ui().btInsertURLs4Clip->isEnabled());
    EXPECT_FALSE(w->Ui().btImportURLs4TXT->isEnabled());
    EXPECT_FALSE(w->Ui().btImportURLs4XML->isEnabled());
    EXPECT_FALSE(w->Ui().gbParams->isEnabled());
    EXPECT_TRUE(w->Ui().pProgress->isVisible());
    EXPECT_EQ(w->Ui().pcBottom->currentWidget(), w->Ui().tsLog);
    EXPECT_EQ(w->Ui().pbProgress->maximum(), 4);
    EXPECT_EQ(w->Ui().lvLog->item(0, 1)->text(), "Check started");
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$")
                    .match(w->Ui().lvLog->item(0, 0)->text())
                    .hasMatch());

    ASSERT_TRUE(RunEnded());
    EXPECT_TRUE(w->Ui().btExport->isEnabled());
    EXPECT_TRUE(w->Ui().btRunRequests->isEnabled());
    EXPECT_FALSE(w->Ui().btAbortRequests->isEnabled());
    EXPECT_TRUE(w->Ui().gbParams->isEnabled());
    EXPECT_FALSE(w->Ui().pProgress->isVisible());
    EXPECT_EQ(w->Ui().pbProgress->value(), 4);

    auto* d = w->Ui().vtURLsD->model();
    auto* m = w->Ui().vtURLsM->model();
    EXPECT_EQ(d->data(d->index(0, 3)).toString(), "100");
    EXPECT_EQ(d->data(d->index(1, 3)).toString(), "38");
    EXPECT_EQ(m->data(m->index(1, 3)).toString(), "27");
    EXPECT_FALSE(d->data(d->index(2, 2)).toString().isEmpty());  // the service's error
    const QStringList log = LogLines();
    EXPECT_TRUE(log.contains("URL 1: task started"));
    EXPECT_TRUE(log.contains("URL 4: task finished"));
    EXPECT_EQ(log.last(), "Program started");
    EXPECT_EQ(log.indexOf("Check started"),
              log.indexOf(QRegularExpression("^Data loaded\\. Added: 4$")) - 1);
    EXPECT_FALSE(w->Running());
}

TEST_F(Run, CtrlEnterStartsTheRunAndEnterAloneDoesNot) {
    StartSim(0, 0);
    Open({"https://a.example/"}, 1);
    w->activateWindow();
    w->Ui().vtURLsD->setFocus();
    QTest::keyClick(w->Ui().vtURLsD, Qt::Key_Return);
    QTest::qWait(300);
    EXPECT_FALSE(w->Running());
    EXPECT_TRUE(simulator->Requests().empty());
    QTest::keyClick(w->Ui().vtURLsD, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(WaitFor(
        [&] { return !w->Ui().lvLog->item(0, 1)->text().startsWith("Data loaded"); }, 3000));
    ASSERT_TRUE(RunEnded());
    EXPECT_EQ(simulator->Requests().size(), 2u);
}

TEST_F(Run, AbortStopsNewWorkersAndLeavesExportDisabled) {
    StartSim(600, 600);
    QStringList urls;
    for (int i = 1; i <= 6; ++i) urls << QStringLiteral("https://site%1.example/").arg(i);
    Open(urls, 1);
    w->Ui().btRunRequests->click();
    ASSERT_TRUE(WaitFor([&] { return !simulator->Requests().empty(); }));
    w->activateWindow();
    // Esc asks first; no keeps the run going.
    QStringList asked;
    bool answer = false;
    w->UrlGrids().Dialogs.Ask = [&](const QString& text) {
        asked << text;
        return answer;
    };
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_EQ(asked, QStringList{"Abort the check? The results already received are kept."});
    EXPECT_TRUE(w->Running());
    EXPECT_TRUE(w->Ui().btAbortRequests->isEnabled());
    answer = true;
    QTest::keyClick(w.get(), Qt::Key_Escape);
    ASSERT_TRUE(WaitFor([&] { return !w->Ui().btAbortRequests->isEnabled(); }, 2000));
    EXPECT_TRUE(LogLines().contains("Cancelling the check..."));
    // The abort ends the transfer in flight at once, so the run may be over already.
    if (w->Running()) {
        EXPECT_FALSE(w->Ui().btRunRequests->isEnabled());
    }
    ASSERT_TRUE(RunEnded());
    QTest::qWait(200);
    // The summary is the run's last line, below every worker's own.
    EXPECT_TRUE(LogLines().first().startsWith("Check finished: 0 OK, 0 failed, 6 aborted"))
        << LogLines().mid(0, 4).join(" | ").toStdString();
    EXPECT_FALSE(w->Ui().btExport->isEnabled());
    EXPECT_TRUE(w->Ui().btRunRequests->isEnabled());
    EXPECT_LE(simulator->Requests().size(), 2u);
    for (size_t i = 0; i < w->Master().Count(); ++i)
        EXPECT_EQ(w->Master()[i].TaskResults, nullptr) << i;
}

TEST_F(Run, ClosingDuringARunWaitsForTheWorkersAndFreesEverything) {
    StartSim(300, 900);
    QStringList urls;
    for (int i = 1; i <= 12; ++i) urls << QStringLiteral("https://busy%1.example/").arg(i);
    Open(urls, 4);
    w->Ui().btRunRequests->click();
    ASSERT_TRUE(WaitFor([&] { return simulator->Requests().size() >= 2; }));
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(w->close());
    w.reset();
    EXPECT_LT(t.elapsed(), 10000);
    QApplication::processEvents();
}

TEST_F(Run, DestroyingTheWindowDuringARunIsSafeToo) {
    StartSim(200, 400);
    Open({"https://x1.example/", "https://x2.example/", "https://x3.example/"}, 3);
    w->Ui().btRunRequests->click();
    ASSERT_TRUE(WaitFor([&] { return !simulator->Requests().empty(); }));
    // The session joins its workers before the list they report into goes.
    w.reset();
}

}  // namespace
}  // namespace velmora::app::test
