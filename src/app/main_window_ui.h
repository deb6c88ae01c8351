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

class THistoryPage;
class TNewsBrowser;
class TScoreChart;

struct TfmMain::TUi {
    QTabWidget* pcPages = nullptr;
    THistoryPage* tsHistory = nullptr;  // the run history
    QWidget* tsURLs = nullptr;
    QWidget* tsParams = nullptr;
    QWidget* Panel2 = nullptr;
    QTabWidget* pcStrategy = nullptr;
    QWidget* tsURLsD = nullptr;
    QWidget* tsURLsM = nullptr;
    QTableView* vtURLsD = nullptr;
    QTableView* vtURLsM = nullptr;
    QWidget* pCompare = nullptr;  // above the grids while two runs are compared
    QWidget* pProgress = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QSplitter* Splitter = nullptr;
    QTabWidget* pcBottom = nullptr;
    QWidget* tsNews = nullptr;
    QWidget* tsLog = nullptr;
    TNewsBrowser* NewsBrowser = nullptr;
    QTableWidget* lvLog = nullptr;
    QWidget* Panel1 = nullptr;
    QPushButton* btInsertURLs4Clip = nullptr;
    QPushButton* btImportURLs4TXT = nullptr;
    QPushButton* btImportURLs4XML = nullptr;
    QPushButton* btImportURLs4Web = nullptr;  // a sitemap at a web address
    QPushButton* btRunRequests = nullptr;
    QPushButton* btAbortRequests = nullptr;
    QPushButton* btExport = nullptr;
    TScoreChart* crtURLScore = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QTableWidget* lvMetrics = nullptr;
    QWidget* Panel3 = nullptr;
    QGroupBox* GroupBox5 = nullptr;
    QLabel* lbMetricaDescr = nullptr;
    QGroupBox* gbParams = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* edAPIKey = nullptr;
    QLabel* lbGotoKeySite = nullptr;
    QLabel* Label2 = nullptr;
    QSpinBox* edMaxTreads = nullptr;
    QLabel* Label3 = nullptr;
    QSpinBox* edMinReqDelay = nullptr;
    QLabel* lbRetries = nullptr;
    QSpinBox* edRetries = nullptr;
    QLabel* Label8 = nullptr;
    QCheckBox* cbImpNoClearURLs = nullptr;
    QLabel* Label7 = nullptr;
    QComboBox* cbAppLang = nullptr;
    QFrame* Panel4 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* lbVersion = nullptr;
    QLabel* lbGotoSite = nullptr;
    QLabel* Label5 = nullptr;
};

}  // namespace velmora::app
