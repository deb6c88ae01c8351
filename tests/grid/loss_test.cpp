// Results are never lost by one keystroke: the question before a loss, undo of a delete, the
// chart and Export following the list, and failures that can be read.
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/confirm_loss.h"
#include "app/score_chart.h"
#include "io/settings.h"
#include "support/window_env.h"
#include "support/window_fixture.h"

namespace velmora::app::test {
namespace {

class Loss : public TWindowTest {
  protected:
    void SetUp() override {
        TWindowTest::SetUp();
        QGuiApplication::clipboard()->setText("http://1/\nhttp://2/\nhttp://3/");
        G->btInsertURLs4ClipClick();
        SetResult(W->Master()[0], msDesktop, trOK, "91");
        SetResult(W->Master()[1], msDesktop, trOK, "42");
    }
    void SelectAllAndDelete() {
        Grid(msDesktop)->selectAll();
        G->miDeleteURL->trigger();
    }
};

TEST_F(Loss, DeletingRowsWithResultsIsAskedAndUndoBringsThemBack) {
    ConfirmAnswer = false;
    SelectAllAndDelete();
    ASSERT_EQ(Confirms.size(), 1);
    EXPECT_EQ(Confirms[0], "Удалить строки (3) вместе с результатами проверки?");
    EXPECT_EQ(W->Master().Count(), 3u);

    ConfirmAnswer = true;
    SelectAllAndDelete();
    EXPECT_TRUE(W->Master().Empty());
    EXPECT_FALSE(W->Ui().btExport->isEnabled());
    // The chart follows the emptied list.
    EXPECT_EQ(W->Ui().crtURLScore->Bands().Total(), 0);

    W->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(W.get()));
    Grid(msDesktop)->setFocus();
    QTest::keyClick(Grid(msDesktop), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Urls(), QStringList({"http://1/", "http://2/", "http://3/"}));
    EXPECT_EQ(Column(msDesktop, gcScore), QStringList({"91", "42", ""}));
    EXPECT_EQ(Column(msDesktop, gcNumber), QStringList({"1", "2", "3"}));
    EXPECT_EQ(W->Ui().crtURLScore->Bands().Total(), 2);
    EXPECT_TRUE(W->Ui().btExport->isEnabled());
    // One level: a second Ctrl+Z has nothing to put back.
    G->miUndoDeleteClick();
    EXPECT_EQ(W->Master().Count(), 3u);
}

TEST_F(Loss, UndoPutsDeletedRowsBackBetweenTheKeptOnes) {
    Grid(msDesktop)->selectRow(1);
    G->miDeleteURL->trigger();
    EXPECT_TRUE(Confirms.isEmpty());  // one row with results: no question
    EXPECT_EQ(Urls(), QStringList({"http://1/", "http://3/"}));
    G->miUndoDeleteClick();
    EXPECT_EQ(Urls(), QStringList({"http://1/", "http://2/", "http://3/"}));
    EXPECT_EQ(Column(msDesktop, gcScore), QStringList({"91", "42", ""}));
}

// Every import into a list that holds URLs asks whether to add or replace, proposing the last
// answer; Ctrl+Z puts the list back as it was, results included.
struct TImportCase {
    const char* Name;
    std::function<void(TWindowTest&)> Import;
};

class ImportChoice : public Loss, public ::testing::WithParamInterface<TImportCase> {};

TEST_P(ImportChoice, AsksAddOrReplaceRemembersTheAnswerAndUndoes) {
    const QStringList before{"http://1/", "http://2/", "http://3/"};
    const QStringList scores{"91", "42", ""};
    ImportAnswer = TImportChoice::Cancel;
    GetParam().Import(*this);
    ASSERT_EQ(ImportQuestions.size(), 1);
    EXPECT_EQ(ImportQuestions[0],
              "В списке уже есть URL: 3. Добавить к ним новые или заменить список? С "
              "результатами проверки: 2. Ctrl+Z вернёт список, как он был.");
    EXPECT_EQ(Proposed.back(), TImportChoice::Replace) << "the settings' default";
    EXPECT_EQ(Urls(), before) << "cancelled";
    EXPECT_TRUE(Confirms.isEmpty()) << "one question, not two";

    ImportAnswer = TImportChoice::Replace;
    GetParam().Import(*this);
    EXPECT_EQ(Urls(), QStringList{"http://new/"});
    G->miUndoDelete->trigger();
    EXPECT_EQ(Urls(), before);
    EXPECT_EQ(Column(msDesktop, gcScore), scores);

    ImportAnswer = TImportChoice::Add;
    GetParam().Import(*this);
    EXPECT_EQ(Urls(), before + QStringList{"http://new/"});
    EXPECT_TRUE(W->Ui().cbImpNoClearURLs->isChecked()) << "the answer is kept";
    ImportAnswer.reset();
    W->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(W.get()));
    Grid(msDesktop)->setFocus();
    QTest::keyClick(Grid(msDesktop), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Urls(), before);
    EXPECT_EQ(Column(msDesktop, gcScore), scores);
    GetParam().Import(*this);
    EXPECT_EQ(Proposed.back(), TImportChoice::Add) << "proposes the last answer";
    EXPECT_EQ(Urls(), before + QStringList{"http://new/"});
}

