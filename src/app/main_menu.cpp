#include "app/main_menu.h"

#include <QAction>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>

#include "app/grid_filter.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/translate.h"
#include "app/url_grids.h"

namespace velmora::app {
namespace {

// An item standing for button: shown enabled as the button is when its menu opens; its
// shortcut clicks the button only while the button can act.
QAction* ButtonItem(QMenu* menu, const char* name, const char* text, QPushButton* button,
                    QList<QKeySequence> keys = {}) {
    auto* a = menu->addAction(QString::fromUtf8(text));
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcuts(keys);
    a->setProperty("button", QVariant::fromValue<QObject*>(button));
    QObject::connect(a, &QAction::triggered, button, [button] {
        if (button->isEnabled() && button->isVisible()) button->animateClick();
    });
    return a;
}

// Outside an open menu every item stays enabled, so that its shortcut reaches the handler,
// which decides; an open menu greys what cannot act.
void FollowButtons(QMenu* menu, const std::function<void()>& more = {}) {
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, more] {
        for (QAction* a : menu->actions())
            if (auto* b = qobject_cast<QPushButton*>(a->property("button").value<QObject*>()))
                a->setEnabled(b->isEnabled());
        if (more) more();
    });
    QObject::connect(menu, &QMenu::aboutToHide, menu, [menu] {
        for (QAction* a : menu->actions()) a->setEnabled(true);
    });
}

QMenu* Menu(TfmMain& window, const char* name, const char* title) {
    QMenu* menu = window.menuBar()->addMenu(QString::fromUtf8(title));
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

}  // namespace

void CreateMainMenu(TfmMain& window) {
    const TfmMain::TUi& ui = window.Ui();
    window.menuBar()->setObjectName(QStringLiteral("mmMain"));

    QMenu* file = Menu(window, "pmFile", N_("&Файл"));
    ButtonItem(file, "miMenuPaste", N_("Вставить из буфера"), ui.btInsertURLs4Clip);
    ButtonItem(file, "miMenuImportTXT", N_("Импорт URL из txt..."), ui.btImportURLs4TXT,
               {QKeySequence(Qt::CTRL | Qt::Key_O)});
    ButtonItem(file, "miMenuImportXML", N_("Импорт URL из xml..."), ui.btImportURLs4XML);
    ButtonItem(file, "miMenuImportWeb", N_("Импорт URL по адресу..."), ui.btImportURLs4Web);
    ButtonItem(file, "miMenuImportCrawl", N_("Найти страницы обходом сайта…"),
               ui.btImportURLs4Crawl);
    file->addSeparator();
    ButtonItem(file, "miMenuExport", N_("Экспорт..."), ui.btExport,
               {QKeySequence(Qt::CTRL | Qt::Key_S)});
    ButtonItem(file, "miMenuExportSheet", N_("Экспорт для таблиц..."), ui.btExportSheet,
               {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)});
    ButtonItem(file, "miMenuSaveReport", N_("Сохранить отчёт..."), ui.btSaveReport);
    file->addSeparator();
    QAction* quit = file->addAction(QString::fromUtf8(N_("Выход")));
    quit->setObjectName(QStringLiteral("miMenuQuit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QObject::connect(quit, &QAction::triggered, &window, &QWidget::close);
    FollowButtons(file);

    QMenu* check = Menu(window, "pmCheck", N_("&Проверка"));
    // Enter alone belongs to the focused control (a grid row opens its advice).
    ButtonItem(check, "miMenuRun", N_("Проверить URL"), ui.btRunRequests,
               {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    ButtonItem(check, "miMenuContinue", N_("Продолжить"), ui.btContinueRequests);
    TURLGrids& grids = window.UrlGrids();
    QAction* recheck = check->addAction(QString::fromUtf8(N_("Перепроверить URL с ошибками")));
    recheck->setObjectName(QStringLiteral("miMenuCheckWErrors"));
    recheck->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    QObject::connect(recheck, &QAction::triggered, grids.miCheckWErrors, &QAction::trigger);
    ButtonItem(check, "miMenuAbort", N_("Отмена"), ui.btAbortRequests);
    FollowButtons(check, [recheck, &grids] { recheck->setEnabled(grids.CanRunOrDelete()); });

    QMenu* view = Menu(window, "pmView", N_("&Вид"));
    QAction* filter = view->addAction(QString::fromUtf8(N_("Фильтр")));
    filter->setObjectName(QStringLiteral("miMenuFilter"));
    filter->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    QObject::connect(filter, &QAction::triggered, &window, [&window, &ui] {
        ui.pcPages->setCurrentWidget(ui.tsURLs);
        window.GridFilter().edFilter->setFocus(Qt::ShortcutFocusReason);
        window.GridFilter().edFilter->selectAll();
    });
    // The pages in the order of their tabs.
    const std::pair<const char*, const char*> pages[] = {{"miMenuPageURLs", N_("Список URL")},
                                                         {"miMenuPageParams", N_("Настройки")},
                                                         {"miMenuPageHistory", N_("История")}};
    for (int i = 0; i < static_cast<int>(std::size(pages)); ++i) {
        QAction* a = view->addAction(QString::fromUtf8(pages[i].second));
        a->setObjectName(QString::fromLatin1(pages[i].first));
        a->setShortcut(QKeySequence(Qt::ALT | (Qt::Key_1 + i)));
        QObject::connect(a, &QAction::triggered, &window,
                         [&ui, i] { ui.pcPages->setCurrentIndex(i); });
    }
}

}  // namespace velmora::app
