// The settings both front ends keep in "Velmora.ini": names, defaults, ranges, load and save.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "engine/site_summary.h"

namespace velmora::io {

inline constexpr const char* kSettingsFileName = "Velmora.ini";
inline constexpr const char* kSectionParams = "PARAMS";
inline constexpr const char* kKeyApiKey = "api-key";
inline constexpr const char* kKeyMaxThreads = "max-threads";
inline constexpr const char* kKeyReqPredelay = "req-predelay";
inline constexpr const char* kKeyRetries = "retries";
inline constexpr const char* kKeyImportNoClear = "import-no-clear";
// Lighthouse categories asked for, comma-separated ids (engine's ParseCategories).
inline constexpr const char* kKeyCategories = "categories";
// Strategies checked: "both", "desktop" or "mobile" (engine's ParseStrategies).
inline constexpr const char* kKeyStrategies = "strategies";
// "1": the advice texts come from the service in the interface language ("locale=").
inline constexpr const char* kKeyRequestLocale = "request-locale";
inline constexpr const char* kKeyLang = "lang";
// Read only: lets a test or a proxy set-up point the program at another host.
inline constexpr const char* kKeyEndpoint = "endpoint";
// Read only: the run history's file ("off": none); a set-up choice the program never writes.
inline constexpr const char* kKeyHistory = "history";
// How many runs the history keeps (0: all); the History tab's box writes it (SaveHistoryKeep).
inline constexpr const char* kKeyHistoryKeep = "history-keep";
inline constexpr const char* kHistoryOff = "off";
// The user's page groups: "name=glob" rules separated by ";", first match wins (TGroupRule).
inline constexpr const char* kKeyGroups = "groups";
// "1": runs keep each page's final screenshot for the HTML report.
inline constexpr const char* kKeyReportScreenshots = "report-screenshots";

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
    uint8_t Categories = 1;  // a TCategorySet; performance only by default
    uint8_t Strategies = 3;  // a TStrategySet; both by default
    bool RequestLocale = false;
    bool ReportScreenshots = false;
    // Run history
    std::string History;  // as stored: a path, "off", or empty for the default place
    int HistoryKeep = 0;  // newest runs kept; 0 keeps all
    std::string Groups;   // as stored; ParseGroupRules reads it
};

// "Products=*/product/*; Blog=*/blog/*" as rules in their order; blanks around names, globs
// and ";" are ignored, an empty text or entry is no rule. An entry without "=", or with an
// empty name or glob, fails with a message naming it; no rule is taken then.
TResult<std::vector<TGroupRule>> ParseGroupRules(std::string_view text);
// Writes the groups key alone; the rules as ParseGroupRules reads them.
TResult<> SaveGroupRules(const std::string& path, const std::vector<TGroupRule>& rules);

// Endpoint checks, for the settings file's "endpoint" and the CLI's --endpoint alike.
// %s is the address as given.
inline constexpr const char* kMsgEndpointScheme =
    "Адрес сервиса должен начинаться с http:// или https://: %s";
inline constexpr const char* kMsgEndpointInClear =
    "Адрес сервиса %s не защищён (http): ключ API передаётся открытым текстом";

// The endpoint without trailing "/" when it starts with http:// or https:// (ASCII case
// ignored) and names a host; else Error() is kMsgEndpointScheme, translated.
TResult<std::string> CheckEndpoint(std::string_view endpoint);
// True for plain http to a host other than loopback (localhost, 127.0.0.0/8, ::1).
bool EndpointSendsKeyInClear(std::string_view endpoint);

// Missing file, key or unreadable value: the default. Numbers come back within their ranges.
TSettingsValues LoadSettings(const std::string& path);

// Writes "api-key", "max-threads", "req-predelay", "retries" and "import-no-clear" ("1"/"0") in one
// atomic replacement of the file; "categories" too once it is stored or other than performance
// only, so a file of a user who never chose keeps its lines; "strategies" and "request-locale"
// alike. On failure Error() is "Unable to write
// to <path>".
TResult<> SaveParams(const std::string& path, const TSettingsValues& values);
// Writes "lang" alone.
TResult<> SaveLang(const std::string& path, std::string_view code);
// Writes only the history-keep key: how many of the newest runs the history keeps (0: all).
TResult<> SaveHistoryKeep(const std::string& path, int keep);
// Whether a history place carries a password ("://user:password@" or "password="): a secret in
// a plain file.
bool HistoryPlaceHasPassword(std::string_view place);
// Writes only the history key: a file, a PostgreSQL URI, "off", or empty for the default place.
// A URI that carries a password is refused: the password belongs in ~/.pgpass or PGPASSWORD.
TResult<> SaveHistoryPlace(const std::string& path, const std::string& place);

// --- The desktop window's own state, in a section of its own.
inline constexpr const char* kSectionWindow = "WINDOW";
inline constexpr const char* kKeyWindowGeometry = "geometry";  // "x,y,width,height", no frame
inline constexpr const char* kKeyWindowMaximized = "maximized";
inline constexpr const char* kKeyConfirmLoss = "confirm-loss";  // "0": never ask before a loss

struct TWindowSettings {
    std::optional<std::array<int, 4>> Geometry;  // x, y, width, height inside the frame
    bool Maximized = false;
    bool ConfirmLoss = true;
};
TWindowSettings LoadWindowSettings(const std::string& path);
TResult<> SaveWindowGeometry(const std::string& path, const std::array<int, 4>& geometry,
                             bool maximized);
TResult<> SaveConfirmLoss(const std::string& path, bool confirm);
// The folder the window's file dialogs last used for one kind of file: URL lists, exports,
// reports. Empty when none was kept.
inline constexpr const char* kKeyDirUrls = "dir-urls";
inline constexpr const char* kKeyDirExports = "dir-exports";
inline constexpr const char* kKeyDirReports = "dir-reports";
std::string LoadDialogDir(const std::string& path, const char* key);
TResult<> SaveDialogDir(const std::string& path, const char* key, const std::string& dir);

// appDir (with or without its trailing "/") + "Velmora.ini" when that folder is writable and
// not the installed programs' folder; otherwise "$XDG_CONFIG_HOME/Velmora/Velmora.ini"
// (default "~/.config"), creating the "Velmora" folder with mode 0700.
std::string SettingsFilePath(const std::string& appDir);

}  // namespace velmora::io
