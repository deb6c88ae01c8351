// Start-up, settings file and interface language of the main window.
#include "app/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QUrl>

#include "app/grid_model.h"
#include "app/news_browser.h"
#include "app/score_chart.h"
#include "app/translate.h"
#include "app/url_grid.h"
#include "app/web_links.h"
#include "base/decimal_separator.h"
#include "base/translate.h"
#include "engine/metrica.h"
#include "io/codepage.h"
#include "io/import_texts.h"
#include "io/settings.h"
#include "io/translation.h"
#include "io/url_import.h"

namespace velmora::app {
namespace {

std::vector<std::string> ToStd(const QStringList& list) {
    std::vector<std::string> out;
    for (const QString& s : list) out.push_back(s.toStdString());
    return out;
}

}  // namespace

TfmMain::TfmMain(TAppOptions options, QWidget* parent)
    : QMainWindow(parent), FOptions(std::move(options)) {
    if (!FOptions.AppDir.isEmpty() && !FOptions.AppDir.endsWith('/')) FOptions.AppDir += '/';
    if (FOptions.CatalogueDirs.isEmpty())
        FOptions.CatalogueDirs = DefaultCatalogueDirs(FOptions.AppDir);
    CreateComponents();
    ConnectHandlers();
    SetTabOrder();
    FormCreate();
}

TfmMain::~TfmMain() {
    // Workers still running would post into a window that is gone and use the pool it owns.
    ShutdownRun();
    FController.reset();
}

void TfmMain::FormCreate() {
    FTranslator.Exclude(QStringLiteral("cbAppLang"));
    FTranslator.Exclude(QStringLiteral("lbVersion"));
    FTranslator.Exclude(QStringLiteral("NewsBrowser"));
    FTranslator.Exclude(QStringLiteral("crtURLScore"));
    // Its text is the selected metric's description, put in at run time.
    FTranslator.Exclude(QStringLiteral("lbMetricaDescr"));
    i18n::InitTranslation(ToStd(FOptions.CatalogueDirs));
    FSysLangId = i18n::SystemLanguageId();
    FSettingsPath =
        FOptions.SettingsPath.isEmpty()
            ? QString::fromStdString(io::SettingsFilePath(FOptions.AppDir.toStdString()))
            : FOptions.SettingsPath;

    FWorkerConfig.Sink = this;
    FWorkerConfig.DecimalSeparator =
        DecimalSeparatorOf(QLocale::system().decimalPoint().toStdString());
    // The workers and the run control wait for FormShow, which knows the endpoint.
}

void TfmMain::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (FShown) return;
    FShown = true;
    if (QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    FormShow();
}

void TfmMain::FormShow() {
    const io::TSettingsValues settings = io::LoadSettings(FSettingsPath.toStdString());
    // Each value goes into its control; a control that changes sets its marker.
    if (settings.FileExists) {
        edMaxTreads->setValue(settings.MaxThreads);
        edMinReqDelay->setValue(settings.ReqPredelay);
        cbImpNoClearURLs->setChecked(settings.ImportNoClear);
    }
    // The endpoint: the command line first, then the file, then the service.
    FWorkerConfig.Endpoint = !FOptions.Endpoint.isEmpty() ? FOptions.Endpoint.toStdString()
                             : !settings.Endpoint.empty() ? settings.Endpoint
                                                          : std::string(kDefaultEndpoint);
    FWorkers = std::make_unique<TThreadWorkerFactory>(FWorkerConfig);
    FController = std::make_unique<CheckRunController>(*this, FMaster, *FWorkers, [this] {
        TRunSettings s;
        s.ApiKey = edAPIKey->text().toStdString();
        s.MaxThreads = edMaxTreads->value();
        s.MinReqDelay = edMinReqDelay->value();
        return s;
    });

    pcPages->setCurrentWidget(tsParams);
    FillMetricsList();
    edAPIKey->setText(QString::fromStdString(settings.ApiKey));
    pcPages->setCurrentWidget(tsURLs);

    cbAppLang->clear();
    for (const TAppLangInfo& lang : AppLangTable)
        cbAppLang->addItem(
            QString::fromUtf8(lang.Name.data(), static_cast<int>(lang.Name.size())),
            QString::fromLatin1(lang.Code.data(), static_cast<int>(lang.Code.size())));
    QString stored = QString::fromStdString(settings.Lang);
    if (!FOptions.LangOverride.isEmpty()) stored = FOptions.LangOverride;
    cbAppLang->setCurrentIndex(
        static_cast<int>(i18n::InterfaceLanguageRow(stored.toStdString(), FSysLangId)));
    ApplyLanguage();

    pcStrategy->setCurrentWidget(tsURLsM);
    AddMetricColumns(vtURLsM);
    pcStrategy->setCurrentWidget(tsURLsD);
    AddMetricColumns(vtURLsD);

    pcBottom->setCurrentWidget(tsNews);
    FNewsUrl = NewsAddress();
    NewsBrowser->Load(QUrl(FNewsUrl));

    UpdateURLListCaption();
    UpdateScoreChart();
    crtURLScore->SetBackgroundByTheme(Panel1->palette().color(QPalette::Window));
    // Connected only now, so the tab switches of the start-up itself refresh nothing.
    connect(pcStrategy, &QTabWidget::currentChanged, this, &TfmMain::pcStrategyChange);
    connect(pcPages, &QTabWidget::currentChanged, this, &TfmMain::pcPagesChange);

    lbVersion->setText(lbVersion->text() + QStringLiteral("%1.%2.%3.%4")
                                               .arg(VELMORA_VERSION_MAJOR)
                                               .arg(VELMORA_VERSION_MINOR)
                                               .arg(VELMORA_VERSION_PATCH)
                                               .arg(VELMORA_VERSION_TWEAK + 0));
    TMsgForLog* first = new TMsgForLog{Tr("Запуск программы"), std::chrono::system_clock::now()};
    TWorkerEvent ev;
    ev.Id = WM_TASK_LOG;
    ev.Log.reset(first);
    Post(std::move(ev));
    // Queued behind the start-up line, so the log keeps the order of events.
    if (!FOptions.UrlsFile.isEmpty())
        QMetaObject::invokeMethod(
            this, [this] { LoadUrlsFromTextFile(FOptions.UrlsFile); }, Qt::QueuedConnection);
}

QString TfmMain::SelectedLangCode() const {
    return cbAppLang->currentData().toString();
}

void TfmMain::ApplyLanguage() {
    UseInterfaceLanguage(SelectedLangCode());
    // The first call remembers the design texts, every later one translates them again.
    FTranslator.TranslateComponent(this);
    FModelD->Retranslate();
    FModelM->Retranslate();
    FWindowTranslated = true;
}

void TfmMain::cbAppLangChange() {
    ApplyLanguage();
    UpdateURLListCaption();
    FChartNeedsRelabel = true;
    const TResult<> written =
        io::SaveLang(FSettingsPath.toStdString(), SelectedLangCode().toStdString());
    if (!written)
        QMessageBox::critical(this, windowTitle(), QString::fromStdString(written.Error()));
}

void TfmMain::MarkChanged(QWidget* control) {
    control->setProperty("Tag", 1);
}
void TfmMain::edAPIKeyChange() {
    MarkChanged(edAPIKey);
}
void TfmMain::edMaxTreadsChange() {
    MarkChanged(edMaxTreads);
}
void TfmMain::edMinReqDelayChange() {
    MarkChanged(edMinReqDelay);
}
void TfmMain::cbImpNoClearURLsClick() {
    MarkChanged(cbImpNoClearURLs);
}

bool TfmMain::FormClose() {
    if (FClosed) return true;
    FClosed = true;
    // Running workers use the pool and post to this window; they end before anything goes.
    ShutdownRun();
    bool saved = true;
    const bool changed = edAPIKey->property("Tag").toInt() == 1 ||
                         edMaxTreads->property("Tag").toInt() == 1 ||
                         edMinReqDelay->property("Tag").toInt() == 1 ||
                         cbImpNoClearURLs->property("Tag").toInt() == 1;
    if (changed) {
        io::TSettingsValues values;
        values.ApiKey = edAPIKey->text().toStdString();
        values.MaxThreads = edMaxTreads->value();
        values.ReqPredelay = edMinReqDelay->value();
        values.ImportNoClear = cbImpNoClearURLs->isChecked();
        const TResult<> written = io::SaveParams(FSettingsPath.toStdString(), values);
        saved = written.Ok();
        // The window closes anyway; the user has been told what was lost.
        if (!saved)
            QMessageBox::critical(this, windowTitle(), QString::fromStdString(written.Error()));
    }
    FMaster.Clear();
    FModelD->Reload();
    FModelM->Reload();
    NewsBrowser->setParent(nullptr);
    NewsBrowser->deleteLater();
    NewsBrowser = nullptr;
    return saved;
}

void TfmMain::closeEvent(QCloseEvent* e) {
    FormClose();
    e->accept();
}

void TfmMain::FillMetricsList() {
    lvMetrics->setRowCount(0);
    int num = 0;
    for (const TMetricaInfo& m : MetricaTable) {
        ++num;
        const QString caption =
            QString::fromUtf8(m.Caption.data(), static_cast<int>(m.Caption.size()));
        const QString shortName =
            QString::fromUtf8(m.ShortName.data(), static_cast<int>(m.ShortName.size()));
        const int row = lvMetrics->rowCount();
        lvMetrics->insertRow(row);
        auto* numItem = new QTableWidgetItem(QString::number(num));
        numItem->setData(Qt::UserRole, num);
        lvMetrics->setItem(row, 0, numItem);
        lvMetrics->setItem(
            row, 1,
            new QTableWidgetItem(
                shortName.isEmpty() ? caption : QStringLiteral("%1 (%2)").arg(caption, shortName)));
    }
    lvMetrics->selectRow(0);
    sgMetricsClick();
}

void TfmMain::sgMetricsClick() {
    const auto rows = lvMetrics->selectionModel()->selectedRows();
    if (rows.isEmpty()) return;
    const int num = lvMetrics->item(rows.first().row(), 0)->data(Qt::UserRole).toInt();
    if (num < 1 || num > static_cast<int>(MetricaTable.size())) return;
    const auto& descr = MetricaTable[static_cast<size_t>(num - 1)].Descr;
    lbMetricaDescr->setText(QStringLiteral(" ") +
                            QString::fromUtf8(descr.data(), static_cast<int>(descr.size())));
}

QString TfmMain::NewsAddress() const {
    if (!FOptions.NewsBaseUrl.isEmpty()) {
        QString base = FOptions.NewsBaseUrl;
        // A bare host gets the news path; a full address is taken as it is.
        if (QUrl(base).path().isEmpty() || QUrl(base).path() == QLatin1String("/")) {
            while (base.endsWith('/')) base.chop(1);
            base += QString::fromLatin1(kPathNews);
        }
        return base;
    }
    return WebAddress(SelectedLangCode(), kPathNews);
}

void TfmMain::OpenWebPage(const char* path) {
    QDesktopServices::openUrl(QUrl(WebAddress(SelectedLangCode(), path)));
}
void TfmMain::lbGotoKeySiteLinkClick() {
    OpenWebPage(kPathApiKeyArticle);
}
void TfmMain::lbGotoSiteLinkClick() {
    OpenWebPage(kPathProgramPage);
}
void TfmMain::Label5LinkClick() {
    OpenWebPage("/");
}

bool TfmMain::LoadUrlsFromTextFile(const QString& path) {
    const std::string codepage = io::AnsiCodePageFor(SelectedLangCode().toStdString());
    const TResult<std::vector<std::string>> read =
        io::ReadTextFileUrls(path.toStdString(), codepage);
    if (!read) {
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(read.Error()));
        return false;
    }
    const io::TImportStats stats = io::AddURLTasks(FMaster, *read);
    FModelD->Reload();
    FModelM->Reload();
    if (stats.limitReached) QMessageBox::information(this, windowTitle(), TrQ(io::kMsgUrlLimit));
    UpdateRunButtons();
    UpdateURLListCaption();
    AddToLog(TrQ(io::kLogDataLoaded));
    return true;
}

void TfmMain::UpdateURLListCaption() {
    const QString caption =
        FMaster.Empty() ? TrQ(" Список URL ")
                        : QString::fromStdString(FormatLog(Tr(" Список URL (%d) "),
                                                           static_cast<int32_t>(FMaster.Count())));
    pcPages->setTabText(pcPages->indexOf(tsURLs), caption);
}

void TfmMain::AddMetricColumns(QTableView* grid) {
    // The grid model already carries the metric columns; only their widths are set here.
    TURLGrids::AddMetricColumns(grid);
}

}  // namespace velmora::app
