#include "io/settings.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>

#include "io/ini_file.h"

#ifndef VELMORA_INSTALLED_BINDIR
#define VELMORA_INSTALLED_BINDIR "/usr/local/bin"
#endif

namespace velmora::io {

std::optional<int> ParseIniIntOpt(std::string_view text) {
    if (text.empty()) return std::nullopt;
    bool negative = false;
    if (text.front() == '-' || text.front() == '+') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (!text.empty() && text[0] == '$') {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    // Accumulated as a negative number so that INT_MIN is reachable.
    const long long limit = negative ? -static_cast<long long>(std::numeric_limits<int>::min())
                                     : std::numeric_limits<int>::max();
    long long value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > limit) return std::nullopt;
    }
    return static_cast<int>(negative ? -value : value);
}

int ClampMaxThreads(int v) {
    return std::clamp(v, kMaxThreadsMin, kMaxThreadsMax);
}
int ClampReqPredelay(int v) {
    return std::clamp(v, kReqPredelayMin, kReqPredelayMax);
}
int ClampRetries(int v) {
    return std::clamp(v, kRetriesMin, kRetriesMax);
}

TSettingsValues LoadSettings(const std::string& path) {
    TSettingsValues s;
    struct stat st;
    s.FileExists = stat(path.c_str(), &st) == 0;
    if (!s.FileExists) return s;
    TIniFile ini(path);
    auto read = [&](const char* key) { return ini.ReadString(kSectionParams, key).value_or(""); };
    s.ApiKey = read(kKeyApiKey);
    s.Lang = read(kKeyLang);
    s.Endpoint = read(kKeyEndpoint);
    s.MaxThreads = ClampMaxThreads(ParseIniInt(read(kKeyMaxThreads), kMaxThreadsDefault));
    s.ReqPredelay = ClampReqPredelay(ParseIniInt(read(kKeyReqPredelay), kReqPredelayDefault));
    s.Retries = ClampRetries(ParseIniInt(read(kKeyRetries), kRetriesDefault));
    if (auto v = ParseIniIntOpt(read(kKeyImportNoClear))) s.ImportNoClear = *v != 0;
    return s;
}

TResult<> SaveParams(const std::string& path, const TSettingsValues& values) {
    return TIniFile(path).WriteStrings(kSectionParams,
                                       {{kKeyApiKey, values.ApiKey},
                                        {kKeyMaxThreads, std::to_string(values.MaxThreads)},
                                        {kKeyReqPredelay, std::to_string(values.ReqPredelay)},
                                        {kKeyRetries, std::to_string(values.Retries)},
                                        {kKeyImportNoClear, values.ImportNoClear ? "1" : "0"}});
}

TResult<> SaveLang(const std::string& path, std::string_view code) {
    return TIniFile(path).WriteString(kSectionParams, kKeyLang, code);
}

std::string SettingsFilePath(const std::string& appDir) {
    std::string dir = appDir.empty() ? std::string("./") : appDir;
    if (dir.back() != '/') dir += '/';
    // An installed program shares its folder with every other one; root could write there,
    // but settings of one user do not belong in /usr/bin.
    const bool installed = dir == std::string(VELMORA_INSTALLED_BINDIR) + "/";
    if (!installed && access(dir.c_str(), W_OK) == 0) return dir + kSettingsFileName;

    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    mkdir(base.c_str(), 0700);  // usually there already
    std::string folder = base + "/Velmora";
    mkdir(folder.c_str(), 0700);
    // A failure shows up later as "Unable to write to <path>", naming the place tried.
    return folder + "/" + kSettingsFileName;
}

}  // namespace velmora::io
