// The main window's controls. Built by the layout code, used by the window's own parts and,
// read-only, by the widget tests.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>

#include "app/main_window.h"

namespace velmora::app {

class TAcrossPages;
class THistoryPage;
class TNewsBrowser;
class TScoreChart;

struct TfmMain::TUi {
    QTabWidget* pcPages = nullptr;
    THistoryPage* tsHistory = nullptr;  // the run history
    QWidget* tsURLs = nullptr;
    QWidget* tsParams = nullptr;
    QWidget* pGridsAndBottom = nullptr;  // the grids above news and log, left of pButtons
    QTabWidget* pcStrategy = nullptr;
    QWidget* tsURLsD = nullptr;
    QWidget* tsURLsM = nullptr;
    TAcrossPages* tsAcross = nullptr;  // the failing audits, resources and groups of all pages
    QTableView* vtURLsD = nullptr;
    QTableView* vtURLsM = nullptr;
    QWidget* pCompare = nullptr;  // above the grids while two runs are compared
    QWidget* pFilter = nullptr;   // the filter bar above the grids (TGridFilter)
    QWidget* pProgress = nullptr;
    QProgressBar* pbProgress = nullptr;  // a run's or an import's progress
    QLabel* lbPace = nullptr;            // during a run: requests today, the gap between them
    QSplitter* spGridsAndBottom = nullptr;
    QTabWidget* pcBottom = nullptr;
    QWidget* tsNews = nullptr;
    QWidget* tsLog = nullptr;
    TNewsBrowser* wbNews = nullptr;
    QTableWidget* lvLog = nullptr;
    QCheckBox* cbLogErrorsOnly = nullptr;  // hides the log's lines that tell of no failure
    QWidget* pButtons = nullptr;           // the button column with the chart
    QPushButton* btInsertURLs4Clip = nullptr;
    QPushButton* btImportURLs4TXT = nullptr;
    QPushButton* btImportURLs4XML = nullptr;
    QPushButton* btImportURLs4Web = nullptr;    // a sitemap at a web address
    QPushButton* btImportURLs4Crawl = nullptr;  // the pages a crawl of a site finds
    QPushButton* btRunRequests = nullptr;
    QPushButton* btContinueRequests = nullptr;  // checks the rows without a result
    QPushButton* btAbortRequests = nullptr;
    QPushButton* btExport = nullptr;
    QPushButton* btExportSheet = nullptr;  // both strategies for spreadsheets
    QPushButton* btSaveReport = nullptr;   // the HTML report
    TScoreChart* crtURLScore = nullptr;
    QGroupBox* gbMetrics = nullptr;
    QTableWidget* lvMetrics = nullptr;
    QWidget* pMetricsGap = nullptr;  // between the metric list and its description
    QGroupBox* gbMetricaDescr = nullptr;
    QLabel* lbMetricaDescr = nullptr;
    QGroupBox* gbParams = nullptr;
    QLabel* lbAPIKey = nullptr;
    QLineEdit* edAPIKey = nullptr;
    QPushButton* btShowAPIKey = nullptr;  // shows the key while checked
    QLabel* lbGotoKeySite = nullptr;
    QLabel* lbMaxThreads = nullptr;
    QSpinBox* edMaxTreads = nullptr;
    QLabel* lbMinReqDelay = nullptr;
    QSpinBox* edMinReqDelay = nullptr;
    QLabel* lbRetries = nullptr;
    QSpinBox* edRetries = nullptr;
    QLabel* lbImpNoClearURLs = nullptr;
    QCheckBox* cbImpNoClearURLs = nullptr;
    // Lighthouse categories a run asks for; performance always.
    QLabel* lbCategories = nullptr;
    QCheckBox* cbCategoryPerformance = nullptr;
    QCheckBox* cbCategoryAccessibility = nullptr;
    QCheckBox* cbCategoryBestPractices = nullptr;
    QCheckBox* cbCategorySeo = nullptr;
    // Which chosen category the score chart counts.
    QComboBox* cbScoreCategory = nullptr;
    QLabel* lbStrategies = nullptr;
    QComboBox* cbStrategies = nullptr;     // both, desktop only, mobile only (TStrategySet order)
    QCheckBox* cbRequestLocale = nullptr;  // the service's advice in the interface language
    QCheckBox* cbReportScreenshots = nullptr;  // runs keep the final screenshots for reports
    QLabel* lbGroups = nullptr;
    QLineEdit* edGroups = nullptr;  // the page groups: "name=glob" rules separated by ";"
    QLabel* lbEndpoint = nullptr;
    QLineEdit* edEndpoint = nullptr;   // the service's address in force, read-only
    QLabel* lbEndpointNote = nullptr;  // in the status bar while it is not the service's own
    QLabel* lbAppLang = nullptr;
    QComboBox* cbAppLang = nullptr;
    QFrame* pAbout = nullptr;
    QLabel* lbAboutTitle = nullptr;
    QLabel* lbVersion = nullptr;
    QLabel* lbGotoSite = nullptr;
    QLabel* lbGotoPublisherSite = nullptr;
};

}  // namespace velmora::app
