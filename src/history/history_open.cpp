// Opening the history file: where it lives, and what happens when it is damaged.
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/translate.h"
#include "history/history_store.h"
#include "history/sqlite_history.h"

namespace velmora::history {
namespace {

namespace fs = std::filesystem;

// "<path>.damaged-YYYYMMDD-HHMMSS", with a counter should that exist already.
std::string AsidePath(const std::string& path) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::string aside = path + ".damaged-" + stamp;
    std::error_code ec;
    for (int i = 2; fs::exists(aside, ec); ++i)
        aside = path + ".damaged-" + stamp + "-" + std::to_string(i);
    return aside;
}

// Moves the file and its journal files aside; false when the file itself could not be moved.
bool PutAside(const std::string& path, const std::string& aside) {
    std::error_code ec;
    fs::rename(path, aside, ec);
    if (ec) return false;
    for (const char* suffix : {"-wal", "-shm"}) {
        std::error_code ignored;
        if (fs::exists(path + suffix, ignored)) fs::rename(path + suffix, aside + suffix, ignored);
    }
    return true;
}

}  // namespace

std::string DefaultHistoryPath() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    // Built by appending: GCC 12 warns falsely (-Wrestrict) about assigning and concatenating
    // short literals here when optimising.
    std::string path;
    if (xdg && *xdg == '/')
        path.append(xdg);
    else if (home && *home)
        path.append(home).append("/.local/share");
    else
        path.push_back('.');
    path.append("/Velmora/history.sqlite");
    return path;
}

namespace {

// Only an empty file or one that starts as every SQLite database does may be a history; a
// damaged history keeps that header, so anything else is some other file of the user's.
bool MayBeHistory(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[16] = {};
    in.read(head, sizeof head);
    const auto got = in.gcount();
    return got == 0 || (got == sizeof head && std::memcmp(head, "SQLite format 3", 16) == 0);
}

// Programs starting together on a new file: switching it to WAL can be refused at once,
// without SQLite's busy wait, while another one makes the schema. Such a refusal passes.
TResult<std::unique_ptr<TSqliteHistory>> OpenWaiting(const std::string& path) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        TResult<std::unique_ptr<TSqliteHistory>> opened = TSqliteHistory::Open(path);
        if (opened || HistoryErrorOf(opened) != THistoryError::Busy ||
            std::chrono::steady_clock::now() > giveUp)
            return opened;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace

TResult<TOpenedHistory> OpenSqliteHistory(const std::string& path, bool forReading) {
    std::error_code exists;
    if (!fs::exists(path, exists)) {
        if (forReading)
            return UnavailableFailure(
                Fail(FormatLog(Tr("нет истории проверок %s"), 0, path), ENOENT));
    } else if (!MayBeHistory(path)) {
        return UnavailableFailure(
            HistoryFailure(THistoryError::NotAHistory, FormatLog(Tr(kMsgNotAHistory), 0, path)));
    }
    if (forReading) {
        TResult<std::unique_ptr<TSqliteHistory>> opened = TSqliteHistory::OpenForReading(path);
        // An earlier version's file is brought up to date once, where it may be written.
        if (!opened && HistoryErrorOf(opened) == THistoryError::OlderVersion)
            if (TResult<std::unique_ptr<TSqliteHistory>> migrated = OpenWaiting(path); migrated)
                opened = std::move(migrated);
        if (!opened) return UnavailableFailure(opened.Failure());
        return TOpenedHistory{std::move(*opened), {}, {}};
    }
    const fs::path dir = fs::path(path).parent_path();
    if (!dir.empty()) {
        std::error_code ec;
        // Results name the user's sites: keep the folder private when we made it.
        if (fs::create_directories(dir, ec)) ::chmod(dir.c_str(), 0700);
    }
    TResult<std::unique_ptr<TSqliteHistory>> opened = OpenWaiting(path);
    TOpenedHistory out;
    if (!opened && HistoryErrorOf(opened) == THistoryError::Damaged) {
        const std::string aside = AsidePath(path);
        if (!PutAside(path, aside))
            return Fail(
                FormatLog(Tr("История проверок повреждена и не может быть отложена: %s"), 0, path));
        out.Notice = FormatLog(
            Tr("История проверок была повреждена; файл сохранён как %s, начата новая история"), 0,
            aside);
        opened = TSqliteHistory::Open(path);
    }
    if (!opened) return UnavailableFailure(opened.Failure());
    out.Store = std::move(*opened);
    return out;
}

}  // namespace velmora::history
