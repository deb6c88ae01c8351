// A gate on regressions: each page compared with the same page in an earlier run of the
// history, for scripts that must fail when a site got slower.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "cli/cli_options.h"
#include "engine/field_data.h"
#include "engine/tasks.h"
#include "history/history_store.h"

namespace velmora::cli {

// Where the options take the URLs from, as a later run names it: the URL file's absolute
// path, a sitemap's address (or its file's absolute path), a crawl's start; empty for a resumed
// run.
std::string SourceOf(const TCliOptions& o);

// The earlier run, its pages by URL.
struct TAgainstRun {
    int64_t Id = 0;
    TStrategySet Strategies = kBothStrategies;  // the strategies that run asked for
    TURLTaskInfoList List;
    std::unordered_map<std::string, const TURLTaskInfo*> ByUrl;
    const TURLTaskInfo* Find(const std::string& url) const;
};

// The run "last" or a run id names. "last" is the newest run with an end (completed, aborted
// or stopped by the quota) whose URLs came from source.
TResult<std::unique_ptr<TAgainstRun>> LoadAgainst(history::IHistoryStore& store,
                                                  const std::string& which,
                                                  const std::string& source);

// Why a run of master asking for strategies cannot be compared with against: no strategy or
// no URL in common; nothing when it can.
std::optional<std::string> AgainstMismatch(const TAgainstRun& against,
                                           const TURLTaskInfoList& master, TStrategySet strategies);

// How one strategy of a page changed: the score's difference (none when either run has no
// score) and the Core Web Vitals verdict before and after.
struct TPageChange {
    std::optional<double> Score;
    TCwvVerdict Before = cvNone, After = cvNone;
};
TPageChange ChangeOf(const TURLTaskInfo* earlier, const TURLTaskInfo& now, TMetricaStrategy s);

// One line per page and strategy whose score fell by dropPoints or more, that had a score and
// now fails, or whose Core Web Vitals went from passed to failed; worst first.
std::vector<std::string> RegressionLines(const TAgainstRun& against, const TURLTaskInfoList& master,
                                         int dropPoints);

}  // namespace velmora::cli
