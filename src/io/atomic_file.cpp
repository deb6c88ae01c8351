#include "io/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include "base/file_write.h"

namespace velmora::io {

namespace {

std::string RandomSuffix() {
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    std::minstd_rand gen(rd() ^ (counter.fetch_add(1) * 2654435761u));
    std::string s(6, 'A');
    for (char& c : s) c = kChars[gen() % (sizeof kChars - 1)];
    return s;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool Writable(const std::string& path, const struct stat& st) {
    // root passes access() for any file; the permission bits still say "read-only".
    return (st.st_mode & 0222) != 0 && access(path.c_str(), W_OK) == 0;
}

}  // namespace

TFailure TAtomicFile::SystemFailure(int err) const {
    return Fail(FTarget + ": " + std::strerror(err), err);
}

TResult<> TAtomicFile::Open(const std::string& target, bool privateMode) {
    Discard();
    FTarget = FReal = target;
    FInPlace = false;
    struct stat st {};
    const bool exists = stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return SystemFailure(errno);
    if (exists && S_ISDIR(st.st_mode)) return SystemFailure(EISDIR);
    if (exists && !Writable(target, st)) return SystemFailure(EACCES);
    if (exists && !S_ISREG(st.st_mode)) {
        FInPlace = true;
        FFd = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
        if (FFd < 0) return SystemFailure(errno);
        return {};
    }
    struct stat lst {};
    if (lstat(target.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        // Replace the file the link points at, not the link.
        char* resolved = realpath(target.c_str(), nullptr);
        if (!resolved) return SystemFailure(errno);
        FReal = resolved;
        free(resolved);
    }
    for (int attempt = 0; attempt < 100 && FFd < 0; ++attempt) {
        FTemp = FReal + std::string(kTempInfix) + RandomSuffix();
        FFd = open(FTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (FFd < 0 && errno != EEXIST) break;
    }
    if (FFd < 0) {
        const int err = errno;
        FTemp.clear();
        return SystemFailure(err);
    }
    const bool modeSet = privateMode ? fchmod(FFd, 0600) == 0
                         : exists    ? fchmod(FFd, st.st_mode & 07777) == 0
                                     : true;
    if (!modeSet) {
        const int err = errno;
        Discard();
        return SystemFailure(err);
    }
    return {};
}

TResult<> TAtomicFile::Write(std::string_view data) {
    if (FFd < 0) return SystemFailure(EBADF);
    if (const int err = WriteAll(FFd, data)) return SystemFailure(err);
    return {};
}

TResult<> TAtomicFile::Commit() {
    if (FFd < 0) return SystemFailure(EBADF);
    int err = 0;
    if (!FInPlace && fsync(FFd) != 0) err = errno;
    if (close(FFd) != 0 && err == 0) err = errno;
    FFd = -1;
    if (err == 0 && !FInPlace && rename(FTemp.c_str(), FReal.c_str()) != 0) err = errno;
    if (err != 0) {
        Discard();
        return SystemFailure(err);
    }
    FTemp.clear();
    if (!FInPlace) {
        const int dfd = open(FolderOf(FReal).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            fsync(dfd);  // best effort: makes the rename itself durable
            close(dfd);
        }
    }
    return {};
}

void TAtomicFile::Discard() {
    if (FFd >= 0) close(FFd);
    FFd = -1;
    if (!FTemp.empty()) unlink(FTemp.c_str());
    FTemp.clear();
}

TResult<> ProbeAtomicReplace(const std::string& target) {
    TAtomicFile probe;
    return probe.Open(target);  // the destructor removes the temporary file
}

int RemoveStaleTempFiles(const std::string& target, int olderThanSeconds) {
    const std::string folder = FolderOf(target);
    const size_t slash = target.find_last_of('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    DIR* dir = opendir(folder.c_str());
    if (!dir) return 0;
    const auto isSuffix = [](std::string_view s) {
        if (s.size() != 6) return false;
        for (char c : s)
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
                return false;
        return true;
    };
    const std::string current = name + std::string(kTempInfix), older = name + ".";
    const time_t now = std::time(nullptr);
    int removed = 0;
    while (const dirent* e = readdir(dir)) {
        const std::string_view n = e->d_name;
        const bool ours = (n.rfind(current, 0) == 0 && isSuffix(n.substr(current.size()))) ||
                          (n.rfind(older, 0) == 0 && isSuffix(n.substr(older.size())));
        if (!ours) continue;
        const std::string path = folder + "/" + std::string(n);
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (now - st.st_mtime < olderThanSeconds) continue;
        if (unlink(path.c_str()) == 0) ++removed;
    }
    closedir(dir);
    return removed;
}

}  // namespace velmora::io
