// The window's controls and their arrangement; behaviour is wired in ConnectHandlers.
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
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/grid_model.h"
#include "app/icons.h"
#include "app/main_window.h"
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
constexpr int kPanel1Width = 178;
constexpr int kBottomHeight = 160;
constexpr int kParamsWidth = 430;
constexpr int kInputColumn = 198;  // left edge of the parameter inputs inside gbParams

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
    ilPngImages = MakeImageList();

    pcPages = Named(new QTabWidget, "pcPages");
    tsURLs = CreateUrlPage();
    tsParams = CreateParamsPage();
    pcPages->addTab(tsURLs, ilPngImages[imgWeb], QString::fromUtf8(N_(" Список URL ")));
    pcPages->addTab(tsParams, ilPngImages[imgSettings], QString::fromUtf8(N_(" Настройки ")));

    // The content scrolls when the window is made smaller than it can show.
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("sbContent"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    pcPages->setMinimumSize(960, 560);
    scroll->setWidget(pcPages);
    setCentralWidget(scroll);
    resize(1287, 750);
}

QWidget* TfmMain::CreateUrlPage() {
    auto* page = Bare("tsURLs");
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    Panel2 = Bare("Panel2");
    FModelD = new TURLGridModel(FMaster, msDesktop, this);
    FModelM = new TURLGridModel(FMaster, msMobile, this);
    vtURLsD = Grid("vtURLsD", FModelD);
    vtURLsM = Grid("vtURLsM", FModelM);
    pcStrategy = Named(new QTabWidget, "pcStrategy");
    pcStrategy->setTabPosition(QTabWidget::South);
    tsURLsD = Filling(Bare("tsURLsD"), vtURLsD);
    tsURLsM = Filling(Bare("tsURLsM"), vtURLsM);
    pcStrategy->addTab(tsURLsD, ilPngImages[imgDesktop], QString::fromUtf8(N_("Desktop")));
    pcStrategy->addTab(tsURLsM, ilPngImages[imgMobile], QString::fromUtf8(N_("Mobile")));

    pProgress = Bare("pProgress");
    pProgress->setFixedHeight(16);
    ProgressBar = Named(new QProgressBar, "ProgressBar");
    ProgressBar->setTextVisible(false);
    Filling(pProgress, ProgressBar);
    pProgress->hide();

    auto* upper = Bare("pGrids");
    auto* upperLayout = new QVBoxLayout(upper);
    upperLayout->setContentsMargins(0, 0, 0, 0);
    upperLayout->setSpacing(0);
    upperLayout->addWidget(pcStrategy, 1);
    upperLayout->addWidget(pProgress);

    NewsBrowser = new TNewsBrowser;
    lvLog = ReportList("lvLog", {QString::fromUtf8(N_("Время")), QString::fromUtf8(N_("Событие"))});
    lvLog->setColumnWidth(0, 80);
    lvLog->setColumnWidth(1, 600);
    lvLog->horizontalHeader()->setStretchLastSection(false);
    pcBottom = Named(new QTabWidget, "pcBottom");
    tsNews = Filling(Bare("tsNews"), NewsBrowser);
    tsLog = Filling(Bare("tsLog"), lvLog);
    pcBottom->addTab(tsNews, QString::fromUtf8(N_(" Новости ")));
    pcBottom->addTab(tsLog, QString::fromUtf8(N_(" Журнал ")));

    Splitter = Named(new QSplitter(Qt::Vertical), "Splitter");
    Splitter->setHandleWidth(6);
    Splitter->setChildrenCollapsible(false);
    Splitter->addWidget(upper);
    Splitter->addWidget(pcBottom);
    // Growing the window grows the grids; the bottom pane keeps its height.
    Splitter->setStretchFactor(0, 1);
    Splitter->setStretchFactor(1, 0);
    Splitter->setSizes({750 - kBottomHeight, kBottomHeight});
    Filling(Panel2, Splitter);

    Panel1 = CreateButtonColumn();
    row->addWidget(Panel2, 1);
    row->addWidget(Panel1);
    return page;
}

