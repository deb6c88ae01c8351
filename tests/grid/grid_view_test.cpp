// The grids as the user sees them: texts, colours, icons, sorting, menu, delete.
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "app/grid_filter.h"
#include "sim/simulator.h"
#include "support/window_fixture.h"

namespace velmora::app::test {
namespace {

using GridView = TWindowTest;

QVariant Bg(TURLGridModel* m, int row, int col) {
    return m->index(row, col).data(Qt::BackgroundRole);
}
QColor BgColor(TURLGridModel* m, int row, int col) {
    return Bg(m, row, col).value<QBrush>().color();
}

TEST_F(GridView, TextsColoursAndIconsPerStrategy) {
    QGuiApplication::clipboard()->setText("http://a/\nhttp://b/\n");
    G->btInsertURLs4ClipClick();
    TURLTaskInfo& a = W->Master()[0];
    SetResult(a, msDesktop, trOK, "49", "1.2\xC2\xA0s", 2);
    SetResult(a, msMobile, trServiceError, "", "", 0, 500);
    W->RepaintAllRows();
    auto* d = Model(msDesktop);
    auto* m = Model(msMobile);

    EXPECT_EQ(d->index(0, 0).data().toString(), "1");
    EXPECT_EQ(d->index(0, 1).data().toString(), "http://a/");
    EXPECT_EQ(d->index(0, 3).data().toString(), "49");
    // The unit in the interface language; the value as the service sent it.
    EXPECT_EQ(d->index(0, 7).data().toString(), QString::fromUtf8("1.2\xC2\xA0с"));
    EXPECT_EQ(BgColor(d, 0, 3), QColor(0xFF, 0x4E, 0x42));
    EXPECT_FALSE(Bg(d, 0, 1).isValid());
    EXPECT_EQ(d->CellImageIndex(0, 4), 5);
    EXPECT_FALSE(d->index(0, 4).data(Qt::DecorationRole).isNull());
    EXPECT_EQ(d->CellImageIndex(0, 3), -1);

    // The failed strategy: every cell light red, the code as error, the grey icon.
    EXPECT_EQ(m->index(0, 2).data().toString(), "500");
    for (int c = 0; c < gcCount; ++c) EXPECT_EQ(BgColor(m, 0, c), QColor(0xF5A5A5));
    EXPECT_EQ(m->CellImageIndex(0, 4), 4);

    // No results: number and URL only, no colour, no icon.
    for (int c = 2; c < gcCount; ++c) EXPECT_EQ(d->index(1, c).data().toString(), "");
    EXPECT_FALSE(Bg(d, 1, 3).isValid());
    EXPECT_EQ(d->CellImageIndex(1, 4), -1);
    EXPECT_TRUE(d->index(1, 4).data(Qt::DecorationRole).isNull());
    EXPECT_TRUE(d->index(0, 1).data(Qt::ToolTipRole).isNull());
}

TEST_F(GridView, ScoreBands) {
    QGuiApplication::clipboard()->setText("http://a/");
    G->btInsertURLs4ClipClick();
    struct Case {
        const char* score;
        QRgb rgb;  // 0: no colour
    } cases[] = {{"0", 0xFF4E42},  {"49", 0xFF4E42}, {"50", 0xFFA400},
                 {"89", 0xFFA400}, {"90", 0x0CCE6B}, {"100", 0x0CCE6B},
                 {"N/A", 0},       {"-1", 0},        {"101", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.score);
        W->Master()[0].ClearMetricResults();
        SetResult(W->Master()[0], msDesktop, trOK, c.score);
        const QVariant bg = Bg(Model(msDesktop), 0, 3);
        if (c.rgb)
            EXPECT_EQ(bg.value<QBrush>().color(), QColor(c.rgb));
        else
            EXPECT_FALSE(bg.isValid());
    }
}

TEST_F(GridView, CategoryScoresHaveTheScoreBandsAndSortByValue) {
    QGuiApplication::clipboard()->setText("http://a/\nhttp://b/\nhttp://c/\n");
    G->btInsertURLs4ClipClick();
    const char* seo[] = {"100", "9", "61"};
    const QRgb rgb[] = {0x0CCE6B, 0xFF4E42, 0xFFA400};
    for (int i = 0; i < 3; ++i) {
        TURLTaskInfo& t = W->Master()[static_cast<size_t>(i)];
        SetResult(t, msDesktop, trOK, "50");
        t.TaskResults->MetricaValues.push_back({"seo", msDesktop, seo[i], gcSeo});
    }
    W->RepaintAllRows();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(BgColor(Model(msDesktop), i, gcSeo), QColor(rgb[i]));
    G->GridHeaderClick(Grid(msDesktop), gcSeo);
    EXPECT_EQ(Column(msDesktop, gcSeo), QStringList({"9", "61", "100"}));
}

TEST_F(GridView, RealUsersColumnsTextsColoursAndOrder) {
    QGuiApplication::clipboard()->setText("http://a/\nhttp://b/\nhttp://c/\nhttp://d/\nhttp://e/");
    G->btInsertURLs4ClipClick();
    struct Field {
        TFieldSource source;
        TFieldMetricValue lcp, inp, cls;
    } fields[] = {
        {fsPage, {true, 2140, fcFast}, {true, 312, fcAverage}, {true, 0.14, fcAverage}},
        {fsOrigin, {true, 4500, fcSlow}, {true, 90, fcFast}, {true, 0.02, fcFast}},
        {fsPage, {true, 1800, fcFast}, {}, {true, 0.05, fcFast}},  // no INP data: still passes
        {fsNone, {}, {}, {}},                                      // a page with few visits
    };
    for (int i = 0; i < 4; ++i) {
        SetResult(W->Master()[i], msDesktop, trOK, "50");
        TFieldData& d = W->Master()[i].TaskResults->FieldData[msDesktop];
        d.Source = fields[i].source;
        d[fmLCP] = fields[i].lcp;
        d[fmINP] = fields[i].inp;
        d[fmCLS] = fields[i].cls;
        d.Verdict = CwvVerdictOf(d);
    }
    // The fifth was never checked.
    W->RepaintAllRows();
    auto* m = Model(msDesktop);
    EXPECT_EQ(m->headerData(gcCwv, Qt::Horizontal).toString(), "CWV");
    EXPECT_EQ(m->headerData(gcField, Qt::Horizontal).toString(),
              QString::fromUtf8("Полевые данные"));

    constexpr QRgb kGood = 0x0CCE6B, kAverage = 0xFFA400, kPoor = 0xFF4E42;
    struct Cell {
        int row, col;
        const char* text;
        QRgb rgb;  // 0: no colour
    } cells[] = {
        {0, gcCwv, "не пройдена", kPoor},
        {0, gcLcpP75, "2.1 с", kGood},
        {0, gcInpP75, "312 мс", kAverage},
        {0, gcClsP75, "0.14", kAverage},
        {0, gcField, "страница", 0},
        {1, gcLcpP75, "4.5 с", kPoor},
        {1, gcInpP75, "90 мс", kGood},
        {1, gcField, "источник", 0},
        {2, gcCwv, "пройдена", kGood},
        {2, gcInpP75, "", 0},
        {3, gcCwv, "", 0},
        {3, gcLcpP75, "", 0},
        {3, gcField, "нет", 0},
        {4, gcField, "", 0},
        {4, gcCwv, "", 0},
    };
    for (const Cell& c : cells) {
        SCOPED_TRACE(std::to_string(c.row) + "/" + std::to_string(c.col));
        EXPECT_EQ(m->index(c.row, c.col).data().toString(), QString::fromUtf8(c.text));
        const QVariant bg = Bg(m, c.row, c.col);
        if (c.rgb)
            EXPECT_EQ(bg.value<QBrush>().color(), QColor(c.rgb));
        else
            EXPECT_FALSE(bg.isValid());
    }

    // By value, whatever the unit; empty cells last either way.
    m->SortRows(gcLcpP75, Qt::AscendingOrder);
    EXPECT_EQ(Column(msDesktop, 0), QStringList({"3", "1", "2", "4", "5"}));
    m->SortRows(gcInpP75, Qt::DescendingOrder);
    EXPECT_EQ(Column(msDesktop, 0), QStringList({"1", "2", "3", "4", "5"}));
    m->SortRows(gcClsP75, Qt::AscendingOrder);
    EXPECT_EQ(Column(msDesktop, 0), QStringList({"2", "3", "1", "4", "5"}));
}

class GridHeader : public TWindowTest {
  protected:
    void SetUp() override {
        TWindowTest::SetUp();
        QGuiApplication::clipboard()->setText("http://a/\nhttp://b/\nhttp://c/\nhttp://d/");
        G->btInsertURLs4ClipClick();
        const char* scores[] = {"9", "100", "45", "45"};
        for (int i = 0; i < 4; ++i) {
            SetResult(W->Master()[i], msDesktop, trOK, scores[i]);
            SetResult(W->Master()[i], msMobile, trOK, scores[i]);
        }
    }
    void Click(TMetricaStrategy s, int col) {
        QHeaderView* h = Grid(s)->horizontalHeader();
        W->Ui().pcStrategy->setCurrentIndex(s == msDesktop ? 0 : 1);
        QApplication::processEvents();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(col) + 5, h->height() / 2));
    }
};

