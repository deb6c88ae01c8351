// The window for everyday use: the keyboard, small screens, progress texts, the command line
// without a display, the second start and the news pane.
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <cmath>

#include "app/grid_model.h"
#include "app/history_page.h"
#include "app/news_browser.h"
#include "app/run_progress.h"
#include "app/score_chart.h"
#include "app/single_instance.h"
#include "app/window_placement.h"
#include "io/settings.h"
#include "sim/simulator.h"
#include "support/window_env.h"

namespace velmora::app::test {
namespace {

TEST(Keyboard, TabLeavesTheGridsAndTheLogInTheWindowsOrder) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    for (QWidget* list :
         {static_cast<QWidget*>(w->Ui().vtURLsD), static_cast<QWidget*>(w->Ui().lvLog)}) {
        SCOPED_TRACE(list->objectName().toStdString());
        list->setFocus();
        ASSERT_TRUE(list->hasFocus());
        QTest::keyClick(list, Qt::Key_Tab);
        EXPECT_NE(QApplication::focusWidget(), list);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Backtab);
        EXPECT_NE(QApplication::focusWidget(), list);
    }
    // The button column keeps its order.
    w->Ui().btImportURLs4TXT->setFocus();
    QTest::keyClick(w->Ui().btImportURLs4TXT, Qt::Key_Tab);
    QWidget* next = QApplication::focusWidget();
    EXPECT_TRUE(next == w->Ui().btExport || next == w->Ui().btImportURLs4XML ||
                next == w->Ui().btInsertURLs4Clip)
        << (next ? next->objectName().toStdString() : "none");
}

// The names of the controls Tab visits from start until it comes back, in order; a control
// inside another (a tab bar, a spin box's edit) goes by its owner's name.
QStringList TabStops(QWidget* start) {
    auto nameOf = [](QWidget* w) {
        while (w && (w->objectName().isEmpty() || w->objectName().startsWith("qt_")))
            w = w->parentWidget();
        return w ? w->objectName() : QString();
    };
    start->setFocus(Qt::TabFocusReason);
    QStringList names{nameOf(QApplication::focusWidget())};
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        const QString name = nameOf(QApplication::focusWidget());
        if (name == names.first()) break;
        if (name != names.last()) names << name;  // a link label's link is a stop of its own
    }
    // Shift+Tab goes the same way back.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(nameOf(QApplication::focusWidget()), names.last());
    return names;
}

TEST(Keyboard, TabGoesTopToBottomAndLeftToRight) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    QFile f(dir.Path() + "urls.txt");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("https://a.example/\n");
    f.close();
    TAppOptions o = dir.Options();
    o.UrlsFile = f.fileName();
    auto w = ShowWindow(o);
    ASSERT_TRUE(WaitFor([&] { return w->Master().Count() == 1; }));
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    // Abort and Export are disabled while idle with nothing checked, so Tab passes them.
    EXPECT_EQ(TabStops(w->Ui().pcPages),
              (QStringList{"pcPages", "edFilter", "cbFilterStatus", "cbFilterScore", "vtURLsD",
                           "pcStrategy", "pcBottom", "wbNews", "btInsertURLs4Clip",
                           "btImportURLs4TXT", "btImportURLs4XML", "btImportURLs4Web",
                           "btImportURLs4Crawl", "btRunRequests", "crtURLScore"}));
    w->Ui().pcPages->setCurrentWidget(w->Ui().tsHistory);
    // Open, Compare and Delete wait for a run to be selected.
    EXPECT_EQ(TabStops(w->Ui().pcPages), (QStringList{"pcPages", "btRefreshRuns", "edHistoryKeep",
                                                      "lvRuns", "edHistoryPlace"}));
}

// The settings page: the metric list, then every parameter top to bottom, the about box last;
// the performance box, always ticked and disabled, is passed.
TEST(Keyboard, SettingsTabOrderFollowsThePageAndSkipsNothing) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->Ui().pcPages->setCurrentWidget(w->Ui().tsParams);
    EXPECT_EQ(TabStops(w->Ui().pcPages), (QStringList{"pcPages",
                                                      "lvMetrics",
                                                      "edAPIKey",
                                                      "btShowAPIKey",
                                                      "lbGotoKeySite",
                                                      "edMaxTreads",
                                                      "edMinReqDelay",
                                                      "edRetries",
                                                      "cbImpNoClearURLs",
                                                      "cbCategoryAccessibility",
                                                      "cbCategoryBestPractices",
                                                      "cbCategorySeo",
                                                      "cbStrategies",
                                                      "cbRequestLocale",
                                                      "cbReportScreenshots",
                                                      "edGroups",
                                                      "edEndpoint",
                                                      "cbAppLang",
                                                      "pAbout",
                                                      "lbGotoSite",
                                                      "lbGotoPublisherSite"}));
}

