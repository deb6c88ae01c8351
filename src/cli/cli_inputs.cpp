#include "cli/cli_inputs.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <utility>
#include <vector>

#include "io/atomic_file.h"
#include "io/file_read.h"

namespace velmora::cli {
namespace {

// A key is a short token; anything longer is the wrong file.
constexpr size_t kMaxKeyFileBytes = 64 * 1024;

std::string_view TrimBlanks(std::string_view s) {
    const char* kBlanks = " \t\r\n\v\f";
    const size_t b = s.find_first_not_of(kBlanks);
    if (b == std::string_view::npos) return {};
    return s.substr(b, s.find_last_not_of(kBlanks) - b + 1);
}

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

TResult<std::string> ChooseApiKey(const TCliOptions& o, const std::string& settingsKey) {
    if (o.ApiKey) return *o.ApiKey;
    if (!o.KeyFile.empty()) {
        TResult<std::string> text = io::ReadWholeFile(o.KeyFile, kMaxKeyFileBytes);
        if (!text) return Fail("cannot read the key file " + text.Error(), text.Code());
        std::string_view first = *text;
        first = TrimBlanks(first.substr(0, first.find('\n')));
        if (first.empty()) return Fail("the key file " + o.KeyFile + " holds no key");
        return std::string(first);
    }
    if (const char* env = std::getenv(kApiKeyVariable); env && *env) return std::string(env);
    return settingsKey;
}

TResult<> CheckOutputs(const TCliOptions& o, const std::string& iniPath) {
    const std::vector<std::pair<const char*, std::string>> inputs = {{"the URL file", o.UrlFile},
                                                                     {"the sitemap", o.SitemapFile},
                                                                     {"the settings file", iniPath},
                                                                     {"the key file", o.KeyFile}};
    const std::pair<const char*, std::string> outputs[] = {{"--desktop-csv", o.DesktopCsv},
                                                           {"--mobile-csv", o.MobileCsv}};
    for (const auto& [option, path] : outputs) {
        if (path.empty()) continue;
        for (const auto& [what, input] : inputs)
            if (!input.empty() && SameFile(path, input))
                return Fail(std::string(option) + " " + path + " is " + what +
                            "; it would be overwritten");
    }
    if (!o.DesktopCsv.empty() && !o.MobileCsv.empty() && SameFile(o.DesktopCsv, o.MobileCsv))
        return Fail("--desktop-csv and --mobile-csv name the same file " + o.MobileCsv);
    for (const auto& [option, path] : outputs) {
        if (path.empty()) continue;
        if (TResult<> probe = io::ProbeAtomicReplace(path); !probe)
            return Fail(std::string(option) + ": cannot write " + probe.Error(), probe.Code());
    }
    return {};
}

}  // namespace velmora::cli
