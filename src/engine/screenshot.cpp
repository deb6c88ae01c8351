#include "engine/screenshot.h"

#include <array>

#include "engine/interpret.h"
#include "engine/json_members.h"

namespace velmora {

bool IsScreenshotDataUrl(std::string_view text) {
    static constexpr std::array<std::string_view, 3> kPrefixes{
        "data:image/jpeg;base64,", "data:image/png;base64,", "data:image/webp;base64,"};
    for (std::string_view prefix : kPrefixes) {
        if (!text.starts_with(prefix)) continue;
        const std::string_view data = text.substr(prefix.size());
        if (data.empty()) return false;
        size_t padding = 0;
        for (char c : data) {
            const bool base64 = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '+' || c == '/';
            // Padding only at the end, at most two.
            if (c == '=') {
                if (++padding > 2) return false;
            } else if (!base64 || padding) {
                return false;
            }
        }
        return true;
    }
    return false;
}

std::string FinalScreenshotOf(const std::optional<simdjson::dom::object>& audit) {
    if (!audit) return {};
    const std::optional<json::object> details = json::ObjectMember(*audit, "details");
    if (!details) return {};
    std::string_view data;
    const std::optional<json::element> member = json::Member(*details, "data");
    if (!member || member->get_string().get(data) != json::SUCCESS) return {};
    if (!IsScreenshotDataUrl(data)) return {};
    return data.size() > kMaxScreenshotBytes ? std::string(kScreenshotTooLarge) : std::string(data);
}

}  // namespace velmora
