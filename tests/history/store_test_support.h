// What the store tests of both backends share: tasks as workers leave them, real answers
// interpreted, and the comparison of a task that came back with the one that went in.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/grid_text.h"
#include "engine/interpret.h"
#include "history/history_store.h"
#include "history/result_codec.h"

namespace velmora::history {

// A child that just waits to be killed: a live process that is not this one.
class TChild {
  public:
    TChild() : FPid(fork()) {
        if (FPid == 0) {
            pause();
            _exit(0);
        }
    }
    ~TChild() { Kill(); }
    long Pid() const { return FPid; }
    void Kill() {
        if (FPid <= 0) return;
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
        FPid = -1;
    }

  private:
    pid_t FPid;
};

// A task as the worker leaves it: desktop checked with advice, mobile failed.
inline TStoredResult Checked(int32_t num, const std::string& score, const std::string& fcp) {
    TStoredResult r;
    r.Num = num;
    TURLTaskResults& t = r.Results;
    t.TaskResult = {trOK, trServiceError};
    t.ErrorCode = {0, 500};
    t.MetricaValues.push_back({"performance", msDesktop, score, 0});
    t.MetricaValues.push_back({"first-contentful-paint", msDesktop, fcp, 0});
    t.MetricaValues.push_back({"cumulative-layout-shift", msDesktop, "0,012", 0});
    t.MetricaValues.push_back({"total", msDesktop, "1 234,5 kb", 0});
    TGAdvice unused;
    unused.Title = TInternedText("Reduce unused JavaScript");
    unused.AdviceText = TInternedText("Est savings of 120 KiB");
    unused.Descr = TInternedText("Reduce unused JavaScript and defer loading scripts.");
    unused.AuditId = TInternedText("unused-javascript");
    unused.Score = 0.5;
    t.AdviceList[msDesktop].push_back(unused);
    TGAdvice longTasks;
    longTasks.Title = TInternedText("Avoid long main-thread tasks");
    longTasks.AdviceText = TInternedText("3 long tasks found");
    longTasks.Descr = TInternedText("Lists the longest tasks on the main thread.");
    longTasks.AdviceGroupNdx = 1;
    longTasks.AuditId = TInternedText("long-tasks");
    t.AdviceList[msDesktop].push_back(longTasks);
    return r;
}

inline std::string Row(const TURLTaskInfo& t, TMetricaStrategy s) {
    std::string row;
    for (int c = 0; c < gcColumnEnd; ++c) row += CellText(&t, s, c) + ";";
    return row;
}

inline std::string ReadAnswer(const std::string& name) {
    std::ifstream in(std::string(VELMORA_PSI_ANSWERS) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Both strategies of a task through the real interpretation, as a worker leaves it.
struct TAnswered {
    std::string desktop, mobile;  // answer files; empty: the request got a bare HTTP 503
    char sep = '.';
    TCategorySet categories = kPerformanceOnly;
};

inline TStoredResult Interpreted(int32_t num, const TAnswered& a) {
    static simdjson::dom::parser parser;
    TURLTaskInfo task("https://site.example/" + std::to_string(num), num);
    task.InitMetricResults();
    task.TaskResults->Categories = a.categories;
    for (TMetricaStrategy s : kStrategies) {
        const std::string& file = s == msDesktop ? a.desktop : a.mobile;
        std::string lastLog;
        TAnswerContext context;
        if (file.empty()) context.HttpStatus = 503;
        InterpretBody(
            parser, file.empty() ? std::string() : ReadAnswer(file), s, task, a.sep,
            [&](const std::string& line) { lastLog = line; }, &context);
        if (file.empty()) {
            task.TaskResults->HttpStatus[s] = 503;
            task.TaskResults->Retries[s] = 2;
            task.TaskResults->ErrorMessage[s] = lastLog;
        } else {
            task.TaskResults->HttpStatus[s] = 200;
        }
    }
    // Merging gives each value its grid column.
    for (TMetricaValue& v : task.TaskResults->MetricaValues) v.ColNum = ColNumByKey(v.Key);
    return {num, std::move(*task.TaskResults), 1700000000};
}

// Everything the grids, the colours, the advice window and the failure text read.
inline void ExpectSameTask(const TURLTaskInfo& loaded, const TURLTaskResults& live,
                           bool withAdvice) {
    SCOPED_TRACE(loaded.URL);
    ASSERT_TRUE(loaded.TaskResults);
    TURLTaskInfo liveTask(loaded.URL, loaded.Num);
    liveTask.TaskResults = std::make_unique<TURLTaskResults>(live);
    const TURLTaskResults& back = *loaded.TaskResults;
    for (TMetricaStrategy s : kStrategies) {
        EXPECT_EQ(Row(loaded, s), Row(liveTask, s));
        for (int c = gcCwv; c < gcCount; ++c)
            EXPECT_EQ(FieldCellCategory(&loaded, s, c), FieldCellCategory(&liveTask, s, c)) << c;
        EXPECT_EQ(EncodeFieldData(back.FieldData[s]), EncodeFieldData(live.FieldData[s]));
        EXPECT_EQ(back.HttpStatus[s], live.HttpStatus[s]);
        EXPECT_EQ(back.Retries[s], live.Retries[s]);
        EXPECT_EQ(back.ErrorMessage[s], live.ErrorMessage[s]);
        EXPECT_EQ(back.Categories, live.Categories);
        EXPECT_EQ(back.TaskResult[s], live.TaskResult[s]);
        EXPECT_EQ(back.ServiceCode[s], live.ServiceCode[s]);
        EXPECT_EQ(back.ServiceText[s], live.ServiceText[s]);
        // The numbers as measured, not as the cells round them.
        for (const TMetricaValue& v : live.MetricaValues) {
            if (v.Strategy != s) continue;
            const TMetricaValue* b = back.MetricaValues.GetValueByKey(v.Key, s);
            ASSERT_NE(b, nullptr) << v.Key;
            if (std::isnan(v.Number))
                EXPECT_TRUE(std::isnan(b->Number)) << v.Key;
            else
                EXPECT_EQ(b->Number, v.Number) << v.Key;
        }
        if (!withAdvice) {
            EXPECT_TRUE(back.AdviceList[s].empty());
            continue;
        }
        ASSERT_EQ(back.AdviceList[s].size(), live.AdviceList[s].size());
        for (size_t i = 0; i < live.AdviceList[s].size(); ++i) {
            const TGAdvice &a = back.AdviceList[s][i], &b = live.AdviceList[s][i];
            EXPECT_EQ(a.Title.str(), b.Title.str());
            EXPECT_EQ(a.Descr.str(), b.Descr.str());
            EXPECT_EQ(a.AdviceText, b.AdviceText);
            EXPECT_EQ(a.AdviceGroupNdx, b.AdviceGroupNdx);
            EXPECT_EQ(a.AuditId.str(), b.AuditId.str());
            EXPECT_EQ(a.Score, b.Score);
            EXPECT_EQ(a.Category, b.Category);
            EXPECT_EQ(a.Manual, b.Manual);
            EXPECT_EQ(a.Informative, b.Informative) << a.AuditId.str();
            EXPECT_EQ(a.Group.str(), b.Group.str());
            EXPECT_EQ(a.GroupTitle.str(), b.GroupTitle.str());
            EXPECT_TRUE(a.Figures == b.Figures) << a.AuditId.str();
        }
    }
}

}  // namespace velmora::history
