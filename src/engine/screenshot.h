// The final screenshot of an answer, kept for a report when a run asks for it.
#pragma once

#include <cstddef>
#include <string_view>

namespace velmora {

// A kept screenshot is at most this long (real ones are 50-100 KB as data: URLs): an answer
// carrying a huge one must not fill memory over a run of thousands of pages.
inline constexpr size_t kMaxScreenshotBytes = 1 << 20;
// Kept in a screenshot's place when the answer's was over kMaxScreenshotBytes, so that the
// report can say it was left out. It is no data: URL, so no report shows it as an image.
inline constexpr std::string_view kScreenshotTooLarge = "left out: over the size limit";

// A data: URL that is a base64 JPEG, PNG or WebP image and nothing else: the only kind a
// report places in an <img>, since the text comes from the network.
bool IsScreenshotDataUrl(std::string_view text);

}  // namespace velmora
