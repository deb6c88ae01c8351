// The crawl of a site in velmora-cli: its options and progress for --crawl, and the crawl
// command, which writes the pages found and checks nothing.
#pragma once

#include <atomic>
#include <string>

#include "cli/cli_options.h"
#include "cli/console_observer.h"
#include "io/crawl.h"

namespace velmora::cli {

// The crawl the options ask for, its progress on the console.
io::TCrawlOptions CrawlOptionsOf(const TCliOptions& o, TConsoleObserver& console,
                                 const std::atomic<bool>* abort);

// velmora-cli crawl URL [--output FILE]: the pages found, one per line, to FILE or stdout;
// nothing is sent to the service. Returns the exit status.
int RunCrawlCommand(const TCliOptions& o, const std::string& exeDir);

}  // namespace velmora::cli
