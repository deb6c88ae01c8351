// Running the interpretation on one answer and reading back what it stored.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/interpret.h"

namespace velmora {

inline const std::string kNbsp = "\xC2\xA0";

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct TRun {
    TURLTaskInfo Task{"https://example.com/", 7};
    std::vector<std::string> Log;
    bool Ok = false;

    TTaskResult Status(TMetricaStrategy s = msDesktop) const {
        return Task.TaskResults->TaskResult[s];
    }
    const TURLTaskResults& Results() const { return *Task.TaskResults; }
    std::vector<std::string> Texts(TMetricaStrategy s = msDesktop) const {
        std::vector<std::string> out;
        for (const auto& v : Task.TaskResults->MetricaValues)
            if (v.Strategy == s) out.push_back(v.DisplayText);
        return out;
    }
    std::vector<std::string> Keys() const {
        std::vector<std::string> out;
        for (const auto& v : Task.TaskResults->MetricaValues) out.emplace_back(v.Key);
        return out;
    }
};

inline TRun Interpret(std::string_view body, TMetricaStrategy s = msDesktop, char sep = '.') {
    static thread_local simdjson::dom::parser parser;
    TRun r;
    r.Task.InitMetricResults();
    r.Ok = InterpretBody(parser, body, s, r.Task, sep,
                         [&](const std::string& line) { r.Log.push_back(line); });
    return r;
}

}  // namespace velmora
