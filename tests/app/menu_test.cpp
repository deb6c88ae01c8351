// The menu bar and the names a screen reader hears: every action of the program with its
// shortcut, Alt mnemonics in both languages, and each control named after its own label.
#include <QAccessible>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include "app/across_pages.h"
#include "app/grid_filter.h"
#include "app/history_page.h"
#include "app/score_chart.h"
#include "app/url_grids.h"
#include "support/window_env.h"

namespace velmora::app::test {
namespace {

// "menu/item shortcut" for every item of the menu bar that has a shortcut, in menu order.
QStringList Shortcuts(QMenuBar* bar) {
    QStringList out;
    for (QAction* m : bar->actions())
        if (QMenu* menu = m->menu())
            for (QAction* a : menu->actions())
                for (const QKeySequence& k : a->shortcuts())
                    out << menu->objectName() + "/" + a->objectName() + " " +
                               k.toString(QKeySequence::PortableText);
    return out;
}

TEST(Menu, EveryShortcutOfTheProgramIsInTheMenuBar) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());
    EXPECT_EQ(Shortcuts(w->menuBar()),
              (QStringList{"pmFile/miMenuImportTXT Ctrl+O", "pmFile/miMenuExport Ctrl+S",
                           "pmFile/miMenuExportSheet Ctrl+Shift+S", "pmFile/miMenuQuit Ctrl+Q",
                           "pmCheck/miMenuRun Ctrl+Return", "pmCheck/miMenuRun Ctrl+Enter",
                           "pmCheck/miMenuCheckWErrors Ctrl+Shift+R", "pmView/miMenuFilter Ctrl+F",
                           "pmView/miMenuPageURLs Alt+1", "pmView/miMenuPageParams Alt+2",
                           "pmView/miMenuPageHistory Alt+3"}));
}

struct TMnemonicCase {
    const char* Lang;
    QStringList Titles;
};

class Mnemonics : public ::testing::TestWithParam<TMnemonicCase> {};

TEST_P(Mnemonics, EveryMenuHasOneInTheInterfaceLanguage) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    dir.WriteIni(QByteArray("[PARAMS]\r\nlang=") + GetParam().Lang + "\r\n");
    auto w = ShowWindow(dir.Options());
    QStringList titles;
    for (QAction* m : w->menuBar()->actions()) titles << m->text();
    EXPECT_EQ(titles, GetParam().Titles);
    if (QByteArray(GetParam().Lang) != "en") return;
    // The menu open, as a user looking for a command sees it.
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QMenu* file = w->menuBar()->findChild<QMenu*>("pmFile");
    w->menuBar()->setActiveAction(file->menuAction());
    ASSERT_TRUE(WaitFor([&] { return file->isVisible(); }));
    Shoot(w.get(), "screenshot-shortcuts-menu.png");
    file->close();
}

INSTANTIATE_TEST_SUITE_P(Languages, Mnemonics,
                         ::testing::Values(TMnemonicCase{"ru", {"&Файл", "&Проверка", "&Вид"}},
                                           TMnemonicCase{"en", {"&File", "&Check", "&View"}}));

TEST(Menu, ShortcutsOpenTheImportAndTheFilter) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QStringList asked;
    w->UrlGrids().Dialogs.OpenFileName = [&](const QString& title, const QString&, const QString&) {
        asked << title;
        return QString();
    };
    w->Ui().pcPages->setCurrentWidget(w->Ui().tsParams);
    QTest::keySequence(w.get(), QKeySequence(Qt::CTRL | Qt::Key_F));
    EXPECT_EQ(w->Ui().pcPages->currentWidget(), w->Ui().tsURLs);
    EXPECT_EQ(QApplication::focusWidget(), w->GridFilter().edFilter);
    QTest::keySequence(w.get(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_TRUE(WaitFor([&] { return asked.size() == 1; }, 2000)) << "Ctrl+O imports a text file";
    QTest::keySequence(w.get(), QKeySequence(Qt::ALT | Qt::Key_3));
    EXPECT_EQ(w->Ui().pcPages->currentWidget(), w->Ui().tsHistory);
}

// What a screen reader says for a control: its accessible interface's name.
QString SpokenName(QWidget* w) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    return i ? i->text(QAccessible::Name) : QString();
}

// Every control Tab reaches on any page, every table and the chart has a name of its own: not
// empty and not the title of the group it stands in.
TEST(Accessibility, EveryControlTableAndChartHasANameOfItsOwn) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    dir.WriteIni("[PARAMS]\r\nlang=ru\r\n");
    auto w = ShowWindow(dir.Options());
    QStringList unnamed, tableNames;
    for (QWidget* c : w->findChildren<QWidget*>()) {
        const bool table = qobject_cast<QAbstractItemView*>(c) != nullptr;
        const bool control = (c->focusPolicy() & Qt::TabFocus) && !c->focusProxy() &&
                             !c->objectName().isEmpty() && !c->objectName().startsWith("qt_");
        if (!table && !control && c != w->Ui().crtURLScore) continue;
        // Popups (a combo box's list, a menu) are windows of their own, named by their owner.
        if (c->window() != w.get() || c->objectName().isEmpty()) continue;
        const QString name = SpokenName(c);
        bool groupTitle = false;
        for (QWidget* p = c->parentWidget(); p; p = p->parentWidget())
            if (auto* g = qobject_cast<QGroupBox*>(p); g && name == g->title().trimmed())
                groupTitle = true;
        if (name.trimmed().isEmpty() || groupTitle)
            unnamed << c->objectName() + " \"" + name + "\"";
        if (table && !c->objectName().startsWith("qt_")) tableNames << name;
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
    tableNames.removeDuplicates();
    EXPECT_GE(tableNames.size(), 8) << tableNames.join(", ").toStdString();
    EXPECT_EQ(SpokenName(w->Ui().edMaxTreads), "Количество потоков");
    EXPECT_EQ(SpokenName(w->Ui().vtURLsM), "Результаты: мобильные");
}

// The service's address in force is on the settings page, never editable there; one that is not
// the service's own also stands in the status bar.
struct TEndpointCase {
    const char* Option;
    const char* Shown;
    bool Noted;
};

class Endpoint : public ::testing::TestWithParam<TEndpointCase> {};

TEST_P(Endpoint, IsShownOnTheSettingsPageAndNotedWhenNotTheService) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    TAppOptions o = dir.Options();
    o.Endpoint = QString::fromLatin1(GetParam().Option);
    auto w = ShowWindow(o);
    EXPECT_EQ(w->Ui().edEndpoint->text(), GetParam().Shown);
    EXPECT_TRUE(w->Ui().edEndpoint->isReadOnly());
    EXPECT_EQ(SpokenName(w->Ui().edEndpoint), "Service address");
    QLabel* note = w->Ui().lbEndpointNote;
    EXPECT_EQ(note != nullptr && note->isVisible(), GetParam().Noted);
    if (note) {
        EXPECT_EQ(note->text(), GetParam().Shown);
    }
}

INSTANTIATE_TEST_SUITE_P(Addresses, Endpoint,
                         ::testing::Values(TEndpointCase{"", "https://www.googleapis.com", false},
                                           TEndpointCase{"http://127.0.0.1:9/",
                                                         "http://127.0.0.1:9", true}));

}  // namespace
}  // namespace velmora::app::test