QWidget* TfmMain::CreateButtonColumn() {
    auto* panel = Bare("Panel1");
    panel->setFixedWidth(kPanel1Width);
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
    btInsertURLs4Clip =
        button("btInsertURLs4Clip", N_("Вставить из буфера"), ilPngImages[imgCopy], 0);
    btImportURLs4TXT =
        button("btImportURLs4TXT", N_("Импорт URL из txt..."), TextDocumentIcon(), kButtonGap);
    btImportURLs4XML =
        button("btImportURLs4XML", N_("Импорт URL из xml..."), WebDocumentIcon(), kButtonGap);
    btRunRequests = button("btRunRequests", N_("Проверить URL"), ilPngImages[imgPlay], kGroupGap);
    btAbortRequests = button("btAbortRequests", N_("Отмена"), ilPngImages[imgCancel], kButtonGap);
    btExport = button("btExport", N_("Экспорт..."), SpreadsheetExportIcon(), kGroupGap);
    btRunRequests->setDefault(true);
    btRunRequests->setEnabled(false);
    btAbortRequests->setEnabled(false);
    btExport->setEnabled(false);

    // Placeholder until the score chart takes this place.
    crtURLScore = new TScoreChart;
    crtURLScore->setFixedSize(158, 255);
    crtURLScore->setFocusPolicy(Qt::TabFocus);
    col->addSpacing(kChartGap);
    col->addWidget(crtURLScore);
    col->addStretch(1);
    return panel;
}

QWidget* TfmMain::CreateParamsPage() {
    auto* page = Bare("tsParams");
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(4, 4, 4, 4);
    row->setSpacing(4);

    GroupBox1 = Named(new QGroupBox(QString::fromUtf8(N_(" Метрики "))), "GroupBox1");
    auto* metricsLayout = new QVBoxLayout(GroupBox1);
    metricsLayout->setContentsMargins(10, 10, 10, 10);
    metricsLayout->setSpacing(0);
    lvMetrics =
        ReportList("lvMetrics", {QString::fromUtf8(N_("№")), QString::fromUtf8(N_("Название"))});
    lvMetrics->setColumnWidth(0, 40);
    // The selected metric stays marked while the user reads elsewhere.
    QPalette metricsPal = lvMetrics->palette();
    for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
        metricsPal.setColor(QPalette::Inactive, role, metricsPal.color(QPalette::Active, role));
    lvMetrics->setPalette(metricsPal);
    lvMetrics->setColumnWidth(1, 400);
    Panel3 = Bare("Panel3");
    Panel3->setFixedHeight(20);
    GroupBox5 = Named(new QGroupBox(QString::fromUtf8(N_(" Описание метрики "))), "GroupBox5");
    GroupBox5->setFixedHeight(98);
    lbMetricaDescr = Named(new QLabel, "lbMetricaDescr");
    lbMetricaDescr->setWordWrap(true);
    lbMetricaDescr->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont descrFont(QStringLiteral("Verdana"));
    descrFont.setPointSize(10);
    descrFont.setStyleHint(QFont::SansSerif);
    lbMetricaDescr->setFont(descrFont);
    QPalette pal = lbMetricaDescr->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 128));
    lbMetricaDescr->setPalette(pal);
    Filling(GroupBox5, lbMetricaDescr);
    GroupBox5->layout()->setContentsMargins(8, 4, 8, 4);
    metricsLayout->addWidget(lvMetrics, 1);
    metricsLayout->addWidget(Panel3);
    metricsLayout->addWidget(GroupBox5);

    gbParams = CreateParamsGroup();
    row->addWidget(GroupBox1, 1);
    row->addWidget(gbParams);
    return page;
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
    Label1 = label("Label1", N_("Ключ API:"));
    edAPIKey = Named(new QLineEdit, "edAPIKey");
    lbGotoKeySite = LinkLabel("lbGotoKeySite", N_("<a>Узнать больше о получении Ключа API</a>"));
    auto* keyGrid = new QGridLayout;
    keyGrid->setContentsMargins(3, 12, 3, 0);
    keyGrid->setHorizontalSpacing(8);
    keyGrid->setVerticalSpacing(4);
    keyGrid->addWidget(Label1, 0, 0);
    keyGrid->addWidget(edAPIKey, 0, 1);
    keyGrid->addWidget(lbGotoKeySite, 1, 1);
    keyGrid->setColumnStretch(1, 1);
    outer->addLayout(keyGrid);
    outer->addSpacing(18);

    Label2 = label("Label2", N_("Количество потоков:"));
    edMaxTreads = Named(new TRangeSpinBox, "edMaxTreads");
    edMaxTreads->setRange(io::kMaxThreadsMin, io::kMaxThreadsMax);
    edMaxTreads->setValue(io::kMaxThreadsDefault);
    Label3 = label("Label3", N_("Задержка между запросами, мс:"));
    edMinReqDelay = Named(new TRangeSpinBox, "edMinReqDelay");
    edMinReqDelay->setRange(io::kReqPredelayMin, io::kReqPredelayMax);
    edMinReqDelay->setSingleStep(io::kReqPredelayStep);
    edMinReqDelay->setValue(io::kReqPredelayDefault);
    Label8 = label("Label8", N_("Не очищать URL при импорте:"));
    cbImpNoClearURLs = Named(new QCheckBox, "cbImpNoClearURLs");
    Label7 = label("Label7", N_("Язык программы:"));
    cbAppLang = Named(new QComboBox, "cbAppLang");
    cbAppLang->setEditable(false);
    edMaxTreads->setFixedWidth(68);
    edMinReqDelay->setFixedWidth(68);
    cbAppLang->setFixedWidth(116);

    auto* form = new QGridLayout;
    form->setContentsMargins(3, 0, 3, 0);
    form->setHorizontalSpacing(8);
    form->setVerticalSpacing(6);
    form->setColumnMinimumWidth(0, kInputColumn - 13);
    const std::pair<QLabel*, QWidget*> rows[] = {{Label2, edMaxTreads},
                                                 {Label3, edMinReqDelay},
                                                 {Label8, cbImpNoClearURLs},
                                                 {Label7, cbAppLang}};
    int r = 0;
    for (auto [l, input] : rows) {
        form->addWidget(l, r, 0);
        form->addWidget(input, r, 1, Qt::AlignLeft);
        ++r;
    }
    form->setColumnStretch(1, 1);
    outer->addLayout(form);
    outer->addStretch(1);

    Panel4 = CreateAboutBox();
    outer->addWidget(Panel4);
    return group;
}

