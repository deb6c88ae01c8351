// The "Across pages" tab: its tables per strategy, their sorting, and choosing a row to see
// only its pages in the grids until Esc or the button brings all back.
#include "app/across_pages.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QTest>

#include "app/grid_filter.h"
#include "support/window_fixture.h"

namespace velmora::app::test {
namespace {

using AcrossPages = TWindowTest;

TFixRow Fix(TMetricaStrategy s, const char* id, int32_t pages, std::vector<int32_t> nums) {
    TFixRow f;
    f.Strategy = s;
    f.AuditId = TInternedText(id);
    f.Title = TInternedText(std::string("Title of ") + id);
    f.Pages = pages;
    f.TaskNums = std::move(nums);
    return f;
}

QStringList CellTexts(QTableView* view, int col) {
    QStringList texts;
    for (int r = 0; r < view->model()->rowCount(); ++r)
        texts << view->model()->index(r, col).data().toString();
    return texts;
}

QStringList ShownUrls(QTableView* grid) {
    QStringList urls;
    for (int r = 0; r < grid->model()->rowCount(); ++r)
        if (!grid->isRowHidden(r)) urls << grid->model()->index(r, 1).data().toString();
    return urls;
}

TEST_F(AcrossPages, AChosenRowLimitsBothGridsToItsPagesUntilEscOrTheButton) {
    QGuiApplication::clipboard()->setText("http://a/\nhttp://b/\nhttp://c/\n");
    G->btInsertURLs4ClipClick();
    TAcrossPages* across = W->Ui().tsAcross;
    W->Ui().pcStrategy->setCurrentWidget(across);
    TSiteSummary summary;
    // Nine and ten pages: sorted as numbers, ten comes last going up.
    summary.Fixes = {Fix(msDesktop, "render-blocking", 10, {1, 3}),
                     Fix(msDesktop, "unused-css", 9, {2}), Fix(msMobile, "image-alt", 1, {3})};
    across->ShowSummary(summary);
    EXPECT_EQ(CellTexts(across->vtFixes, xcAudit),
              (QStringList{"Title of render-blocking", "Title of unused-css"}));
    across->vtFixes->sortByColumn(xcPages, Qt::AscendingOrder);
    EXPECT_EQ(CellTexts(across->vtFixes, xcPages), (QStringList{"9", "10"}));
    across->cbAcrossStrategy->setCurrentIndex(1);
    EXPECT_EQ(CellTexts(across->vtFixes, xcAudit), QStringList{"Title of image-alt"});
    across->cbAcrossStrategy->setCurrentIndex(0);

    TGridFilter& filter = W->GridFilter();
    struct TCase {
        const char* Name;
        std::function<void()> Clear;
    };
    const TCase cases[] = {
        {"Esc", [&] { QTest::keyClick(across->vtFixes, Qt::Key_Escape); }},
        {"button", [&] { filter.btClearPageFilter->click(); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        across->vtFixes->selectRow(1);  // "render-blocking", after the sort
        ASSERT_TRUE(filter.HasPages());
        EXPECT_EQ(ShownUrls(W->Ui().vtURLsD), (QStringList{"http://a/", "http://c/"}));
        EXPECT_EQ(ShownUrls(W->Ui().vtURLsM), (QStringList{"http://a/", "http://c/"}));
        EXPECT_FALSE(filter.lbPageFilter->isHidden());
        EXPECT_TRUE(filter.lbPageFilter->text().contains("Title of render-blocking"));
        c.Clear();
        EXPECT_FALSE(filter.HasPages());
        EXPECT_EQ(ShownUrls(W->Ui().vtURLsD).size(), 3);
        EXPECT_TRUE(filter.lbPageFilter->isHidden());
        across->vtFixes->clearSelection();
    }
}

}  // namespace
}  // namespace velmora::app::test
