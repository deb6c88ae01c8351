// The window's controls and their arrangement; behaviour is wired in ConnectHandlers.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/across_pages.h"
#include "app/grid_filter.h"
#include "app/grid_model.h"
#include "app/history_page.h"
#include "app/icons.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/news_browser.h"
#include "app/range_spin_box.h"
#include "app/score_chart.h"
#include "app/translate.h"
#include "app/window_translator.h"
#include "io/settings.h"

namespace velmora::app {
namespace {

constexpr int kButtonWidth = 158;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 6;
constexpr int kGroupGap = 16;
constexpr int kChartGap = 19;
constexpr int kButtonColumnWidth = 178;
constexpr int kBottomHeight = 160;
constexpr int kParamsWidth = 430;
constexpr int kInputColumn = 198;  // left edge of the parameter inputs inside FUi->gbParams

template <class T>
T* Named(T* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QWidget* Bare(const char* name, QWidget* parent = nullptr) {
    return Named(new QWidget(parent), name);
}

QTableWidget* ReportList(const char* name, const QStringList& columns) {
    auto* list = Named(new QTableWidget(0, static_cast<int>(columns.size())), name);
    list->setHorizontalHeaderLabels(columns);
    list->verticalHeader()->hide();
    list->setShowGrid(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setWordWrap(false);
    list->horizontalHeader()->setHighlightSections(false);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 6);
    // Tab leaves the list for the next control; the arrow keys move inside it.
    list->setTabKeyNavigation(false);
    return list;
}

QTableView* Grid(const char* name, TURLGridModel* model) {
    auto* grid = Named(new QTableView, name);
    grid->setModel(model);
    grid->verticalHeader()->hide();
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setWordWrap(false);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    // Tab leaves the grid for the next control; the arrow keys move inside it.
    grid->setTabKeyNavigation(false);
    return grid;
}

QLabel* LinkLabel(const char* name, const char* designText) {
    auto* label = Named(new QLabel, name);
    label->setProperty("linkLabel", true);
    label->setProperty("designText", QString::fromUtf8(designText));
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setFocusPolicy(Qt::TabFocus);
    SetLinkLabelText(label, QString::fromUtf8(designText));
    return label;
}

QWidget* Filling(QWidget* parent, QWidget* child) {
    auto* l = new QVBoxLayout(parent);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(child);
    return parent;
}

}  // namespace

void TfmMain::CreateComponents() {
    setObjectName(QStringLiteral("fmMain"));
    setWindowTitle(QStringLiteral(N_("Velmora")));
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    FImages = MakeImageList();

    FUi->pcPages = Named(new QTabWidget, "pcPages");
    FUi->tsURLs = CreateUrlPage();
    FUi->tsParams = CreateParamsPage();
    FUi->pcPages->addTab(FUi->tsURLs, FImages[imgWeb], QString::fromUtf8(N_(" Список URL ")));
    FUi->pcPages->addTab(FUi->tsParams, FImages[imgSettings], QString::fromUtf8(N_(" Настройки ")));
    FUi->tsHistory = new THistoryPage(*this);
    FUi->pcPages->addTab(FUi->tsHistory, QString::fromUtf8(N_(" История ")));

    // The content scrolls when the window is made smaller than it can show.
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("sbContent"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    // Only a frame around the pages: the keyboard goes to the controls inside.
    scroll->setFocusPolicy(Qt::NoFocus);
    FUi->pcPages->setMinimumSize(960, 560);
    scroll->setWidget(FUi->pcPages);
    setCentralWidget(scroll);
    // The status bar exists from the start, so the first message does not shift the layout.
    statusBar()->setObjectName(QStringLiteral("sbStatus"));
    resize(1287, 750);
}

QWidget* TfmMain::CreateUrlPage() {
    auto* page = Bare("tsURLs");
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    FUi->pGridsAndBottom = Bare("pGridsAndBottom");
    FModelD = new TURLGridModel(FMaster, msDesktop, this);
    FModelM = new TURLGridModel(FMaster, msMobile, this);
    for (TURLGridModel* m : {FModelD, FModelM})
        m->SetInFlight([this](int32_t num) { return FRunProgress.InFlight(num); });
    FUi->vtURLsD = Grid("vtURLsD", FModelD);
    FUi->vtURLsM = Grid("vtURLsM", FModelM);
    FUi->pcStrategy = Named(new QTabWidget, "pcStrategy");
    FUi->pcStrategy->setTabPosition(QTabWidget::South);
    FUi->tsURLsD = Filling(Bare("tsURLsD"), FUi->vtURLsD);
    FUi->tsURLsM = Filling(Bare("tsURLsM"), FUi->vtURLsM);
    FUi->pcStrategy->addTab(FUi->tsURLsD, FImages[imgDesktop],
                            QString::fromUtf8(N_("Для компьютеров")));
    FUi->pcStrategy->addTab(FUi->tsURLsM, FImages[imgMobile],
                            QString::fromUtf8(N_("Для мобильных")));
    FUi->tsAcross = new TAcrossPages;
    FUi->pcStrategy->addTab(FUi->tsAcross, QString::fromUtf8(N_("По всем страницам")));

    FUi->pProgress = Bare("pProgress");
    FUi->pbProgress = Named(new QProgressBar, "pbProgress");
    FUi->pbProgress->setTextVisible(false);
    FUi->pbProgress->setAlignment(Qt::AlignCenter);
    // Tall enough for the run's progress text at the window's font.
    FUi->pProgress->setFixedHeight(std::max(16, FUi->pbProgress->fontMetrics().height() + 6));
    FUi->lbPace = Named(new QLabel, "lbPace");
    auto* progressRow = new QHBoxLayout(FUi->pProgress);
    progressRow->setContentsMargins(0, 0, 4, 0);
    progressRow->addWidget(FUi->pbProgress, 1);
    progressRow->addWidget(FUi->lbPace);
    FUi->pProgress->hide();

    auto* upper = Bare("pGrids");
    auto* upperLayout = new QVBoxLayout(upper);
    upperLayout->setContentsMargins(0, 0, 0, 0);
    upperLayout->setSpacing(0);
    // The History page fills it when it compares two runs.
    FUi->pCompare = Bare("pCompare");
    FUi->pCompare->hide();
    upperLayout->addWidget(FUi->pCompare);
    FUi->pFilter = Bare("pFilter");
    FGridFilter = new TGridFilter(FUi->pFilter, FUi->vtURLsD, FUi->vtURLsM);
    upperLayout->addWidget(FUi->pFilter);
    upperLayout->addWidget(FUi->pcStrategy, 1);
    upperLayout->addWidget(FUi->pProgress);

    CreateBottomPane();

    FUi->spGridsAndBottom = Named(new QSplitter(Qt::Vertical), "spGridsAndBottom");
    FUi->spGridsAndBottom->setHandleWidth(6);
    FUi->spGridsAndBottom->setChildrenCollapsible(false);
    FUi->spGridsAndBottom->addWidget(upper);
    FUi->spGridsAndBottom->addWidget(FUi->pcBottom);
    // Growing the window grows the grids; the bottom pane keeps its height.
    FUi->spGridsAndBottom->setStretchFactor(0, 1);
    FUi->spGridsAndBottom->setStretchFactor(1, 0);
    FUi->spGridsAndBottom->setSizes({750 - kBottomHeight, kBottomHeight});
    Filling(FUi->pGridsAndBottom, FUi->spGridsAndBottom);

    FUi->pButtons = CreateButtonColumn();
    row->addWidget(FUi->pGridsAndBottom, 1);
    row->addWidget(FUi->pButtons);
    return page;
}

QWidget* TfmMain::CreateButtonColumn() {
    auto* panel = Bare("pButtons");
    panel->setFixedWidth(kButtonColumnWidth);
    auto* col = new QVBoxLayout(panel);
    col->setContentsMargins(10, 3, 10, 3);
    col->setSpacing(0);
    auto button = [&](const char* name, const char* caption, const QIcon& icon, int gapBefore) {
        auto* b = Named(new QPushButton(icon, QString::fromUtf8(caption)), name);
        b->setFixedSize(kButtonWidth, kButtonHeight);
        b->setIconSize(QSize(16, 16));
        b->setAutoDefault(false);
        if (gapBefore) col->addSpacing(gapBefore);
        col->addWidget(b);
        return b;
    };
    FUi->btInsertURLs4Clip =
        button("btInsertURLs4Clip", N_("Вставить из буфера"), FImages[imgCopy], 0);
    FUi->btImportURLs4TXT =
        button("btImportURLs4TXT", N_("Импорт URL из txt..."), TextDocumentIcon(), kButtonGap);
    FUi->btImportURLs4XML =
        button("btImportURLs4XML", N_("Импорт URL из xml..."), WebDocumentIcon(), kButtonGap);
    FUi->btImportURLs4Web =
        button("btImportURLs4Web", N_("Импорт URL по адресу..."), WebDocumentIcon(), kButtonGap);
    // The whole command does not fit the column; the tooltip and the dialog's title name it.
    FUi->btImportURLs4Crawl =
        button("btImportURLs4Crawl", N_("Обход сайта..."), WebDocumentIcon(), kButtonGap);
    FUi->btImportURLs4Crawl->setToolTip(QString::fromUtf8(N_("Найти страницы обходом сайта…")));
    FUi->btRunRequests = button("btRunRequests", N_("Проверить URL"), FImages[imgPlay], kGroupGap);
    FUi->btContinueRequests =
        button("btContinueRequests", N_("Продолжить"), FImages[imgRefresh], kButtonGap);
    FUi->btAbortRequests = button("btAbortRequests", N_("Отмена"), FImages[imgCancel], kButtonGap);
    FUi->btExport = button("btExport", N_("Экспорт..."), SpreadsheetExportIcon(), kGroupGap);
    FUi->btExportSheet =
        button("btExportSheet", N_("Экспорт для таблиц..."), SpreadsheetExportIcon(), kButtonGap);
    FUi->btSaveReport =
        button("btSaveReport", N_("Сохранить отчёт..."), WebDocumentIcon(), kButtonGap);
    FUi->btRunRequests->setToolTip(QStringLiteral("Ctrl+Enter"));
    FUi->btRunRequests->setEnabled(false);
    FUi->btContinueRequests->setEnabled(false);
    FUi->btAbortRequests->setEnabled(false);
    FUi->btExport->setEnabled(false);
    FUi->btExportSheet->setEnabled(false);
    FUi->btSaveReport->setEnabled(false);

    FUi->cbScoreCategory = Named(new QComboBox, "cbScoreCategory");
    FUi->cbScoreCategory->setFixedWidth(158);
    FUi->crtURLScore = new TScoreChart;
    FUi->crtURLScore->setFixedSize(158, 255);
    FUi->crtURLScore->setFocusPolicy(Qt::TabFocus);
    col->addSpacing(kChartGap);
    col->addWidget(FUi->cbScoreCategory);
    col->addWidget(FUi->crtURLScore);
    col->addStretch(1);
    return panel;
}

QWidget* TfmMain::CreateParamsPage() {
    auto* page = Bare("tsParams");
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(4, 4, 4, 4);
    row->setSpacing(4);

    FUi->gbMetrics = Named(new QGroupBox(QString::fromUtf8(N_(" Метрики "))), "gbMetrics");
    auto* metricsLayout = new QVBoxLayout(FUi->gbMetrics);
    metricsLayout->setContentsMargins(10, 10, 10, 10);
    metricsLayout->setSpacing(0);
    FUi->lvMetrics =
        ReportList("lvMetrics", {QString::fromUtf8(N_("№")), QString::fromUtf8(N_("Название"))});
    FUi->lvMetrics->setColumnWidth(0, 40);
    // The selected metric stays marked while the user reads elsewhere.
    QPalette metricsPal = FUi->lvMetrics->palette();
    for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
        metricsPal.setColor(QPalette::Inactive, role, metricsPal.color(QPalette::Active, role));
    FUi->lvMetrics->setPalette(metricsPal);
    FUi->lvMetrics->setColumnWidth(1, 400);
    FUi->pMetricsGap = Bare("pMetricsGap");
    FUi->pMetricsGap->setFixedHeight(20);
    FUi->gbMetricaDescr =
        Named(new QGroupBox(QString::fromUtf8(N_(" Описание метрики "))), "gbMetricaDescr");
    FUi->gbMetricaDescr->setFixedHeight(98);
    FUi->lbMetricaDescr = Named(new QLabel, "lbMetricaDescr");
    FUi->lbMetricaDescr->setWordWrap(true);
    FUi->lbMetricaDescr->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont descrFont(QStringLiteral("Verdana"));
    descrFont.setPointSize(10);
    descrFont.setStyleHint(QFont::SansSerif);
    FUi->lbMetricaDescr->setFont(descrFont);
    QPalette pal = FUi->lbMetricaDescr->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 128));
    FUi->lbMetricaDescr->setPalette(pal);
    Filling(FUi->gbMetricaDescr, FUi->lbMetricaDescr);
    FUi->gbMetricaDescr->layout()->setContentsMargins(8, 4, 8, 4);
    metricsLayout->addWidget(FUi->lvMetrics, 1);
    metricsLayout->addWidget(FUi->pMetricsGap);
    metricsLayout->addWidget(FUi->gbMetricaDescr);

