// Small helpers shared by the fuzz targets: checks that abort with a message, an independent
// UTF-8 validator, per-process scratch files and a splitter for multi-part inputs.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(cond, ...)                                                             \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::fprintf(stderr, __VA_ARGS__);                                            \
            std::fprintf(stderr, "\n");                                                   \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)

namespace fuzz {

// Written from the Unicode table of well-formed sequences, not from the code under test.
inline bool Utf8Ok(std::string_view s) {
    size_t i = 0;
    auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    while (i < s.size()) {
        unsigned c = at(i);
        size_t n;
        unsigned lo = 0x80, hi = 0xBF;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
        } else if (c == 0xE0) {
            n = 2, lo = 0xA0;
        } else if (c == 0xED) {
            n = 2, hi = 0x9F;
        } else if (c >= 0xE1 && c <= 0xEF) {
            n = 2;
        } else if (c == 0xF0) {
            n = 3, lo = 0x90;
        } else if (c >= 0xF1 && c <= 0xF3) {
            n = 3;
        } else if (c == 0xF4) {
            n = 3, hi = 0x8F;
        } else {
            return false;
        }
        if (i + n >= s.size()) return false;  // truncated sequence
        if (at(i + 1) < lo || at(i + 1) > hi) return false;
        for (size_t k = 2; k <= n; ++k)
            if ((at(i + k) & 0xC0) != 0x80) return false;
        i += n + 1;
    }
    return true;
}

// A fixed scratch file per process and target, so parallel fuzzers never share one. Memory
// backed when possible: the settings writer syncs every file it writes.
inline std::string ScratchPath(const char* tag) {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/velmora-fuzz-" + tag + "-" + std::to_string(getpid());
}

inline void WriteFile(const std::string& path, std::string_view data) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FUZZ_CHECK(fd >= 0, "cannot create %s", path.c_str());
    while (!data.empty()) {
        ssize_t n = write(fd, data.data(), data.size());
        FUZZ_CHECK(n > 0, "cannot write %s", path.c_str());
        data.remove_prefix(static_cast<size_t>(n));
    }
    close(fd);
}

inline std::string ReadFile(const std::string& path) {
    std::string out;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return out;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    close(fd);
    return out;
}

// Splits at every occurrence of sep; a multi-byte separator keeps mutations from cutting parts
// apart by accident.
inline std::vector<std::string_view> SplitParts(std::string_view in, std::string_view sep) {
    std::vector<std::string_view> parts;
    size_t pos = 0;
    for (;;) {
        size_t at = in.find(sep, pos);
        if (at == std::string_view::npos) {
            parts.push_back(in.substr(pos));
            return parts;
        }
        parts.push_back(in.substr(pos, at - pos));
        pos = at + sep.size();
    }
}

}  // namespace fuzz

namespace fuzz {

// No descriptor may stay open on the scratch file once the code under test returns.
inline void CheckNoFdLeak(const std::string& path) {
    DIR* dir = opendir("/proc/self/fd");
    FUZZ_CHECK(dir, "cannot list /proc/self/fd");
    char target[4096];
    while (dirent* e = readdir(dir)) {
        const std::string link = std::string("/proc/self/fd/") + e->d_name;
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = 0;
        FUZZ_CHECK(std::string_view(target).substr(0, path.size()) != path,
                   "descriptor %s left open on %s", e->d_name, target);
    }
    closedir(dir);
}

}  // namespace fuzz
