#include "base/utf8.h"

namespace velmora {

bool IsValidUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const uint32_t len = DecodeUtf8At(s, i).Length;
        if (len == 0) return false;
        i += len;
    }
    return true;
}

}  // namespace velmora
