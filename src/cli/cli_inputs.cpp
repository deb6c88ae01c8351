#include "cli/cli_inputs.h"

#include <sys/stat.h>

#include <filesystem>
#include <iterator>
#include <utility>
#include <vector>

#include "io/atomic_file.h"
#include "io/file_read.h"
#include "io/spreadsheet_csv.h"

namespace velmora::cli {
namespace {

// True when a and b name one file: the same inode when both exist, else the same path once
// symbolic links and "." / ".." are resolved.
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    const bool ea = ::stat(a.c_str(), &sa) == 0, eb = ::stat(b.c_str(), &sb) == 0;
    if (ea && eb) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    if (ea != eb) return false;
    std::error_code ec1, ec2;
    const auto ca = std::filesystem::weakly_canonical(std::filesystem::absolute(a), ec1);
    const auto cb = std::filesystem::weakly_canonical(std::filesystem::absolute(b), ec2);
    return !ec1 && !ec2 && ca == cb;
}

}  // namespace

TResult<> CheckOutputs(const TCliOptions& o, const std::string& iniPath,
                       const std::string& historyPath) {
    const auto journal = [&historyPath](const char* suffix) {
        return historyPath.empty() ? historyPath : historyPath + suffix;
    };
    const std::pair<const char*, std::string> inputs[] = {
        {"the URL file", o.UrlFile},
        {"the sitemap", o.SitemapFile},
        {"the settings file", iniPath},
        {"the key file", o.KeyFile},
        {"the budget file", o.BudgetFile},
        {"the run history", historyPath},
        {"the run history's journal", journal("-wal")},
        {"the run history's shared memory", journal("-shm")}};
    // JSON Lines on stdout ("-") is no file of ours to compare.
    const std::pair<const char*, std::string> outputs[] = {
        {"--desktop-csv", o.DesktopCsv},
        {"--mobile-csv", o.MobileCsv},
        {"--advice-csv", o.AdviceCsv},
        {"--spreadsheet-csv", o.SpreadsheetCsv},
        // Written beside it under a name of its own: guarded like every output.
        {"--spreadsheet-csv's advice file",
         o.SpreadsheetCsv.empty() ? std::string() : io::SpreadsheetAdvicePath(o.SpreadsheetCsv)},
        {"--report", o.ReportFile},
        {"--csv", o.CompareCsv},
        {"--fixes-csv", o.FixesCsv},
        {"--resources-csv", o.ResourcesCsv},
        {"--groups-csv", o.GroupsCsv},
        {"--json", o.JsonFile == "-" ? std::string() : o.JsonFile}};
    for (const auto& [option, path] : outputs) {
        if (path.empty()) continue;
        for (const auto& [what, input] : inputs)
            if (!input.empty() && SameFile(path, input))
                return Fail(std::string(option) + " " + path + " is " + what +
                            "; it would be overwritten");
    }
    for (size_t i = 0; i < std::size(outputs); ++i)
        for (size_t j = i + 1; j < std::size(outputs); ++j)
            if (!outputs[i].second.empty() && !outputs[j].second.empty() &&
                SameFile(outputs[i].second, outputs[j].second))
                return Fail(std::string(outputs[i].first) + " and " + outputs[j].first +
                            " name the same file " + outputs[j].second);
    // The CSVs are replaced whole at the end; the JSON file is opened before the first request.
    for (const auto& [option, path] : outputs) {
        if (path.empty() || path == o.JsonFile) continue;
        if (TResult<> probe = io::ProbeAtomicReplace(path); !probe)
            return Fail(std::string(option) + ": cannot write " + probe.Error(), probe.Code());
    }
    return {};
}

}  // namespace velmora::cli
