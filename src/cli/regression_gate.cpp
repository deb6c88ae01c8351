#include "cli/regression_gate.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "base/translate.h"
#include "cli/cli_options.h"
#include "engine/grid_text.h"
#include "history/run_compare.h"
#include "history/run_recorder.h"
#include "http/url.h"
#include "io/sitemap_fetch.h"

namespace velmora::cli {

std::string SourceOf(const TCliOptions& o) {
    if (!o.CrawlUrl.empty()) return o.CrawlUrl;
    const std::string& named = o.SitemapFile.empty() ? o.UrlFile : o.SitemapFile;
    if (named.empty()) return named;
    // Compared with the source recorded, which keeps no credentials.
    if (io::IsWebAddress(named)) return http::WithoutUserInfo(named);
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(named, ec);
    return ec ? named : absolute.lexically_normal().string();
}

const TURLTaskInfo* TAgainstRun::Find(const std::string& url) const {
    auto it = ByUrl.find(url);
    return it == ByUrl.end() ? nullptr : it->second;
}

TResult<std::unique_ptr<TAgainstRun>> LoadAgainst(history::IHistoryStore& store,
                                                  const std::string& which,
                                                  const std::string& source) {
    int64_t id = 0;
    if (which == "last") {
        TResult<std::vector<history::TRunSummary>> runs = store.ListRuns();
        if (!runs) return runs.Failure();
        for (const history::TRunSummary& r : *runs)
            if (r.Run.Finished && !source.empty() && r.Run.Params.Source == source) {
                id = r.Run.Id;
                break;
            }
        if (!id)
            return Fail(
                FormatLog(Tr("в истории нет завершённого запуска тех же URL (%s)"), 0, source));
    } else {
        id = std::stoll(which);  // checked by the option parser
    }
    TResult<history::TLoadedRun> loaded = store.LoadRunForCompare(id);
    if (!loaded) return loaded.Failure();
    auto against = std::make_unique<TAgainstRun>();
    against->Id = id;
    against->Strategies = loaded->Run.Params.Strategies;
    against->List = std::move(loaded->List);
    for (size_t i = 0; i < against->List.Count(); ++i)
        against->ByUrl.emplace(against->List[i].URL, &against->List[i]);
    return against;
}

std::optional<std::string> AgainstMismatch(const TAgainstRun& against,
                                           const TURLTaskInfoList& master,
                                           TStrategySet strategies) {
    const std::string run = std::to_string(against.Id);
    if ((against.Strategies & strategies) == 0)
        return FormatLog(
            Tr("--against: запуск %s проверял %s, а этот запуск — %s; сравнивать нечего"),
            {run, std::string(StrategiesText(against.Strategies)),
             std::string(StrategiesText(strategies))});
    for (size_t i = 0; i < master.Count(); ++i)
        if (against.Find(master[i].URL)) return std::nullopt;
    return FormatLog(Tr("--against: в запуске %s нет ни одного из этих URL; сравнивать нечего"),
                     {run});
}

std::optional<double> ScoreOf(const TURLTaskInfo* task, TMetricaStrategy s) {
    if (!task || !task->TaskResults || task->TaskResults->TaskResult[s] != trOK)
        return std::nullopt;
    const TMetricaValue* v = task->TaskResults->MetricaValues.GetValueByKey("performance", s);
    if (!v || !std::isfinite(v->Number)) return std::nullopt;
    return v->Number;
}

// Checked and failed: an error of the service or of the request, not a page left unchecked.
bool FailsNow(const TURLTaskInfo& now, TMetricaStrategy s) {
    if (!now.TaskResults || !now.TaskResults->Asked(s)) return false;
    const TTaskResult r = now.TaskResults->TaskResult[s];
    return r != trOK && r != trNotChecked && r != trAborted;
}

TPageChange ChangeOf(const TURLTaskInfo* earlier, const TURLTaskInfo& now, TMetricaStrategy s) {
    TPageChange c;
    if (!earlier || !earlier->TaskResults || !now.TaskResults) return c;
    const std::optional<double> before = ScoreOf(earlier, s), after = ScoreOf(&now, s);
    if (before && after) c.Score = *after - *before;
    c.Before = earlier->TaskResults->FieldData[s].Verdict;
    c.After = now.TaskResults->FieldData[s].Verdict;
    return c;
}

std::vector<std::string> RegressionLines(const TAgainstRun& against, const TURLTaskInfoList& master,
                                         int dropPoints) {
    struct TWorse {
        double Drop;
        std::string Line;
    };
    std::vector<TWorse> worse;
    for (size_t i = 0; i < master.Count(); ++i) {
        const TURLTaskInfo& now = master[i];
        const TURLTaskInfo* earlier = against.Find(now.URL);
        for (TMetricaStrategy s : kStrategies) {
            const TPageChange c = ChangeOf(earlier, now, s);
            const std::optional<double> before = ScoreOf(earlier, s);
            // A page that had a score and now fails fell as far as it could.
            if (before && FailsNow(now, s)) {
                worse.push_back(
                    {*before + 1,
                     now.URL + " (" + std::string(StrategyText(s)) + "): " +
                         FormatLog(Tr("оценка %s → ошибка: %s"), {CellText(earlier, s, gcScore),
                                                                  now.TaskResults->ErrorText(s)})});
                continue;
            }
            const bool fell = c.Score && -*c.Score >= dropPoints;
            const bool failed = c.Before == cvPassed && c.After == cvFailed;
            if (!fell && !failed) continue;
            std::string line = now.URL + " (" + std::string(StrategyText(s)) + "): ";
            if (fell)
                line += FormatLog(Tr("оценка %s → %s"),
                                  {CellText(earlier, s, gcScore), CellText(&now, s, gcScore)});
            if (fell && failed) line += "; ";
            if (failed) line += Tr("Core Web Vitals: пройдены → не пройдены");
            worse.push_back({c.Score ? -*c.Score : 0, std::move(line)});
        }
    }
    std::stable_sort(worse.begin(), worse.end(),
                     [](const TWorse& a, const TWorse& b) { return a.Drop > b.Drop; });
    std::vector<std::string> lines;
    for (TWorse& w : worse) lines.push_back(std::move(w.Line));
    return lines;
}

}  // namespace velmora::cli
