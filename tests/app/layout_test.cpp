// The window as it opens: pages and tabs shown, the metrics list, the button column, the
// parameter inputs and the keyboard roles of the run and abort buttons.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include "app/icons.h"
#include "app/news_browser.h"
#include "app/score_chart.h"
#include "engine/metrica.h"
#include "support/window_env.h"

namespace velmora::app::test {
namespace {

class Layout : public ::testing::Test {
  protected:
    TLocaleEnv env{"en_US.UTF-8"};
    TAppDir dir;
    std::unique_ptr<TfmMain> w = ShowWindow(dir.Options());
};

TEST_F(Layout, OpensOnUrlPageDesktopAndNews) {
    EXPECT_EQ(w->Ui().pcPages->currentWidget(), w->Ui().tsURLs);
    EXPECT_EQ(w->Ui().pcStrategy->currentWidget(), w->Ui().tsURLsD);
    EXPECT_EQ(w->Ui().pcStrategy->tabPosition(), QTabWidget::South);
    EXPECT_EQ(w->Ui().pcBottom->currentWidget(), w->Ui().tsNews);
    EXPECT_FALSE(w->Ui().pProgress->isVisible());
    // The design's size, as far as the screen's free area allows with the frame around it.
    const QSize room = w->screen()->availableGeometry().size().shrunkBy(w->FrameMargins());
    EXPECT_EQ(w->size(), QSize(1287, 750).boundedTo(room));
    EXPECT_EQ(w->Ui().vtURLsD->model()->columnCount(), gcColumnEnd);
    EXPECT_EQ(w->windowTitle(), "Velmora");
}

TEST_F(Layout, MetricsListHoldsTheCatalogueAndDescribesTheSelectedRow) {
    ASSERT_EQ(w->Ui().lvMetrics->rowCount(), 13);
    EXPECT_EQ(w->Ui().lvMetrics->item(0, 0)->text(), "1");
    EXPECT_EQ(w->Ui().lvMetrics->item(1, 1)->text(), "First Contentful Paint (FCP)");
    EXPECT_EQ(w->Ui().lvMetrics->item(7, 1)->text(), "HTML");
    EXPECT_EQ(w->Ui().lvMetrics->item(12, 0)->text(), "13");
    EXPECT_TRUE(w->Ui().lvMetrics->selectionModel()->isRowSelected(0, {}));
    EXPECT_EQ(w->Ui().lbMetricaDescr->text(),
              " " + QString::fromUtf8(MetricaTable[0].Descr.data(), MetricaTable[0].Descr.size()));
    w->Ui().lvMetrics->selectRow(7);
    EXPECT_EQ(w->Ui().lbMetricaDescr->text(), " ");
    w->Ui().lvMetrics->clearSelection();
    EXPECT_EQ(w->Ui().lbMetricaDescr->text(), " ");  // nothing selected: unchanged
}

TEST_F(Layout, ButtonColumnInOrderWithItsGroups) {
    QPushButton* column[] = {
        w->Ui().btInsertURLs4Clip,  w->Ui().btImportURLs4TXT,   w->Ui().btImportURLs4XML,
        w->Ui().btImportURLs4Web,   w->Ui().btImportURLs4Crawl, w->Ui().btRunRequests,
        w->Ui().btContinueRequests, w->Ui().btAbortRequests,    w->Ui().btExport,
        w->Ui().btExportSheet,      w->Ui().btSaveReport};
    const int gaps[] = {6, 6, 6, 6, 16, 6, 6, 16, 6, 6};
    for (size_t i = 0; i < std::size(column); ++i) {
        EXPECT_EQ(column[i]->size(), QSize(158, 25)) << i;
        EXPECT_FALSE(column[i]->icon().isNull()) << i;
        if (i > 0) {
            EXPECT_EQ(column[i]->y() - column[i - 1]->geometry().bottom() - 1, gaps[i - 1]) << i;
        }
    }
    EXPECT_EQ(w->Ui().crtURLScore->y() - w->Ui().btSaveReport->geometry().bottom() - 1, 19);
    EXPECT_EQ(w->Ui().crtURLScore->size(), QSize(158, 255));
    EXPECT_EQ(w->Ui().pButtons->width(), 178);
    EXPECT_FALSE(w->Ui().btRunRequests->isEnabled());
    EXPECT_FALSE(w->Ui().btAbortRequests->isEnabled());
    EXPECT_FALSE(w->Ui().btExport->isEnabled());
    EXPECT_FALSE(w->Ui().btExportSheet->isEnabled());
    EXPECT_FALSE(w->Ui().btSaveReport->isEnabled());
    EXPECT_TRUE(w->Ui().btImportURLs4TXT->isEnabled());
}

TEST_F(Layout, ImageListHasTwelvePictures) {
    ASSERT_EQ(w->Images().size(), 12);
    for (const QIcon& icon : w->Images()) EXPECT_FALSE(icon.pixmap(16, 16).isNull());
    EXPECT_FALSE(w->Ui().pcPages->tabIcon(0).isNull());
    EXPECT_FALSE(w->Ui().pcStrategy->tabIcon(1).isNull());
}

TEST_F(Layout, ParameterInputsKeepTheirRanges) {
    EXPECT_EQ(w->Ui().edMaxTreads->minimum(), 1);
    EXPECT_EQ(w->Ui().edMaxTreads->maximum(), 20);
    EXPECT_EQ(w->Ui().edMinReqDelay->minimum(), 100);
    EXPECT_EQ(w->Ui().edMinReqDelay->maximum(), 10000);
    EXPECT_EQ(w->Ui().edMinReqDelay->singleStep(), 100);
    EXPECT_FALSE(w->Ui().cbAppLang->isEditable());
    EXPECT_EQ(w->Ui().cbAppLang->count(), 2);
}

// On a common laptop screen the whole window fits, and the URL grid is what takes the room.
TEST_F(Layout, FitsALaptopScreenWithTheGridLargest) {
    const QSize laptop(1366, 768);
    const QMargins frame = w->FrameMargins();
    EXPECT_LE(w->minimumSizeHint().grownBy(frame).width(), laptop.width());
    EXPECT_LE(w->minimumSizeHint().grownBy(frame).height(), laptop.height());
    w->resize(laptop.shrunkBy(frame));
    QCoreApplication::processEvents();
    EXPECT_LE(w->frameGeometry().width(), laptop.width());
    EXPECT_LE(w->frameGeometry().height(), laptop.height());

    const QWidget* grid = w->Ui().vtURLsD;
    const auto area = [](const QWidget* x) { return x->width() * x->height(); };
    for (const QWidget* other : w->Ui().tsURLs->findChildren<QWidget*>()) {
        // The grid's own frame and parts hold it; the grid holds its scroll bars and header.
        if (!other->isVisible() || other->isAncestorOf(grid) || grid->isAncestorOf(other) ||
            other == grid)
            continue;
        EXPECT_LT(area(other), area(grid))
            << other->objectName().toStdString() << " " << other->metaObject()->className();
    }
}

TEST_F(Layout, ParameterTabOrder) {
    QWidget* order[] = {w->Ui().edAPIKey,
                        w->Ui().btShowAPIKey,
                        w->Ui().lbGotoKeySite,
                        w->Ui().edMaxTreads,
                        w->Ui().edMinReqDelay,
                        w->Ui().edRetries,
                        w->Ui().cbImpNoClearURLs,
                        w->Ui().cbCategoryAccessibility,
                        w->Ui().cbCategoryBestPractices,
                        w->Ui().cbCategorySeo,
                        w->Ui().cbStrategies,
                        w->Ui().cbRequestLocale,
                        w->Ui().cbReportScreenshots,
                        w->Ui().edGroups,
                        w->Ui().edEndpoint,
                        w->Ui().cbAppLang,
                        w->Ui().pAbout};
    w->Ui().pcPages->setCurrentWidget(w->Ui().tsParams);
    w->activateWindow();
    w->Ui().edAPIKey->setFocus();
    ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == w->Ui().edAPIKey; }, 2000));
    for (size_t i = 1; i < std::size(order); ++i) {
        // A link label's link is a stop of its own inside the label.
        for (int presses = 0; presses < 2 && QApplication::focusWidget() == order[i - 1]; ++presses)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), order[i])
            << i << " " << QApplication::focusWidget()->objectName().toStdString();
    }
}

