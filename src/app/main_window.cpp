// Construction, start-up and close of the main window: settings file, language, run control.
#include "app/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QUrl>

#include "app/accessible_names.h"
#include "app/across_pages.h"
#include "app/grid_filter.h"
#include "app/grid_model.h"
#include "app/history_page.h"
#include "app/main_menu.h"
#include "app/main_window_ui.h"
#include "app/news_browser.h"
#include "app/score_chart.h"
#include "app/translate.h"
#include "app/url_grids.h"
#include "app/web_links.h"
#include "base/decimal_separator.h"
#include "base/translate.h"
#include "engine/metrica.h"
#include "engine/worker.h"
#include "io/atomic_file.h"
#include "io/codepage.h"
#include "io/import_texts.h"
#include "io/settings.h"
#include "io/translation.h"
#include "io/url_import.h"
#include "session/run_session.h"

namespace velmora::app {
namespace {

std::vector<std::string> ToStd(const QStringList& list) {
    std::vector<std::string> out;
    for (const QString& s : list) out.push_back(s.toStdString());
    return out;
}

}  // namespace

TfmMain::TfmMain(TAppOptions options, QWidget* parent)
    : QMainWindow(parent), FUi(std::make_unique<TUi>()), FOptions(std::move(options)) {
    if (!FOptions.AppDir.isEmpty() && !FOptions.AppDir.endsWith('/')) FOptions.AppDir += '/';
    if (FOptions.CatalogueDirs.isEmpty())
        FOptions.CatalogueDirs = DefaultCatalogueDirs(FOptions.AppDir);
    CreateComponents();
    ConnectHandlers();
    CreateMainMenu(*this);
    SetTabOrder();
    FormCreate();
}

TfmMain::~TfmMain() {
    // Workers still running would post into a window that is gone and use the pool it owns.
    ShutdownRun();
    // The history's last writes need the master list, which goes after the session.
    FSession.reset();
}

void TfmMain::ConnectHandlers() {
    FUrlGrids = new TURLGrids(*this, FUi->vtURLsD, FUi->vtURLsM);
    connect(FUi->btImportURLs4TXT, &QPushButton::clicked, FUrlGrids,
            &TURLGrids::btImportURLs4TXTClick);
    connect(FUi->btImportURLs4XML, &QPushButton::clicked, FUrlGrids,
            &TURLGrids::btImportURLs4XMLClick);
    connect(FUi->btImportURLs4Web, &QPushButton::clicked, FUrlGrids,
            &TURLGrids::btImportURLs4WebClick);
    connect(FUi->btImportURLs4Crawl, &QPushButton::clicked, FUrlGrids,
            &TURLGrids::btImportURLs4CrawlClick);
    connect(FUi->btInsertURLs4Clip, &QPushButton::clicked, FUrlGrids,
            &TURLGrids::btInsertURLs4ClipClick);
    connect(FUi->btExport, &QPushButton::clicked, FUrlGrids, &TURLGrids::btExportClick);
    connect(FUi->btExportSheet, &QPushButton::clicked, FUrlGrids, &TURLGrids::btExportSheetClick);
    connect(FUi->btSaveReport, &QPushButton::clicked, FUrlGrids, &TURLGrids::btSaveReportClick);
    connect(FUi->btRunRequests, &QPushButton::clicked, this, &TfmMain::btRunRequestsClick);
    connect(FUi->btContinueRequests, &QPushButton::clicked, this,
            &TfmMain::btContinueRequestsClick);
    connect(FUi->btAbortRequests, &QPushButton::clicked, this, &TfmMain::btAbortRequestsClick);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, [this] {
        // The pages chosen on the "Across pages" tab go back to all first.
        if (FGridFilter->HasPages()) return FGridFilter->ClearPages();
        // Esc also closes dialogs: a second press out of habit must not end the run unasked.
        if (!FUi->btAbortRequests->isEnabled() || !FUi->btAbortRequests->isVisible()) return;
        if (FUrlGrids->Dialogs.Ask &&
            FUrlGrids->Dialogs.Ask(TrQ("Прервать проверку? Уже полученные результаты сохранятся.")))
            btAbortRequestsClick();
    });