TEST_F(GridHeader, FirstClickAscOnDesktopDescOnMobileInfoDoesNothing) {
    Click(msDesktop, 3);
    EXPECT_EQ(Column(msDesktop, 0), QStringList({"1", "3", "4", "2"}));
    EXPECT_EQ(Grid(msDesktop)->horizontalHeader()->sortIndicatorSection(), 3);
    EXPECT_EQ(Grid(msDesktop)->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);

    Click(msMobile, 3);
    EXPECT_EQ(Column(msMobile, 0), QStringList({"2", "3", "4", "1"}));
    EXPECT_EQ(Grid(msMobile)->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    // The desktop grid keeps its own order.
    EXPECT_EQ(Column(msDesktop, 0), QStringList({"1", "3", "4", "2"}));

    Click(msDesktop, 4);
    EXPECT_EQ(Column(msDesktop, 0), QStringList({"1", "3", "4", "2"}));
    EXPECT_EQ(Grid(msDesktop)->horizontalHeader()->sortIndicatorSection(), 3);
    EXPECT_EQ(Grid(msDesktop)->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);

    // Any other column toggles the direction; ties keep their order.
    Click(msDesktop, 3);
    EXPECT_EQ(Column(msDesktop, 0), QStringList({"2", "3", "4", "1"}));
    Click(msDesktop, 0);
    EXPECT_EQ(Column(msDesktop, 0), QStringList({"1", "2", "3", "4"}));
}

TEST_F(GridHeader, SelectionFollowsTasksAndImportSortsAgain) {
    Click(msDesktop, 3);            // ascending: 1 3 4 2
    Grid(msDesktop)->selectRow(3);  // task 2
    Click(msDesktop, 3);            // descending: 2 3 4 1
    EXPECT_EQ(W->SelectedNums(), std::vector<int32_t>{2});
    EXPECT_EQ(Column(msDesktop, 0).first(), "2");

    W->Ui().cbImpNoClearURLs->setChecked(true);
    QGuiApplication::clipboard()->setText("http://e/");
    G->btInsertURLs4ClipClick();
    // The new row has no score and sorts last in descending order.
    EXPECT_EQ(Column(msDesktop, 0), QStringList({"2", "3", "4", "1", "5"}));
    EXPECT_EQ(Column(msMobile, 0), QStringList({"1", "2", "3", "4", "5"}));
}

// A row without a value in the column (unchecked, or no such figure) goes last whichever way
// the column sorts: "worst first" starts with the worst page that was checked.
TEST_F(GridHeader, EmptyCellsSortLastInBothDirections) {
    W->Ui().cbImpNoClearURLs->setChecked(true);
    QGuiApplication::clipboard()->setText("http://e/");
    G->btInsertURLs4ClipClick();
    W->Master()[2].TaskResults->MetricaValues.push_back(
        {"largest-contentful-paint", msDesktop, "2.5\xC2\xA0s", 7});
    W->RepaintAllRows();
    const struct {
        int Col;
        Qt::SortOrder Order;
        QStringList Nums;
    } cases[] = {
        {gcScore, Qt::AscendingOrder, {"1", "3", "4", "2", "5"}},
        {gcScore, Qt::DescendingOrder, {"2", "3", "4", "1", "5"}},
        {7, Qt::AscendingOrder, {"3", "1", "2", "4", "5"}},
        {7, Qt::DescendingOrder, {"3", "1", "2", "4", "5"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Col) + (c.Order == Qt::AscendingOrder ? " asc" : " desc"));
        Model(msDesktop)->SortRows(gcNumber, Qt::AscendingOrder);
        Model(msDesktop)->SortRows(c.Col, c.Order);
        EXPECT_EQ(Column(msDesktop, gcNumber), c.Nums);
    }
}

TEST_F(GridHeader, OnlyMetricColumnsMoveAndInfoOnlyOnDesktop) {
    struct Case {
        TMetricaStrategy s;
        int col, to;
        bool moves;
    } cases[] = {{msDesktop, 5, 16, true},
                 {msDesktop, 4, 10, true},
                 {msMobile, 4, 10, false},
                 {msMobile, 1, 8, false},
                 {msDesktop, 12, 2, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.col);
        QHeaderView* h = Grid(c.s)->horizontalHeader();
        h->moveSection(h->visualIndex(c.col), c.to);
        EXPECT_EQ(h->visualIndex(c.col) == c.to, c.moves);
        for (int fixed = 0; fixed < 4; ++fixed) EXPECT_EQ(h->visualIndex(fixed), fixed);
        h->reset();
        for (int i = 0; i < gcCount; ++i) h->moveSection(h->visualIndex(i), i);
    }
}

TEST_F(GridView, ColumnWidthsAndLimits) {
    const int fixed[] = {45, 270, -1, 80, 40};
    for (int c = 0; c < gcFirstMetric; ++c)
        if (fixed[c] > 0) {
            EXPECT_EQ(W->Ui().vtURLsM->columnWidth(c), fixed[c]);
        }
    // The service's widest texts and the widest short error text fit whole at the grid's font.
    for (QTableView* grid : {W->Ui().vtURLsD, W->Ui().vtURLsM}) {
        const QFontMetrics fm = grid->fontMetrics();
        EXPECT_GE(grid->columnWidth(gcError), fm.horizontalAdvance("UNKNOWN RESPONSE") + 8);
        for (int c = gcFirstMetric; c < gcMetricEnd; ++c)
            for (const char* text : {"11,890 ms", "29.4 s"})
                EXPECT_GE(grid->columnWidth(c), fm.horizontalAdvance(text) + 8) << c << text;
    }
    // The field-data columns keep their own widths.
    const int fieldWidths[] = {90, 65, 65, 65, 110};
    static_assert(std::size(fieldWidths) == gcCount - gcCwv);
    for (int c = gcCwv; c < gcCount; ++c)
        EXPECT_EQ(W->Ui().vtURLsM->columnWidth(c), fieldWidths[c - gcCwv]);
    W->Ui().vtURLsD->setColumnWidth(gcURL, 10);
    W->Ui().vtURLsD->setColumnWidth(gcError, 5000);
    EXPECT_EQ(W->Ui().vtURLsD->columnWidth(gcURL), 50);
    EXPECT_EQ(W->Ui().vtURLsD->columnWidth(gcError), 1000);
}

class GridDelete : public TWindowTest {
  protected:
    void SetUp() override {
        TWindowTest::SetUp();
        QGuiApplication::clipboard()->setText(
            "http://1/\nhttp://2/\nhttp://3/\nhttp://4/\nhttp://5/");
        G->btInsertURLs4ClipClick();
    }
};

TEST_F(GridDelete, RenumbersBothGridsAndSelectsTheFollowingRow) {
    SetResult(W->Master()[3], msDesktop, trOK, "77");
    // The desktop grid shows the reverse order.
    Model(msDesktop)->SortRows(0, Qt::DescendingOrder);
    W->Ui().pcStrategy->setCurrentIndex(1);
    Grid(msMobile)->selectRow(1);
    Grid(msMobile)->selectionModel()->select(
        Model(msMobile)->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    G->miDeleteURL->trigger();

    EXPECT_EQ(Urls(), QStringList({"http://1/", "http://4/", "http://5/"}));
    EXPECT_EQ(Column(msMobile, 0), QStringList({"1", "2", "3"}));
    EXPECT_EQ(Column(msMobile, 1), QStringList({"http://1/", "http://4/", "http://5/"}));
    EXPECT_EQ(Column(msDesktop, 1), QStringList({"http://5/", "http://4/", "http://1/"}));
    EXPECT_EQ(Column(msDesktop, 0), QStringList({"3", "2", "1"}));
    EXPECT_EQ(W->Master()[1].TaskResults->ValueTextByColNum(3, msDesktop), "77");
    // Mobile: 4 followed the last removed row; desktop (5 4 3 2 1): 1 followed 2.
    EXPECT_TRUE(Grid(msMobile)->selectionModel()->isRowSelected(1, {}));
    EXPECT_EQ(Grid(msMobile)->selectionModel()->selectedRows().size(), 1);
    EXPECT_TRUE(Grid(msDesktop)->selectionModel()->isRowSelected(2, {}));
    EXPECT_EQ(Caption(), " Список URL (3) ");
    // URL 4 keeps its results, so there is something to export.
    EXPECT_TRUE(W->Ui().btExport->isEnabled());
}

TEST_F(GridDelete, EverythingLeavesEmptyGridsAndNothingSelected) {
    Grid(msDesktop)->selectAll();
    G->miDeleteURL->trigger();
    EXPECT_TRUE(W->Master().Empty());
    EXPECT_EQ(Model(msDesktop)->rowCount(), 0);
    EXPECT_EQ(Model(msMobile)->rowCount(), 0);
    EXPECT_EQ(Caption(), " Список URL ");
    EXPECT_FALSE(W->Ui().btRunRequests->isEnabled());
}

TEST_F(GridDelete, EmptySelectionSelectsTheLastRow) {
    G->miDeleteURL->trigger();
    EXPECT_EQ(W->Master().Count(), 5u);
    EXPECT_TRUE(Grid(msDesktop)->selectionModel()->isRowSelected(4, {}));
    EXPECT_TRUE(Grid(msMobile)->selectionModel()->isRowSelected(4, {}));
}

TEST_F(GridView, AdviceServicePageAndMenuRulesWhenIdle) {
    QGuiApplication::clipboard()->clear();
    G->pmURLsPopup();
    EXPECT_FALSE(G->miAdvices->isEnabled());
    EXPECT_FALSE(G->miPaste4Clipboard->isEnabled());
    EXPECT_FALSE(G->miDeleteURL->isEnabled());
    EXPECT_FALSE(G->miOpenInGPSI->isEnabled());
    QGuiApplication::clipboard()->setText("http://a/?q=1&r=2#x\nhttp://b/");
    G->pmURLsPopup();
    EXPECT_TRUE(G->miPaste4Clipboard->isEnabled());
    EXPECT_FALSE(G->miCheckSelected->isEnabled());

    G->btInsertURLs4ClipClick();
    SetResult(W->Master()[0], msMobile, trOK, "95", "", 3);
    G->pmURLsPopup();
    for (QAction* a : {G->miAdvices, G->miPaste4Clipboard, G->miCheckSelected, G->miCheckWErrors,
                       G->miOpenInGPSI, G->miDeleteURL})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_EQ(G->miDeleteURL->shortcut(), QKeySequence(Qt::Key_Delete));
    EXPECT_EQ(G->miCheckSelected->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    EXPECT_EQ(G->miPaste4Clipboard->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_V));

    // Nothing focused: neither advice nor service page.
    W->Ui().pcStrategy->setCurrentIndex(1);
    G->miAdvices->trigger();
    G->miOpenInGPSI->trigger();
    EXPECT_TRUE(AdviceShown.empty());
    EXPECT_TRUE(Opened.isEmpty());

    Grid(msMobile)->setCurrentIndex(Model(msMobile)->index(0, 1));
    G->miAdvices->trigger();
    EXPECT_EQ(AdviceShown, std::vector<size_t>{3});
    // The desktop strategy was left unchecked: no advice, only why.
    W->Ui().pcStrategy->setCurrentIndex(0);
    Grid(msDesktop)->setCurrentIndex(Model(msDesktop)->index(0, 1));
    G->GridDoubleClick(Grid(msDesktop));
    EXPECT_EQ(AdviceShown, (std::vector<size_t>{3, 0}));
    EXPECT_TRUE(AdviceErrors.last().startsWith("Остановлено")) << AdviceErrors.last().toStdString();

    W->Ui().pcStrategy->setCurrentIndex(1);
    G->miOpenInGPSI->trigger();
    ASSERT_EQ(Opened.size(), 1);
    EXPECT_EQ(Opened[0].toString(QUrl::FullyEncoded),
              "https://developers.google.com/speed/pagespeed/insights/"
              "?url=http%3A%2F%2Fa%2F%3Fq%3D1%26r%3D2%23x");
}

class GridRun : public TWindowTest {
  protected:
    void SetUp() override {}
};

TEST_F(GridRun, MenuAndShortcutsDoNothingDuringARun) {
    sim::SimOptions so;
    so.latencyMinMs = so.latencyMaxMs = 1500;
    sim::Simulator simulator(so);
    ASSERT_TRUE(simulator.Start()) << simulator.Error();
    Open("ru", QString::fromStdString(simulator.Endpoint()));
    TWindowTest& t = *this;
    TfmMain& w = *t.W;
    QGuiApplication::clipboard()->setText("http://a/\nhttp://b/");
    t.G->btInsertURLs4ClipClick();
    QGuiApplication::clipboard()->setText("http://c/");
    w.Ui().btRunRequests->click();
    ASSERT_TRUE(w.Running());

    t.G->pmURLsPopup();
    for (QAction* a :
         {t.G->miPaste4Clipboard, t.G->miCheckSelected, t.G->miCheckWErrors, t.G->miDeleteURL})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_TRUE(t.G->miAdvices->isEnabled());
    EXPECT_TRUE(t.G->miOpenInGPSI->isEnabled());
    // The menu closes; the keys still reach their items, whose rules refuse.
    Q_EMIT t.G->pmURLs->aboutToHide();
    w.activateWindow();
    w.Ui().vtURLsD->setFocus();
    w.Ui().vtURLsD->selectAll();
    QTest::keyClick(w.Ui().vtURLsD, Qt::Key_Delete);
    QTest::keyClick(w.Ui().vtURLsD, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(w.Ui().vtURLsD, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(w.Master().Count(), 2u);
    t.G->miDeleteURL->trigger();
    t.G->miPaste4Clipboard->trigger();
    t.G->btImportURLs4TXTClick();
    EXPECT_EQ(w.Master().Count(), 2u);
    EXPECT_TRUE(t.Asked.isEmpty());

    w.Ui().btAbortRequests->click();
    ASSERT_TRUE(WaitFor([&] { return !w.Running(); }));
    // Idle again: the same key deletes.
    w.Ui().vtURLsD->setFocus();
    w.Ui().vtURLsD->selectRow(0);
    QTest::keyClick(w.Ui().vtURLsD, Qt::Key_Delete);
    EXPECT_EQ(w.Master().Count(), 1u);
    t.W.reset();
    simulator.Stop();
}

}  // namespace
}  // namespace velmora::app::test

namespace velmora::app::test {
namespace {

using GridFilter = TWindowTest;

// The filter hides rows in both grids and acts on nothing it hides.
TEST_F(GridFilter, TextStatusAndScoreBandHideRowsAndASelectAllDeletesOnlyTheShown) {
    QGuiApplication::clipboard()->setText(
        "https://a.example/shop\nhttps://b.example/blog\nhttps://c.example/shop/x\n"
        "https://d.example/");
    G->btInsertURLs4ClipClick();
    SetResult(W->Master()[0], msDesktop, trOK, "95");
    SetResult(W->Master()[1], msDesktop, trOK, "60");
    SetResult(W->Master()[2], msDesktop, trServiceError, "", "", 0, 500);
    struct Case {
        QString Text;
        TGridFilterRule::TStatus Status;
        TGridFilterRule::TBand Band;
        QStringList Shown;
    } cases[] = {
        {"",
         TGridFilterRule::fsAll,
         TGridFilterRule::fbAll,
         {"https://a.example/shop", "https://b.example/blog", "https://c.example/shop/x",
          "https://d.example/"}},
        {"SHOP",
         TGridFilterRule::fsAll,
         TGridFilterRule::fbAll,
         {"https://a.example/shop", "https://c.example/shop/x"}},
        {"500", TGridFilterRule::fsAll, TGridFilterRule::fbAll, {"https://c.example/shop/x"}},
        {"", TGridFilterRule::fsFailed, TGridFilterRule::fbAll, {"https://c.example/shop/x"}},
        {"",
         TGridFilterRule::fsOk,
         TGridFilterRule::fbAll,
         {"https://a.example/shop", "https://b.example/blog"}},
        {"", TGridFilterRule::fsUnchecked, TGridFilterRule::fbAll, {"https://d.example/"}},
        {"", TGridFilterRule::fsAll, TGridFilterRule::fbAverage, {"https://b.example/blog"}},
        {"shop", TGridFilterRule::fsOk, TGridFilterRule::fbGood, {"https://a.example/shop"}},
    };
    TGridFilter& filter = W->GridFilter();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text.toStdString() + " " + std::to_string(c.Status) + " " +
                     std::to_string(c.Band));
        filter.edFilter->setText(c.Text);
        filter.cbFilterStatus->setCurrentIndex(c.Status);
        filter.cbFilterScore->setCurrentIndex(c.Band);
        QStringList shown;
        for (int r = 0; r < Model(msDesktop)->rowCount(); ++r)
            if (!Grid(msDesktop)->isRowHidden(r))
                shown << QString::fromStdString(Model(msDesktop)->TaskAt(r)->URL);
        EXPECT_EQ(shown, c.Shown);
    }
    // A row whose check ends while the filter is set follows it.
    filter.edFilter->clear();
    filter.cbFilterStatus->setCurrentIndex(TGridFilterRule::fsFailed);
    filter.cbFilterScore->setCurrentIndex(TGridFilterRule::fbAll);
    SetResult(W->Master()[3], msDesktop, trSendError, "");
    Model(msDesktop)->RepaintTask(W->Master()[3]);
    EXPECT_FALSE(Grid(msDesktop)->isRowHidden(3));
    // Sorting keeps the filter; deleting all that is selected keeps the hidden rows.
    filter.edFilter->setText("shop");
    filter.cbFilterStatus->setCurrentIndex(TGridFilterRule::fsAll);
    filter.cbFilterScore->setCurrentIndex(TGridFilterRule::fbAll);
    G->GridHeaderClick(Grid(msDesktop), gcURL);
    int hidden = 0;
    for (int r = 0; r < Model(msDesktop)->rowCount(); ++r)
        hidden += Grid(msDesktop)->isRowHidden(r);
    EXPECT_EQ(hidden, 2);
    Grid(msDesktop)->selectAll();
    G->miDeleteURL->trigger();
    EXPECT_EQ(Urls(), (QStringList{"https://b.example/blog", "https://d.example/"}));
}

}  // namespace
}  // namespace velmora::app::test
