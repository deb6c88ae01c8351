#include "cli/cli_run.h"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "base/decimal_separator.h"
#include "base/translate.h"
#include "cli/console_window.h"
#include "cli/event_queue.h"
#include "engine/run_controller.h"
#include "engine/worker.h"
#include "io/codepage.h"
#include "io/csv.h"
#include "io/import_texts.h"
#include "io/settings.h"
#include "io/sitemap.h"
#include "io/translation.h"
#include "io/url_import.h"

#ifndef VELMORA_LOCALEDIR
#define VELMORA_LOCALEDIR "/usr/share/locale"
#endif

namespace velmora::cli {
namespace {

std::atomic<bool> gAbortSignalled{false};

void Complain(const std::string& text) {
    std::fprintf(stderr, "velmora-cli: %s\n", text.c_str());
}

std::string ChooseLanguage(const TCliOptions& o, const io::TSettingsValues& s) {
    const std::string& wanted = o.Lang.empty() ? s.Lang : o.Lang;
    return std::string(
        AppLangTable[i18n::InterfaceLanguageRow(wanted, i18n::SystemLanguageId())].Code);
}

// Reads the URL source into the master list; false (after a message) when it cannot be read.
bool ImportUrls(const TCliOptions& o, const std::string& codepage, TURLTaskInfoList& master) {
    std::vector<std::string> urls;
    if (!o.SitemapFile.empty()) {
        TResult<io::TSitemap> map = io::ParseSitemap(o.SitemapFile);
        if (!map) {
            Complain(map.Error());
            return false;
        }
        urls = std::move(map->locs);
    } else {
        TResult<std::vector<std::string>> text = io::ReadTextFileUrls(o.UrlFile, codepage);
        if (!text) {
            Complain(text.Error() + " (" + o.UrlFile + ")");
            return false;
        }
        urls = std::move(*text);
    }
    io::TImportStats stats = io::AddURLTasks(master, urls);
    if (stats.limitReached) Complain(Tr(io::kMsgUrlLimit));
    return true;
}

bool Export(const std::string& path, const std::string& codepage, TMetricaStrategy s,
            const TURLTaskInfoList& master) {
    if (path.empty()) return true;
    std::vector<const TURLTaskInfo*> rows;
    rows.reserve(master.Count());
    for (size_t i = 0; i < master.Count(); ++i) rows.push_back(&master[i]);
    const TResult<> written = io::ExportGridCsv(path, codepage, s, rows);
    if (written) return true;
    Complain(Tr(io::kMsgExportFailed) + " " + written.Error());
    return false;
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

long PeakRssKb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

void RequestAbortFromSignal() {
    gAbortSignalled.store(true);
}

int RunCli(const TCliOptions& o, const std::string& exeDir) {
    gAbortSignalled.store(false);
    const std::string iniPath = o.IniFile.empty() ? io::SettingsFilePath(exeDir) : o.IniFile;
    const io::TSettingsValues settings = io::LoadSettings(iniPath);

    i18n::InitTranslation({exeDir + "locale", exeDir + "../app/locale", VELMORA_LOCALEDIR});
    const std::string lang = ChooseLanguage(o, settings);
    i18n::UseLanguage(lang);
    const std::string codepage = io::AnsiCodePageFor(lang);

    TURLTaskInfoList master;
    if (!ImportUrls(o, codepage, master)) return kExitBadInput;

    // Workers are detached and may post their very last event after the run has ended; the
    // queue therefore lives for the whole process.
    static auto* queue = new TEventQueue;
    TWorkerConfig config;
    config.Endpoint = o.Endpoint.value_or(settings.Endpoint.empty() ? std::string(kDefaultEndpoint)
                                                                    : settings.Endpoint);
    config.Sink = queue;
    config.DecimalSeparator = LocaleDecimalSeparator();
    TThreadWorkerFactory workers(config);

    TRunSettings run;
    run.ApiKey = o.ApiKey.value_or(settings.ApiKey);
    run.MaxThreads = o.Threads.value_or(settings.MaxThreads);
    run.MinReqDelay = o.DelayMs.value_or(settings.ReqPredelay);
    run.Retries = o.Retries.value_or(settings.Retries);

    TConsoleWindow window(master, o.Quiet, ::isatty(STDERR_FILENO) == 1);
    CheckRunController controller(window, master, workers, [&] { return run; });

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
        controller.btRunRequestsClick(TRunSender::btRunRequests);
        while (controller.Running()) {
            deliver(std::chrono::milliseconds(50));
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
    bool written = Export(o.DesktopCsv, codepage, msDesktop, master) &&
                   Export(o.MobileCsv, codepage, msMobile, master);
    if (aborted) return kExitAborted;
    return written ? kExitCompleted : kExitBadInput;
}

}  // namespace velmora::cli
