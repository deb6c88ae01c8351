#include "cli/cli_run.h"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "base/translate.h"
#include "cli/budget.h"
#include "cli/cli_crawl.h"
#include "cli/cli_history.h"
#include "cli/cli_inputs.h"
#include "cli/cli_report.h"
#include "cli/console_observer.h"
#include "cli/json_output.h"
#include "cli/regression_gate.h"
#include "cli/summary_output.h"
#include "engine/run_controller.h"
#include "engine/worker.h"
#include "history/run_recorder.h"
#include "http/url.h"
#include "io/atomic_file.h"
#include "io/codepage.h"
#include "io/crawl.h"
#include "io/csv.h"
#include "io/file_read.h"
#include "io/import_texts.h"
#include "io/settings.h"
#include "io/sitemap_fetch.h"
#include "io/spreadsheet_csv.h"
#include "io/translation.h"
#include "io/url_import.h"
#include "session/api_key.h"
#include "session/run_session.h"

#ifndef VELMORA_LOCALEDIR
#define VELMORA_LOCALEDIR "/usr/share/locale"
#endif

namespace velmora::cli {
namespace {

std::atomic<bool> gAbortSignalled{false};
// The crawl that found this run's URLs was cut by its deadline: the JSON summary says so.
bool gCrawlTimedOut = false;

constexpr const char* kMsgBudgetBroken = "Бюджет нарушен: ";

// A sitemap's candidates into urls; false (after a message) when it cannot be read.
bool LoadSitemapUrls(const TCliOptions& o, TConsoleObserver& console,
                     std::vector<std::string>& urls, size_t& notKept, bool& partsFailed) {
    io::TSitemapFetchOptions fetch;
    fetch.abort = &gAbortSignalled;
    if (o.SitemapTimeoutS) fetch.timeout = std::chrono::seconds(*o.SitemapTimeoutS);
    // An index of many files on slow servers takes minutes: the bar on a terminal, a line
    // now and then in a log.
    fetch.progress = [&console, last = std::chrono::steady_clock::time_point()](
                         size_t done, size_t known) mutable {
        console.Progress(TProgressStep{static_cast<int>(done), static_cast<int>(known)});
        const auto now = std::chrono::steady_clock::now();
        if (now - last < std::chrono::seconds(5)) return;
        last = now;
        console.Log(TMsgForLog{FormatLog(Tr("Карта сайта: прочитано файлов: %s из %s"),
                                         {std::to_string(done), std::to_string(known)}),
                               std::chrono::system_clock::now()});
    };
    TResult<io::TSitemapLoad> map = io::LoadSitemap(o.SitemapFile, fetch);
    console.EndProgress();
    if (!map) {
        Complain(map.Error());
        return false;
    }
    for (const std::string& line : map->leftOut) Complain(line);
    partsFailed = !map->leftOut.empty();
    urls = std::move(map->urls);
    notKept = map->urlsNotKept;
    return true;
}

// The pages a crawl finds into urls; false (after a message) when not even the start could be
// read. timedOut: the crawl's deadline ended it.
bool LoadCrawlUrls(const TCliOptions& o, TConsoleObserver& console, std::vector<std::string>& urls,
                   bool& timedOut) {
    const io::TCrawlOptions crawl = CrawlOptionsOf(o, console, &gAbortSignalled);
    TResult<io::TCrawlResult> found = io::CrawlSite(o.CrawlUrl, crawl);
    console.EndProgress();
    if (!found) {
        Complain(http::WithoutUserInfo(found.Error()));
        return false;
    }
    gCrawlTimedOut = found->timedOut;
    // A crawl cut short is said even with --quiet: the list is not the whole site.
    for (const std::string& line : io::CrawlReportLines(*found))
        if (!o.Quiet || found->timedOut) Complain(http::WithoutUserInfo(line));
    urls = std::move(found->urls);
    timedOut = found->timedOut;
    return true;
}

// Why a source gave nothing to check, for the line that ends the run.
std::string NothingToCheck(const TCliOptions& o, bool partsFailed, bool crawlTimedOut) {
    if (!o.SitemapFile.empty())
        return partsFailed ? Tr("нет URL для проверки: файлы карты сайта не прочитаны")
                           : Tr("нет URL для проверки: в карте сайта нет ни одного URL");
    if (!o.CrawlUrl.empty())
        return crawlTimedOut
                   ? Tr("нет URL для проверки: обход сайта не нашёл ни одной страницы, пока не "
                        "истекло его время (--crawl-timeout)")
                   : Tr("нет URL для проверки: обход сайта не нашёл ни одной страницы");
    return FormatLog(Tr("нет URL для проверки: в файле %s нет ни одного URL"), 0, o.UrlFile);
}

// Reads the URL source into the master list; false (after a message) when it cannot be read.
bool ImportUrls(const TCliOptions& o, const std::string& codepage, TURLTaskInfoList& master,
                TConsoleObserver& console) {
    std::vector<std::string> urls;
    size_t notKept = 0;
    bool partsFailed = false, crawlTimedOut = false;
    if (!o.SitemapFile.empty()) {
        if (!LoadSitemapUrls(o, console, urls, notKept, partsFailed)) return false;
    } else if (!o.CrawlUrl.empty()) {
        if (!LoadCrawlUrls(o, console, urls, crawlTimedOut)) return false;
    } else {
        TResult<std::vector<std::string>> text = io::ReadTextFileUrls(o.UrlFile, codepage);
        if (!text) {
            Complain(text.Error() + " (" + o.UrlFile + ")");
            return false;
        }
        urls = std::move(*text);
    }
    io::TImportReport report = io::AddURLTasks(master, urls);
    // Candidates a sitemap had beyond what the import keeps count as over the limit too.
    report.overLimit += notKept;
    if (report.LimitReached())
        Complain(FormatLog(Tr(io::kMsgUrlLimitLeftOut), int32_t(report.overLimit)));
    const bool skipped = report.added + report.empty < urls.size() + notKept;
    if (!o.Quiet || skipped)
        for (const std::string& line : io::ImportReportLines(report)) Complain(line);
    // Nothing to check is no passed check: a gate must not pass it, nor empty files stand for
    // results.
    if (master.Empty()) {
        Complain(NothingToCheck(o, partsFailed, crawlTimedOut));
        return false;
    }
    return true;
}

size_t UncheckedCount(const TURLTaskInfoList& master) {
    size_t n = 0;
    for (size_t i = 0; i < master.Count(); ++i) {
        const TURLTaskResults* r = master[i].TaskResults.get();
        const auto done = [&](TMetricaStrategy s) {
            return !r->Asked(s) ||
                   (r->TaskResult[s] != trNotChecked && r->TaskResult[s] != trAborted);
        };
        if (!r || !done(msDesktop) || !done(msMobile)) ++n;
    }
    return n;
}

// The settings file the run reads; an explicitly named one must be readable.
TResult<io::TSettingsValues> LoadRunSettings(const TCliOptions& o, const std::string& iniPath) {
    if (!o.IniFile.empty()) {
        TResult<std::string> probe = io::ReadWholeFile(o.IniFile);
        if (!probe) return Fail("--ini: cannot read " + probe.Error(), probe.Code());
    }
    return io::LoadSettings(iniPath);
}

// Resident set size now, in KiB.
long CurrentRssKb() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    long pages = 0, resident = 0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// The limits of --fail-under and --budget; false (after a message) when the file is unusable.
bool LoadBudget(const TCliOptions& o, TBudget& budget) {
    if (o.FailUnder) AddScoreFloor(budget, *o.FailUnder);
    if (o.BudgetFile.empty()) return true;
    TResult<std::string> text = io::ReadWholeFile(o.BudgetFile, kMaxBudgetBytes);
    if (!text) {
        // The reading error names the file already.
        Complain(text.Code() == EFBIG ? o.BudgetFile + ": the budget file is over 1 MiB"
                                      : text.Error());
        return false;
    }
    TResult<TBudget> parsed = ParseBudget(*text);
    if (!parsed) {
        Complain(o.BudgetFile + ": " + parsed.Error());
        return false;
    }
    budget.insert(budget.end(), parsed->begin(), parsed->end());
    return true;
}

// Lists every broken limit on stderr; true when there was one.
bool ReportBudgetBreaks(const TBudget& budget, const TURLTaskInfoList& master) {
    bool broken = false;
    for (size_t i = 0; i < master.Count() && !budget.empty(); ++i) {
        for (const std::string& line : BudgetBreaks(budget, master[i])) {
            Complain(Tr(kMsgBudgetBroken) + line);
            broken = true;
        }
    }
    return broken;
}

long PeakRssKb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Every task of the list, in its order: what an export writes.
std::vector<const TURLTaskInfo*> AllRows(const TURLTaskInfoList& master) {
    std::vector<const TURLTaskInfo*> rows;
    rows.reserve(master.Count());
    for (size_t i = 0; i < master.Count(); ++i) rows.push_back(&master[i]);
    return rows;
}

}  // namespace

void Complain(const std::string& text) {
    std::fprintf(stderr, "velmora-cli: %s\n", text.c_str());
}

bool ExportAdvice(const std::string& path, const session::TRunSession& session,
                  const TURLTaskInfoList& master) {
    if (path.empty()) return true;
    return ReportCsv(path, session.ExportAdviceCsv(path, AllRows(master)));
}

bool ExportStrategy(const std::string& path, const session::TRunSession& session,
                    TMetricaStrategy s, const TURLTaskInfoList& master) {
    if (path.empty()) return true;
    return ReportCsv(path, session.ExportCsv(path, s, AllRows(master)));
}

bool ReportCsv(const std::string& path, const TResult<io::TCsvExport>& written) {
    if (!written) {
        Complain(Tr(io::kMsgExportFailed) + " " + written.Error());
        return false;
    }
    if (written->WrittenInUtf8) Complain(FormatLog(Tr(io::kLogCsvWrittenInUtf8), 0, path));
    return true;
}

void RequestAbortFromSignal() {
    gAbortSignalled.store(true);
}

const std::atomic<bool>& AbortSignalled() {
    return gAbortSignalled;
}

namespace {

// What a check run needs besides the session: its outputs and limits.
struct TRunOutputs {
    TBudget Budget;
    TJsonLinesWriter Json;
};

// The key and the budget, checked before any quota is spent (the outputs are checked already).
TResult<TRunSettings> PrepareRun(const TCliOptions& o, const io::TSettingsValues& settings,
                                 TRunOutputs& out) {
    const TResult<std::string> apiKey =
        session::ChooseApiKey(session::TKeySources{o.ApiKey, o.KeyFile}, settings.ApiKey);
    if (!apiKey) return apiKey.Failure();
    if (!LoadBudget(o, out.Budget)) return Fail({});
    TRunSettings run;
    run.ApiKey = *apiKey;
    run.MaxThreads = o.Threads.value_or(settings.MaxThreads);
    run.MinReqDelay = o.DelayMs.value_or(settings.ReqPredelay);
    run.Retries = o.Retries.value_or(settings.Retries);
    run.Categories = o.Categories.value_or(settings.Categories);
    run.Screenshots = o.ReportScreenshots;
    run.Strategies = o.Strategies.value_or(settings.Strategies);
    // Found out after the requests, every page would break it.
    if (std::optional<std::string> why = BudgetOutsideRun(out.Budget, run.Categories))
        return Fail(*why);
    return run;
}

void PrintStats(const TURLTaskInfoList& master, long rssBeforeRun,
                std::chrono::steady_clock::time_point runStart) {
    const long rssAfter = CurrentRssKb();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart).count();
    const double perUrl =
        master.Empty() ? 0.0 : double(rssAfter - rssBeforeRun) * 1024.0 / double(master.Count());
    std::fprintf(stderr,
                 "stats: urls=%zu run_seconds=%.3f rss_before_run_kb=%ld rss_after_run_kb=%ld "
                 "retained_bytes_per_url=%.0f peak_rss_kb=%ld\n",
                 master.Count(), seconds, rssBeforeRun, rssAfter, perUrl, PeakRssKb());
}

// Checks the list through the session; true when the user aborted it.
bool CheckUrls(const TCliOptions& o, session::TRunSession& session, TURLTaskInfoList& master) {
    if (master.Empty()) {
        Complain(Tr("нет URL для проверки"));
        return false;
    }
    const TResult<bool> started = session.Start(o.Resume ? TRunScope::Unchecked : TRunScope::All);
    if (!started) Complain(started.Error());
    bool aborted = false;
    session.Controller().DeliverUntilEnded([&] { return aborted = gAbortSignalled.load(); });
    return aborted;
}

// Writes every output; false when one could not be written (the others still are).
bool WriteOutputs(const TCliOptions& o, const session::TRunSession& session,
                  const TURLTaskInfoList& master, TJsonLinesWriter& json,
                  const std::vector<TGroupRule>& groupRules, const TAgainstRun* against) {
    const bool desktopWritten = ExportStrategy(o.DesktopCsv, session, msDesktop, master);
    const bool mobileWritten = ExportStrategy(o.MobileCsv, session, msMobile, master);
    const bool adviceWritten = ExportAdvice(o.AdviceCsv, session, master);
    bool written = desktopWritten && mobileWritten && adviceWritten;
    if (!o.SpreadsheetCsv.empty()) {
        if (TResult<> sheet =
                io::ExportSpreadsheetCsv(o.SpreadsheetCsv, AllRows(master), groupRules);
            !sheet) {
            Complain(Tr(io::kMsgExportFailed) + " " + sheet.Error());
            written = false;
        }
    }
    if (WantsSummaryCsv(o) || json.IsOpen()) {
        const std::vector<const TURLTaskInfo*> rows = AllRows(master);
        // A resumed run's pages checked before the stop are part of the run's output too.
        for (const TURLTaskInfo* task : rows)
            if (task->TaskResults && !json.Wrote(task->Num)) json.WriteTask(*task, against);
        const TSiteSummary summary = SummarizeSite(rows, groupRules);
        written = WriteSummaryCsvs(o, summary, rows) && written;
        json.WriteLine(SummaryJsonLine(summary, rows, gCrawlTimedOut));
    }
    if (TResult<> closed = json.Close(); !closed) {
        Complain(closed.Error());
        written = false;
    }
    return written;
}

// The report of the run just made, unless none is asked for; false after a message.
bool WriteRunReport(const TCliOptions& o, const session::TRunSession& session,
                    const TURLTaskInfoList& master, const TRunSettings& run, int64_t runId,
                    std::time_t started, const std::vector<TGroupRule>& groupRules) {
    if (o.ReportFile.empty()) return true;
    TReportInput input;
    std::string settings = history::RunSettingsText(run, session.Endpoint());
    settings += "\nretries=" + std::to_string(run.Retries);
    settings += "\ncategories=" + CategoriesText(run.Categories | kPerformanceOnly);
    const std::string source = o.Resume ? std::string() : SourceOf(o);
    input.Run = ReportRunOf(source.empty() ? o.CrawlUrl : source, started, settings, {}, runId);
    input.Rows = AllRows(master);
    input.Screenshots = o.ReportScreenshots;
    return SaveReport(o.ReportFile, input, session, groupRules);
}

// Without a catalogue every text stays in the source language; say so in the one wanted.
void WarnWithoutCatalogue(const std::string& catalogues, const std::string& lang) {
    if (catalogues.empty() && lang != "ru")
        Complain("warning: no translation catalogue found beside the program or in " +
                 std::string(VELMORA_LOCALEDIR) + "; log lines and CSV headers stay in Russian");
}

// What the options decide for the session beyond the settings file.
session::TSessionChoices SessionChoices(const TCliOptions& o) {
    session::TSessionChoices choices;
    choices.Endpoint = o.Endpoint.value_or(std::string());
    choices.Lang = o.Lang;
    choices.HistoryPath = o.DbFile;
    choices.NoHistory = o.NoHistory;  // the settings file's "off" the session reads itself
    choices.HistoryForReading =
        o.Command == "runs" || o.Command == "compare" || o.Command == "export";
    return choices;
}

// Lists every page that got worse than in the run compared with; true when there was one.
bool ReportRegressions(const TAgainstRun& against, const TURLTaskInfoList& master, int drop) {
    const std::vector<std::string> lines = RegressionLines(against, master, drop);
    for (const std::string& line : lines)
        Complain(FormatLog(Tr("Хуже, чем в запуске %s: "), 0, std::to_string(against.Id)) + line);
    return !lines.empty();
}

// The URLs to check (imported, or the unfinished run resumed) and the run to compare with; an
// exit status when the run cannot go on.
std::optional<int> LoadRunInputs(const TCliOptions& o, session::TRunSession& session,
                                 TURLTaskInfoList& master, TConsoleObserver& console,
                                 std::unique_ptr<TAgainstRun>& against) {
    if (o.Resume) {
        if (TResult<> resumed = session.LoadUnfinishedRun(); !resumed) {
            Complain(resumed.Error());
            return kExitBadInput;
        }
    }
    const std::string source = SourceOf(o);
    // Before the import: a crawl or a web sitemap can take minutes, and a run to compare with
    // that is not there is known now.
    if (!o.Against.empty()) {
        if (!session.History()) {
            Complain(Tr("--against: история проверок не открыта"));
            return kExitBadInput;
        }
        TResult<std::unique_ptr<TAgainstRun>> loaded =
            LoadAgainst(session.History()->Store(), o.Against, source);
        if (!loaded) {
            Complain(loaded.Error());
            return kExitBadInput;
        }
        against = std::move(*loaded);
    }
    if (!o.Resume && !ImportUrls(o, session.CodePage(), master, console))
        // Ctrl+C during a long sitemap import is an abort like one during the check.
        return gAbortSignalled.load() ? kExitAborted : kExitBadInput;
    session.SetSource(source);
    return std::nullopt;
}

}  // namespace