QFrame* TfmMain::CreateAboutBox() {
    auto* box = Named(new QFrame, "Panel4");
    box->setFrameShape(QFrame::StyledPanel);
    box->setFrameShadow(QFrame::Sunken);
    box->setFixedHeight(91);
    box->setFocusPolicy(Qt::TabFocus);
    Label4 = Named(new QLabel(QString::fromUtf8(N_("About Velmora"))), "Label4");
    QFont titleFont(QStringLiteral("Verdana"));
    titleFont.setPointSize(9);
    titleFont.setBold(true);
    titleFont.setStyleHint(QFont::SansSerif);
    Label4->setFont(titleFont);
    lbVersion = Named(new QLabel(QStringLiteral("Version: ")), "lbVersion");
    lbGotoSite = LinkLabel("lbGotoSite", N_("<a>Посетить страницу программы</a>"));
    lbGotoSite->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lbGotoSite->setMinimumWidth(175);
    Label5 = LinkLabel("Label5", N_("Издатель: <a>Velmora Software</a>"));

    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(14, 10, 14, 10);
    grid->setVerticalSpacing(6);
    grid->addWidget(Label4, 0, 0, 1, 2);
    grid->addWidget(lbVersion, 1, 0);
    grid->addWidget(lbGotoSite, 1, 1);
    grid->addWidget(Label5, 2, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    return box;
}

void TfmMain::SetTabOrder() {
    // The button column's order: run, abort, txt import, export, xml import, paste, chart.
    QWidget* column[] = {btRunRequests,    btAbortRequests,   btImportURLs4TXT, btExport,
                         btImportURLs4XML, btInsertURLs4Clip, crtURLScore};
    for (size_t i = 1; i < std::size(column); ++i) setTabOrder(column[i - 1], column[i]);
    QWidget* params[] = {edAPIKey,  edMaxTreads,   edMinReqDelay,   Panel4,
                         cbAppLang, lbGotoKeySite, cbImpNoClearURLs};
    for (size_t i = 1; i < std::size(params); ++i) setTabOrder(params[i - 1], params[i]);
}

}  // namespace velmora::app
