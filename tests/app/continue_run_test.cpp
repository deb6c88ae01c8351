// A run that did not finish: what the start-up asks about it, and Continue, which checks the
// rows without a result from the button column, the grids' menu and History's run menu.
#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <ctime>

#include "app/grid_model.h"
#include "app/history_page.h"
#include "app/url_grids.h"
#include "history/history_store.h"
#include "sim/simulator.h"
#include "support/window_env.h"

namespace velmora::app::test {
namespace {

using history::TRunState;

class ContinueRun : public ::testing::Test {
  protected:
    void SetUp() override {
        simulator = std::make_unique<sim::Simulator>(sim::SimOptions{});
        ASSERT_TRUE(simulator->Start()) << simulator->Error();
    }
    TAppOptions Options() const {
        TAppOptions o = dir.Options();
        o.Endpoint = QString::fromStdString(simulator->Endpoint());
        return o;
    }
    // Keeps a run of urls in the history as the window would have: the first `checked` of
    // them with results, ended in state. Returns its id.
    int64_t KeepRun(const std::vector<std::string>& urls, size_t checked, TRunState state) {
        TResult<history::TOpenedHistory> opened =
            history::OpenHistory(Options().HistoryPath.toStdString());
        EXPECT_TRUE(opened) << opened.Error();
        history::IHistoryStore& store = *opened->Store;
        history::TRunRecord run;
        run.Started = std::time(nullptr);
        run.Lang = "en";
        EXPECT_TRUE(store.BeginRun(run, urls));
        std::vector<history::TStoredResult> results(checked);
        for (size_t i = 0; i < checked; ++i) {
            results[i].Num = static_cast<int32_t>(i + 1);
            for (TMetricaStrategy s : kStrategies) results[i].Results.TaskResult[s] = trOK;
            results[i].FinishedAt = run.Started;
        }
        EXPECT_TRUE(store.WriteResults(run.Id, results));
        EXPECT_TRUE(store.FinishRun(run.Id, state));
        return run.Id;
    }
    // The start-up question, or null when none was asked.
    QMessageBox* ResumeBox() const {
        QMessageBox* box = nullptr;
        WaitFor(
            [&] {
                for (QWidget* tw : QApplication::topLevelWidgets())
                    if (auto* b = qobject_cast<QMessageBox*>(tw); b && b->isVisible()) box = b;
                return box != nullptr;
            },
            1000);
        return box;
    }
    size_t Checked() const {
        size_t n = 0;
        for (size_t i = 0; i < w->Master().Count(); ++i) n += w->Master()[i].TaskResults != nullptr;
        return n;
    }
    QStringList Asked() const {
        QStringList urls;
        for (const sim::RequestRecord& r : simulator->Requests())
            if (!urls.contains(QString::fromStdString(r.url)))
                urls << QString::fromStdString(r.url);
        urls.sort();
        return urls;
    }
    THistoryPage& History() const { return *w->Ui().tsHistory; }
    int RunRow(int64_t id) const {
        History().RefreshRuns();
        for (int r = 0; r < History().RunList()->rowCount(); ++r)
            if (History().RunList()->item(r, 0)->text() == QString::number(id)) return r;
        return -1;
    }

