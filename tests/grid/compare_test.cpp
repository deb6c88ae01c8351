// Two kept runs compared in the grids: change texts and colours, order by change, the URLs only
// one run has, read-only use, export, and the ways back to the normal grids.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "app/history_page.h"
#include "app/run_comparison.h"
#include "io/settings.h"
#include "session/run_session.h"
#include "sim/simulator.h"
#include "support/fake_english.h"
#include "support/window_fixture.h"

namespace velmora::app::test {
namespace {

constexpr int kLcp = gcFirstMetric + 2;
constexpr int kTbt = gcFirstMetric + 4;
constexpr int kCls = gcFirstMetric + 5;

constexpr QRgb kBetter = 0xC6EFCE;
constexpr QRgb kWorse = 0xFFC7CE;
constexpr QRgb kOnlyOlder = 0xE0E0E0;
constexpr QRgb kOnlyNewer = 0xD6E6F5;
constexpr QRgb kScoreGood = 0x0CCE6B;
constexpr QRgb kScoreAverage = 0xFFA400;
constexpr QRgb kNone = 0;

// One URL's desktop texts in a run; mobile gets the score only.
struct TUrlRun {
    const char* Url;
    const char* Score;
    const char* Lcp = "";
    const char* Tbt = "";
    const char* Cls = "";
    const char* MobileScore = "";
};

TURLTaskResults Results(const TUrlRun& u) {
    TURLTaskResults r;
    r.TaskResult = {trOK, trOK};
    auto add = [&r](TMetricaStrategy s, int col, const char* text) {
        if (!*text) return;
        const std::string_view key =
            col == gcScore ? MetricaTable[0].Key : MetricaTable[col - gcFirstMetric + 1].Key;
        r.MetricaValues.push_back({key, s, text, col});
    };
    add(msDesktop, gcScore, u.Score);
    add(msDesktop, kLcp, u.Lcp);
    add(msDesktop, kTbt, u.Tbt);
    add(msDesktop, kCls, u.Cls);
    add(msMobile, gcScore, u.MobileScore);
    return r;
}

class CompareRuns : public TWindowTest {
  public:
    void SetUp() override {
        TWindowTest::SetUp();
        ASSERT_TRUE(Page().HasStore());
        Older = Keep({{"https://a.example/", "60", "2.4 s", "120 ms", "0.100", "30"},
                      {"https://b.example/", "90", "1.0 s"},
                      {"https://c.example/", "50", "N/A"},
                      {"https://gone.example/", "40"}},
                     1000000000);
        Newer = Keep({{"https://a.example/", "72", "2.0 s", "180 ms", "0.050", "45"},
                      {"https://b.example/", "80", "1.5 s"},
                      // The older run has no mobile score for it, as after a failed check.
                      {"https://c.example/", "50", "1.2 s", "", "", "95"},
                      {"https://new.example/", "99"}},
                     1000086400);
        Page().RefreshRuns();
    }

    THistoryPage& Page() const { return *W->Ui().tsHistory; }

    // A finished run with these results, written straight into the window's history.
    int64_t Keep(const std::vector<TUrlRun>& urls, int64_t started) {
        history::IHistoryStore& store = Page().Recorder()->Store();
        history::TRunRecord run;
        run.Started = started;
        run.Lang = "ru";
        std::vector<std::string> list;
        for (const TUrlRun& u : urls) list.push_back(u.Url);
        EXPECT_TRUE(store.BeginRun(run, list));
        std::vector<history::TStoredResult> batch;
        for (size_t i = 0; i < urls.size(); ++i)
            batch.push_back({static_cast<int32_t>(i + 1), Results(urls[i]), started});
        EXPECT_TRUE(store.WriteResults(run.Id, batch));
        EXPECT_TRUE(store.FinishRun(run.Id, history::TRunState::rsCompleted));
        return run.Id;
    }

