// A shown main window whose dialogs are answered by the test.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>

#include "app/grid_model.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/url_grids.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"
#include "support/test_paths.h"

namespace velmora::app::test {

using velmora::test::WaitFor;

struct TBox {
    QMessageBox::Icon Icon;
    QString Text;
};

class TWindowTest : public ::testing::Test {
  public:
    void SetUp() override { Open("ru"); }
    void TearDown() override { W.reset(); }

    void Open(const char* lang, const QString& endpoint = {}) {
        ASSERT_TRUE(Dir.isValid());
        QFile ini(Dir.filePath("Velmora.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QByteArray("[PARAMS]\r\nlang=") + lang + "\r\n");
        ini.close();
        TAppOptions o;
        o.AppDir = Dir.path() + "/";
        o.SettingsPath = Dir.filePath("Velmora.ini");
        o.HistoryPath = Dir.filePath("history.sqlite");
        o.CatalogueDirs = {velmora::test::LocaleDir()};
        o.NewsBaseUrl = QStringLiteral("http://127.0.0.1:9");
        o.Endpoint = endpoint;
        W = std::make_unique<TfmMain>(o);
        W->show();
        QApplication::processEvents();
        G = &W->UrlGrids();
        ASSERT_NE(G, nullptr);
        G->Dialogs.OpenFileName = [this](const QString& title, const QString& dir,
                                         const QString& filter) {
            Asked << title << dir << filter;
            return NextFile;
        };
        G->Dialogs.SaveFileName = [this](const QString& title, const QString& proposed,
                                         const QString& filter) {
            Asked << title << proposed << filter;
            return NextFile;
        };
        G->Dialogs.Message = [this](QMessageBox::Icon icon, const QString& text, const QString&) {
            Boxes.push_back({icon, text});
        };
        G->Dialogs.OpenUrl = [this](const QUrl& u) { Opened << u; };
        // Unless a test answers, an import does what the settings propose.
        G->Dialogs.ChooseImport = [this](const QString& text, TImportChoice proposed) {
            ImportQuestions << text;
            Proposed.push_back(proposed);
            return ImportAnswer.value_or(proposed);
        };
        G->Dialogs.Confirm = [this](const QString& text, bool* dontAskAgain) {
            Confirms << text;
            *dontAskAgain = TickDontAskAgain;
            return ConfirmAnswer;
        };
        G->Dialogs.ShowAdvices =
            [this](const TGAdviceList& l, const QString& errorLine,
                   const std::vector<history::IHistoryStore::TScorePoint>& trend) {
                AdviceShown.push_back(l.size());
                AdviceErrors << errorLine;
                AdviceTrends.push_back(trend);
            };
    }

    QString WriteFile(const QString& name, const QByteArray& bytes) {
        QFile f(Dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }

    void ImportText(const QByteArray& bytes) {
        NextFile = WriteFile("urls.txt", bytes);
        G->btImportURLs4TXTClick();
    }

    TURLGridModel* Model(TMetricaStrategy s) const { return W->GridModel(s); }
    QTableView* Grid(TMetricaStrategy s) const {
        return s == msDesktop ? W->Ui().vtURLsD : W->Ui().vtURLsM;
    }

    // The column's texts in display order.
    QStringList Column(TMetricaStrategy s, int col) const {
        QStringList out;
        for (int r = 0; r < Model(s)->rowCount(); ++r)
            out << Model(s)->index(r, col).data().toString();
        return out;
    }
    QStringList Urls() const {
        QStringList out;
        for (size_t i = 0; i < W->Master().Count(); ++i)
            out << QString::fromStdString(W->Master()[i].URL);
        return out;
    }
    QString Caption() const {
        return W->Ui().pcPages->tabText(W->Ui().pcPages->indexOf(W->Ui().tsURLs));
    }
    QString LastLog() const {
        return W->Ui().lvLog->rowCount() ? W->Ui().lvLog->item(0, 1)->text() : QString();
    }

    // Results for one strategy: status, score and LCP texts, number of advice items.
    static void SetResult(TURLTaskInfo& t, TMetricaStrategy s, TTaskResult status,
                          const char* score, const char* lcp = "", int advices = 0,
                          int errorCode = 0) {
        if (!t.TaskResults) t.InitMetricResults();
        TURLTaskResults& r = *t.TaskResults;
        r.TaskResult[s] = status;
        r.ErrorCode[s] = errorCode;
        if (*score) r.MetricaValues.push_back({"performance", s, score, 3});
        if (*lcp) r.MetricaValues.push_back({"largest-contentful-paint", s, lcp, 7});
        r.AdviceList[s].assign(static_cast<size_t>(advices), TGAdvice{});
    }

    QTemporaryDir Dir;
    std::unique_ptr<TfmMain> W;
    TURLGrids* G = nullptr;
    QString NextFile;
    QStringList Asked;
    std::vector<TBox> Boxes;
    QList<QUrl> Opened;
    std::vector<size_t> AdviceShown;
    QStringList AdviceErrors;  // the first line of each advice window shown
    std::vector<std::vector<history::IHistoryStore::TScorePoint>> AdviceTrends;  // its chart
    QStringList Confirms;         // questions asked before a loss
    QStringList ImportQuestions;  // an import's question: add or replace
    std::vector<TImportChoice> Proposed;
    std::optional<TImportChoice> ImportAnswer;
    bool ConfirmAnswer = true;
    bool TickDontAskAgain = false;
};

}  // namespace velmora::app::test