    connect(FUi->edAPIKey, &QLineEdit::textChanged, this, &TfmMain::edAPIKeyChange);
    connect(FUi->btShowAPIKey, &QPushButton::toggled, this, &TfmMain::btShowAPIKeyClick);
    connect(FUi->edMaxTreads, &QSpinBox::textChanged, this, &TfmMain::edMaxTreadsChange);
    connect(FUi->edMinReqDelay, &QSpinBox::textChanged, this, &TfmMain::edMinReqDelayChange);
    connect(FUi->edRetries, &QSpinBox::textChanged, this, [this] { MarkChanged(FUi->edRetries); });
    connect(FUi->cbImpNoClearURLs, &QCheckBox::toggled, this, &TfmMain::cbImpNoClearURLsClick);
    connect(FUi->cbStrategies, &QComboBox::currentIndexChanged, this,
            [this] { MarkChanged(FUi->cbStrategies); });
    connect(FUi->cbRequestLocale, &QCheckBox::toggled, this,
            [this] { MarkChanged(FUi->cbRequestLocale); });
    connect(FUi->cbReportScreenshots, &QCheckBox::toggled, this,
            [this] { MarkChanged(FUi->cbReportScreenshots); });
    connect(FUi->edGroups, &QLineEdit::editingFinished, this, &TfmMain::edGroupsChange);
    connect(FUi->cbLogErrorsOnly, &QCheckBox::toggled, this, &TfmMain::cbLogErrorsOnlyClick);
    for (QCheckBox* box :
         {FUi->cbCategoryAccessibility, FUi->cbCategoryBestPractices, FUi->cbCategorySeo})
        connect(box, &QCheckBox::toggled, this, &TfmMain::cbCategoryClick);
    connect(FUi->cbAppLang, &QComboBox::activated, this, &TfmMain::cbAppLangChange);
    connect(FUi->cbScoreCategory, &QComboBox::currentIndexChanged, this,
            &TfmMain::UpdateScoreChart);
    connect(FUi->lvMetrics, &QTableWidget::itemSelectionChanged, this, &TfmMain::sgMetricsClick);
    connect(FUi->lbGotoKeySite, &QLabel::linkActivated, this, &TfmMain::lbGotoKeySiteLinkClick);
    connect(FUi->lbGotoSite, &QLabel::linkActivated, this, &TfmMain::lbGotoSiteLinkClick);
    connect(FUi->lbGotoPublisherSite, &QLabel::linkActivated, this,
            &TfmMain::lbGotoPublisherSiteLinkClick);
}

void TfmMain::FormCreate() {
    FTranslator.Exclude(QStringLiteral("cbAppLang"));
    FTranslator.Exclude(QStringLiteral("lbVersion"));
    FTranslator.Exclude(QStringLiteral("wbNews"));
    FTranslator.Exclude(QStringLiteral("crtURLScore"));
    FTranslator.Exclude(QStringLiteral("cbScoreCategory"));
    // Its text is the selected metric's description, put in at run time.
    FTranslator.Exclude(QStringLiteral("lbMetricaDescr"));
    i18n::InitTranslation(ToStd(FOptions.CatalogueDirs));
    FSysLangCode = i18n::SystemLanguageCode();
    FSettingsPath =
        FOptions.SettingsPath.isEmpty()
            ? QString::fromStdString(io::SettingsFilePath(FOptions.AppDir.toStdString()))
            : FOptions.SettingsPath;
    // The run session waits for FormShow, which reads the settings.
}

void TfmMain::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (FShown) return;
    FShown = true;
    PlaceAtFirstShow();
    FormShow();
}

