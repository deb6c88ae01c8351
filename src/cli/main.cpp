// velmora-cli: checks a list of URLs with PageSpeed Insights from scripts and schedulers.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>

#include "cli/cli_crawl.h"
#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "engine/process_tuning.h"
#include "http/curl.h"

namespace {

volatile std::sig_atomic_t gInterrupts = 0;

void OnInterrupt(int) {
    gInterrupts = gInterrupts + 1;
    if (gInterrupts > 1) _exit(velmora::cli::kExitAborted);
    velmora::cli::RequestAbortFromSignal();
}

std::string ExeDir(const char* argv0) {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) exe = std::filesystem::absolute(argv0, ec);
    return exe.parent_path().string() + "/";
}

}  // namespace

int main(int argc, char** argv) {
    velmora::TuneProcessForWorkers();
    velmora::http::TCurlGlobal curl;
    std::vector<std::string> args(argv + 1, argv + argc);
    auto parsed = velmora::cli::ParseCommandLine(args);
    if (parsed.Options.Help) {
        std::fputs(velmora::cli::UsageText().c_str(), stdout);
        return 0;
    }
    if (parsed.Options.Version) {
        std::printf("velmora-cli %s\n", VELMORA_VERSION);
        return 0;
    }
    if (!parsed.Error.empty()) {
        std::fprintf(stderr, "velmora-cli: %s\n\n%s", parsed.Error.c_str(),
                     velmora::cli::UsageText().c_str());
        return velmora::cli::kExitBadInput;
    }
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    // A closed stderr (a pipe into "head") must cost log lines only, never the run's results.
    std::signal(SIGPIPE, SIG_IGN);
    if (parsed.Options.Command == "crawl")
        return velmora::cli::RunCrawlCommand(parsed.Options, ExeDir(argv[0]));
    return velmora::cli::RunCli(parsed.Options, ExeDir(argv[0]));
}
