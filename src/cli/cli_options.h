// Command line of velmora-cli.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora::cli {

struct TCliOptions {
    std::string UrlFile;
    std::string SitemapFile;
    std::optional<std::string> ApiKey;
    std::optional<int> Threads;
    std::optional<int> DelayMs;
    std::optional<int> Retries;  // tries again after a passing fault
    std::optional<std::string> Endpoint;
    std::string DesktopCsv;
    std::string MobileCsv;
    std::string Lang;     // empty: settings file, then the system's language
    std::string IniFile;  // empty: the usual settings file
    bool Quiet = false;
    bool Stats = false;  // memory and timing figures on stderr at the end
    bool Help = false;
    bool Version = false;
};

struct TParseResult {
    TCliOptions Options;
    std::string Error;  // empty when the command line is usable
};

TParseResult ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();

}  // namespace velmora::cli