INSTANTIATE_TEST_SUITE_P(
    Sources, ImportChoice,
    ::testing::Values(TImportCase{"Paste",
                                  [](TWindowTest& t) {
                                      QGuiApplication::clipboard()->setText("http://new/");
                                      t.G->miPaste4Clipboard->trigger();
                                  }},
                      TImportCase{"TextFile",
                                  [](TWindowTest& t) { t.ImportText("http://new/\n"); }},
                      TImportCase{"StartUpFile",
                                  [](TWindowTest& t) {
                                      t.W->LoadUrlsFromTextFile(
                                          t.WriteFile("start.txt", "http://new/\n"));
                                  }}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(Loss, AnEmptyListIsFilledWithoutAQuestion) {
    SelectAllAndDelete();
    ASSERT_TRUE(W->Master().Empty());
    QGuiApplication::clipboard()->setText("http://new/");
    G->btInsertURLs4ClipClick();
    EXPECT_TRUE(ImportQuestions.isEmpty());
    EXPECT_EQ(Urls(), QStringList{"http://new/"});
}

TEST_F(Loss, DontAskAgainIsStoredAndHonoured) {
    TickDontAskAgain = true;
    SelectAllAndDelete();
    EXPECT_EQ(Confirms.size(), 1);
    EXPECT_FALSE(io::LoadWindowSettings(W->SettingsPath().toStdString()).ConfirmLoss);
    G->miUndoDeleteClick();
    ASSERT_EQ(W->Master().Count(), 3u);
    SelectAllAndDelete();
    EXPECT_EQ(Confirms.size(), 1);
    EXPECT_TRUE(W->Master().Empty());
}

TEST_F(Loss, EnterOnARowOpensItsAdviceAndNeverStartsARun) {
    SetResult(W->Master()[0], msDesktop, trOK, "91", "", 2);
    W->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(W.get()));
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        SCOPED_TRACE(key);
        AdviceShown.clear();
        Grid(msDesktop)->setFocus();
        Grid(msDesktop)->setCurrentIndex(Model(msDesktop)->index(0, gcURL));
        QTest::keyClick(Grid(msDesktop), key);
        QTest::qWait(100);
        EXPECT_EQ(AdviceShown, std::vector<size_t>{2});
        EXPECT_TRUE(Confirms.isEmpty());
        EXPECT_FALSE(W->Running());
        EXPECT_NE(W->Master()[0].TaskResults, nullptr);
    }
}