    // Picks two runs in the list as the user does and presses "Сравнить".
    void Compare(int64_t first, int64_t second) {
        QTableWidget* list = Page().RunList();
        list->clearSelection();
        for (int row = 0; row < list->rowCount(); ++row) {
            const int64_t id = list->item(row, 0)->data(Qt::UserRole).toLongLong();
            if (id == first || id == second)
                list->selectionModel()->select(
                    list->model()->index(row, 0),
                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        ASSERT_TRUE(CompareButton()->isEnabled());
        CompareButton()->click();
        ASSERT_NE(Model(msDesktop)->Comparison(), nullptr);
    }
    QPushButton* CompareButton() const {
        return Page().findChild<QPushButton*>(QStringLiteral("btCompareRuns"));
    }

    int RowOf(TMetricaStrategy s, const char* url) const {
        for (int r = 0; r < Model(s)->rowCount(); ++r)
            if (Model(s)->TaskAt(r)->URL == url) return r;
        return -1;
    }
    QVariant Cell(TMetricaStrategy s, const char* url, int col, int role) const {
        return Model(s)->index(RowOf(s, url), col).data(role);
    }
    QRgb Colour(TMetricaStrategy s, const char* url, int col) const {
        const QVariant v = Cell(s, url, col, Qt::BackgroundRole);
        return v.isValid() ? v.value<QBrush>().color().rgb() & 0xFFFFFF : kNone;
    }
    QStringList UrlOrder(TMetricaStrategy s) const {
        QStringList out;
        for (int r = 0; r < Model(s)->rowCount(); ++r)
            out << QString::fromStdString(Model(s)->TaskAt(r)->URL);
        return out;
    }
    // The window writes fractions with the locale's separator.
    QString Local(QString text) const {
        return text.replace('.', QChar::fromLatin1(W->Session()->DecimalSeparator()));
    }

    int64_t Older = 0, Newer = 0;
};

TEST_F(CompareRuns, CellsShowTheChangeColouredByItsDirection) {
    Compare(Older, Newer);
    struct TCase {
        TMetricaStrategy Strategy;
        const char* Url;
        int Col;
        QString Text;
        QRgb Colour;
    };
    const TCase cases[] = {
        // A higher score is better; a lower time or layout shift is better.
        {msDesktop, "https://a.example/", gcScore, "72 (+12)", kBetter},
        {msDesktop, "https://a.example/", kLcp, Local("2.0 с (-0.4 с)"), kBetter},
        {msDesktop, "https://a.example/", kTbt, "180 мс (+60 мс)", kWorse},
        {msDesktop, "https://a.example/", kCls, Local("0.050 (-0.050)"), kBetter},
        {msMobile, "https://a.example/", gcScore, "45 (+15)", kBetter},
        {msDesktop, "https://b.example/", gcScore, "80 (-10)", kWorse},
        {msDesktop, "https://b.example/", kLcp, Local("1.5 с (+0.5 с)"), kWorse},
        // No change keeps the score's own colour; an older text that is no number gives no
        // change at all.
        {msDesktop, "https://c.example/", gcScore, "50 (0)", kScoreAverage},
        {msDesktop, "https://c.example/", kLcp, "1.2 с", kNone},
        {msMobile, "https://c.example/", gcScore, "95", kScoreGood},
        // The URLs only one run has are marked in their number and colour, the URL kept whole;
        // a new URL keeps the score's own colour.
        {msDesktop, "https://new.example/", gcNumber, "+4", kOnlyNewer},
        {msDesktop, "https://new.example/", gcURL, "https://new.example/", kOnlyNewer},
        {msDesktop, "https://new.example/", gcScore, "99", kScoreGood},
        {msDesktop, "https://gone.example/", gcNumber, "–", kOnlyOlder},
        {msDesktop, "https://gone.example/", gcURL, "https://gone.example/", kOnlyOlder},
        {msDesktop, "https://gone.example/", gcScore, "40", kOnlyOlder},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Url) + " column " + std::to_string(c.Col));
        EXPECT_EQ(Cell(c.Strategy, c.Url, c.Col, Qt::DisplayRole).toString(), c.Text);
        EXPECT_EQ(Colour(c.Strategy, c.Url, c.Col), c.Colour);
    }
    // Both values are one hover away; the marks say which run the URL is in.
    EXPECT_EQ(Cell(msDesktop, "https://a.example/", gcScore, Qt::ToolTipRole).toString(),
              QString("Запуск %1: 60\nЗапуск %2: 72").arg(Older).arg(Newer));
    EXPECT_EQ(
        Cell(msDesktop, "https://gone.example/", gcURL, Qt::ToolTipRole).toString(),
        QString("Этот URL есть только в старом запуске %1; показаны его результаты").arg(Older));
    EXPECT_EQ(Cell(msDesktop, "https://new.example/", gcURL, Qt::ToolTipRole).toString(),
              QString("Этот URL есть только в новом запуске %1").arg(Newer));
    // The newer run is shown, in its order; the URL it lost comes last.
    EXPECT_EQ(UrlOrder(msDesktop),
              QStringList({"https://a.example/", "https://b.example/", "https://c.example/",
                           "https://new.example/", "https://gone.example/"}));
    EXPECT_EQ(W->Master().Count(), 4u);
    EXPECT_FALSE(W->Ui().pCompare->isHidden());
    EXPECT_TRUE(W->Ui().pcPages->currentWidget() == W->Ui().tsURLs);
}

TEST_F(CompareRuns, EitherPickingOrderShowsTheNewerRun) {
    Compare(Newer, Older);
    EXPECT_EQ(Model(msDesktop)->Comparison()->NewerRun().Id, Newer);
    EXPECT_EQ(Cell(msDesktop, "https://b.example/", gcScore, Qt::DisplayRole).toString(),
              "80 (-10)");
    // One run or three is nothing to compare.
    Page().RunList()->clearSelection();
    Page().RunList()->selectRow(0);
    EXPECT_FALSE(CompareButton()->isEnabled());
}

TEST_F(CompareRuns, TwoRunsArePickedAndComparedFromTheKeyboard) {
    W->Ui().pcPages->setCurrentWidget(&Page());
    QTableWidget* list = Page().RunList();
    list->setFocus();
    list->setCurrentCell(0, 0);
    EXPECT_FALSE(CompareButton()->isEnabled());
    QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
    ASSERT_EQ(Page().SelectedRunIds().size(), 2u);
    ASSERT_TRUE(CompareButton()->isEnabled());
    EXPECT_TRUE(CompareButton()->focusPolicy() & Qt::TabFocus);
    // Open and delete take one run, never one of two picked for comparing.
    for (const char* one : {"btOpenRun", "btDeleteRun"})
        EXPECT_FALSE(Page().findChild<QPushButton*>(one)->isEnabled()) << one;
    QTest::keyClick(CompareButton(), Qt::Key_Space);
    ASSERT_NE(Model(msDesktop)->Comparison(), nullptr);
    // The way back is a button too.
    QPushButton* leave = W->Ui().pCompare->findChild<QPushButton*>("btLeaveCompare");
    ASSERT_TRUE(leave->isVisible());
    EXPECT_TRUE(leave->focusPolicy() & Qt::TabFocus);
    QTest::keyClick(leave, Qt::Key_Space);
    EXPECT_EQ(Model(msDesktop)->Comparison(), nullptr);
}

// Nothing brings a deleted run back: the user is asked, and a no keeps it.
TEST_F(CompareRuns, DeletingARunAsksFirst) {
    QTableWidget* list = Page().RunList();
    ASSERT_EQ(list->rowCount(), 2);
    list->selectRow(0);
    const int64_t id = Page().SelectedRunId();
    for (bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "yes" : "no");
        Confirms.clear();
        ConfirmAnswer = yes;
        Page().btDeleteRunClick();
        ASSERT_EQ(Confirms.size(), 1);
        EXPECT_EQ(
            Confirms[0],
            QString("Удалить запуск %1 из истории? Его результаты нельзя будет вернуть.").arg(id));
        EXPECT_EQ(list->rowCount(), yes ? 1 : 2);
    }
}

// The newest runs only: saved at once, applied when the next recorded run ends.
TEST_F(CompareRuns, KeepingTheNewestRunsIsSavedAndAppliedAtTheNextRunsEnd) {
    auto* keep = Page().findChild<QSpinBox*>("edHistoryKeep");
    ASSERT_NE(keep, nullptr);
    keep->setValue(1);
    EXPECT_EQ(io::LoadSettings(W->SettingsPath().toStdString()).HistoryKeep, 1);
    EXPECT_EQ(Page().RunList()->rowCount(), 2) << "nothing goes before a run ends";

    QGuiApplication::clipboard()->setText("https://a.example/");
    G->btInsertURLs4ClipClick();
    history::TRunRecorder& recorder = *Page().Recorder();
    recorder.Begin(W->Master(), "ru", "");
    recorder.Finish(false, W->Master());
    recorder.Release();  // waits for the writer, which records the end and prunes
    TResult<std::vector<history::TRunSummary>> runs = recorder.Store().ListRuns();
    ASSERT_TRUE(runs);
    ASSERT_EQ(runs->size(), 1u);
    EXPECT_GT((*runs)[0].Run.Id, Newer);
}

// A comparison would take the grids from a check that is filling them.
TEST_F(CompareRuns, NoComparingWhileAChecksRuns) {
    Page().RunList()->selectAll();
    ASSERT_TRUE(CompareButton()->isEnabled());
    Page().RunStarted();
    EXPECT_FALSE(CompareButton()->isEnabled());
    Page().RunEnded();
    EXPECT_TRUE(CompareButton()->isEnabled());
}

TEST_F(CompareRuns, TextsFollowALanguageSwitchWhileComparing) {
    Compare(Older, Newer);
    W->Ui().cbAppLang->setCurrentIndex(W->Ui().cbAppLang->findData("en"));
    W->cbAppLangChange();
    EXPECT_TRUE(W->Ui()
                    .pCompare->findChild<QLabel*>("lbCompare")
                    ->text()
                    .startsWith(QString("Comparing run %1 (").arg(Newer)));
    EXPECT_EQ(Cell(msDesktop, "https://new.example/", gcURL, Qt::ToolTipRole).toString(),
              QString("This URL is only in the newer run %1").arg(Newer));
    EXPECT_EQ(Page().RunList()->item(0, 5)->text(), "completed");
}

TEST_F(CompareRuns, SortsByTheChangeWithUnmatchedRowsLast) {
    Compare(Older, Newer);
    const QStringList byScoreUp = {"https://b.example/", "https://c.example/", "https://a.example/",
                                   "https://new.example/", "https://gone.example/"};
    const QStringList byScoreDown = {"https://a.example/", "https://c.example/",
                                     "https://b.example/", "https://new.example/",
                                     "https://gone.example/"};
    // The first click sorts the desktop grid ascending.
    G->GridHeaderClick(Grid(msDesktop), gcScore);
    EXPECT_EQ(UrlOrder(msDesktop), byScoreUp);
    G->GridHeaderClick(Grid(msDesktop), gcScore);
    EXPECT_EQ(UrlOrder(msDesktop), byScoreDown);
    // Seconds against seconds, by value: -0.4 s before +0.5 s; "N/A" has no change.
    Model(msDesktop)->SortRows(kLcp, Qt::AscendingOrder);
    EXPECT_EQ(UrlOrder(msDesktop),
              QStringList({"https://a.example/", "https://b.example/", "https://c.example/",
                           "https://new.example/", "https://gone.example/"}));
    // Other columns sort as always, the older run's URLs still last.
    Model(msDesktop)->SortRows(gcURL, Qt::DescendingOrder);
    EXPECT_EQ(UrlOrder(msDesktop),
              QStringList({"https://new.example/", "https://c.example/", "https://b.example/",
                           "https://a.example/", "https://gone.example/"}));
    // Leaving (a check starting, say) keeps the column and direction; the rows are the run's
    // own again.
    Page().LeaveCompare();
    EXPECT_EQ(UrlOrder(msDesktop), QStringList({"https://new.example/", "https://c.example/",
                                                "https://b.example/", "https://a.example/"}));
}

TEST_F(CompareRuns, ReadOnlyAndExportsTheShownRunAsItsOwnExport) {
    Compare(Older, Newer);
    EXPECT_FALSE(G->CanRunOrDelete());
    Grid(msDesktop)->selectRow(0);
    G->miDeleteURL->trigger();
    EXPECT_EQ(W->Master().Count(), 4u);
    EXPECT_NE(Model(msDesktop)->Comparison(), nullptr);

    NextFile = Dir.filePath("compare.csv");
    G->btExportClick();
    QFile f(NextFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    // The header, the newer run's four URLs, the last line's end.
    ASSERT_EQ(lines.size(), 6);
    EXPECT_TRUE(lines[1].startsWith("1;https://a.example/;;72;"));
    EXPECT_FALSE(lines.join().contains("gone.example"));
    EXPECT_FALSE(lines.join().contains("(+"));
}

// Saved while comparing, the report is the newer run's against the older one: b.example
// fell from 90 to 80 and is listed among the pages that got worse.
TEST_F(CompareRuns, TheSavedReportIsTheNewerRunAgainstTheOlder) {
    Compare(Older, Newer);
    NextFile = Dir.filePath("compare.html");
    G->btSaveReportClick();
    QFile f(NextFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(f.readAll());
    const qsizetype worse = html.indexOf(QStringLiteral("Стали хуже"));
    ASSERT_GE(worse, 0);
    EXPECT_GT(html.indexOf(QStringLiteral("https://b.example/"), worse), worse);
    EXPECT_TRUE(html.contains(QStringLiteral("<td class=\"num down\">-10</td>")));
}

TEST_F(CompareRuns, LeavingOpeningOrImportingGivesBackTheNormalGrids) {
    struct TCase {
        const char* Name;
        std::function<void(CompareRuns&)> Leave;
        size_t MasterAfter;
    };
    const TCase cases[] = {
        // The user's own end of it brings back their list, here an empty one.
        {"leave button",
         [](CompareRuns& t) {
             t.W->Ui().pCompare->findChild<QPushButton*>("btLeaveCompare")->click();
         },
         0},
        {"leaving", [](CompareRuns& t) { t.Page().LeaveCompare(); }, 4},
        {"open a run", [](CompareRuns& t) { t.Page().OpenRun(t.Older, false); }, 4},
        {"import", [](CompareRuns& t) { t.ImportText("https://z.example/\n"); }, 1},
    };
    const int lcpWidth = Grid(msDesktop)->columnWidth(kLcp);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Compare(Older, Newer);
        // Wide enough for a value and its change while comparing, as wide as before afterwards.
        EXPECT_GT(Grid(msDesktop)->columnWidth(kLcp), lcpWidth);
        c.Leave(*this);
        EXPECT_EQ(Grid(msDesktop)->columnWidth(kLcp), lcpWidth);
        for (TMetricaStrategy s : kStrategies) EXPECT_EQ(Model(s)->Comparison(), nullptr);
        EXPECT_EQ(Page().Comparison(), nullptr);
        // A run left in the grids is named in the bar; the user's list needs no bar.
        const bool runShown = c.MasterAfter == 4;
        EXPECT_EQ(W->Ui().pCompare->isHidden(), !runShown);
        if (runShown) {
            EXPECT_TRUE(W->Ui().pCompare->findChild<QPushButton*>("btLeaveCompare")->isHidden());
        }
        EXPECT_EQ(W->Master().Count(), c.MasterAfter);
        EXPECT_EQ(static_cast<size_t>(Model(msDesktop)->rowCount()), c.MasterAfter);
        for (int r = 0; r < Model(msDesktop)->rowCount(); ++r) {
            EXPECT_FALSE(Model(msDesktop)->index(r, gcURL).data().toString().startsWith('['));
            EXPECT_FALSE(Model(msDesktop)->index(r, gcScore).data().toString().contains('('));
        }
    }
}

// Which run the grids show is said in the title and the bar; a run that stopped part way says
// how much of it was checked instead of means that look complete.
TEST_F(CompareRuns, AnOpenedRunIsNamedAndAPartRunSaysHowMuchWasChecked) {
    history::IHistoryStore& store = Page().Recorder()->Store();
    history::TRunRecord part;
    part.Started = 1000172800;
    part.Lang = "ru";
    ASSERT_TRUE(store.BeginRun(part, {"https://a.example/", "https://b.example/",
                                      "https://c.example/", "https://d.example/"}));
    ASSERT_TRUE(store.WriteResults(part.Id, {{1, Results({"https://a.example/", "90"}), 0}}));
    ASSERT_TRUE(store.FinishRun(part.Id, history::TRunState::rsAborted));
    Page().RefreshRuns();
    ASSERT_EQ(Page().RunList()->item(0, 0)->text(), QString::number(part.Id));
    EXPECT_EQ(Page().RunList()->item(0, 3)->text(), "проверено 1 из 4");
    EXPECT_EQ(Page().RunList()->columnSpan(0, 3), 2);
    EXPECT_EQ(Page().RunList()->item(1, 3)->text(), "75.3") << "a whole run keeps its means";

    auto* bar = W->Ui().pCompare->findChild<QLabel*>("lbCompare");
    ASSERT_TRUE(Page().OpenRun(Newer, false));
    const QString run = "запуск " + QString::number(Newer) + " от ";
    EXPECT_TRUE(W->windowTitle().startsWith(run)) << W->windowTitle().toStdString();
    EXPECT_FALSE(W->Ui().pCompare->isHidden());
    EXPECT_TRUE(bar->text().startsWith("Открыт " + run)) << bar->text().toStdString();
    // Named through its dialog: the list, the title and the bar say the name, the note is the
    // name's tool tip.
    Page().RunList()->selectRow(
        Page().RunList()->findItems(QString::number(Newer), Qt::MatchExactly)[0]->row());
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        dialog->findChild<QLineEdit*>("edRunName")->setText(" Before the redesign ");
        dialog->findChild<QPlainTextEdit*>("edRunNote")->setPlainText("for QA");
        dialog->accept();
    });
    Page().btNameRunClick();
    EXPECT_TRUE(W->windowTitle().endsWith("«Before the redesign» — Velmora"))
        << W->windowTitle().toStdString();
    // The named run stays selected and its note shows in the bar above the grids.
    EXPECT_EQ(Page().SelectedRunId(), Newer);
    EXPECT_TRUE(bar->text().endsWith("Заметка: for QA")) << bar->text().toStdString();
    QTableWidgetItem* name =
        Page().RunList()->findItems("Before the redesign", Qt::MatchExactly)[0];
    EXPECT_EQ(name->toolTip(), "for QA");
    EXPECT_EQ(Page().RunList()->item(name->row(), 0)->text(), QString::number(Newer));
    ImportText("https://z.example/\n");
    EXPECT_EQ(W->windowTitle(), "Velmora");
    EXPECT_TRUE(W->Ui().pCompare->isHidden());
}

