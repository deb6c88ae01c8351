// The two result grids of the main window around their models: view set-up, header clicks,
// the popup menu pmURLs with its shortcuts, delete, advice and the service's web page
// (url_grids.cpp); also the URL imports (url_grids_import.cpp) and the CSV export
// (url_grids_export.cpp), which act on them.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/confirm_loss.h"
#include "engine/tasks.h"
#include "history/history_store.h"
#include "io/sitemap_fetch.h"

class QAction;
class QMenu;
class QTableView;

namespace velmora::app {

class TfmMain;
class TfmGoogleAdvice;
class TURLGridModel;

// The address of the service's page for one URL; the percent-encoded URL follows directly.
inline constexpr const char* kPageSpeedWebPage =
    "https://developers.google.com/speed/pagespeed/insights/?url=";

// The window's dialogs, replaceable so tests answer them without a modal loop. The defaults
// use QFileDialog, QMessageBox, QDesktopServices and the advice window.
struct TDialogs {
    // Returns the chosen file, or an empty text when the user cancelled.
    std::function<QString(const QString& title, const QString& dir, const QString& filter)>
        OpenFileName;
    // Asks before it replaces an existing file.
    std::function<QString(const QString& title, const QString& proposedPath, const QString& filter)>
        SaveFileName;
    std::function<void(QMessageBox::Icon icon, const QString& text, const QString& details)>
        Message;
    std::function<void(const QUrl& address)> OpenUrl;
    // errorLine: why the row failed, shown first; empty for a row that did not fail. trend:
    // the row's URL's score over the kept runs, oldest first.
    std::function<void(const TGAdviceList& list, const QString& errorLine,
                       const std::vector<history::IHistoryStore::TScorePoint>& trend)>
        ShowAdvices;
    // Asks before results are lost; true to go on. *dontAskAgain: the user's tick.
    std::function<bool(const QString& text, bool* dontAskAgain)> Confirm;
    // Whether an import adds to the listed URLs or replaces them; proposed is the default.
    std::function<TImportChoice(const QString& text, TImportChoice proposed)> ChooseImport;
    // A yes-or-no question whose default (Enter and Esc) is no; true for yes.
    std::function<bool(const QString& text)> Ask;
    // One line of text, shown with text first; a null text when the user cancelled.
    std::function<QString(const QString& title, const QString& label, const QString& text)> AskText;
    // A desktop notification: through the system tray where there is one, else nothing.
    std::function<void(const QString& title, const QString& text)> Notify;
};

class TURLGrids : public QObject {
    Q_OBJECT
  public:
    // Sets up the window's two grids and wires them and their menu. Created once, after the
    // window has built its controls.
    TURLGrids(TfmMain& window, QTableView* desktopGrid, QTableView* mobileGrid);

    TDialogs Dialogs;

    QMenu* pmURLs = nullptr;
    QAction* miAdvices = nullptr;
    QAction* miAdvicesSeparator = nullptr;
    QAction* miPaste4Clipboard = nullptr;
    QAction* miCheckSelected = nullptr;
    QAction* miCheckWErrors = nullptr;
    QAction* miContinue = nullptr;  // the rows without a result
    QAction* miOpenInGPSI = nullptr;
    QAction* miDeleteURL = nullptr;
    QAction* miUndoDelete = nullptr;
    QAction* miEditURL = nullptr;  // F2
    QAction* miAddURL = nullptr;   // Ins

    QTableView* Grid(TMetricaStrategy s) const { return FGrids[s]; }
    // The grid on the strategy page that is shown.
    QTableView* ActiveGrid() const;
    TURLGridModel* ModelOf(const QTableView* grid) const;

    // Widths of the twelve metric columns.
    static void SetMetricColumnWidths(QTableView* grid);
    // Shows the score columns of the categories in the set and hides the others'.
    void ShowCategoryColumns(TCategorySet categories);
    // Compared, a cell holds a value and its change: the compared columns widen for that and
    // get their earlier widths back afterwards.
    void FitCompareColumns(bool comparing);

    // --- Events of either grid.
    // Sorts the grid by the clicked column, the other way than the last sort; "Инфо" does not
    // sort.
    void GridHeaderClick(QTableView* grid, int col);
    // Shows the current row's advice, and why its check failed. sender: a grid, or miAdvices
    // for the active grid.
    void GridDoubleClick(QObject* sender);
    void pmURLsPopup();
    void miDeleteURLClick();
    void miOpenInGPSIClick();
    void DeleteRowsByNums(QTableView* grid, const std::vector<int32_t>& nums);
    // Puts the list back as it was before the last delete, import or paste, with its results
    // (Ctrl+Z).
    void miUndoDeleteClick();
    bool CanUndoDelete() const;

