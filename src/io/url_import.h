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
// Longer texts are no page address; libcurl would refuse them only when the request is sent.
inline constexpr size_t kMaxUrlLength = 8192;

// True for a resource-file URL: the text from its last ".", "\" or ":" (when that is a ".")
// to the end, upper-cased, is one of .PNG .JPG .GIF .JPEG .ICO .JS .CSS. "/", "?" and "#"
// do not end an extension, so "/img.png?v=2" stays.
bool IsExcludedExtension(std::string_view url);

// True when url names a scheme other than http or https ("ftp://", "mailto:", "file:"). A text
// without a scheme (a host name alone, "host:8080/path") is not refused here.
bool HasOtherScheme(std::string_view url);

// True when url holds a control character (C0, DEL, C1) or U+FFFD, the mark of bytes that
// could not be decoded.
bool HasBadCharacters(std::string_view url);

// Without the characters below code 33 at both ends.
std::string_view TrimControl(std::string_view s);

// Lines split at CR LF, CR or LF, trimmed (TrimControl); blank lines stay as empty texts, so
// an import can count them, but a final line break ends the last line, not a new one.
std::vector<std::string> SplitClipboardText(std::string_view text);

// One URL per line, at most kMaxInputFileBytes. UTF-16 with a byte-order mark and valid UTF-8
// (a leading byte-order mark removed) are read as such, anything else is decoded from
// codepage; any other file with a NUL byte is refused. Lines are split and trimmed like
// clipboard text. On failure Error() is translated, ready for a message box:
// kMsgImportFileNotFound (Code() ENOENT), kMsgFileTooLarge (Code() EFBIG), kMsgNotATextFile
// (Code() EINVAL) or kMsgFileReadFailed with the reason.
TResult<std::vector<std::string>> ReadTextFileUrls(const std::string& path,
                                                   const std::string& codepage);

// What a candidate looks like before it is added: an absolute http(s) URL with a host, a host
// name with a dot and a path but no scheme (taken as https), a comment line ("#", "//") or no
// URL at all (words, markup, spaces, a scheme without host, "http//x", a bare IP address).
enum class TUrlShape { Absolute, BareHost, Comment, NotUrl };
TUrlShape UrlShapeOf(std::string_view url);

enum class TAddResult {
    Added,
    AddedAsHttps,  // a host without scheme, added with "https://" in front
    Comment,
    NotUrl,
    Empty,
    BadLine,
    TooLong,
    NotHttp,
    Excluded,
    Duplicate,
    LimitReached
};

// Adds one URL unless it is empty, holds bad characters (HasBadCharacters), is longer than
// kMaxUrlLength, is a comment, names another scheme, is no URL (UrlShapeOf), is a resource file
// or is already in the list (ASCII case ignored); LimitReached, adding nothing, when the list
// already holds kMaxUrlCount tasks.
TAddResult AddURLTask(TURLTaskInfoList& list, std::string url);
// What AddURLTask would do with url, adding nothing; a host without scheme gets its
// "https://" in url.
TAddResult CheckURLCandidate(const TURLTaskInfoList& list, std::string& url);

// What one import did with its candidates, by reason.
struct TImportReport {
    size_t added = 0;
    size_t assumedHttps = 0;  // of those added, hosts without a scheme taken as https://
    size_t empty = 0;         // blank lines
    size_t comments = 0;
    size_t notUrls = 0;
    size_t badLines = 0;
    size_t tooLong = 0;
    size_t notHttp = 0;
    size_t resourceFiles = 0;
    size_t duplicates = 0;
    // Candidates not looked at because the list was full; the caller shows kMsgUrlLimit once.
    size_t overLimit = 0;

    bool LimitReached() const { return overLimit > 0; }
    // Counts one result of AddURLTask; LimitReached counts one candidate over the limit.
    void Note(TAddResult r);
};

// How many candidates AddURLTasks has taken (1..total), of how many. It is told after every
// total / kImportProgressSteps candidates (after each one of a short list), so a caller may
// repaint each time; the limit ends the calls with the feeding.
using TImportProgress = std::function<void(size_t done, size_t total)>;
inline constexpr size_t kImportProgressSteps = 200;

// Feeds urls in order to AddURLTask until they end or the limit stops them (the rest count as
// over the limit); onAdded runs for every task added (for the grid rows).
TImportReport AddURLTasks(TURLTaskInfoList& list, const std::vector<std::string>& urls,
                          const std::function<void(TURLTaskInfo&)>& onAdded = {},
                          const TImportProgress& progress = {});

// The report as translated lines: the added count, then each skip reason that occurred.
std::vector<std::string> ImportReportLines(const TImportReport& report);

}  // namespace velmora::io