void TfmMain::FormShow() {
    // A crash during an earlier save may have left a temporary copy holding the key.
    io::RemoveStaleTempFiles(FSettingsPath.toStdString());
    const io::TSettingsValues settings = io::LoadSettings(FSettingsPath.toStdString());
    LoadParams(settings);
    CreateRunControl(settings);
    FUi->pcPages->setCurrentWidget(FUi->tsParams);
    FillMetricsList();
    FUi->edAPIKey->setText(QString::fromStdString(settings.ApiKey));
    FUi->pcPages->setCurrentWidget(FUi->tsURLs);
    SelectLanguage(QString::fromStdString(settings.Lang));
    ApplyLanguage();
    ShowGridsAndNews();
    // Connected only now, so the tab switches of the start-up itself refresh nothing.
    connect(FUi->pcStrategy, &QTabWidget::currentChanged, this, &TfmMain::pcStrategyChange);
    connect(FUi->tsAcross, &TAcrossPages::PagesChosen, FGridFilter, &TGridFilter::SetPages);
    connect(FUi->pcPages, &QTabWidget::currentChanged, this, &TfmMain::pcPagesChange);
    ShowVersion();
    LogStartAndLoadUrls();
    // A list given on the command line or the demo's own run comes first.
    if (FOptions.UrlsFile.isEmpty() && !FOptions.AutoRun && !FOptions.Demo)
        FUi->tsHistory->OfferResume();
}

void TfmMain::LoadParams(const io::TSettingsValues& settings) {
    // Each value goes into its control; a control that changes sets its marker.
    if (!settings.FileExists) return;
    FUi->edMaxTreads->setValue(settings.MaxThreads);
    FUi->edMinReqDelay->setValue(settings.ReqPredelay);
    FUi->edRetries->setValue(settings.Retries);
    FUi->cbImpNoClearURLs->setChecked(settings.ImportNoClear);
    {
        // A stored choice is no change.
        const QSignalBlocker quietStrategies(FUi->cbStrategies);
        const QSignalBlocker quietLocale(FUi->cbRequestLocale);
        const QSignalBlocker quietShots(FUi->cbReportScreenshots);
        FUi->cbReportScreenshots->setChecked(settings.ReportScreenshots);
        FUi->edGroups->setText(QString::fromStdString(settings.Groups));
        ReadGroupRules();
        FUi->cbStrategies->setCurrentIndex(StrategiesIndex(settings.Strategies));
        FUi->cbRequestLocale->setChecked(settings.RequestLocale);
    }
    // A stored choice is no change; the grids take it when they are first shown.
    const std::pair<QCheckBox*, TCategory> boxes[] = {
        {FUi->cbCategoryAccessibility, ctAccessibility},
        {FUi->cbCategoryBestPractices, ctBestPractices},
        {FUi->cbCategorySeo, ctSeo}};
    for (auto [box, c] : boxes) {
        const QSignalBlocker quiet(box);
        box->setChecked(HasCategory(settings.Categories, c));
    }
}

