#include "engine/interpret_errors.h"

#include <charconv>
#include <climits>

#include "base/text.h"

namespace velmora {

using namespace json;

int32_t ErrorCodeOf(const element& e) {
    if (e.is_string()) {
        std::string_view sv;
        int32_t v = 0;
        if (e.get_string().get(sv) == SUCCESS) {
            auto r = std::from_chars(sv.data(), sv.data() + sv.size(), v);
            if (r.ec == std::errc() && r.ptr == sv.data() + sv.size()) return v;
        }
        return 999;
    }
    auto v = WholeNumber(e, INT32_MIN, INT32_MAX);
    return v ? static_cast<int32_t>(*v) : 999;
}

std::string QuotaLimitOf(const object& err) {
    auto details = ArrayMember(err, "details");
    if (!details) return {};
    for (element item : *details) {
        object detail;
        if (item.get_object().get(detail) != SUCCESS) continue;
        if (auto metadata = ObjectMember(detail, "metadata")) {
            std::string limit = MemberText(*metadata, "quota_limit");
            if (!limit.empty()) return limit;
        }
    }
    return {};
}

std::optional<TServiceWords> RuntimeErrorOf(const object& lighthouse) {
    auto err = ObjectMember(lighthouse, "runtimeError");
    if (!err) return std::nullopt;
    TServiceWords words{SafeNetworkText(MemberText(*err, "code")),
                        SafeNetworkText(MemberText(*err, "message"))};
    // Older answers carried {"code": "NO_ERROR"} on every good run.
    if (words.Code.empty() || words.Code == "NO_ERROR") return std::nullopt;
    return words;
}

}  // namespace velmora
