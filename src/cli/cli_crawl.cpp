#include "cli/cli_crawl.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/translate.h"
#include "cli/cli_run.h"
#include "engine/metrica.h"
#include "io/atomic_file.h"
#include "io/import_texts.h"
#include "io/translation.h"

namespace velmora::cli {

io::TCrawlOptions CrawlOptionsOf(const TCliOptions& o, TConsoleObserver& console,
                                 const std::atomic<bool>* abort) {
    io::TCrawlOptions crawl;
    crawl.abort = abort;
    if (o.MaxPages) crawl.maxPages = *o.MaxPages;
    if (o.MaxDepth) crawl.maxDepth = *o.MaxDepth;
    if (o.CrawlTimeoutS) crawl.timeout = std::chrono::seconds(*o.CrawlTimeoutS);
    if (o.CrawlRate) crawl.hostDelay = std::chrono::milliseconds(1000 / *o.CrawlRate);
    crawl.subdomains = o.CrawlSubdomains;
    // Pages found against the limit on a terminal; a line now and then in a log.
    crawl.progress = [&console, max = crawl.maxPages, last = std::chrono::steady_clock::now()](
                         const io::TCrawlProgress& p) mutable {
        console.Progress(TProgressStep{static_cast<int>(p.found), max});
        const auto now = std::chrono::steady_clock::now();
        if (now - last < std::chrono::seconds(5)) return;
        last = now;
        console.Log(TMsgForLog{FormatLog(Tr(io::kLogCrawlProgress),
                                         {std::to_string(p.fetched), std::to_string(p.queued),
                                          std::to_string(p.found)}),
                               std::chrono::system_clock::now()});
    };
    return crawl;
}

namespace {

constexpr const char* kMsgCrawlFoundNothing = "обход не нашёл ни одной страницы";

TResult<> WriteList(const std::string& path, const std::string& text) {
    if (path.empty() || path == "-") {
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
            std::fflush(stdout) != 0)
            return Fail("stdout: " + std::string(std::strerror(errno)));
        return {};
    }
    io::TAtomicFile file;
    if (TResult<> r = file.Open(path); !r) return r;
    if (TResult<> r = file.Write(text); !r) return r;
    return file.Commit();
}

}  // namespace

int RunCrawlCommand(const TCliOptions& o, const std::string& exeDir) {
    i18n::InitTranslation({exeDir + "locale", exeDir + "../app/locale", exeDir + "../share/locale",
                           VELMORA_LOCALEDIR});
    i18n::UseLanguage(std::string(
        AppLangTable[i18n::InterfaceLanguageRow(o.Lang, i18n::SystemLanguageCode())].Code));
    // A list that cannot be written is known before the site is crawled.
    if (!o.CrawlOutput.empty() && o.CrawlOutput != "-")
        if (TResult<> probe = io::ProbeAtomicReplace(o.CrawlOutput); !probe) {
            Complain(probe.Error());
            return kExitBadInput;
        }
    TURLTaskInfoList none;
    TConsoleObserver console(none, o.Quiet, ::isatty(STDERR_FILENO) == 1);
    TResult<io::TCrawlResult> found =
        io::CrawlSite(o.CrawlUrl, CrawlOptionsOf(o, console, &AbortSignalled()));
    console.EndProgress();
    if (!found) {
        Complain(found.Error());
        return AbortSignalled().load() ? kExitAborted : kExitBadInput;
    }
    // What cut the crawl short is said even with --quiet: the list is not the whole site.
    for (const std::string& line : io::CrawlReportLines(*found))
        if (!o.Quiet || found->timedOut) Complain(line);
    if (found->urls.empty()) {
        Complain(Tr(kMsgCrawlFoundNothing));
        return kExitBadInput;
    }
    std::string text;
    for (const std::string& url : found->urls) text += url + "\n";
    if (TResult<> written = WriteList(o.CrawlOutput, text); !written) {
        Complain(written.Error());
        return kExitBadInput;
    }
    return kExitCompleted;
}

}  // namespace velmora::cli
