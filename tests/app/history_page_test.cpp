// The window and the run history: each run kept as it goes, listed on the History page, an
// interrupted run continued at the next start, a past run opened read-only.
#include "app/history_page.h"

#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include "app/url_grids.h"
#include "sim/simulator.h"
#include "support/window_env.h"

namespace velmora::app::test {
namespace {

class HistoryPage : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::SimOptions so;
        so.latencyMinMs = 20;
        so.latencyMaxMs = 60;
        simulator = std::make_unique<sim::Simulator>(so);
        ASSERT_TRUE(simulator->Start()) << simulator->Error();
    }
    TAppOptions Options(const QStringList& urls = {}) {
        TAppOptions o = dir.Options();
        o.Endpoint = QString::fromStdString(simulator->Endpoint());
        if (!urls.isEmpty()) {
            QFile f(dir.Path() + "urls.txt");
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(urls.join("\n").toUtf8());
            f.close();
            o.UrlsFile = dir.Path() + "urls.txt";
        }
        return o;
    }
    THistoryPage& Page() const { return *w->Ui().tsHistory; }
    QString State(int row) const { return Page().RunList()->item(row, 5)->text(); }
    size_t Checked() const {
        size_t n = 0;
        for (size_t i = 0; i < w->Master().Count(); ++i) n += w->Master()[i].TaskResults != nullptr;
        return n;
    }
    // The start-up question, answered; null when none was asked.
    bool AnswerResume(QMessageBox::StandardButton answer) {
        QMessageBox* box = nullptr;
        WaitFor(
            [&] {
                for (QWidget* tw : QApplication::topLevelWidgets())
                    if (auto* b = qobject_cast<QMessageBox*>(tw); b && b->isVisible()) box = b;
                return box != nullptr;
            },
            1000);
        if (!box) return false;
        box->button(answer)->click();
        QApplication::processEvents();
        return true;
    }

    TLocaleEnv env{"en_US.UTF-8"};
    TAppDir dir;
    std::unique_ptr<sim::Simulator> simulator;
    std::unique_ptr<TfmMain> w;
};

TEST_F(HistoryPage, CompletedRunIsListedAndNothingIsOfferedNextTime) {
    w = ShowWindow(Options({"https://a.example/", "https://b.example/"}));
    ASSERT_TRUE(WaitFor([&] { return w->Master().Count() == 2; }));
    w->Ui().edMinReqDelay->setValue(100);
    w->Ui().btRunRequests->click();
    ASSERT_TRUE(WaitFor([&] { return !w->Running(); }, 30000));
    ASSERT_TRUE(WaitFor([&] {
        Page().RefreshRuns();
        return Page().RunList()->rowCount() == 1 && State(0) == "completed";
    }));
    EXPECT_EQ(Page().RunList()->item(0, 2)->text(), "2");
    EXPECT_EQ(Page().RunList()->item(0, 3)->text(), "100.0");

    w.reset();
    w = ShowWindow(Options());
    EXPECT_FALSE(AnswerResume(QMessageBox::Yes));
    // Opened read-only: the past run's results come back into the grids.
    w->Ui().pcPages->setCurrentWidget(&Page());
    Page().RunList()->selectRow(0);
    Page().btOpenRunClick();
    EXPECT_EQ(w->Master().Count(), 2u);
    EXPECT_EQ(Checked(), 2u);
    EXPECT_EQ(w->Ui().pcPages->currentWidget(), w->Ui().tsURLs) << "the opened run is shown";
}

TEST_F(HistoryPage, InterruptedRunIsContinuedFromHistoryAtTheNextStart) {
    w = ShowWindow(Options({"https://a.example/", "https://b.example/", "https://c.example/",
                            "https://d.example/sim-slow"}));
    ASSERT_TRUE(WaitFor([&] { return w->Master().Count() == 4; }));
    w->Ui().edMaxTreads->setValue(1);
    w->Ui().edMinReqDelay->setValue(100);
    w->Ui().btRunRequests->click();
    // The first three finish; the fourth is still waiting when the window is closed.
    ASSERT_TRUE(WaitFor([&] { return Checked() == 3; }, 30000));
    w.reset();

    simulator->Stop();
    sim::SimOptions so;
    simulator = std::make_unique<sim::Simulator>(so);
    ASSERT_TRUE(simulator->Start());
    w = ShowWindow(Options());
    // Closing the window during a check ends the run as aborted, on purpose: the start-up does
    // not press it on the user; History's Continue takes it up.
    EXPECT_FALSE(AnswerResume(QMessageBox::Yes));
    w->Ui().pcPages->setCurrentWidget(&Page());
    Page().RunList()->selectRow(0);
    Page().btContinueRunClick();
    EXPECT_EQ(w->Master().Count(), 4u);
    ASSERT_TRUE(WaitFor([&] { return !w->Running(); }, 30000));
    EXPECT_EQ(Checked(), 4u);
    // Only the unchecked URL was asked again.
    for (const sim::RequestRecord& r : simulator->Requests())
        EXPECT_EQ(r.url, "https://d.example/sim-slow");
    ASSERT_TRUE(WaitFor([&] {
        Page().RefreshRuns();
        return Page().RunList()->rowCount() == 1 && State(0) == "completed";
    }));
}

TEST_F(HistoryPage, TheRunListLetsTabGoAndTakesEnterAndDelete) {
    w = ShowWindow(Options({"https://a.example/"}));
    ASSERT_TRUE(WaitFor([&] { return w->Master().Count() == 1; }));
    w->Ui().edMinReqDelay->setValue(100);
    w->Ui().btRunRequests->click();
    ASSERT_TRUE(WaitFor([&] { return !w->Running(); }, 30000));
    QStringList asked;
    bool answer = false;
    w->UrlGrids().Dialogs.Confirm = [&](const QString& text, bool*) {
        asked << text;
        return answer;
    };
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->Ui().pcPages->setCurrentWidget(&Page());
    ASSERT_TRUE(WaitFor([&] { return Page().RunList()->rowCount() == 1; }));
    QTableWidget* list = Page().RunList();
    for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
        list->setFocus();
        list->selectRow(0);
        QTest::keyClick(list, key);
        EXPECT_NE(QApplication::focusWidget(), list) << key;
    }
    list->setFocus();
    list->selectRow(0);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(asked.size(), 1);
    EXPECT_EQ(list->rowCount(), 1) << "the answer was no";
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(w->Ui().pcPages->currentWidget(), w->Ui().tsURLs) << "Enter opens the run";
    w->Ui().pcPages->setCurrentWidget(&Page());
    list->setFocus();
    list->selectRow(0);
    answer = true;
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(asked.size(), 2);
    EXPECT_EQ(list->rowCount(), 0);
}

}  // namespace
}  // namespace velmora::app::test