    TLocaleEnv env{"en_US.UTF-8"};
    TAppDir dir;
    std::unique_ptr<sim::Simulator> simulator;
    std::unique_ptr<TfmMain> w;
    const std::vector<std::string> urls{"https://a.example/", "https://b.example/",
                                        "https://c.example/"};
};

struct TResumeCase {
    TRunState State;
    bool Offered;
};

class ResumePrompt : public ContinueRun, public ::testing::WithParamInterface<TResumeCase> {};

// A run stopped by the quota or by the program's end is offered; one the user aborted is not.
TEST_P(ResumePrompt, IsAskedOnlyForRunsTheUserDidNotAbortAndEnterSaysNo) {
    KeepRun(urls, 1, GetParam().State);
    w = ShowWindow(Options());
    w->Ui().edMinReqDelay->setValue(100);
    QMessageBox* box = ResumeBox();
    ASSERT_EQ(box != nullptr, GetParam().Offered);
    if (!box) return;
    ASSERT_NE(box->defaultButton(), nullptr);
    EXPECT_EQ(box->buttonRole(box->defaultButton()), QMessageBox::NoRole);
    EXPECT_EQ(box->escapeButton(), box->defaultButton());
    QStringList buttons;
    for (QAbstractButton* b : box->buttons()) buttons << b->text();
    EXPECT_TRUE(buttons.contains("Open without checking")) << buttons.join('|').toStdString();
    if (GetParam().State == TRunState::rsQuota) Shoot(w.get(), "screenshot-resume-prompt.png");
    QTest::keyClick(box, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_FALSE(w->Running()) << "Enter starts no check";
    EXPECT_EQ(w->Master().Count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(States, ResumePrompt,
                         ::testing::Values(TResumeCase{TRunState::rsQuota, true},
                                           TResumeCase{TRunState::rsUnfinished, true},
                                           TResumeCase{TRunState::rsAborted, false}));

TEST_F(ContinueRun, OpenWithoutCheckingShowsTheRunAndContinueChecksOnlyTheRest) {
    const int64_t id = KeepRun(urls, 1, TRunState::rsQuota);
    w = ShowWindow(Options());
    w->Ui().edMinReqDelay->setValue(100);
    QMessageBox* box = ResumeBox();
    ASSERT_NE(box, nullptr);
    QAbstractButton* open = nullptr;
    for (QAbstractButton* b : box->buttons())
        if (b->text() == "Open without checking") open = b;
    ASSERT_NE(open, nullptr);
    open->click();
    QApplication::processEvents();
    EXPECT_FALSE(w->Running());
    EXPECT_EQ(w->Master().Count(), 3u);
    EXPECT_EQ(Checked(), 1u);
    ASSERT_TRUE(w->Ui().btContinueRequests->isEnabled());
    EXPECT_EQ(w->Ui().btContinueRequests->text(), "Continue");
    w->Ui().btContinueRequests->click();
    ASSERT_TRUE(WaitFor([&] { return !w->Running(); }, 30000));
    Shoot(w.get(), "screenshot-continue-run.png");
    EXPECT_EQ(Checked(), 3u);
    EXPECT_EQ(Asked(), (QStringList{"https://b.example/", "https://c.example/"}));
    // Continued into itself: still one run, now completed.
    ASSERT_TRUE(WaitFor([&] {
        const int row = RunRow(id);
        return History().RunList()->rowCount() == 1 && row == 0 &&
               History().RunList()->item(0, 5)->text() == "completed";
    }));
    EXPECT_FALSE(w->Ui().btContinueRequests->isEnabled()) << "nothing is left to check";
}

TEST_F(ContinueRun, HistoryContinuesAnAbortedRunFromItsMenu) {
    const int64_t id = KeepRun(urls, 2, TRunState::rsAborted);
    KeepRun({"https://d.example/"}, 1, TRunState::rsCompleted);
    w = ShowWindow(Options());
    w->Ui().edMinReqDelay->setValue(100);
    EXPECT_EQ(ResumeBox(), nullptr);
    w->Ui().pcPages->setCurrentWidget(&History());
    QTableWidget* list = History().RunList();
    const int row = RunRow(id);
    ASSERT_GE(row, 0);
    QAction* item = list->findChild<QAction*>("miContinueRun");
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(list->actions().contains(item)) << "in the list's menu";
    EXPECT_EQ(item->text(), "Continue");
    list->selectRow(1 - row);
    EXPECT_FALSE(item->isEnabled()) << "a completed run has nothing to continue";
    list->selectRow(row);
    ASSERT_TRUE(item->isEnabled());
    item->trigger();
    EXPECT_EQ(w->Ui().pcPages->currentWidget(), w->Ui().tsURLs);
    ASSERT_TRUE(WaitFor([&] { return !w->Running(); }, 30000));
    EXPECT_EQ(Asked(), QStringList{"https://c.example/"});
    EXPECT_EQ(Checked(), 3u);
}

TEST_F(ContinueRun, TheGridMenuContinuesAListWithSomeResults) {
    w = ShowWindow(Options());
    w->Ui().edMinReqDelay->setValue(100);
    for (const std::string& u : urls) w->UrlGrids().AddURL(QString::fromStdString(u));
    ASSERT_EQ(w->Master().Count(), 3u);
    EXPECT_FALSE(w->Ui().btContinueRequests->isEnabled()) << "nothing checked: Check URLs does it";
    w->Master()[1].InitMetricResults();
    for (TMetricaStrategy s : kStrategies) w->Master()[1].TaskResults->TaskResult[s] = trOK;
    w->UpdateRunButtons();
    EXPECT_TRUE(w->Ui().btContinueRequests->isEnabled());
    w->UrlGrids().pmURLsPopup();
    ASSERT_TRUE(w->UrlGrids().miContinue->isEnabled());
    w->UrlGrids().miContinue->trigger();
    ASSERT_TRUE(WaitFor([&] { return !w->Running(); }, 30000));
    EXPECT_EQ(Asked(), (QStringList{"https://a.example/", "https://c.example/"}));
}

// Opening a kept run or comparing two shows them in place of the user's list; closing the run or
// ending the comparison brings that list back as it was, results included.
struct TLeaveCase {
    const char* Name;
    bool Compare;
    const char* Button;
};

class WorkingList : public ContinueRun, public ::testing::WithParamInterface<TLeaveCase> {};

TEST_P(WorkingList, ComesBackWhenTheRunIsClosedOrTheComparisonEnds) {
    const int64_t older = KeepRun(urls, 3, TRunState::rsCompleted);
    const int64_t newer = KeepRun({"https://d.example/"}, 1, TRunState::rsCompleted);
    w = ShowWindow(Options());
    for (const char* u : {"https://x.example/", "https://y.example/"})
        w->UrlGrids().AddURL(QString::fromLatin1(u));
    w->Master()[1].InitMetricResults();
    w->Master()[1].TaskResults->TaskResult[msDesktop] = trOK;
    w->UpdateRunButtons();
    if (GetParam().Compare) {
        ASSERT_TRUE(History().CompareRuns(older, newer));
    } else {
        w->Ui().pcPages->setCurrentWidget(&History());
        History().RunList()->selectRow(RunRow(newer));
        History().btOpenRunClick();
    }
    ASSERT_EQ(w->Master().Count(), 1u);
    auto* button = w->Ui().pCompare->findChild<QPushButton*>(GetParam().Button);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isVisible());
    button->click();
    ASSERT_EQ(w->Master().Count(), 2u);
    EXPECT_EQ(w->Master()[0].URL, "https://x.example/");
    ASSERT_NE(w->Master()[1].TaskResults, nullptr);
    EXPECT_EQ(w->Master()[1].TaskResults->TaskResult[msDesktop], trOK);
    EXPECT_EQ(w->GridModel(msDesktop)->rowCount(), 2);
    EXPECT_FALSE(w->Ui().pCompare->isVisible());
    EXPECT_FALSE(History().OpenedRun().has_value());
    EXPECT_EQ(w->windowTitle(), "Velmora");
}

INSTANTIATE_TEST_SUITE_P(Ways, WorkingList,
                         ::testing::Values(TLeaveCase{"Compare", true, "btLeaveCompare"},
                                           TLeaveCase{"Open", false, "btCloseRun"}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace velmora::app::test
