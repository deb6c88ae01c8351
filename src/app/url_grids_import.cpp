// The URL imports of the window: text file (button and start-up option), sitemap, clipboard.
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>

#include "app/crawl_dialog.h"
#include "app/grid_model.h"
#include "app/history_page.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/sitemap_address_dialog.h"
#include "app/translate.h"
#include "app/url_grids.h"
#include "base/translate.h"
#include "io/codepage.h"
#include "io/import_texts.h"
#include "io/settings.h"
#include "io/sitemap.h"
#include "io/sitemap_fetch.h"
#include "io/url_import.h"
#include "session/run_session.h"

namespace velmora::app {
namespace {

// Any *.xml file may be a sitemap, whatever it is called.
constexpr const char* kSitemapFilterMask = "*.xml";

// The file the user picks to import from; empty when cancelled or when no dialog is set up.
// The filter shows the translated filterName with filterMask, and "All files" beside it.
QString AskFileName(const TDialogs& dialogs, const QString& dir, const char* title,
                    const char* filterName, const char* filterMask) {
    if (!dialogs.OpenFileName) return QString();
    const QString filter = TrQ(filterName) + QStringLiteral(" (") +
                           QString::fromLatin1(filterMask) + QStringLiteral(");;") +
                           TrQ("Все файлы") + QStringLiteral(" (*)");
    return dialogs.OpenFileName(TrQ(title), dir, filter);
}

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString ImportQuestion(const TURLTaskInfoList& list) {
    size_t checked = 0;
    for (size_t i = 0; i < list.Count(); ++i) checked += list[i].TaskResults != nullptr;
    QString text = TrQ("В списке уже есть URL: %1. Добавить к ним новые или заменить список?")
                       .arg(list.Count());
    if (checked) text += QLatin1Char(' ') + TrQ("С результатами проверки: %1.").arg(checked);
    return text + QLatin1Char(' ') + TrQ("Ctrl+Z вернёт список, как он был.");
}

// ". Added: n; skipped - duplicates: n, ..." with only the reasons that occurred: one log line
// of the import module's own counts.
QString ReportText(const io::TImportReport& r) {
    QString text = TrQ(". Добавлено: %1").arg(r.added);
    if (r.assumedHttps) text += TrQ(" (без схемы, с https://: %1)").arg(r.assumedHttps);
    QStringList skipped;
    auto reason = [&skipped](const char* name, size_t n) {
        if (n) skipped << TrQ(name).arg(n);
    };
    reason("повторы: %1", r.duplicates);
    reason("ресурсные файлы: %1", r.resourceFiles);
    reason("не http(s): %1", r.notHttp);
    reason("строки с управляющими символами: %1", r.badLines);
    reason("слишком длинные: %1", r.tooLong);
    reason("не URL: %1", r.notUrls);
    reason("комментарии: %1", r.comments);
    reason("пустые строки: %1", r.empty);
    reason("сверх лимита: %1", r.overLimit);
    if (!skipped.isEmpty()) text += TrQ("; пропущено — %1").arg(skipped.join(QStringLiteral(", ")));
    return text;
}

}  // namespace

namespace {
const char* DirKey(int kind) {
    static const char* const keys[] = {io::kKeyDirUrls, io::kKeyDirExports, io::kKeyDirReports};
    return keys[kind];
}
}  // namespace

QString TURLGrids::DialogDir(TFileKind kind) {
    QString& dir = FDialogDirs[static_cast<int>(kind)];
    if (dir.isEmpty() && FWindow.KeepsSettings())
        dir = QString::fromStdString(
            io::LoadDialogDir(FWindow.SettingsPath().toStdString(), DirKey(int(kind))));
    // The program's own folder holds nothing of the user's.
    return !dir.isEmpty() && QDir(dir).exists() ? dir : QDir::homePath();
}

void TURLGrids::RememberDialogDir(TFileKind kind, const QString& chosenFile) {
    const QString dir = QFileInfo(chosenFile).absolutePath();
    QString& kept = FDialogDirs[static_cast<int>(kind)];
    if (dir == kept) return;
    kept = dir;
    if (!FWindow.KeepsSettings()) return;
    const TResult<> written = io::SaveDialogDir(FWindow.SettingsPath().toStdString(),
                                                DirKey(int(kind)), dir.toStdString());
    if (!written) FWindow.AddToLog(QString::fromStdString(written.Error()));
}

QString TURLGrids::ImportCodePage() const {
    return QString::fromStdString(io::AnsiCodePageFor(FWindow.SelectedLangCode().toStdString()));
}

bool TURLGrids::RunImport(const std::vector<std::string>& urls, const char* logText, bool progress,
                          int progressMax, int progressEnd, const std::string& source) {
    TURLGridModel* models[] = {FWindow.GridModel(msDesktop), FWindow.GridModel(msMobile)};
    TURLTaskInfoList& master = FWindow.Master();
    bool replace = false;
    if (!master.Empty()) {
        const TImportChoice proposed =
            FWindow.KeepUrlsOnImport() ? TImportChoice::Add : TImportChoice::Replace;
        const TImportChoice choice = Dialogs.ChooseImport
                                         ? Dialogs.ChooseImport(ImportQuestion(master), proposed)
                                         : proposed;
        if (choice == TImportChoice::Cancel) return false;
        replace = choice == TImportChoice::Replace;
        FWindow.SetKeepUrlsOnImport(!replace);
    }
    // Ctrl+Z puts the list back as it is now.
    ForgetUndo();
    for (size_t i = 0; i < master.Count(); ++i)
        FUndo.push_back(
            {master[i].URL, replace, replace ? std::move(master[i].TaskResults) : nullptr});
    const size_t keptCount = replace ? 0 : master.Count();
    FWindow.Ui().tsHistory->ForgetOpenedRun();
    for (TURLGridModel* m : models) m->BeginBulkUpdate();
    if (replace) {
        for (TURLGridModel* m : models) m->ClearRows();
        master.Clear();
    }
    io::TImportProgress showProgress;
    if (progress) {
        FWindow.ShowProgress(true);
        FWindow.SetProgressMax(progressMax);
        FWindow.SetProgressPos(0);
        showProgress = [this](size_t done, size_t) {
            FWindow.SetProgressPos(static_cast<int>(done));
        };
    }
    const io::TImportReport counts = io::AddURLTasks(master, urls, {}, showProgress);
    // The bar stops where the limit stopped the feeding.
    const size_t fed = urls.size() - counts.overLimit;
    const bool limitReached = counts.LimitReached();
    if (progress) FWindow.SetProgressPos(limitReached ? static_cast<int>(fed) : progressEnd);
    FUndoAdded = master.Count() - keptCount;
    // A list added to another has no one source.
    if (FWindow.Session()) FWindow.Session()->SetSource(keptCount == 0 ? source : std::string());
    for (TURLGridModel* m : models) m->EndBulkUpdate();
    // Shown once the grids are whole again, since the box runs its own event loop.
    if (limitReached)
        Message(QMessageBox::Information,
                QString::fromStdString(FormatLog(Tr(io::kMsgUrlLimitLeftOut),
                                                 static_cast<int32_t>(counts.overLimit))));
    FWindow.UpdateRunButtons();
    FWindow.UpdateURLListCaption();
    FWindow.UpdateScoreChart();
    if (progress) FWindow.ShowProgress(false);
    // Where the user looks after an import, not only in the log behind the news.
    const QString report = TrQ(logText) + ReportText(counts);
    FWindow.AddToLog(report);
    FWindow.ShowStatus(report);
    return true;
}

void TURLGrids::btImportURLs4TXTClick() {
    if (FWindow.Running()) return;
    const QString path = AskFileName(Dialogs, DialogDir(TFileKind::Urls), io::kDlgImportTxtTitle,
                                     io::kDlgImportTxtFilterName, io::kDlgImportTxtFilterMask);
    if (path.isEmpty()) return;
    RememberDialogDir(TFileKind::Urls, path);
    ImportTextFile(path);
}

bool TURLGrids::ImportTextFile(const QString& path) {
    if (!QFileInfo::exists(path)) {
        Message(QMessageBox::Warning, TrQ(io::kMsgImportFileNotFound));
        return false;
    }
    // Read before the bracket: a file that cannot be read must not cost the current list.
    const TResult<std::vector<std::string>> read =
        io::ReadTextFileUrls(LocalPath(path), ImportCodePage().toStdString());
    if (!read) {
        Message(QMessageBox::Warning, QString::fromStdString(read.Error()));
        return false;
    }
    RunImport(*read, io::kLogDataLoaded, false, 0, 0,
              QFileInfo(path).absoluteFilePath().toStdString());
    return true;
}

void TURLGrids::btImportURLs4XMLClick() {
    if (FWindow.Running()) return;
    const QString path = AskFileName(Dialogs, DialogDir(TFileKind::Urls), io::kDlgImportXmlTitle,
                                     io::kDlgImportXmlFilterName, kSitemapFilterMask);
    if (path.isEmpty()) return;
    RememberDialogDir(TFileKind::Urls, path);
    // Parsed whole first: a file that is no sitemap leaves the list and its results alone.
    const TResult<io::TSitemap> sitemap = io::ParseSitemap(LocalPath(path));
    if (!sitemap) {
        Message(QMessageBox::Warning, QString::fromStdString(sitemap.Error()));
        return;
    }
    if (sitemap->isIndex) {
        // An index names its files; they are read (and left out) as a web index's are.
        const TResult<io::TSitemapLoad> load = io::LoadSitemap(LocalPath(path), {});
        if (!load) {
            Message(QMessageBox::Warning, QString::fromStdString(load.Error()));
            return;
        }
        ImportLoadedSitemap(*load, QFileInfo(path).absoluteFilePath().toStdString());
        return;
    }
    RunImport(sitemap->locs, io::kLogDataLoaded, true,
              static_cast<int>(std::min<size_t>(sitemap->urlsetChildCount, INT_MAX)),
              static_cast<int>(std::min<size_t>(sitemap->urlWithLocCount, INT_MAX)),
              QFileInfo(path).absoluteFilePath().toStdString());
}

void TURLGrids::btImportURLs4WebClick() {
    if (FWindow.Running()) return;
    TSitemapAddressDialog dialog(&FWindow);
    if (dialog.exec() != QDialog::Accepted) return;
    ImportLoadedSitemap(dialog.Loaded(), dialog.edSitemapAddress->text().trimmed().toStdString());
}

void TURLGrids::btImportURLs4CrawlClick() {
    if (FWindow.Running()) return;
    TCrawlDialog dialog(&FWindow);
    if (dialog.exec() != QDialog::Accepted) return;
    for (const std::string& line : io::CrawlReportLines(dialog.Found()))
        FWindow.AddToLog(QString::fromStdString(line));
    RunImport(dialog.Found().urls, io::kLogDataLoaded, false, 0, 0,
              dialog.edCrawlAddress->text().trimmed().toStdString());
}

void TURLGrids::ImportLoadedSitemap(const io::TSitemapLoad& load, const std::string& source) {
    for (const std::string& line : load.leftOut) FWindow.AddToLog(QString::fromStdString(line));
    RunImport(load.urls, io::kLogDataLoaded, false, 0, 0, source);
}

void TURLGrids::btInsertURLs4ClipClick() {
    if (FWindow.Running()) return;
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (!mime || !mime->hasText()) return;
    RunImport(io::SplitClipboardText(mime->text().toStdString()), io::kLogDataPasted, false, 0, 0);
}

}  // namespace velmora::app
