// The grid model against Qt's own model checker, through every change the window makes:
// import, sort, repaint, delete, reload and clearing.
#include "app/grid_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QStringList>

#include "support/qt_print.h"

namespace velmora::app::test {
namespace {

// Collects what the checker complains about instead of letting it stop the program.
class TModelWarnings {
  public:
    TModelWarnings() {
        FCollected = this;
        FPrevious = qInstallMessageHandler(&TModelWarnings::Handle);
    }
    ~TModelWarnings() {
        qInstallMessageHandler(FPrevious);
        FCollected = nullptr;
    }
    TModelWarnings(const TModelWarnings&) = delete;
    TModelWarnings& operator=(const TModelWarnings&) = delete;

    QStringList Texts;

  private:
    static void Handle(QtMsgType type, const QMessageLogContext& ctx, const QString& text) {
        if (type != QtDebugMsg && ctx.category && QByteArray(ctx.category) == "qt.modeltest")
            FCollected->Texts << text;
    }
    static inline TModelWarnings* FCollected = nullptr;
    QtMessageHandler FPrevious = nullptr;
};

void Import(TURLTaskInfoList& list, TURLGridModel& model, const std::vector<std::string>& urls,
            bool keep) {
    model.BeginBulkUpdate();
    if (!keep) {
        model.ClearRows();
        list.Clear();
    }
    for (const std::string& url : urls) list.Add(url);
    model.EndBulkUpdate();
}

TEST(GridModel, PassesTheModelCheckerThroughEveryChange) {
    for (TMetricaStrategy s : kStrategies) {
        SCOPED_TRACE(s == msDesktop ? "desktop" : "mobile");
        TModelWarnings warnings;
        TURLTaskInfoList list;
        TURLGridModel model(list, s);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::Warning);

        Import(list, model, {"http://c/", "http://a/", "http://b/"}, false);
        ASSERT_EQ(model.rowCount(), 3);
        list[1].InitMetricResults();
        list[1].TaskResults->TaskResult[s] = trOK;
        list[1].TaskResults->MetricaValues.push_back({"performance", s, "90", 3});
        model.RepaintTask(list[1]);
        model.SortRows(1, Qt::AscendingOrder);
        model.SortRows(3, Qt::DescendingOrder);
        Import(list, model, {"http://d/"}, true);
        EXPECT_EQ(model.rowCount(), 4);

        model.RemoveRowsByNums({list[0].Num, list[3].Num});
        list.DeleteByNums({list[0].Num, list[3].Num});
        model.NumbersChanged();
        EXPECT_EQ(model.rowCount(), 2);
        model.RepaintAll();
        model.Retranslate();
        model.Reload();
        Import(list, model, {}, false);
        EXPECT_EQ(model.rowCount(), 0);

        EXPECT_TRUE(warnings.Texts.isEmpty()) << warnings.Texts.join('\n').toStdString();
    }
}

}  // namespace
}  // namespace velmora::app::test
