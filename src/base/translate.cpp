#include "base/translate.h"

#include <atomic>
#include <cstdio>
#include <ctime>

namespace velmora {
namespace {
std::atomic<TTranslateFn> gTranslator{nullptr};
}

void SetTranslator(TTranslateFn fn) {
    gTranslator.store(fn);
}

std::string Tr(const char* msgid) {
    TTranslateFn fn = gTranslator.load();
    return fn ? fn(msgid) : std::string(msgid);
}

std::string FormatLog(const std::string& pattern, int32_t num, const std::string& text) {
    std::string out;
    out.reserve(pattern.size() + text.size() + 8);
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            char c = pattern[i + 1];
            if (c == 'd') {
                out += std::to_string(num);
                ++i;
                continue;
            }
            if (c == 's') {
                out += text;
                ++i;
                continue;
            }
            if (c == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

std::string FormatLog(const std::string& pattern, std::initializer_list<std::string> args) {
    std::string out;
    out.reserve(pattern.size() + 16 * args.size());
    auto next = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            const char c = pattern[i + 1];
            if (c == 'd' || c == 's') {
                if (next != args.end()) out += *next++;
                ++i;
                continue;
            }
            if (c == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

std::string FormatLogTime(std::chrono::system_clock::time_point t) {
    const std::time_t tt = std::chrono::system_clock::to_time_t(t);
    std::tm local{};
    localtime_r(&tt, &local);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return buf;
}

}  // namespace velmora