int RunCli(const TCliOptions& o, const std::string& exeDir) {
    gAbortSignalled.store(false);
    gCrawlTimedOut = false;
    const std::string iniPath = o.IniFile.empty() ? io::SettingsFilePath(exeDir) : o.IniFile;
    io::RemoveStaleTempFiles(iniPath);
    const TResult<io::TSettingsValues> loaded = LoadRunSettings(o, iniPath);
    if (!loaded) {
        Complain(loaded.Error());
        return kExitBadInput;
    }
    const io::TSettingsValues& settings = *loaded;

    const std::string catalogues =
        i18n::InitTranslation({exeDir + "locale", exeDir + "../app/locale",
                               exeDir + "../share/locale", VELMORA_LOCALEDIR});
    TURLTaskInfoList master;
    TConsoleObserver console(master, o.Quiet, ::isatty(STDERR_FILENO) == 1);
    TRunSettings run;
    session::TSessionChoices choices = SessionChoices(o);
    choices.RunSettings = [&run] { return run; };
    const std::string historyPath = session::HistoryPath(settings, choices);
    // Before the history is opened: an output that names it must not touch it.
    if (o.Command != "runs" && o.Command != "delete") {
        if (TResult<> outputs = CheckOutputs(o, iniPath, historyPath); !outputs) {
            Complain(outputs.Error());
            return kExitBadInput;
        }
    }
    TResult<std::unique_ptr<session::TRunSession>> opened =
        session::TRunSession::Open(settings, std::move(choices), master, console);
    if (!opened) {
        Complain(opened.Error() + " (" + iniPath + ")");
        return kExitBadInput;
    }
    session::TRunSession& session = **opened;
    WarnWithoutCatalogue(catalogues, session.Lang());
    for (const std::string& notice : session.Notices()) Complain(notice);
    if (session.HistoryRefused()) return kExitBadInput;
    // A check whose results the history would not keep is refused before it spends requests; a
    // scheduled run exiting 0 would hide the loss.
    if (o.Command.empty() && !historyPath.empty() && !session.History()) {
        Complain(
            Tr("проверка не начата: история проверок не открыта (--no-history проверяет без "
               "неё)"));
        return kExitBadInput;
    }
    std::vector<TGroupRule> groupRules;
    if ((WantsSummaryCsv(o) || !o.JsonFile.empty() || !o.ReportFile.empty() ||
         !o.SpreadsheetCsv.empty()) &&
        !LoadGroupRules(settings.Groups, groupRules))
        return kExitBadInput;
    if (!o.Command.empty()) return RunHistoryCommand(o, session, groupRules);

    TRunOutputs out;
    TResult<TRunSettings> prepared = PrepareRun(o, settings, out);
    if (!prepared) {
        if (!prepared.Error().empty()) Complain(prepared.Error());
        return kExitBadInput;
    }
    run = *prepared;
    run.Locale = o.Locale.value_or(settings.RequestLocale ? session.Lang() : std::string());
    std::unique_ptr<TAgainstRun> against;
    if (std::optional<int> stop = LoadRunInputs(o, session, master, console, against)) return *stop;
    if (against)
        if (std::optional<std::string> why = AgainstMismatch(*against, master, run.Strategies)) {
            Complain(*why);
            return kExitBadInput;
        }
    // Opened once there is something to check, so that a source with nothing leaves no empty file.
    if (!o.JsonFile.empty())
        if (TResult<> opened = out.Json.Open(o.JsonFile); !opened) {
            Complain(opened.Error());
            return kExitBadInput;
        }
    if (!o.JsonFile.empty())
        console.SetOnTaskFinished([&out, &against](const TURLTaskInfo& task) {
            out.Json.WriteTask(task, against.get());
        });

    const long rssBeforeRun = CurrentRssKb();
    const auto runStart = std::chrono::steady_clock::now();
    const std::time_t started = std::time(nullptr);
    const bool aborted = CheckUrls(o, session, master);
    session.Shutdown();
    const int64_t runId = session.History() ? session.History()->RunId() : 0;
    session.FinishHistory();
    if (o.Stats) PrintStats(master, rssBeforeRun, runStart);
    // Every output is tried, whichever fails: hence &.
    const bool written = WriteOutputs(o, session, master, out.Json, groupRules, against.get()) &
                         WriteRunReport(o, session, master, run, runId, started, groupRules);
    if (aborted) {
        Complain(
            FormatLog(Tr("прервано: не проверено URL: %s из %s"),
                      {std::to_string(UncheckedCount(master)), std::to_string(master.Count())}));
        return kExitAborted;
    }
    if (!written) return kExitBadInput;
    // Both lists are printed, whichever has lines: hence | and not ||.
    const bool broken =
        ReportBudgetBreaks(out.Budget, master) |
        (against && o.FailOnDrop && ReportRegressions(*against, master, *o.FailOnDrop));
    if (session.HistoryLost()) {
        Complain(Tr("История проверок сохранила этот запуск не полностью"));
        return kExitHistoryLost;
    }
    return broken ? kExitBudgetBroken : kExitCompleted;
}

}  // namespace velmora::cli
