// The window as it opens: pages and tabs shown, the metrics list, the button column, the
// parameter inputs and the keyboard roles of the run and abort buttons.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include "app/icons.h"
#include "app/news_browser.h"
#include "app/score_chart.h"
#include "app_test_support.h"
#include "engine/metrica.h"

namespace velmora::app::test {
namespace {

class Layout : public ::testing::Test {
  protected:
    TLocaleEnv env{"en_US.UTF-8"};
    TAppDir dir;
    std::unique_ptr<TfmMain> w = ShowWindow(dir.Options());
};

TEST_F(Layout, OpensOnUrlPageDesktopAndNews) {
    EXPECT_EQ(w->pcPages->currentWidget(), w->tsURLs);
    EXPECT_EQ(w->pcStrategy->currentWidget(), w->tsURLsD);
    EXPECT_EQ(w->pcStrategy->tabPosition(), QTabWidget::South);
    EXPECT_EQ(w->pcBottom->currentWidget(), w->tsNews);
    EXPECT_FALSE(w->pProgress->isVisible());
    EXPECT_EQ(w->size(), QSize(1287, 750));
    EXPECT_EQ(w->vtURLsD->model()->columnCount(), 17);
    EXPECT_EQ(w->windowTitle(), "Velmora");
}

TEST_F(Layout, MetricsListHoldsTheCatalogueAndDescribesTheSelectedRow) {
    ASSERT_EQ(w->lvMetrics->rowCount(), 13);
    EXPECT_EQ(w->lvMetrics->item(0, 0)->text(), "1");
    EXPECT_EQ(w->lvMetrics->item(1, 1)->text(), "First Contentful Paint (FCP)");
    EXPECT_EQ(w->lvMetrics->item(7, 1)->text(), "HTML");
    EXPECT_EQ(w->lvMetrics->item(12, 0)->text(), "13");
    EXPECT_TRUE(w->lvMetrics->selectionModel()->isRowSelected(0, {}));
    EXPECT_EQ(w->lbMetricaDescr->text(),
              " " + QString::fromUtf8(MetricaTable[0].Descr.data(), MetricaTable[0].Descr.size()));
    w->lvMetrics->selectRow(7);
    EXPECT_EQ(w->lbMetricaDescr->text(), " ");
    w->lvMetrics->clearSelection();
    EXPECT_EQ(w->lbMetricaDescr->text(), " ");  // nothing selected: unchanged
}

TEST_F(Layout, ButtonColumnInOrderWithItsGroups) {
    QPushButton* column[] = {w->btInsertURLs4Clip, w->btImportURLs4TXT, w->btImportURLs4XML,
                             w->btRunRequests,     w->btAbortRequests,  w->btExport};
    const int gaps[] = {6, 6, 16, 6, 16};
    for (size_t i = 0; i < std::size(column); ++i) {
        EXPECT_EQ(column[i]->size(), QSize(158, 25)) << i;
        EXPECT_FALSE(column[i]->icon().isNull()) << i;
        if (i > 0) {
            EXPECT_EQ(column[i]->y() - column[i - 1]->geometry().bottom() - 1, gaps[i - 1]) << i;
        }
    }
    EXPECT_EQ(w->crtURLScore->y() - w->btExport->geometry().bottom() - 1, 19);
    EXPECT_EQ(w->crtURLScore->size(), QSize(158, 255));
    EXPECT_EQ(w->Panel1->width(), 178);
    EXPECT_FALSE(w->btRunRequests->isEnabled());
    EXPECT_FALSE(w->btAbortRequests->isEnabled());
    EXPECT_FALSE(w->btExport->isEnabled());
    EXPECT_TRUE(w->btImportURLs4TXT->isEnabled());
}

TEST_F(Layout, ImageListHasTwelvePictures) {
    ASSERT_EQ(w->ilPngImages.size(), 12);
    for (const QIcon& icon : w->ilPngImages) EXPECT_FALSE(icon.pixmap(16, 16).isNull());
    EXPECT_FALSE(w->pcPages->tabIcon(0).isNull());
    EXPECT_FALSE(w->pcStrategy->tabIcon(1).isNull());
}

TEST_F(Layout, ParameterInputsKeepTheirRanges) {
    EXPECT_EQ(w->edMaxTreads->minimum(), 1);
    EXPECT_EQ(w->edMaxTreads->maximum(), 20);
    EXPECT_EQ(w->edMinReqDelay->minimum(), 100);
    EXPECT_EQ(w->edMinReqDelay->maximum(), 10000);
    EXPECT_EQ(w->edMinReqDelay->singleStep(), 100);
    EXPECT_FALSE(w->cbAppLang->isEditable());
    EXPECT_EQ(w->cbAppLang->count(), 2);
    EXPECT_EQ(w->gbParams->width(), 430);
    EXPECT_EQ(w->Panel4->height(), 91);
}

TEST_F(Layout, ParameterTabOrder) {
    QWidget* order[] = {w->edAPIKey,  w->edMaxTreads,   w->edMinReqDelay,   w->Panel4,
                        w->cbAppLang, w->lbGotoKeySite, w->cbImpNoClearURLs};
    w->pcPages->setCurrentWidget(w->tsParams);
    w->activateWindow();
    w->edAPIKey->setFocus();
    ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == w->edAPIKey; }, 2000));
    for (size_t i = 1; i < std::size(order); ++i) {
        // A link label's link is a stop of its own inside the label.
        for (int presses = 0; presses < 2 && QApplication::focusWidget() == order[i - 1]; ++presses)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), order[i])
            << i << " " << QApplication::focusWidget()->objectName().toStdString();
    }
}

TEST_F(Layout, EnterRunsAndEscapeAbortsOnlyWhenTheButtonCanAct) {
    int runs = 0;
    QObject::connect(w->btRunRequests, &QPushButton::clicked, [&] { ++runs; });
    w->activateWindow();
    w->vtURLsD->setFocus();
    QTest::keyClick(w->vtURLsD, Qt::Key_Return);
    QTest::qWait(300);
    EXPECT_EQ(runs, 0);  // disabled with an empty list

    // Enabled, but the settings page hides it.
    w->btRunRequests->setEnabled(true);
    w->pcPages->setCurrentWidget(w->tsParams);
    QTest::keyClick(w->edAPIKey, Qt::Key_Return);
    QTest::qWait(300);
    EXPECT_EQ(runs, 0);
    w->btRunRequests->setEnabled(false);
}

TEST_F(Layout, NewsPaneShowsANoteWhenThePageCannotBeHad) {
    EXPECT_EQ(w->NewsUrl(), "http://127.0.0.1:9/files/shownews.php");
    ASSERT_TRUE(WaitFor([&] { return !w->NewsBrowser->Loading(); }, 15000));
    EXPECT_TRUE(w->NewsBrowser->toPlainText().contains("News are not available"))
        << w->NewsBrowser->toPlainText().toStdString();
}

}  // namespace
}  // namespace velmora::app::test
