// The settings both front ends keep in "Velmora.ini": names, defaults, ranges, load and save.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace velmora::io {

inline constexpr const char* kSettingsFileName = "Velmora.ini";
inline constexpr const char* kSectionParams = "PARAMS";
inline constexpr const char* kKeyApiKey = "api-key";
inline constexpr const char* kKeyMaxThreads = "max-threads";
inline constexpr const char* kKeyReqPredelay = "req-predelay";
inline constexpr const char* kKeyRetries = "retries";
inline constexpr const char* kKeyImportNoClear = "import-no-clear";
inline constexpr const char* kKeyLang = "lang";
// Read only: lets a test or a proxy set-up point the program at another host.
inline constexpr const char* kKeyEndpoint = "endpoint";

inline constexpr int kMaxThreadsMin = 1;
inline constexpr int kMaxThreadsMax = 20;
inline constexpr int kMaxThreadsDefault = 8;
inline constexpr int kReqPredelayMin = 100;
inline constexpr int kReqPredelayMax = 10000;
inline constexpr int kReqPredelayDefault = 1300;
inline constexpr int kReqPredelayStep = 100;
// Tries again after a passing fault of the service or the line; 0 = never.
inline constexpr int kRetriesMin = 0;
inline constexpr int kRetriesMax = 5;
inline constexpr int kRetriesDefault = 2;

// Decimal, or hexadecimal after "0x", "0X" or "$", with an optional sign; nothing when the
// text is empty, has anything else in it or does not fit an int.
std::optional<int> ParseIniIntOpt(std::string_view text);
inline int ParseIniInt(std::string_view text, int def) {
    return ParseIniIntOpt(text).value_or(def);
}

int ClampMaxThreads(int v);
int ClampReqPredelay(int v);
int ClampRetries(int v);

struct TSettingsValues {
    bool FileExists = false;
    std::string ApiKey;
    std::string Lang;      // as stored; empty lets the system's language decide
    std::string Endpoint;  // as stored; empty means the service's own host
    int MaxThreads = kMaxThreadsDefault;
    int ReqPredelay = kReqPredelayDefault;
    int Retries = kRetriesDefault;
    bool ImportNoClear = false;
};

// Missing file, key or unreadable value: the default. Numbers come back within their ranges.
TSettingsValues LoadSettings(const std::string& path);

// Writes "api-key", "max-threads", "req-predelay", "retries" and "import-no-clear" ("1"/"0") in one
// atomic replacement of the file. On failure Error() is "Unable to write to <path>".
TResult<> SaveParams(const std::string& path, const TSettingsValues& values);
// Writes "lang" alone.
TResult<> SaveLang(const std::string& path, std::string_view code);

// appDir (with or without its trailing "/") + "Velmora.ini" when that folder is writable and
// not the installed programs' folder; otherwise "$XDG_CONFIG_HOME/Velmora/Velmora.ini"
// (default "~/.config"), creating the "Velmora" folder with mode 0700.
std::string SettingsFilePath(const std::string& appDir);

}  // namespace velmora::io
