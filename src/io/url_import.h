// Toolkit-free core of the URL import: reading candidates from a text file or the clipboard
// text, and adding them to the master list with the filters and the limit.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "engine/tasks.h"

namespace velmora::io {

inline constexpr size_t kMaxUrlCount = 10000;

// True for a resource-file URL: the text from its last ".", "\" or ":" (when that is a ".")
// to the end, upper-cased, is one of .PNG .JPG .GIF .JPEG .ICO .JS .CSS. "/", "?" and "#"
// do not end an extension, so "/img.png?v=2" stays.
bool IsExcludedExtension(std::string_view url);

// Without the characters below code 33 at both ends.
std::string_view TrimControl(std::string_view s);

// Lines split at CR LF, CR or LF, trimmed (TrimControl), empty ones left out.
std::vector<std::string> SplitClipboardText(std::string_view text);

// One URL per line. Valid UTF-8 is read as such (a leading byte-order mark removed), anything
// else is decoded from codepage. Lines end at LF; every CR is dropped. Lines are trimmed like
// clipboard lines and empty ones left out. On failure Error() is translated, ready for a
// message box: kMsgImportFileNotFound (Code() ENOENT) or kMsgFileReadFailed with the reason.
TResult<std::vector<std::string>> ReadTextFileUrls(const std::string& path,
                                                   const std::string& codepage);

enum class TAddResult { Added, Empty, Excluded, Duplicate, LimitReached };

// Adds one URL unless it is empty, a resource file or already in the list (ASCII case
// ignored); LimitReached, adding nothing, when the list already holds kMaxUrlCount tasks.
TAddResult AddURLTask(TURLTaskInfoList& list, std::string url);

struct TImportStats {
    size_t added = 0;
    size_t skippedEmpty = 0;
    size_t skippedExcluded = 0;
    size_t skippedDuplicate = 0;
    // The import stopped at the limit; the caller shows kMsgUrlLimitLeftOut once.
    bool limitReached = false;
    size_t leftOut = 0;  // candidates not looked at because of the limit
};

// Feeds urls in order to AddURLTask until they end or the limit stops them; onAdded runs for
// every task added (for the grid rows).
TImportStats AddURLTasks(TURLTaskInfoList& list, const std::vector<std::string>& urls,
                         const std::function<void(TURLTaskInfo&)>& onAdded = {});

}  // namespace velmora::io