    FUi->gbParams = CreateParamsGroup();
    row->addWidget(FUi->gbMetrics, 1);
    row->addWidget(FUi->gbParams);
    return page;
}

void TfmMain::CreateBottomPane() {
    FUi->wbNews = new TNewsBrowser;
    FUi->lvLog =
        ReportList("lvLog", {QString::fromUtf8(N_("Время")), QString::fromUtf8(N_("Событие"))});
    FUi->lvLog->setColumnWidth(0, 80);
    // The event column takes what the pane has left; a longer line shows whole in its tool tip.
    FUi->lvLog->horizontalHeader()->setStretchLastSection(true);
    FUi->pcBottom = Named(new QTabWidget, "pcBottom");
    FUi->tsNews = Filling(Bare("tsNews"), FUi->wbNews);
    FUi->tsLog = Bare("tsLog");
    FUi->cbLogErrorsOnly =
        Named(new QCheckBox(QString::fromUtf8(N_("Только ошибки"))), "cbLogErrorsOnly");
    auto* logLayout = new QVBoxLayout(FUi->tsLog);
    logLayout->setContentsMargins(0, 2, 0, 0);
    logLayout->setSpacing(2);
    logLayout->addWidget(FUi->cbLogErrorsOnly);
    logLayout->addWidget(FUi->lvLog, 1);
    FUi->pcBottom->addTab(FUi->tsNews, QString::fromUtf8(N_(" Новости ")));
    FUi->pcBottom->addTab(FUi->tsLog, QString::fromUtf8(N_(" Журнал ")));
}

QGridLayout* TfmMain::CreateApiKeyRows() {
    FUi->lbAPIKey = Named(new QLabel(QString::fromUtf8(N_("Ключ API:"))), "lbAPIKey");
    FUi->edAPIKey = Named(new QLineEdit, "edAPIKey");
    // Whoever looks at the screen need not read the key.
    FUi->edAPIKey->setEchoMode(QLineEdit::Password);
    FUi->btShowAPIKey = Named(new QPushButton(QString::fromUtf8(N_("Показать"))), "btShowAPIKey");
    FUi->btShowAPIKey->setCheckable(true);
    FUi->btShowAPIKey->setAutoDefault(false);
    FUi->lbGotoKeySite =
        LinkLabel("lbGotoKeySite", N_("<a>Узнать больше о получении Ключа API</a>"));
    auto* keyGrid = new QGridLayout;
    keyGrid->setContentsMargins(3, 12, 3, 0);
    keyGrid->setHorizontalSpacing(8);
    keyGrid->setVerticalSpacing(4);
    FUi->lbAPIKey->setBuddy(FUi->edAPIKey);
    keyGrid->addWidget(FUi->lbAPIKey, 0, 0);
    keyGrid->addWidget(FUi->edAPIKey, 0, 1);
    keyGrid->addWidget(FUi->btShowAPIKey, 0, 2);
    keyGrid->addWidget(FUi->lbGotoKeySite, 1, 1);
    keyGrid->setColumnStretch(1, 1);
    return keyGrid;
}

QWidget* TfmMain::CreateCategoryBoxes() {
    auto* categories = Named(new QWidget, "pCategories");
    auto* categoryRows = new QVBoxLayout(categories);
    categoryRows->setContentsMargins(0, 0, 0, 0);
    categoryRows->setSpacing(2);
    const std::pair<QCheckBox**, const char*> boxes[] = {
        {&FUi->cbCategoryPerformance, N_("Производительность")},
        {&FUi->cbCategoryAccessibility, N_("Доступность")},
        {&FUi->cbCategoryBestPractices, N_("Рекомендации")},
        {&FUi->cbCategorySeo, N_("SEO")}};
    const char* boxNames[] = {"cbCategoryPerformance", "cbCategoryAccessibility",
                              "cbCategoryBestPractices", "cbCategorySeo"};
    for (size_t i = 0; i < std::size(boxes); ++i) {
        *boxes[i].first = Named(new QCheckBox(QString::fromUtf8(boxes[i].second)), boxNames[i]);
        categoryRows->addWidget(*boxes[i].first);
    }
    FUi->cbCategoryPerformance->setChecked(true);
    FUi->cbCategoryPerformance->setEnabled(false);
    return categories;
}

QGroupBox* TfmMain::CreateParamsGroup() {
    auto* group = Named(new QGroupBox(QString::fromUtf8(N_(" Параметры "))), "gbParams");
    group->setFixedWidth(kParamsWidth);
    auto* outer = new QVBoxLayout(group);
    outer->setContentsMargins(10, 10, 10, 10);
    outer->setSpacing(0);

    auto label = [](const char* name, const char* text) {
        return Named(new QLabel(QString::fromUtf8(text)), name);
    };
    outer->addLayout(CreateApiKeyRows());
    outer->addSpacing(18);

    FUi->lbMaxThreads = label("lbMaxThreads", N_("Количество потоков:"));
    FUi->edMaxTreads = Named(new TRangeSpinBox, "edMaxTreads");
    FUi->edMaxTreads->setRange(io::kMaxThreadsMin, io::kMaxThreadsMax);
    FUi->edMaxTreads->setValue(io::kMaxThreadsDefault);
    FUi->lbMinReqDelay = label("lbMinReqDelay", N_("Задержка между запросами, мс:"));
    FUi->edMinReqDelay = Named(new TRangeSpinBox, "edMinReqDelay");
    FUi->edMinReqDelay->setRange(io::kReqPredelayMin, io::kReqPredelayMax);
    FUi->edMinReqDelay->setSingleStep(io::kReqPredelayStep);
    FUi->edMinReqDelay->setValue(io::kReqPredelayDefault);
    FUi->edMinReqDelay->setToolTip(QString::fromUtf8(
        N_("Запросы уходят не чаще, чем раз в эту задержку плюс 20 мс: при 100 мс — раз в "
           "120 мс.")));
    FUi->lbRetries = label("lbRetries", N_("Повторов при сбое:"));
    FUi->edRetries = Named(new TRangeSpinBox, "edRetries");
    FUi->edRetries->setRange(io::kRetriesMin, io::kRetriesMax);
    FUi->edRetries->setValue(io::kRetriesDefault);
    FUi->lbImpNoClearURLs = label("lbImpNoClearURLs", N_("Не очищать URL при импорте:"));
    FUi->cbImpNoClearURLs = Named(new QCheckBox, "cbImpNoClearURLs");
    FUi->lbCategories = label("lbCategories", N_("Категории Lighthouse:"));
    QWidget* categories = CreateCategoryBoxes();
    FUi->lbStrategies = label("lbStrategies", N_("Проверять:"));
    FUi->cbStrategies = Named(new QComboBox, "cbStrategies");
    // Indexes follow the strategy sets: 0 both, 1 desktop, 2 mobile.
    // The design text rides along as the item's data, for the language switch.
    for (const char* text :
         {N_("Компьютеры и мобильные"), N_("Только компьютеры"), N_("Только мобильные")})
        FUi->cbStrategies->addItem(QString::fromUtf8(text), QString::fromUtf8(text));
    // Its text is longer than the label column: the box stands across both.
    FUi->cbRequestLocale =
        Named(new QCheckBox(QString::fromUtf8(N_("Тексты советов на языке программы"))),
              "cbRequestLocale");
    FUi->cbReportScreenshots = Named(
        new QCheckBox(QString::fromUtf8(N_("Снимки страниц для отчёта"))), "cbReportScreenshots");
    FUi->lbGroups = label("lbGroups", N_("Группы страниц:"));
    FUi->edGroups = Named(new QLineEdit, "edGroups");
    FUi->edGroups->setPlaceholderText(QString::fromUtf8(N_("Товары=*/product/*; Блог=*/blog/*")));
    FUi->edGroups->setToolTip(QString::fromUtf8(
        N_("Имя=шаблон через точку с запятой; первый подходящий шаблон решает. Без правил "
           "страницы группируются по сайту и первому разделу пути.")));
    FUi->lbEndpoint = label("lbEndpoint", N_("Адрес сервиса:"));
    FUi->edEndpoint = Named(new QLineEdit, "edEndpoint");
    FUi->edEndpoint->setReadOnly(true);
    FUi->lbAppLang = label("lbAppLang", N_("Язык программы:"));
    FUi->cbAppLang = Named(new QComboBox, "cbAppLang");
    FUi->cbAppLang->setEditable(false);
    FUi->edMaxTreads->setFixedWidth(68);
    FUi->edMinReqDelay->setFixedWidth(68);
    FUi->edRetries->setFixedWidth(68);
    FUi->cbAppLang->setFixedWidth(116);

    auto* form = new QGridLayout;
    form->setContentsMargins(3, 0, 3, 0);
    form->setHorizontalSpacing(8);
    form->setVerticalSpacing(6);
    form->setColumnMinimumWidth(0, kInputColumn - 13);
    const std::pair<QLabel*, QWidget*> rows[] = {
        {FUi->lbMaxThreads, FUi->edMaxTreads}, {FUi->lbMinReqDelay, FUi->edMinReqDelay},
        {FUi->lbRetries, FUi->edRetries},      {FUi->lbImpNoClearURLs, FUi->cbImpNoClearURLs},
        {FUi->lbCategories, categories},       {FUi->lbStrategies, FUi->cbStrategies},
        {nullptr, FUi->cbRequestLocale},       {nullptr, FUi->cbReportScreenshots},
        {FUi->lbGroups, FUi->edGroups},        {FUi->lbEndpoint, FUi->edEndpoint},
        {FUi->lbAppLang, FUi->cbAppLang}};
    int r = 0;
    for (auto [l, input] : rows) {
        if (!l) {
            form->addWidget(input, r++, 0, 1, 2, Qt::AlignLeft);
            continue;
        }
        form->addWidget(l, r, 0, l == FUi->lbCategories ? Qt::AlignTop : Qt::Alignment());
        l->setBuddy(input);
        form->addWidget(input, r, 1, Qt::AlignLeft);
        ++r;
    }
    form->setColumnStretch(1, 1);
    outer->addLayout(form);
    outer->addStretch(1);

    FUi->pAbout = CreateAboutBox();
    outer->addWidget(FUi->pAbout);
    return group;
}

QFrame* TfmMain::CreateAboutBox() {
    auto* box = Named(new QFrame, "pAbout");
    box->setFrameShape(QFrame::StyledPanel);
    box->setFrameShadow(QFrame::Sunken);
    box->setFixedHeight(91);
    box->setFocusPolicy(Qt::TabFocus);
    FUi->lbAboutTitle =
        Named(new QLabel(QString::fromUtf8(N_("О программе Velmora"))), "lbAboutTitle");
    QFont titleFont(QStringLiteral("Verdana"));
    titleFont.setPointSize(9);
    titleFont.setBold(true);
    titleFont.setStyleHint(QFont::SansSerif);
    FUi->lbAboutTitle->setFont(titleFont);
    FUi->lbVersion = Named(new QLabel(QString()), "lbVersion");
    FUi->lbGotoSite = LinkLabel("lbGotoSite", N_("<a>Посетить страницу программы</a>"));
    FUi->lbGotoSite->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    FUi->lbGotoSite->setMinimumWidth(175);
    FUi->lbGotoPublisherSite =
        LinkLabel("lbGotoPublisherSite", N_("Издатель: <a>Velmora Software</a>"));

    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(14, 10, 14, 10);
    grid->setVerticalSpacing(6);
    grid->addWidget(FUi->lbAboutTitle, 0, 0, 1, 2);
    grid->addWidget(FUi->lbVersion, 1, 0);
    grid->addWidget(FUi->lbGotoSite, 1, 1);
    grid->addWidget(FUi->lbGotoPublisherSite, 2, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    return box;
}

void TfmMain::SetTabOrder() {
    const std::vector<QWidget*> params = ParamsTabStops();
    for (size_t i = 2; i < params.size(); ++i) setTabOrder(params[i - 1], params[i]);
}

std::vector<QWidget*> TfmMain::ParamsTabStops() const {
    // The metric list on the left, then the parameters top to bottom as they stand.
    return {FUi->pcPages->focusProxy(),
            FUi->lvMetrics,
            FUi->edAPIKey,
            FUi->btShowAPIKey,
            FUi->lbGotoKeySite,
            FUi->edMaxTreads,
            FUi->edMinReqDelay,
            FUi->edRetries,
            FUi->cbImpNoClearURLs,
            FUi->cbCategoryAccessibility,
            FUi->cbCategoryBestPractices,
            FUi->cbCategorySeo,
            FUi->cbStrategies,
            FUi->cbRequestLocale,
            FUi->cbReportScreenshots,
            FUi->edGroups,
            FUi->edEndpoint,
            FUi->cbAppLang,
            FUi->pAbout,
            FUi->lbGotoSite,
            FUi->lbGotoPublisherSite};
}

std::vector<QWidget*> TfmMain::PageTabStops() const {
    // A tab widget stands in the order by its tab bar: as a whole it also holds its pages.
    QWidget* pageTabs = FUi->pcPages->focusProxy();
    QWidget* page = FUi->pcPages->currentWidget();
    if (page == FUi->tsHistory) {
        std::vector<QWidget*> stops{pageTabs};
        for (QWidget* w : FUi->tsHistory->TabStops()) stops.push_back(w);
        return stops;
    }
    if (page == FUi->tsParams) return ParamsTabStops();
    if (page != FUi->tsURLs) return {};
    // Top to bottom, the left column before the right one.
    return {pageTabs,
            FUi->pCompare->findChild<QWidget*>(QStringLiteral("btLeaveCompare")),
            FUi->pCompare->findChild<QWidget*>(QStringLiteral("btCloseRun")),
            FGridFilter->edFilter,
            FGridFilter->cbFilterStatus,
            FGridFilter->cbFilterScore,
            FGridFilter->btClearPageFilter,
            FUi->vtURLsD,
            FUi->vtURLsM,
            FUi->tsAcross->cbAcrossStrategy,
            FUi->tsAcross->vtFixes,
            FUi->tsAcross->vtResources,
            FUi->tsAcross->vtGroups,
            FUi->pcStrategy->focusProxy(),
            FUi->pcBottom->focusProxy(),
            FUi->wbNews,
            FUi->cbLogErrorsOnly,
            FUi->lvLog,
            FUi->btInsertURLs4Clip,
            FUi->btImportURLs4TXT,
            FUi->btImportURLs4XML,
            FUi->btImportURLs4Web,
            FUi->btImportURLs4Crawl,
            FUi->btRunRequests,
            FUi->btContinueRequests,
            FUi->btAbortRequests,
            FUi->btExport,
            FUi->btExportSheet,
            FUi->btSaveReport,
            FUi->cbScoreCategory,
            FUi->crtURLScore};
}

bool TfmMain::focusNextPrevChild(bool next) {
    const std::vector<QWidget*> stops = PageTabStops();
    QWidget* focus = QApplication::focusWidget();
    // The focused control itself, else the stop that holds it (a frame around a link).
    auto at = std::find(stops.begin(), stops.end(), focus);
    if (at == stops.end())
        at = std::find_if(stops.begin(), stops.end(),
                          [focus](QWidget* w) { return w && w->isAncestorOf(focus); });
    if (at == stops.end()) return QMainWindow::focusNextPrevChild(next);
    const int n = static_cast<int>(stops.size());
    const int from = static_cast<int>(at - stops.begin());
    for (int step = 1; step < n; ++step) {
        QWidget* w = stops[static_cast<size_t>((from + (next ? step : n - step)) % n)];
        if (!w || !w->isVisible() || !w->isEnabled() || !(w->focusPolicy() & Qt::TabFocus))
            continue;
        w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
    return true;
}
}  // namespace velmora::app