// WCAG's contrast ratio of two colours, 1 (none) to 21.
double Contrast(const QColor& a, const QColor& b) {
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double x = luminance(a), y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// The progress text reads wherever it stands: over the fill and over the empty part.
TEST(Progress, TheTextReadsOverTheFillAndTheEmptyPart) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());
    w->ShowProgress(true);
    const QPalette p = w->Ui().pbProgress->palette();
    for (QPalette::ColorRole text : {QPalette::Text, QPalette::HighlightedText}) {
        EXPECT_GE(Contrast(p.color(text), p.color(QPalette::Base)), 4.5) << text;
        EXPECT_GE(Contrast(p.color(text), p.color(QPalette::Window)), 4.5) << text;
    }
    EXPECT_GE(Contrast(p.color(QPalette::HighlightedText), p.color(QPalette::Highlight)), 3.0);
}

TEST(Keyboard, TheFocusFrameShowsOnTheRunButtonAndTheChart) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    QFile f(dir.Path() + "urls.txt");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("https://a.example/\n");
    f.close();
    TAppOptions o = dir.Options();
    o.UrlsFile = f.fileName();
    auto w = ShowWindow(o);
    ASSERT_TRUE(WaitFor([&] { return w->Master().Count() == 1; }));
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    for (QWidget* target : {static_cast<QWidget*>(w->Ui().btRunRequests),
                            static_cast<QWidget*>(w->Ui().crtURLScore)}) {
        SCOPED_TRACE(target->objectName().toStdString());
        w->Ui().btInsertURLs4Clip->setFocus(Qt::TabFocusReason);
        QTest::qWait(50);
        const QImage before = target->grab().toImage();
        for (int i = 0; i < 10 && QApplication::focusWidget() != target; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), target);
        QTest::qWait(50);
        EXPECT_NE(target->grab().toImage(), before);
    }
}

TEST(Placement, FitFrameKeepsTheTitleBarOnTheScreen) {
    const QRect laptop(0, 0, 1366, 741);  // 1366x768 less a panel
    struct Case {
        QRect Frame, Area, Expected;
    } cases[] = {
        {QRect(0, 0, 1295, 784), laptop, QRect(35, 0, 1295, 741)},    // too tall
        {QRect(0, 0, 1000, 600), laptop, QRect(183, 71, 1000, 600)},  // centred
        {QRect(0, 0, 2000, 1200), QRect(1366, 27, 1920, 1053), QRect(1366, 27, 1920, 1053)},
    };
    for (const Case& c : cases) EXPECT_EQ(FitFrame(c.Frame, c.Area), c.Expected);
    EXPECT_TRUE(FitsOnAScreen(QRect(10, 10, 800, 600), {laptop}));
    EXPECT_FALSE(FitsOnAScreen(QRect(1400, 10, 800, 600), {laptop}));
}

TEST(Placement, ASmallScreenGetsTheWholeWindowAndTheStateIsRemembered) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    const QRect small(0, 24, 1366, 720);
    QRect moved;
    {
        auto w = ShowWindow(dir.Options());
        w->PlaceInArea(small);
        const QRect frame = w->geometry().marginsAdded(w->FrameMargins());
        EXPECT_TRUE(small.contains(frame))
            << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
        EXPECT_GE(frame.top(), small.top());
        const QRect avail = w->screen()->availableGeometry();
        moved = QRect(avail.x() + 50, avail.y() + 60, avail.width() / 2, avail.height() / 2);
        w->setGeometry(moved);
        w->close();
    }
    const io::TWindowSettings stored = io::LoadWindowSettings(dir.Ini().toStdString());
    ASSERT_TRUE(stored.Geometry);
    EXPECT_EQ(*stored.Geometry,
              (std::array<int, 4>{moved.x(), moved.y(), moved.width(), moved.height()}));
    EXPECT_FALSE(stored.Maximized);
    {
        auto w = ShowWindow(dir.Options());
        EXPECT_EQ(w->geometry(), moved);
    }
    // A place on a screen that is not there any more is not restored.
    ASSERT_TRUE(io::SaveWindowGeometry(dir.Ini().toStdString(), {9000, 9000, 900, 500}, false));
    auto w = ShowWindow(dir.Options());
    EXPECT_NE(w->geometry().topLeft(), QPoint(9000, 9000));
}

TEST(Placement, MaximizedIsRestoredThoughItsPlaceFillsTheScreen) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    QRect full;
    {
        auto w = ShowWindow(dir.Options());
        full = w->screen()->availableGeometry();
    }
    ASSERT_TRUE(io::SaveWindowGeometry(dir.Ini().toStdString(),
                                       {full.x(), full.y(), full.width(), full.height()}, true));
    auto w = ShowWindow(dir.Options());
    EXPECT_TRUE(w->windowState() & Qt::WindowMaximized);
}

