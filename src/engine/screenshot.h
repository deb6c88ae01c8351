// The final screenshot of an answer, kept for a report when a run asks for it.
#pragma once

#include <string_view>

namespace velmora {

// A data: URL that is a base64 JPEG, PNG or WebP image and nothing else: the only kind a
// report places in an <img>, since the text comes from the network.
bool IsScreenshotDataUrl(std::string_view text);

}  // namespace velmora