TEST_F(Layout, CtrlEnterRunsOnlyWhenTheButtonCanAct) {
    int runs = 0;
    QObject::connect(w->Ui().btRunRequests, &QPushButton::clicked, [&] { ++runs; });
    w->activateWindow();
    w->Ui().vtURLsD->setFocus();
    QTest::keyClick(w->Ui().vtURLsD, Qt::Key_Return, Qt::ControlModifier);
    QTest::qWait(300);
    EXPECT_EQ(runs, 0);  // disabled with an empty list

    // Enabled, but the settings page hides it.
    w->Ui().btRunRequests->setEnabled(true);
    w->Ui().pcPages->setCurrentWidget(w->Ui().tsParams);
    QTest::keyClick(w->Ui().edAPIKey, Qt::Key_Return, Qt::ControlModifier);
    QTest::qWait(300);
    EXPECT_EQ(runs, 0);
    w->Ui().btRunRequests->setEnabled(false);
}

TEST_F(Layout, NewsPaneShowsANoteWhenThePageCannotBeHad) {
    EXPECT_EQ(w->NewsUrl(), "http://127.0.0.1:9/files/shownews.php");
    ASSERT_TRUE(WaitFor([&] { return !w->Ui().wbNews->Loading(); }, 15000));
    EXPECT_TRUE(w->Ui().wbNews->toPlainText().contains("News is not available right now"))
        << w->Ui().wbNews->toPlainText().toStdString();
}

}  // namespace
}  // namespace velmora::app::test