TEST_F(Loss, StartingARunOverRowsWithResultsIsAsked) {
    TMessageBoxCatcher boxes;
    ConfirmAnswer = false;
    struct Case {
        std::function<void()> Start;
        QString Question;
    } cases[] = {
        {[this] { W->btRunRequestsClick(); },
         "Проверить все URL заново? Текущие результаты будут потеряны."},
        {[this] {
             Grid(msDesktop)->selectAll();
             G->miCheckSelected->trigger();
         },
         "Проверить выбранные URL (2) заново? Их результаты будут потеряны."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Question.toStdString());
        Confirms.clear();
        c.Start();
        EXPECT_EQ(Confirms, QStringList{c.Question});
        EXPECT_FALSE(W->Running());
        EXPECT_EQ(Column(msDesktop, gcScore).mid(0, 2), (QStringList{"91", "42"}));
    }
}

// The real question: Enter and Esc both keep everything, only Yes goes on; the tick is
// reported.
TEST(ConfirmLossBox, OnlyYesGoesOn) {
    struct Case {
        std::function<void(QMessageBox*)> Answer;
        bool Tick;
        bool Expected;
    } cases[] = {
        {[](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Return); }, true, false},
        {[](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); }, false, false},
        {[](QMessageBox* b) { b->button(QMessageBox::Yes)->click(); }, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Expected);
        QTimer::singleShot(50, [&c] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            if (c.Tick) box->checkBox()->setChecked(true);
            c.Answer(box);
        });
        bool tick = !c.Tick;
        EXPECT_EQ(AskBeforeLoss(nullptr, "?", &tick), c.Expected);
        EXPECT_EQ(tick, c.Tick);
    }
}

using Questions = TWindowTest;

// The window's yes-or-no question (before an abort by keyboard): Enter and Esc say no.
TEST_F(Questions, EnterAndEscSayNo) {
    struct Case {
        std::function<void(QMessageBox*)> Answer;
        bool Expected;
    } cases[] = {
        {[](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Return); }, false},
        {[](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); }, false},
        {[](QMessageBox* b) { b->button(QMessageBox::Yes)->click(); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Expected);
        QTimer::singleShot(50, [&c] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            c.Answer(box);
        });
        EXPECT_EQ(G->Dialogs.Ask("?"), c.Expected);
    }
}

using Failures = TWindowTest;

TEST_F(Failures, ReasonInToolTipAndFirstLineOfTheAdviceWindowForBothStrategies) {
    QGuiApplication::clipboard()->setText("http://1/");
    G->btInsertURLs4ClipClick();
    TURLTaskInfo& t = W->Master()[0];
    SetResult(t, msDesktop, trServiceError, "", "", 0, 500);
    SetResult(t, msMobile, trParseError, "");
    t.TaskResults->ErrorMessage[msDesktop] = "сервер вернул необрабатываемую ошибку: Boom";
    t.TaskResults->ErrorMessage[msMobile] = "ОШИБКА парсинга ответа: TAPE_ERROR";
    struct Case {
        TMetricaStrategy S;
        QString Expected;
    } cases[] = {
        {msDesktop, "Ошибка: сервер вернул необрабатываемую ошибку: Boom (HTTP 500)"},
        {msMobile, "Ошибка: ОШИБКА парсинга ответа: TAPE_ERROR"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.S);
        EXPECT_EQ(Model(c.S)->index(0, gcError).data(Qt::ToolTipRole).toString(), c.Expected);
        W->Ui().pcStrategy->setCurrentIndex(c.S == msDesktop ? 0 : 1);
        Grid(c.S)->setCurrentIndex(Model(c.S)->index(0, gcURL));
        AdviceErrors.clear();
        G->GridDoubleClick(Grid(c.S));
        EXPECT_EQ(AdviceErrors, QStringList({c.Expected}));
    }
    // A good row has no tool tip and opens no window without advice.
    SetResult(t, msMobile, trOK, "90");
    EXPECT_FALSE(Model(msMobile)->index(0, gcError).data(Qt::ToolTipRole).isValid());
    AdviceErrors.clear();
    G->GridDoubleClick(Grid(msMobile));
    EXPECT_TRUE(AdviceErrors.isEmpty());
}