void TfmMain::CreateRunControl(const io::TSettingsValues& settings) {
    session::TSessionChoices choices;
    choices.Endpoint = FOptions.Endpoint.toStdString();
    choices.Lang = FOptions.LangOverride.toStdString();
    choices.HistoryPath = FOptions.HistoryPath.toStdString();
    choices.DecimalSeparator = DecimalSeparatorOf(QLocale::system().decimalPoint().toStdString());
    choices.RunSettings = [this] { return CurrentRunSettings(); };
    TResult<std::unique_ptr<session::TRunSession>> opened =
        session::TRunSession::Open(settings, std::move(choices), FMaster, *this);
    if (!opened) {
        // No run may send the key to an address that is not one; the list still works.
        const QString error = QString::fromStdString(opened.Error());
        FStartNotices << error;
        // Not modal: the start-up goes on, and the window shows behind the message.
        auto* box =
            new QMessageBox(QMessageBox::Critical, windowTitle(), error, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    FSession = std::move(*opened);
    // Workers post from their threads; the events are delivered here, on the window's thread.
    FSession->Controller().Events().SetOnArrival([this] {
        QMetaObject::invokeMethod(
            this, [this] { FSession->Controller().DeliverPending(); }, Qt::QueuedConnection);
    });
    for (const std::string& notice : FSession->Notices())
        FStartNotices << QString::fromStdString(notice);
    FUi->tsHistory->ShowStore(settings);
    ShowEndpoint(settings);
}

void TfmMain::ShowEndpoint(const io::TSettingsValues& settings) {
    const QString endpoint = QString::fromStdString(FSession->Endpoint());
    FUi->edEndpoint->setText(endpoint);
    // Changed only where it was set: the settings file or the command line. Design texts: the
    // window translator puts them into the interface language.
    FUi->edEndpoint->setToolTip(
        QString::fromUtf8(!FOptions.Endpoint.isEmpty() ? N_("Задан параметром --endpoint")
                          : !settings.Endpoint.empty() ? N_("Задан в файле настроек: endpoint=")
                                                       : N_("Сервис Google PageSpeed Insights")));
    // Answers from elsewhere are not the service's: the user should always see that.
    if (endpoint == QLatin1String(kDefaultEndpoint)) return;
    if (!FUi->lbEndpointNote) {
        FUi->lbEndpointNote = new QLabel;
        FUi->lbEndpointNote->setObjectName(QStringLiteral("lbEndpointNote"));
        statusBar()->addPermanentWidget(FUi->lbEndpointNote);
    }
    FUi->lbEndpointNote->setText(endpoint);
    FUi->lbEndpointNote->setToolTip(
        QString::fromUtf8(N_("Ответы приходят не от сервиса Google PageSpeed Insights")));
}

TRunSettings TfmMain::CurrentRunSettings() const {
    TRunSettings s;
    s.ApiKey = FUi->edAPIKey->text().toStdString();
    s.MaxThreads = FUi->edMaxTreads->value();
    s.MinReqDelay = FUi->edMinReqDelay->value();
    s.Retries = FUi->edRetries->value();
    s.Categories = ChosenCategories();
    s.Strategies = ChosenStrategies();
    if (FUi->cbRequestLocale->isChecked()) s.Locale = SelectedLangCode().toStdString();
    s.Screenshots = FUi->cbReportScreenshots->isChecked();
    return s;
}

void TfmMain::SelectLanguage(QString stored) {
    FUi->cbAppLang->clear();
    for (const TAppLangInfo& lang : AppLangTable)
        FUi->cbAppLang->addItem(
            QString::fromUtf8(lang.Name.data(), static_cast<int>(lang.Name.size())),
            QString::fromLatin1(lang.Code.data(), static_cast<int>(lang.Code.size())));
    if (!FOptions.LangOverride.isEmpty()) stored = FOptions.LangOverride;
    FUi->cbAppLang->setCurrentIndex(
        static_cast<int>(i18n::InterfaceLanguageRow(stored.toStdString(), FSysLangCode)));
}

void TfmMain::ShowGridsAndNews() {
    FUi->pcStrategy->setCurrentWidget(FUi->tsURLsM);
    TURLGrids::SetMetricColumnWidths(FUi->vtURLsM);
    FUi->pcStrategy->setCurrentWidget(FUi->tsURLsD);
    TURLGrids::SetMetricColumnWidths(FUi->vtURLsD);

    FUi->pcBottom->setCurrentWidget(FUi->tsNews);
    FNewsUrl = NewsAddress();
    FUi->wbNews->Load(QUrl(FNewsUrl));

    FUrlGrids->ShowCategoryColumns(ChosenCategories());
    FillScoreCategories();
    UpdateURLListCaption();
    UpdateScoreChart();
    FUi->crtURLScore->SetBackgroundByTheme(FUi->pButtons->palette().color(QPalette::Window));
}

void TfmMain::ShowVersion() {
    FUi->lbVersion->setText(TrQ("Версия: ") + QStringLiteral("%1.%2.%3.%4")
                                                  .arg(VELMORA_VERSION_MAJOR)
                                                  .arg(VELMORA_VERSION_MINOR)
                                                  .arg(VELMORA_VERSION_PATCH)
                                                  .arg(VELMORA_VERSION_TWEAK + 0));
}

void TfmMain::LogStartAndLoadUrls() {
    AddToLog(TrQ("Запуск программы"));
    for (const QString& notice : std::exchange(FStartNotices, {})) AddToLog(notice);
    if (!FOptions.UrlsFile.isEmpty())
        QMetaObject::invokeMethod(
            this, [this] { LoadUrlsFromTextFile(FOptions.UrlsFile); }, Qt::QueuedConnection);
}

QString TfmMain::SelectedLangCode() const {
    return FUi->cbAppLang->currentData().toString();
}

void TfmMain::ApplyLanguage() {
    UseInterfaceLanguage(SelectedLangCode());
    if (FSession) FSession->UseLanguage(SelectedLangCode().toStdString());
    // The first call remembers the design texts, every later one translates them again.
    FTranslator.TranslateComponent(this);
    FModelD->Retranslate();
    FModelM->Retranslate();
    FUi->tsHistory->Retranslate();
    FGridFilter->Retranslate();
    FUi->tsAcross->Retranslate();
    // The texts built from tables rather than design texts.
    ShowVersion();
    FillMetricsList();
    for (int i = 0; i < FUi->cbStrategies->count(); ++i)
        FUi->cbStrategies->setItemText(i, TrQ(FUi->cbStrategies->itemData(i).toString()));
    NameForScreenReaders(*this);
    FWindowTranslated = true;
}

bool TfmMain::FormClose() {
    if (FClosed) return true;
    FClosed = true;
    // Running workers use the pool and post to this window; they end before anything goes.
    ShutdownRun();
    if (FShown) SaveWindowPlacement();
    // The window closes anyway; a failure has been shown.
    const bool saved = SaveParamsNow(true);
    FMaster.Clear();
    FModelD->Reload();
    FModelM->Reload();
    FUi->wbNews->setParent(nullptr);
    FUi->wbNews->deleteLater();
    FUi->wbNews = nullptr;
    return saved;
}

void TfmMain::closeEvent(QCloseEvent* e) {
    FormClose();
    e->accept();
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

bool TfmMain::LoadUrlsFromTextFile(const QString& path) {
    return FUrlGrids->ImportTextFile(path);
}

void TfmMain::ActivateFromSecondStart(const QString& urlsFile) {
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    if (urlsFile.isEmpty()) return;
    if (Running()) {
        AddToLog(TrQ("Список URL не загружен: идёт проверка"));
        return;
    }
    // More requests arrive while a message of this one is open: one box, the rest in the log.
    if (FHandingOver) {
        AddToLog(
            TrQ("Список URL не загружен: %1 — ещё открыто сообщение о предыдущем").arg(urlsFile));
        return;
    }
    FHandingOver = true;
    // A FIFO or a device would block the window in open() until somebody writes to it.
    if (!QFileInfo(urlsFile).isFile()) {
        const QString text = TrQ("Список URL не загружен: %1 — не обычный файл").arg(urlsFile);
        AddToLog(text);
        if (FUrlGrids->Dialogs.Message) FUrlGrids->Dialogs.Message(QMessageBox::Warning, text, {});
    } else {
        LoadUrlsFromTextFile(urlsFile);
    }
    FHandingOver = false;
}

bool TfmMain::KeepUrlsOnImport() const {
    return FUi->cbImpNoClearURLs->isChecked();
}

void TfmMain::SetKeepUrlsOnImport(bool keep) {
    FUi->cbImpNoClearURLs->setChecked(keep);
}

void TfmMain::UpdateURLListCaption() {
    const QString caption =
        FMaster.Empty() ? TrQ(" Список URL ")
                        : QString::fromStdString(FormatLog(Tr(" Список URL (%d) "),
                                                           static_cast<int32_t>(FMaster.Count())));
    FUi->pcPages->setTabText(FUi->pcPages->indexOf(FUi->tsURLs), caption);
}

}  // namespace velmora::app