TEST(Progress, TextsAtAKnownClock) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());  // loads the catalogues
    using namespace std::chrono;
    const TRunProgress::TClock::time_point t0{};
    TRunProgress p;
    p.Start(4, t0);
    for (int32_t n : {1, 2}) p.TaskStarted(n, t0);
    EXPECT_TRUE(p.InFlight(1));
    EXPECT_EQ(p.ProgressText(t0), "Checked 0 of 4 (0%)");
    TURLTaskInfo ok("http://a/", 1), failed("http://b/", 2);
    ok.InitMetricResults();
    ok.TaskResults->TaskResult = {trOK, trOK};
    failed.InitMetricResults();
    failed.TaskResults->TaskResult = {trOK, trSendError};
    p.TaskFinished(ok);
    EXPECT_FALSE(p.InFlight(1));
    EXPECT_EQ(p.ProgressText(t0 + seconds(30)), "Checked 1 of 4 (25%), about 1:30 left");
    // URL 2 is silent for a minute; it is reported once, and again only after news of it.
    p.TaskStarted(3, t0 + seconds(50));
    EXPECT_TRUE(p.NewlyStuck(t0 + seconds(59)).empty());
    EXPECT_EQ(p.NewlyStuck(t0 + seconds(61)), std::vector<int32_t>{2});
    EXPECT_TRUE(p.NewlyStuck(t0 + seconds(100)).empty());
    p.TaskActivity(2, t0 + seconds(100));
    EXPECT_EQ(p.NewlyStuck(t0 + seconds(200)), (std::vector<int32_t>{2, 3}));
    p.TaskFinished(failed);
    EXPECT_EQ(p.ProgressText(t0 + seconds(3600)), "Checked 2 of 4 (50%), about 1:00:00 left");
    // URL 3 never came back and URL 4 never started: both aborted.
    TURLTaskInfoList master;
    for (const char* url : {"http://a/", "http://b/", "http://c/", "http://d/"}) master.Add(url);
    master[0].TaskResults = std::move(ok.TaskResults);
    master[1].TaskResults = std::move(failed.TaskResults);
    EXPECT_EQ(p.Finish(t0 + seconds(3725), master),
              "Check finished: 1 OK, 1 failed, 2 aborted, took 1:02:05");
    EXPECT_FALSE(p.Active());
}

// A recheck's worker checks only the failed strategy; the row as merged is what counts.
TEST(Progress, TheSummaryCountsTheRowsAsTheyFinallyStand) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());  // loads the catalogues
    const TRunProgress::TClock::time_point t0{};
    TURLTaskInfoList master;
    TRunProgress p;
    p.Start(3, t0);
    for (const char* url : {"http://a/", "http://b/", "http://c/"}) {
        TURLTaskInfo& row = master.Add(url);
        row.InitMetricResults();
        row.TaskResults->TaskResult = {trOK, trOK};
        TURLTaskInfo copy(url, row.Num);
        copy.InitMetricResults();
        copy.TaskResults->TaskResult = {trNotChecked, trOK};  // desktop kept from before
        if (row.Num == 3) copy.TaskResults->TaskResult = {trAborted, trNotChecked};
        p.TaskFinished(copy);
    }
    EXPECT_EQ(p.Finish(t0 + std::chrono::seconds(5), master),
              "Check finished: 2 OK, 0 failed, 1 aborted, took 0:05");
}

TEST(Progress, AQuotaWaitIsShownAndCountsInTheTimeLeft) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());  // loads the catalogues
    using namespace std::chrono;
    const TRunProgress::TClock::time_point t0{};
    TRunProgress p;
    p.Start(4, t0);
    TURLTaskInfo ok("http://a/", 1);
    ok.InitMetricResults();
    ok.TaskResults->TaskResult = {trOK, trOK};
    p.TaskFinished(ok);
    p.QuotaWait(t0 + seconds(68));
    struct Case {
        int At;
        const char* Text;
    } cases[] = {
        {10, "Checked 1 of 4 (25%), about 1:28 left. Waiting for the quota: about 58 s"},
        {30, "Checked 1 of 4 (25%), about 2:08 left. Waiting for the quota: about 38 s"},
        {68, "Checked 1 of 4 (25%), about 3:24 left"},
    };
    for (const Case& c : cases) EXPECT_EQ(p.ProgressText(t0 + seconds(c.At)), c.Text) << c.At;
}

