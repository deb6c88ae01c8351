#include "cli/cli_run.h"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "base/decimal_separator.h"
#include "base/translate.h"
#include "cli/budget.h"
#include "cli/cli_history.h"
#include "cli/cli_inputs.h"
#include "cli/console_window.h"
#include "cli/event_queue.h"
#include "cli/json_output.h"
#include "engine/run_controller.h"
#include "engine/worker.h"
#include "io/advice_csv.h"
#include "io/atomic_file.h"
#include "io/codepage.h"
#include "io/csv.h"
#include "io/file_read.h"
#include "io/import_texts.h"
#include "io/settings.h"
#include "io/sitemap_fetch.h"
#include "io/translation.h"
#include "io/url_import.h"

#ifndef VELMORA_LOCALEDIR
#define VELMORA_LOCALEDIR "/usr/share/locale"
#endif

namespace velmora::cli {
namespace {

std::atomic<bool> gAbortSignalled{false};

constexpr const char* kMsgBudgetBroken = "Бюджет нарушен: ";

std::string ChooseLanguage(const TCliOptions& o, const io::TSettingsValues& s) {
    const std::string& wanted = o.Lang.empty() ? s.Lang : o.Lang;
    return std::string(
        AppLangTable[i18n::InterfaceLanguageRow(wanted, i18n::SystemLanguageCode())].Code);
}

// Reads the URL source into the master list; false (after a message) when it cannot be read.
bool ImportUrls(const TCliOptions& o, const std::string& codepage, TURLTaskInfoList& master) {
    std::vector<std::string> urls;
    size_t notKept = 0;
    if (!o.SitemapFile.empty()) {
        io::TSitemapFetchOptions fetch;
        fetch.abort = &gAbortSignalled;
        TResult<io::TSitemapLoad> map = io::LoadSitemap(o.SitemapFile, fetch);
        if (!map) {
            Complain(map.Error());
            return false;
        }
        for (const std::string& line : map->leftOut) Complain(line);
        urls = std::move(map->urls);
        notKept = map->urlsNotKept;
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
    return true;
}

size_t UncheckedCount(const TURLTaskInfoList& master) {
    size_t n = 0;
    for (size_t i = 0; i < master.Count(); ++i) {
        const TURLTaskResults* r = master[i].TaskResults.get();
        const auto done = [&](TMetricaStrategy s) {
            return r->TaskResult[s] != trNotChecked && r->TaskResult[s] != trAborted;
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
    io::TSettingsValues settings = io::LoadSettings(iniPath);
    if (!settings.Endpoint.empty()) {
        TResult<std::string> endpoint = io::CheckEndpoint(settings.Endpoint);
        if (!endpoint) return Fail(endpoint.Error() + " (" + iniPath + ")");
        settings.Endpoint = *endpoint;
    }
    return settings;
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
    TResult<std::string> text = io::ReadWholeFile(o.BudgetFile);
    TResult<TBudget> parsed = text ? ParseBudget(*text) : TResult<TBudget>(Fail(text.Error()));
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

bool ExportAdvice(const std::string& path, const std::string& codepage, char decimalSeparator,
                  const TURLTaskInfoList& master) {
    if (path.empty()) return true;
    const TResult<> written =
        io::ExportAdviceCsv(path, codepage, decimalSeparator, AllRows(master));
    if (written) return true;
    Complain(Tr(io::kMsgExportFailed) + " " + written.Error());
    return false;
}

bool ExportStrategy(const std::string& path, const std::string& codepage, TMetricaStrategy s,
                    const TURLTaskInfoList& master) {
    if (path.empty()) return true;
    const TResult<io::TCsvExport> written = io::ExportGridCsv(path, codepage, s, AllRows(master));
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

int RunCli(const TCliOptions& o, const std::string& exeDir) {
    gAbortSignalled.store(false);
    const std::string iniPath = o.IniFile.empty() ? io::SettingsFilePath(exeDir) : o.IniFile;
    io::RemoveStaleTempFiles(iniPath);
    const TResult<io::TSettingsValues> loaded = LoadRunSettings(o, iniPath);
    if (!loaded) {
        Complain(loaded.Error());
        return kExitBadInput;
    }
    const io::TSettingsValues& settings = *loaded;

    const std::string catalogues =
        i18n::InitTranslation({exeDir + "locale", exeDir + "../app/locale", VELMORA_LOCALEDIR});
    std::string lang = ChooseLanguage(o, settings);
    i18n::UseLanguage(lang);
    // Without a catalogue every text stays in the source language; say so in the one wanted.
    if (catalogues.empty() && lang != "ru")
        Complain("warning: no translation catalogue found beside the program or in " +
                 std::string(VELMORA_LOCALEDIR) + "; log lines and CSV headers stay in Russian");
    std::string codepage = io::AnsiCodePageFor(lang);

    std::unique_ptr<TCliHistory> history = TCliHistory::Open(o, settings);
    if (!o.Command.empty()) return RunHistoryCommand(o, history.get(), lang);

    const TResult<std::string> apiKey = ChooseApiKey(o, settings.ApiKey);
    if (!apiKey) {
        Complain(apiKey.Error());
        return kExitBadInput;
    }
    if (TResult<> outputs = CheckOutputs(o, iniPath); !outputs) {
        Complain(outputs.Error());
        return kExitBadInput;
    }
    TBudget budget;
    if (!LoadBudget(o, budget)) return kExitBadInput;
    TJsonLinesWriter json;
    if (!o.JsonFile.empty()) {
        if (TResult<> opened = json.Open(o.JsonFile); !opened) {
            Complain(opened.Error());
            return kExitBadInput;
        }
    }

    TURLTaskInfoList master;
    if (o.Resume) {
        // The resumed run ends as it began: in its own language.
        if (!history || !history->Resume(master, lang)) return kExitBadInput;
        i18n::UseLanguage(lang);
        codepage = io::AnsiCodePageFor(lang);
    } else if (!ImportUrls(o, codepage, master)) {
        return kExitBadInput;
    }
    if (master.Empty()) Complain("no URLs to check");

    // Workers are detached and may post their very last event after the run has ended; the
    // queue therefore lives for the whole process.
    static auto* queue = new TEventQueue;
    TWorkerConfig config;
    config.Endpoint = o.Endpoint.value_or(settings.Endpoint.empty() ? std::string(kDefaultEndpoint)
                                                                    : settings.Endpoint);
    if (io::EndpointSendsKeyInClear(config.Endpoint))
        Complain(FormatLog(Tr(io::kMsgEndpointInClear), 0, config.Endpoint));
    config.Sink = queue;
    config.DecimalSeparator = LocaleDecimalSeparator();
    TThreadWorkerFactory workers(config);

    TRunSettings run;
    run.ApiKey = *apiKey;
    run.MaxThreads = o.Threads.value_or(settings.MaxThreads);
    run.MinReqDelay = o.DelayMs.value_or(settings.ReqPredelay);
    run.Retries = o.Retries.value_or(settings.Retries);

    TConsoleWindow window(master, o.Quiet, ::isatty(STDERR_FILENO) == 1);
    if (!o.JsonFile.empty())
        window.SetOnTaskFinished([&json](const TURLTaskInfo& task) { json.WriteTask(task); });
    CheckRunController controller(window, master, workers, [&] { return run; });
    if (history) {
        if (!o.Resume) history->Begin(master, lang, history::RunSettingsText(run, config.Endpoint));
        controller.SetRunObserver(history.get());
    }

    auto deliver = [&](std::chrono::milliseconds wait) {
        std::optional<TWorkerEvent> ev = queue->Pop(wait);
        if (!ev) return false;
        controller.WndProc(std::move(*ev));
        return true;
    };

    const long rssBeforeRun = CurrentRssKb();
    const auto runStart = std::chrono::steady_clock::now();
    bool aborted = false;
    if (!master.Empty()) {
        controller.btRunRequestsClick(o.Resume ? TRunSender::btResume : TRunSender::btRunRequests);
        while (controller.Running()) {
            // Events end the wait at once; the timeout only bounds how late Ctrl+C is seen.
            deliver(std::chrono::milliseconds(250));
            if (gAbortSignalled.load() && !aborted) {
                aborted = true;
                controller.btAbortRequestsClick();
            }
        }
    }
    // Results of workers that ended after the run did still belong in the export.
    controller.Shutdown([&] {
        bool any = false;
        while (deliver(std::chrono::milliseconds(0))) any = true;
        return any;
    });
    if (history) history->Finish(aborted, master);

    if (o.Stats) {
        const long rssAfter = CurrentRssKb();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart).count();
        const double perUrl =
            master.Empty() ? 0.0
                           : double(rssAfter - rssBeforeRun) * 1024.0 / double(master.Count());
        std::fprintf(stderr,
                     "stats: urls=%zu run_seconds=%.3f rss_before_run_kb=%ld rss_after_run_kb=%ld "
                     "retained_bytes_per_url=%.0f peak_rss_kb=%ld\n",
                     master.Count(), seconds, rssBeforeRun, rssAfter, perUrl, PeakRssKb());
    }
    // One failed file does not cost the others their results.
    const bool desktopWritten = ExportStrategy(o.DesktopCsv, codepage, msDesktop, master);
    const bool mobileWritten = ExportStrategy(o.MobileCsv, codepage, msMobile, master);
    const bool adviceWritten = ExportAdvice(o.AdviceCsv, codepage, config.DecimalSeparator, master);
    bool written = desktopWritten && mobileWritten && adviceWritten;
    if (TResult<> closed = json.Close(); !closed) {
        Complain(closed.Error());
        written = false;
    }
    if (aborted) {
        Complain("aborted: " + std::to_string(UncheckedCount(master)) + " of " +
                 std::to_string(master.Count()) + " URLs left unchecked");
        return kExitAborted;
    }
    if (!written) return kExitBadInput;
    return ReportBudgetBreaks(budget, master) ? kExitBudgetBroken : kExitCompleted;
}

}  // namespace velmora::cli
