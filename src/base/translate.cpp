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

namespace {

// Copies pattern, with "%%" as '%' and each "%d" / "%s" replaced by what arg(that letter) gives.
template <class TArg>
std::string Expand(const std::string& pattern, size_t extra, TArg arg) {
    std::string out;
    out.reserve(pattern.size() + extra);
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            const char c = pattern[i + 1];
            if (c == 'd' || c == 's' || c == '%') {
                if (c == '%')
                    out += '%';
                else
                    out += arg(c);
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

}  // namespace

std::string FormatLog(const std::string& pattern, int32_t num, const std::string& text) {
    const std::string number = std::to_string(num);
    return Expand(pattern, text.size() + 8,
                  [&](char c) -> const std::string& { return c == 'd' ? number : text; });
}

std::string FormatLog(const std::string& pattern, std::initializer_list<std::string> args) {
    static const std::string kNone;
    auto next = args.begin();
    return Expand(pattern, 16 * args.size(),
                  [&](char) -> const std::string& { return next != args.end() ? *next++ : kNone; });
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