TEST_F(CompareRuns, OpeningARunForgetsTheListsUndo) {
    // Five URLs, one deleted: four kept, as many as the past run has.
    ImportText(
        "https://1.example/\nhttps://2.example/\nhttps://3.example/\nhttps://4.example/\n"
        "https://5.example/\n");
    ASSERT_EQ(W->Master().Count(), 5u);
    Grid(msDesktop)->selectRow(0);
    G->miDeleteURLClick();
    ASSERT_TRUE(G->CanUndoDelete());
    ASSERT_TRUE(Page().OpenRun(Older, false));
    EXPECT_FALSE(G->CanUndoDelete());
    G->miUndoDeleteClick();
    // The past run stays as it was kept, its results beside its own URLs.
    ASSERT_EQ(W->Master().Count(), 4u);
    EXPECT_EQ(W->Master()[0].URL, "https://a.example/");
    EXPECT_EQ(Model(msDesktop)->index(0, gcScore).data().toString(), "60");
}

TEST_F(CompareRuns, StartingACheckLeavesCompareMode) {
    sim::SimOptions so;
    so.latencyMinMs = 5;
    so.latencyMaxMs = 20;
    sim::Simulator simulator(so);
    ASSERT_TRUE(simulator.Start()) << simulator.Error();
    W.reset();
    Open("ru", QString::fromStdString(simulator.Endpoint()));
    W->Ui().edMinReqDelay->setValue(100);
    Page().RefreshRuns();
    Compare(Older, Newer);
    W->Ui().btRunRequests->click();
    ASSERT_TRUE(W->Running());
    EXPECT_EQ(Model(msDesktop)->Comparison(), nullptr);
    EXPECT_TRUE(W->Ui().pCompare->isHidden());
    EXPECT_EQ(Model(msDesktop)->rowCount(), 4);
    ASSERT_TRUE(WaitFor([&] { return !W->Running(); }, 30000));
}