    // --- One URL typed in (url_grids_edit.cpp): the current row's changed (F2) or a new one
    // added at the end (Ins), checked as an import checks its lines.
    void miEditURLClick();
    void miAddURLClick();
    // Gives the task numbered num the URL text; false, with the reason shown, when text is
    // refused or the user keeps the results (the task is then unchanged).
    bool EditURL(int32_t num, const QString& text);
    // Appends text as a new task; false, with the reason shown, when it is refused.
    bool AddURL(const QString& text);
    bool CanEditURL() const;
    bool CanAddURL() const;
    // The list was replaced by a run opened or changed by an edit: the last change cannot be
    // undone in it.
    void ForgetUndo() {
        FUndo.clear();
        FUndoAdded = 0;
    }

    // --- Availability of the menu items, evaluated when the menu opens and when a shortcut
    // is pressed.
    bool CanShowAdvices() const;
    bool CanPaste() const;
    bool CanRunOrDelete() const;
    bool CanOpenInGPSI() const;
    // Two kept runs are compared in the grids: they are read-only.
    bool Comparing() const;

    // --- URL import. Every import of the window goes through RunImport, so each one honours
    // the "keep URLs on import" setting and the limit alike.
    void btImportURLs4TXTClick();
    // Imports a text file of URLs, one per line; false when it could not be read (the
    // message has been shown and the list is unchanged).
    bool ImportTextFile(const QString& path);
    void btImportURLs4XMLClick();
    void btImportURLs4WebClick();
    void btImportURLs4CrawlClick();
    void ImportLoadedSitemap(const io::TSitemapLoad& load, const std::string& source);
    void btInsertURLs4ClipClick();

    // --- CSV export of the active grid.
    void btExportClick();
    // Both strategies in one file for spreadsheets, the advice beside it; the dialog names the
    // separator.
    void btExportSheetClick();
    // The HTML report of the shown run, or of the two runs compared.
    void btSaveReportClick();

    // Asks through Dialogs.Confirm unless the user said not to; remembers that answer.
    bool ConfirmLoss(const QString& text);
    // A recheck of selected rows with results asks first; true to go on.
    bool ConfirmRecheckSelected();

  private:
    void SetupGrid(QTableView* grid, bool infoMovable);
    // The edit and add items of the menu and their dialogs' defaults.
    void InitEditing();
    // The URL text as an import would take it; empty, after a message, when it is refused.
    // self: the task being edited, which its own URL does not duplicate.
    std::string AcceptableURL(const QString& text, const TURLTaskInfo* self);
    // Both grids and what depends on the list follow a changed or added task, which becomes
    // the current row.
    void ListChanged(const TURLTaskInfo& task);
    void CreateMenu();
    // The import bracket around feeding urls; logText is untranslated. A list that holds URLs
    // asks whether to add or replace (the answer is kept as the settings' choice); false when
    // the user cancelled (nothing changed).
    // source: where a list it starts came from (a file's absolute path, a sitemap's or a crawl's
    // address), recorded with the run so that a later run of the same source finds it.
    bool RunImport(const std::vector<std::string>& urls, const char* logText, bool progress,
                   int progressMax, int progressEnd, const std::string& source = {});
    QString ImportCodePage() const;
    // Kinds of file whose dialogs each start where the last one of their kind was chosen.
    enum class TFileKind { Urls, Exports, Reports };
    // That folder (kept in the settings file across starts) while it exists, else home.
    QString DialogDir(TFileKind kind);
    void RememberDialogDir(TFileKind kind, const QString& chosenFile);
    void Message(QMessageBox::Icon icon, const QString& text, const QString& details = {});

    TfmMain& FWindow;
    QTableView* FGrids[2];
    TfmGoogleAdvice* FAdviceWindow = nullptr;
    // The list as it was before the last delete, import or paste: every task in order, those
    // gone from the list with their results. The kept ones lead the list now, followed by the
    // FUndoAdded tasks the import appended. Empty when there is nothing to undo.
    struct TUndoEntry {
        std::string URL;
        bool Deleted = false;
        std::unique_ptr<TURLTaskResults> Results;
    };
    std::vector<TUndoEntry> FUndo;
    size_t FUndoAdded = 0;
    std::vector<int> FWidthsBeforeCompare[2];
    // A column drag being undone: the undoing move must not be undone in turn.
    bool FRevertingColumnMove = false;
    // The folders the file dialogs start in, per kind of file (TFileKind).
    QString FDialogDirs[3];
    class QSystemTrayIcon* FTray = nullptr;  // made for the first notification
};

}  // namespace velmora::app
