// The advice window: its tree of groups, its look, its language and its safety while open.
#include "app/advices.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QHeaderView>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "engine/interpret.h"
#include "support/fake_english.h"
#include "support/qt_print.h"
#include "support/test_paths.h"

namespace velmora::app::test {
namespace {

TGAdvice Advice(const std::string& title, const std::string& text, int32_t group) {
    TGAdvice a;
    a.Title = TInternedText(title);
    a.AdviceText = TInternedText(text);
    a.Descr = TInternedText("Details of " + title + ". [Learn more](https://example.com/learn).");
    a.AdviceGroupNdx = group;
    return a;
}

// Group captions and, per group, the titles under it; also checks row kinds and expansion.
struct TTreeShape {
    QStringList Groups;
    QList<QStringList> Titles;
    QList<QStringList> Texts;
};

TTreeShape ShapeOf(const QTreeWidget* tree, QString* fault) {
    TTreeShape shape;
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
        const QTreeWidgetItem* group = tree->topLevelItem(g);
        const TAdviceNodeData gd = TfmGoogleAdvice::NodeData(group);
        if (gd.NodeKind != 0 || gd.GroupNdx != g)
            *fault = "group row data at " + QString::number(g);
        if (!group->isExpanded()) *fault = "group not expanded: " + group->text(0);
        if (!group->text(1).isEmpty()) *fault = "group row has a second column";
        shape.Groups << group->text(0);
        QStringList titles, texts;
        for (int i = 0; i < group->childCount(); ++i) {
            const QTreeWidgetItem* row = group->child(i);
            const TAdviceNodeData rd = TfmGoogleAdvice::NodeData(row);
            if (rd.NodeKind != 1 || rd.GroupNdx != g) *fault = "advice row data: " + row->text(0);
            if (row->childCount() != 0) *fault = "advice row with children";
            titles << row->text(0);
            texts << row->text(1);
        }
        shape.Titles << titles;
        shape.Texts << texts;
    }
    return shape;
}

const QStringList kGroupCaptions{"Opportunities", "Diagnostics", "Insights"};

// Runs the window modally through ShowAdvices and calls inspect while it is open. The window
// is closed afterwards whatever inspect did, and a watchdog closes it should the test stall.
void WhileOpen(TfmGoogleAdvice& window, const TGAdviceList& list,
               const std::function<void()>& inspect) {
    bool ran = false;
    QTimer::singleShot(0, &window, [&] {
        ran = true;
        inspect();
        window.reject();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &window, [&] { window.reject(); });
    watchdog.start(10000);
    window.ShowAdvices(list);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(watchdog.isActive()) << "the window had to be closed by the watchdog";
    EXPECT_FALSE(window.isVisible());
}

TGAdviceList FixtureAdvice(const char* file, TMetricaStrategy s,
                           TCategorySet categories = kPerformanceOnly) {
    QFile f(QStringLiteral(VELMORA_PSI_ANSWERS "/") + QLatin1String(file));
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray body = f.readAll();
    simdjson::dom::parser parser;
    TURLTaskInfo task("https://example.com/", 1);
    task.InitMetricResults();
    task.TaskResults->Categories = categories;
    InterpretBody(parser, std::string_view(body.constData(), body.size()), s, task, '.',
                  [](const std::string&) {});
    return task.TaskResults->AdviceList[s];
}

// Every test leaves the identity translation behind, whatever way it ends.
class AdviceWindow : public ::testing::Test {
  protected:
    void TearDown() override { SetTranslator(nullptr); }
};

TEST_F(AdviceWindow, TreeGroupsFollowTheCatalogue) {
    const struct {
        const char* Name;
        TGAdviceList List;
        QList<QStringList> Titles;
    } cases[] = {
        // Groups interleaved in the list: each group keeps the list's order; rows of a group
        // the catalogue does not know are not shown.
        {"interleaved",
         {Advice("D1", "1 found", 1), Advice("O1", "80 ms", 0), Advice("I1", "2 KiB", 2),
          Advice("D2", "2 found", 1), Advice("Stray", "x", 7), Advice("O2", "90 ms", 0),
          Advice("Negative", "x", -1), Advice("I2", "3", 2)},
         {{"O1", "O2"}, {"D1", "D2"}, {"I1", "I2"}}},
        {"diagnostics only",
         {Advice("D1", "1 found", 1), Advice("D2", "2 found", 1)},
         {{}, {"D1", "D2"}, {}}},
        {"empty list", {}, {{}, {}, {}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TfmGoogleAdvice window;
        // Filled twice: the second fill replaces the rows, it does not add to them.
        window.FillAdvices(c.List);
        window.FillAdvices(c.List);
        QString fault;
        const TTreeShape shape = ShapeOf(window.Tree(), &fault);
        EXPECT_TRUE(fault.isEmpty()) << fault.toStdString();
        EXPECT_EQ(shape.Groups, kGroupCaptions);
        EXPECT_EQ(shape.Titles, c.Titles);
    }
}

TEST_F(AdviceWindow, AdvicePerStrategy) {
    const struct {
        TMetricaStrategy Strategy;
        QStringList Diagnostics;
        QStringList Texts;
    } cases[] = {
        {msDesktop, {"Desktop D"}, {"1 desktop"}},
        {msMobile, {"Mobile D1", "Mobile D2"}, {"1 mobile", "2 mobile"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Strategy == msDesktop ? "desktop" : "mobile");
        TURLTaskInfo task("https://example.com/", 1);
        task.InitMetricResults();
        task.TaskResults->AdviceList[msDesktop] = {Advice("Desktop D", "1 desktop", 1)};
        task.TaskResults->AdviceList[msMobile] = {Advice("Mobile D1", "1 mobile", 1),
                                                  Advice("Mobile D2", "2 mobile", 1)};
        TfmGoogleAdvice window;
        window.FillAdvices(task.TaskResults->AdviceList[c.Strategy]);
        QString fault;
        const TTreeShape shape = ShapeOf(window.Tree(), &fault);
        EXPECT_TRUE(fault.isEmpty()) << fault.toStdString();
        EXPECT_EQ(shape.Titles.at(1), c.Diagnostics);
        EXPECT_EQ(shape.Texts.at(1), c.Texts);
        // The description is not one of the window's texts.
        EXPECT_FALSE(window.Tree()->topLevelItem(1)->child(0)->text(1).contains("Learn more"));
    }
}

TEST_F(AdviceWindow, OpenWindowLooksAsDesigned) {
    QWidget mainWindow;
    mainWindow.setGeometry(100, 80, 1200, 800);
    mainWindow.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mainWindow));
    TfmGoogleAdvice window(&mainWindow);
    const TGAdviceList list{Advice("O1", "80 ms", 0)};

    WhileOpen(window, list, [&] {
        EXPECT_EQ(window.objectName(), QString("fmGoogleAdvice"));
        EXPECT_TRUE(window.isModal());
        EXPECT_EQ(window.size(), QSize(765, 462));
        EXPECT_EQ(window.windowTitle(), QString("Рекомендации и предупреждения"));
        QTreeWidget* tree = window.Tree();
        EXPECT_EQ(tree->objectName(), QString("vtAdvices"));
        EXPECT_EQ(window.focusWidget(), tree);
        EXPECT_EQ(tree->headerItem()->text(0), QString("Параметр"));
        EXPECT_EQ(tree->headerItem()->text(1), QString("Описание"));
        EXPECT_EQ(tree->columnWidth(0), 340);
        EXPECT_EQ(tree->columnWidth(1), 400);
        EXPECT_TRUE(tree->header()->sectionsMovable());
        EXPECT_EQ(tree->header()->sectionResizeMode(0), QHeaderView::Interactive);
        EXPECT_TRUE(tree->rootIsDecorated());
        const QPoint centre = window.frameGeometry().center();
        EXPECT_LE((centre - mainWindow.frameGeometry().center()).manhattanLength(), 40)
            << "not centred on the main window";
    });
}

TEST_F(AdviceWindow, CaptionsFollowALanguageChange) {
    TfmGoogleAdvice window;
    const TGAdviceList list{Advice("D1", "1 found", 1)};
    WhileOpen(window, list, [] {});

    SetTranslator(FakeEnglish);
    QStringList seen;
    WhileOpen(window, list, [&] {
        QTreeWidget* tree = window.Tree();
        seen << window.windowTitle() << tree->headerItem()->text(0) << tree->headerItem()->text(1);
        for (int g = 0; g < tree->topLevelItemCount(); ++g) seen << tree->topLevelItem(g)->text(0);
    });
    EXPECT_EQ(seen, (QStringList{"Recommendations and warnings", "Parameter", "Description"} +
                     kGroupCaptions));

    SetTranslator(nullptr);
    WhileOpen(window, list,
              [&] { EXPECT_EQ(window.windowTitle(), QString("Рекомендации и предупреждения")); });
}

// A title longer than its column wraps instead of being cut, and unwraps when the user widens
// the column.
TEST_F(AdviceWindow, LongTitlesWrapWithinTheirColumn) {
    const QString longTitle = QString("Reduce the impact of third-party code ").repeated(4);
    TfmGoogleAdvice window;
    window.FillAdvices(
        {Advice("Short", "1 found", 1), Advice(longTitle.toStdString(), "2 found", 1)});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTreeWidget* tree = window.Tree();
    QTreeWidgetItem* group = tree->topLevelItem(1);
    auto height = [&](int row) { return tree->visualItemRect(group->child(row)).height(); };
    EXPECT_GE(height(1), 2 * height(0)) << "long title not wrapped";
    EXPECT_EQ(group->child(1)->toolTip(0), longTitle);
    tree->header()->resizeSection(0, 2000);
    QCoreApplication::processEvents();
    EXPECT_EQ(height(1), height(0));
}

// A recheck may replace the task's results while the window is open; the window must go on
// showing, repainting and tool-tipping without reading the freed items (run under ASan).
TEST_F(AdviceWindow, SurvivesTheListBeingFreedWhileOpen) {
    // Long, unique texts so they live on the heap and die with the list.
    const std::string longTitle(200, 'T');
    const std::string longText = "Potential savings of " + std::string(150, '9') + " KiB";
    auto list = std::make_unique<TGAdviceList>(
        TGAdviceList{Advice(longTitle + "-opportunity", longText, 0),
                     Advice(longTitle + "-diagnostic", longText + "-d", 1)});

    TfmGoogleAdvice window;
    window.show();  // so that the grab below paints a visible window
    QString fault;
    TTreeShape shape;
    QImage painted;
    WhileOpen(window, *list, [&] {
        list.reset();
        list = std::make_unique<TGAdviceList>(TGAdviceList{Advice("Other", "other", 0)});
        list.reset();
        QCoreApplication::processEvents();
        window.Tree()->viewport()->repaint();
        painted = window.grab().toImage();
        window.Tree()->resizeColumnToContents(0);
        shape = ShapeOf(window.Tree(), &fault);
    });
    EXPECT_TRUE(fault.isEmpty()) << fault.toStdString();
    EXPECT_FALSE(painted.isNull());
    ASSERT_EQ(shape.Titles.size(), 3);
    EXPECT_EQ(shape.Titles.at(0), QStringList{QString::fromStdString(longTitle + "-opportunity")});
    EXPECT_EQ(shape.Texts.at(1), QStringList{QString::fromStdString(longText + "-d")});
    const QTreeWidgetItem* row = window.Tree()->topLevelItem(0)->child(0);
    EXPECT_EQ(row->toolTip(1), QString::fromStdString(longText));
}

// Lighthouse 12 and 13 answers: one row per item, its title and its display value (or none),
// every group's row even when empty.
TEST_F(AdviceWindow, RealAnswersOfBothVersions) {
    struct Case {
        const char* file;
        TMetricaStrategy s;
        int group;
        const char* title;
        const char* text;  // nullptr: the title must appear in no group
    } cases[] = {
        {"psi_heavy_desktop.json", msDesktop, 1, "Eliminate render-blocking resources", ""},
        {"psi_heavy_mobile.json", msMobile, 1, "Serve static assets with an efficient cache policy",
         "9 resources found"},
        {"psi13_heavy_desktop.json", msDesktop, 2, "Layout shift culprits", ""},
        {"psi13_heavy_desktop.json", msDesktop, 2, "Render-blocking requests",
         "Est savings of 990\u00a0ms"},
        {"psi13_heavy_mobile.json", msMobile, 2, "Optimize viewport for mobile", ""},
        {"psi13_fast_desktop.json", msDesktop, 1, "Avoids enormous network payloads", nullptr},
        {"psi13_fast_desktop.json", msDesktop, 1, "Reduce JavaScript execution time", nullptr},
    };
    TfmGoogleAdvice window;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + ": " + c.title);
        const TGAdviceList list = FixtureAdvice(c.file, c.s);
        window.FillAdvices(list);
        QString fault;
        const TTreeShape shape = ShapeOf(window.Tree(), &fault);
        EXPECT_TRUE(fault.isEmpty()) << fault.toStdString();
        EXPECT_EQ(shape.Groups, kGroupCaptions);
        qsizetype rows = 0;
        for (const QStringList& titles : shape.Titles) rows += titles.size();
        EXPECT_EQ(rows, static_cast<qsizetype>(list.size()));
        const QString title = QString::fromUtf8(c.title);
        if (!c.text) {
            for (const QStringList& titles : shape.Titles) EXPECT_FALSE(titles.contains(title));
            continue;
        }
        const qsizetype at = shape.Titles.at(c.group).indexOf(title);
        ASSERT_GE(at, 0);
        EXPECT_EQ(shape.Texts.at(c.group).at(at), QString::fromUtf8(c.text));
    }
}

}  // namespace
}  // namespace velmora::app::test

