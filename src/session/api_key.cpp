#include "session/api_key.h"

#include <cstdlib>
#include <string_view>

#include "io/file_read.h"

namespace velmora::session {
namespace {

// A key is a short token; anything longer is the wrong file.
constexpr size_t kMaxKeyFileBytes = 64 * 1024;

std::string_view TrimBlanks(std::string_view s) {
    const char* kBlanks = " \t\r\n\v\f";
    const size_t b = s.find_first_not_of(kBlanks);
    if (b == std::string_view::npos) return {};
    return s.substr(b, s.find_last_not_of(kBlanks) - b + 1);
}

}  // namespace

TResult<std::string> ChooseApiKey(const TKeySources& sources, const std::string& settingsKey) {
    if (sources.Key) return *sources.Key;
    if (!sources.KeyFile.empty()) {
        TResult<std::string> text = io::ReadWholeFile(sources.KeyFile, kMaxKeyFileBytes);
        if (!text) return Fail("cannot read the key file " + text.Error(), text.Code());
        std::string_view first = *text;
        first = TrimBlanks(first.substr(0, first.find('\n')));
        if (first.empty()) return Fail("the key file " + sources.KeyFile + " holds no key");
        return std::string(first);
    }
    if (const char* env = std::getenv(kApiKeyVariable); env && *env) return std::string(env);
    return settingsKey;
}

}  // namespace velmora::session
