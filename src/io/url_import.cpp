#include "io/url_import.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>

#include "base/translate.h"
#include "base/utf8.h"
#include "io/codepage.h"
#include "io/file_read.h"
#include "io/import_texts.h"

namespace velmora::io {

namespace {

constexpr std::array<std::string_view, 7> kExcludedExtensions{".PNG", ".JPG", ".GIF", ".JPEG",
                                                              ".ICO", ".JS",  ".CSS"};

bool IsControl(char c) {
    return static_cast<unsigned char>(c) < 33;
}

}  // namespace

bool IsExcludedExtension(std::string_view url) {
    size_t last = url.find_last_of(".\\:");
    if (last == std::string_view::npos || url[last] != '.') return false;
    std::string_view ext = url.substr(last);
    for (std::string_view excluded : kExcludedExtensions) {
        if (ext.size() != excluded.size()) continue;
        bool same = true;
        for (size_t i = 0; i < ext.size() && same; ++i) {
            char c = ext[i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            same = c == excluded[i];
        }
        if (same) return true;
    }
    return false;
}

std::string_view TrimControl(std::string_view s) {
    while (!s.empty() && IsControl(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsControl(s.back())) s.remove_suffix(1);
    return s;
}

std::vector<std::string> SplitClipboardText(std::string_view text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = TrimControl(text.substr(pos, end - pos));
        if (!line.empty()) lines.emplace_back(line);
        if (end == text.size()) break;
        pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

TResult<std::vector<std::string>> ReadTextFileUrls(const std::string& path,
                                                   const std::string& codepage) {
    TResult<std::string> raw = ReadWholeFile(path);
    if (!raw) {
        const int err = raw.Code();
        if (err == ENOENT) return Fail(Tr(kMsgImportFileNotFound), err);
        return Fail(FormatLog(Tr(kMsgFileReadFailed), 0, path) + " (" + std::strerror(err) + ")",
                    err);
    }
    std::vector<std::string> urls;
    std::string text;
    if (IsValidUtf8(*raw)) {
        std::string_view body = *raw;
        if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
        text.assign(body);
    } else {
        text = CodePageToUtf8(*raw, codepage);
    }
    *raw = std::string();

    std::string line;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t lf = text.find('\n', pos);
        if (lf == std::string::npos) lf = text.size();
        line.clear();
        for (size_t i = pos; i < lf; ++i)
            if (text[i] != '\r') line += text[i];
        std::string_view trimmed = TrimControl(line);
        if (!trimmed.empty()) urls.emplace_back(trimmed);
        pos = lf + 1;
    }
    return urls;
}

TAddResult AddURLTask(TURLTaskInfoList& list, std::string url) {
    if (url.empty()) return TAddResult::Empty;
    if (IsExcludedExtension(url)) return TAddResult::Excluded;
    if (list.URLExists(url)) return TAddResult::Duplicate;
    if (list.Count() >= kMaxUrlCount) return TAddResult::LimitReached;
    list.Add(std::move(url));
    return TAddResult::Added;
}

TImportStats AddURLTasks(TURLTaskInfoList& list, const std::vector<std::string>& urls,
                         const std::function<void(TURLTaskInfo&)>& onAdded) {
    TImportStats stats;
    for (size_t i = 0; i < urls.size(); ++i) {
        const std::string& url = urls[i];
        switch (AddURLTask(list, url)) {
            case TAddResult::Added:
                ++stats.added;
                if (onAdded) onAdded(list[list.Count() - 1]);
                break;
            case TAddResult::Empty:
                ++stats.skippedEmpty;
                break;
            case TAddResult::Excluded:
                ++stats.skippedExcluded;
                break;
            case TAddResult::Duplicate:
                ++stats.skippedDuplicate;
                break;
            case TAddResult::LimitReached:
                stats.limitReached = true;
                stats.leftOut = urls.size() - i;
                return stats;
        }
    }
    return stats;
}

}  // namespace velmora::io