TEST(Progress, ARunShowsCheckingMarksTheCountsAndItsSummary) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    sim::SimOptions so;
    so.latencyMinMs = so.latencyMaxMs = 400;
    sim::Simulator simulator(so);
    ASSERT_TRUE(simulator.Start()) << simulator.Error();
    QFile f(dir.Path() + "urls.txt");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("https://a.example/\nhttps://b.example/sim-error500/x\n");
    f.close();
    TAppOptions o = dir.Options();
    o.Endpoint = QString::fromStdString(simulator.Endpoint());
    o.UrlsFile = f.fileName();
    auto w = ShowWindow(o);
    ASSERT_TRUE(WaitFor([&] { return w->Master().Count() == 2; }));
    w->Ui().edMinReqDelay->setValue(100);
    w->Ui().edRetries->setValue(0);  // the failure is the point here, not its retries
    w->btRunRequestsClick();
    ASSERT_TRUE(w->Running());
    EXPECT_EQ(w->GridModel(msDesktop)->index(0, gcError).data().toString(), "checking…");
    EXPECT_TRUE(w->Ui().pbProgress->isTextVisible());
    EXPECT_TRUE(w->Ui().pbProgress->format().startsWith("Checked 0 of 2 (0%)"));
    ASSERT_TRUE(WaitFor([&] { return !w->Running(); }, 30000));
    EXPECT_EQ(w->GridModel(msDesktop)->index(0, gcError).data().toString(), "");
    EXPECT_TRUE(w->Ui().lvLog->item(0, 1)->text().startsWith(
        "Check finished: 1 OK, 1 failed, 0 aborted, took 0:0"))
        << w->Ui().lvLog->item(0, 1)->text().toStdString();
    EXPECT_TRUE(w->Ui().btExport->isEnabled());
    simulator.Stop();
}

TEST(CommandLine, HelpAndVersionNeedNoDisplay) {
    EXPECT_TRUE(InfoOptionAnswer({"--urls", "x", "--help"})->startsWith("Usage: velmora"));
    EXPECT_TRUE(InfoOptionAnswer({"--version"})->startsWith("Velmora "));
    EXPECT_FALSE(InfoOptionAnswer({"--demo"}));
    for (const char* option : {"--help", "--version"}) {
        SCOPED_TRACE(option);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(VELMORA_APP_BINARY), {option});
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_FALSE(program.readAllStandardOutput().isEmpty());
    }
}

TEST(SecondStart, BringsTheRunningWindowUpWithItsUrls) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    QTemporaryDir lockDir;
    TSingleInstance first(lockDir.path());
    ASSERT_TRUE(first.Acquire());
    auto w = ShowWindow(dir.Options());
    QObject::connect(&first, &TSingleInstance::Activated, w.get(),
                     &TfmMain::ActivateFromSecondStart);
    QFile f(dir.Path() + "more.txt");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("http://handed.over/\n");
    f.close();
    QSignalSpy spy(&first, &TSingleInstance::Activated);

    TSingleInstance second(lockDir.path());
    EXPECT_FALSE(second.Acquire());
    // The second start runs in its own folder: a relative path must arrive whole.
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir.Path());
    const bool asked = second.AskRunningInstance("more.txt");
    QDir::setCurrent(cwd);
    ASSERT_TRUE(asked);
    ASSERT_TRUE(WaitFor([&] { return spy.count() == 1; }, 5000));
    EXPECT_EQ(spy[0][0].toString(), f.fileName());
    ASSERT_EQ(w->Master().Count(), 1u);
    EXPECT_EQ(w->Master()[0].URL, "http://handed.over/");

    // Without a running instance nobody answers.
    QTemporaryDir empty;
    EXPECT_FALSE(TSingleInstance(empty.path()).AskRunningInstance({}, 500));
}

TEST(News, TheSimulatorServesThePageAndAFailureIsOneTranslatedLine) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    sim::Simulator simulator;
    ASSERT_TRUE(simulator.Start()) << simulator.Error();
    TAppOptions o = dir.Options();
    o.NewsBaseUrl = QString::fromStdString(simulator.Endpoint());
    auto w = ShowWindow(o);
    ASSERT_TRUE(WaitFor([&] { return !w->Ui().wbNews->Loading(); }, 15000));
    EXPECT_TRUE(w->Ui().wbNews->toPlainText().contains("Velmora demo"))
        << w->Ui().wbNews->toPlainText().toStdString();
    simulator.Stop();

    // Nothing listens on port 9 of the default options.
    auto offline = ShowWindow(dir.Options());
    ASSERT_TRUE(WaitFor([&] { return !offline->Ui().wbNews->Loading(); }, 15000));
    EXPECT_EQ(offline->Ui().wbNews->toPlainText(),
              "News is not available right now (no connection to the server)");
    struct Case {
        int Code;
        const char* Expected;
    } cases[] = {{22, "(the server answered with an error)"},
                 {6, "(the server's address was not found)"},
                 {35, "(SSL connect error)"}};
    for (const Case& c : cases)
        EXPECT_EQ(NewsFailureReason(c.Code, "SSL connect error"), c.Expected);
}

}  // namespace
}  // namespace velmora::app::test