namespace velmora::app::test {
namespace {

// Titles under a node, one level down.
QStringList ChildTexts(const QTreeWidgetItem* node) {
    QStringList texts;
    for (int i = 0; i < node->childCount(); ++i) texts << node->child(i)->text(0);
    return texts;
}

TEST_F(AdviceWindow, OtherCategoriesFollowPerformanceWithTheirGroupsAndManualChecksApart) {
    const TGAdviceList list =
        FixtureAdvice("psi13cat/psi13cat_poor_desktop.json", msDesktop, kAllCategories);
    TfmGoogleAdvice window;
    window.FillAdvices(list);
    const QTreeWidget* tree = window.Tree();
    ASSERT_EQ(tree->topLevelItemCount(), 6);
    for (int g = 0; g < 3; ++g) EXPECT_EQ(tree->topLevelItem(g)->text(0), kGroupCaptions[g]);
    EXPECT_EQ(tree->topLevelItem(3)->text(0), "Доступность");
    EXPECT_EQ(tree->topLevelItem(4)->text(0), "Рекомендации");
    EXPECT_EQ(tree->topLevelItem(5)->text(0), "SEO");

    const QTreeWidgetItem* a11y = tree->topLevelItem(3);
    EXPECT_EQ(ChildTexts(a11y),
              (QStringList{"Names and labels", "Contrast", "Internationalization and localization",
                           "Best practices", "Проверьте вручную"}));
    const QTreeWidgetItem* manual = a11y->child(a11y->childCount() - 1);
    EXPECT_EQ(manual->childCount(), 10);
    EXPECT_EQ(TfmGoogleAdvice::NodeData(manual->child(0)).NodeKind, 1);
    // image-alt fails in accessibility and in SEO: listed under each.
    int imageAlt = 0;
    for (QTreeWidgetItem* category : {tree->topLevelItem(3), tree->topLevelItem(5)})
        for (int g = 0; g < category->childCount(); ++g)
            imageAlt += ChildTexts(category->child(g))
                            .filter(QStringLiteral("Image elements do not have"))
                            .size();
    EXPECT_EQ(imageAlt, 2);
    EXPECT_TRUE(tree->topLevelItem(5)->isExpanded());
}

}  // namespace
}  // namespace velmora::app::test