// The transfer's own status wins over the service's code, and retries are counted beside it.
TEST_F(Failures, RowsAStopLeftUncheckedSayWhyAndTheChartSaysWhatItCovers) {
    QGuiApplication::clipboard()->setText("http://1/\nhttp://2/\nhttp://3/");
    G->btInsertURLs4ClipClick();
    SetResult(W->Master()[0], msDesktop, trOK, "95");
    W->Master()[1].InitMetricResults();  // the daily quota stopped the run before it
    SetResult(W->Master()[2], msDesktop, trAborted, "");
    const QString quotaLine =
        "Остановлено: дневная квота API исчерпана. Команда «Перепроверить URL с ошибками» "
        "продолжит проверку.";
    struct Case {
        int Row;
        QString Cell, ToolTip;
    } cases[] = {
        {1, "остановлено: дневная квота", quotaLine},
        {2, "прервано", "Ошибка: проверка прервана"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Row);
        const QModelIndex cell = Model(msDesktop)->index(c.Row, gcError);
        EXPECT_EQ(cell.data().toString(), c.Cell);
        EXPECT_EQ(cell.data(Qt::ToolTipRole).toString(), c.ToolTip);
        Grid(msDesktop)->setCurrentIndex(cell);
        G->GridDoubleClick(Grid(msDesktop));
        ASSERT_FALSE(AdviceErrors.isEmpty());
        EXPECT_EQ(AdviceErrors.last(), c.ToolTip);
    }
    W->UpdateScoreChart();
    EXPECT_EQ(W->Ui().crtURLScore->CoverageText(), "Для компьютеров: проверено 1 из 3");
    EXPECT_EQ(W->Ui().crtURLScore->Bands().Good, 1);
}

TEST_F(Failures, ToolTipNamesTheHttpStatusAndTheRetries) {
    QGuiApplication::clipboard()->setText("http://1/");
    G->btInsertURLs4ClipClick();
    TURLTaskInfo& t = W->Master()[0];
    struct Case {
        const char* Name;
        TTaskResult Status;
        int32_t ErrorCode, HttpStatus;
        uint8_t Retries;
        QString Expected;
    } cases[] = {
        {"quota after two retries", trQuotaExceeded, 429, 429, 2,
         "Ошибка: boom (HTTP 429). Повторных попыток: 2"},
        {"dropped connection: no status", trSendError, 56, 0, 1,
         "Ошибка: boom. Повторных попыток: 1"},
        {"page error in a 200 answer", trServiceError, 0, 200, 0, "Ошибка: boom"},
        {"gateway status differs from the body's code", trServiceError, 500, 502, 0,
         "Ошибка: boom (HTTP 502)"},
        {"kept result without a status: the service's code", trServiceError, 503, 0, 0,
         "Ошибка: boom (HTTP 503)"},
        {"good after a retry", trOK, 0, 200, 1, "Повторных попыток: 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        SetResult(t, msDesktop, c.Status, c.Status == trOK ? "90" : "", "", 0, c.ErrorCode);
        t.TaskResults->ErrorMessage[msDesktop] = c.Status == trOK ? "" : "boom";
        t.TaskResults->HttpStatus[msDesktop] = c.HttpStatus;
        t.TaskResults->Retries[msDesktop] = c.Retries;
        EXPECT_EQ(Model(msDesktop)->index(0, gcError).data(Qt::ToolTipRole).toString(), c.Expected);
    }
    // The advice window's error line is the failure only: a good row has none.
    Grid(msDesktop)->setCurrentIndex(Model(msDesktop)->index(0, gcURL));
    t.TaskResults->AdviceList[msDesktop].assign(1, TGAdvice{});
    AdviceErrors.clear();
    G->GridDoubleClick(Grid(msDesktop));
    EXPECT_EQ(AdviceErrors, QStringList({QString()}));
}

}  // namespace
}  // namespace velmora::app::test