TEST_F(CompareRuns, AdviceWindowGetsTheRowsScoreOverTheRuns) {
    ASSERT_TRUE(Page().OpenRun(Newer, false));
    for (const char* url : {"https://a.example/", "https://new.example/"}) {
        Grid(msDesktop)->setCurrentIndex(Model(msDesktop)->index(RowOf(msDesktop, url), gcURL));
        // A row without advice opens no window; give each one item.
        Model(msDesktop)
            ->TaskAt(RowOf(msDesktop, url))
            ->TaskResults->AdviceList[msDesktop]
            .resize(1);
        G->GridDoubleClick(Grid(msDesktop));
    }
    ASSERT_EQ(AdviceTrends.size(), 2u);
    // Oldest first, each strategy's own score; a URL of one run has one point.
    ASSERT_EQ(AdviceTrends[0].size(), 2u);
    EXPECT_EQ(AdviceTrends[0][0].Score[msDesktop], 60);
    EXPECT_EQ(AdviceTrends[0][1].Score[msDesktop], 72);
    EXPECT_EQ(AdviceTrends[0][1].Score[msMobile], 45);
    EXPECT_EQ(AdviceTrends[1].size(), 1u);
}

TEST_F(CompareRuns, Screenshot) {
    // Two weekly runs of a small site: every metric, some pages better, some worse.
    auto runOf = [this](int week, int64_t started) {
        history::IHistoryStore& store = Page().Recorder()->Store();
        history::TRunRecord run;
        run.Started = started;
        std::vector<std::string> urls;
        std::vector<history::TStoredResult> batch;
        for (int i = 0; i < 24; ++i) {
            // Page 5 is new in the second week; page 19 was dropped from it.
            if ((week == 0 && i == 5) || (week == 1 && i == 19)) continue;
            urls.push_back("https://shop.example/catalogue/page-" + std::to_string(i));
            TURLTaskResults r;
            r.TaskResult = {trOK, trOK};
            const int drift = week * ((i * 7) % 11 - 5);
            for (TMetricaStrategy s : kStrategies) {
                const int base = 40 + (i * 13) % 55 - (s == msMobile ? 15 : 0);
                char buf[32];
                r.MetricaValues.push_back({MetricaTable[0].Key, s,
                                           std::to_string(std::clamp(base + drift, 1, 100)),
                                           gcScore});
                for (int m = 1; m <= 6; ++m) {
                    const double v = (110 - base - drift) * (m == 5 ? 9.0 : 0.06) * (1 + m % 3);
                    if (m == 5)
                        std::snprintf(buf, sizeof buf, "%d ms", static_cast<int>(v));
                    else if (m == 6)
                        std::snprintf(buf, sizeof buf, "%.3f", v / 200);
                    else
                        std::snprintf(buf, sizeof buf, "%.1f s", v);
                    r.MetricaValues.push_back(
                        {MetricaTable[static_cast<size_t>(m)].Key, s, buf, gcFirstMetric + m - 1});
                }
            }
            batch.push_back({static_cast<int32_t>(urls.size()), std::move(r), started});
        }
        EXPECT_TRUE(store.BeginRun(run, urls));
        EXPECT_TRUE(store.WriteResults(run.Id, batch));
        EXPECT_TRUE(store.FinishRun(run.Id, history::TRunState::rsCompleted));
        return run.Id;
    };
    const int64_t lastWeek = runOf(0, 1764547200), thisWeek = runOf(1, 1764547200 + 7 * 86400);
    Page().RefreshRuns();
    W->showMaximized();
    QApplication::processEvents();
    Compare(lastWeek, thisWeek);
    G->GridHeaderClick(Grid(msDesktop), gcScore);
    Grid(msDesktop)->selectRow(2);
    EXPECT_FALSE(SaveScreenshot(W.get(), "compare_ru.png").isEmpty());
}

}  // namespace
}  // namespace velmora::app::test
