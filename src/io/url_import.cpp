#include "io/url_import.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>

#include "base/text.h"
#include "base/translate.h"
#include "base/utf8.h"
#include "http/url.h"
#include "io/codepage.h"
#include "io/file_read.h"
#include "io/import_texts.h"

namespace velmora::io {

namespace {

constexpr std::array<std::string_view, 7> kExcludedExtensions{".PNG", ".JPG", ".GIF", ".JPEG",
                                                              ".ICO", ".JS",  ".CSS"};

constexpr std::string_view kReplacementChar = "\xEF\xBF\xBD";

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
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        lines.emplace_back(TrimControl(text.substr(pos, end - pos)));
        if (end == text.size()) break;
        pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

bool HasOtherScheme(std::string_view url) {
    const auto isAlpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (url.empty() || !isAlpha(url[0])) return false;
    size_t i = 1;
    while (i < url.size() && (isAlpha(url[i]) || (url[i] >= '0' && url[i] <= '9') ||
                              url[i] == '+' || url[i] == '-' || url[i] == '.'))
        ++i;
    if (i >= url.size() || url[i] != ':') return false;
    // "host:8080/..." is a host and its port, not a scheme.
    if (i + 1 < url.size() && url[i + 1] >= '0' && url[i + 1] <= '9') return false;
    const std::string scheme = AsciiLower(url.substr(0, i));
    return scheme != "http" && scheme != "https";
}

bool HasBadCharacters(std::string_view url) {
    for (size_t i = 0; i < url.size(); ++i) {
        const auto c = static_cast<unsigned char>(url[i]);
        if (c < 0x20 || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < url.size()) {
            const auto next = static_cast<unsigned char>(url[i + 1]);
            if (next >= 0x80 && next <= 0x9F) return true;  // C1 controls
        }
    }
    return url.find(kReplacementChar) != std::string_view::npos;
}

TResult<std::vector<std::string>> ReadTextFileUrls(const std::string& path,
                                                   const std::string& codepage) {
    TResult<std::string> raw = ReadWholeFile(path);
    if (!raw) {
        const int err = raw.Code();
        if (err == ENOENT) return Fail(Tr(kMsgImportFileNotFound), err);
        if (err == EFBIG) return Fail(FormatLog(Tr(kMsgFileTooLarge), 0, path), err);
        return Fail(FormatLog(Tr(kMsgFileReadFailed), 0, path) + " (" + std::strerror(err) + ")",
                    err);
    }
    std::string_view body = *raw;
    std::string text;
    // The UTF-16 byte-order mark: FF FE little-endian, FE FF big-endian.
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(body[i]); };
    const bool utf16 = body.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) ||
                                            (byte(0) == 0xFE && byte(1) == 0xFF));
    if (utf16) {
        text = Utf16ToUtf8(body.substr(2), byte(0) == 0xFE);
    } else if (body.find('\0') != std::string_view::npos) {
        // No text file holds NUL; this is binary data or UTF-16 without its mark.
        return Fail(FormatLog(Tr(kMsgNotATextFile), 0, path), EINVAL);
    } else if (IsValidUtf8(body)) {
        if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
        text.assign(body);
    } else {
        text = CodePageToUtf8(body, codepage);
    }
    *raw = std::string();
    return SplitClipboardText(text);
}

TUrlShape UrlShapeOf(std::string_view url) {
    if (url.empty()) return TUrlShape::NotUrl;
    if (url.front() == '#' || url.substr(0, 2) == "//") return TUrlShape::Comment;
    // Words, markup and quoted text are no address; a URL holds no space.
    if (url.find_first_of(" \t<>\"") != std::string_view::npos) return TUrlShape::NotUrl;
    std::string_view rest = url;
    bool schemed = false;
    for (std::string_view scheme : {"http://", "https://"}) {
        if (AsciiLower(url.substr(0, scheme.size())) == scheme) {
            rest.remove_prefix(scheme.size());
            schemed = true;
        }
    }
    std::string_view host = rest.substr(0, rest.find_first_of("/?#"));
    if (const size_t at = host.rfind('@'); schemed && at != std::string_view::npos)
        host.remove_prefix(at + 1);
    if (schemed && host.size() > 2 && host.front() == '[' && host.back() == ']')
        return TUrlShape::Absolute;  // an IPv6 literal
    if (const size_t colon = host.rfind(':'); colon != std::string_view::npos) {
        const std::string_view port = host.substr(colon + 1);
        if (port.find_first_not_of("0123456789") != std::string_view::npos)
            return TUrlShape::NotUrl;
        host = host.substr(0, colon);
    }
    if (host.empty() || host.front() == '.' || host.back() == '.' ||
        host.find("..") != std::string_view::npos)
        return TUrlShape::NotUrl;
    for (char c : host) {
        const bool ascii = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!ascii && static_cast<unsigned char>(c) < 0x80) return TUrlShape::NotUrl;
    }
    if (schemed) return TUrlShape::Absolute;
    // Without a scheme only a name with a dot and a top-level label of letters is taken: a
    // word, "http//x" or an address like "127.0.0.1/admin" is no page the service can reach.
    const size_t dot = host.rfind('.');
    if (dot == std::string_view::npos) return TUrlShape::NotUrl;
    const std::string_view top = host.substr(dot + 1);
    const bool letters = std::all_of(top.begin(), top.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               static_cast<unsigned char>(c) >= 0x80;
    });
    return letters && top.size() >= 2 ? TUrlShape::BareHost : TUrlShape::NotUrl;
}

TAddResult CheckURLCandidate(const TURLTaskInfoList& list, std::string& url) {
    if (url.empty()) return TAddResult::Empty;
    if (HasBadCharacters(url)) return TAddResult::BadLine;
    if (url.size() > kMaxUrlLength) return TAddResult::TooLong;
    const TUrlShape shape = UrlShapeOf(url);
    if (shape == TUrlShape::Comment) return TAddResult::Comment;
    if (HasOtherScheme(url)) return TAddResult::NotHttp;
    if (shape == TUrlShape::NotUrl) return TAddResult::NotUrl;
    if (shape == TUrlShape::BareHost) url.insert(0, "https://");
    url = http::FoldPercentEncoding(url);
    if (IsExcludedExtension(url)) return TAddResult::Excluded;
    if (list.URLExists(url)) return TAddResult::Duplicate;
    if (list.Count() >= kMaxUrlCount) return TAddResult::LimitReached;
    return shape == TUrlShape::BareHost ? TAddResult::AddedAsHttps : TAddResult::Added;
}

TAddResult AddURLTask(TURLTaskInfoList& list, std::string url) {
    const TAddResult r = CheckURLCandidate(list, url);
    if (r == TAddResult::Added || r == TAddResult::AddedAsHttps) list.Add(std::move(url));
    return r;
}

void TImportReport::Note(TAddResult r) {
    switch (r) {
        case TAddResult::Added:
            ++added;
            break;
        case TAddResult::AddedAsHttps:
            ++added;
            ++assumedHttps;
            break;
        case TAddResult::Comment:
            ++comments;
            break;
        case TAddResult::NotUrl:
            ++notUrls;
            break;
        case TAddResult::Empty:
            ++empty;
            break;
        case TAddResult::BadLine:
            ++badLines;
            break;
        case TAddResult::TooLong:
            ++tooLong;
            break;
        case TAddResult::NotHttp:
            ++notHttp;
            break;
        case TAddResult::Excluded:
            ++resourceFiles;
            break;
        case TAddResult::Duplicate:
            ++duplicates;
            break;
        case TAddResult::LimitReached:
            ++overLimit;
            break;
    }
}

TImportReport AddURLTasks(TURLTaskInfoList& list, const std::vector<std::string>& urls,
                          const std::function<void(TURLTaskInfo&)>& onAdded,
                          const TImportProgress& progress) {
    TImportReport report;
    const size_t step = std::max<size_t>(1, urls.size() / kImportProgressSteps);
    for (size_t i = 0; i < urls.size(); ++i) {
        const TAddResult r = AddURLTask(list, urls[i]);
        if (r == TAddResult::LimitReached) {
            report.overLimit += urls.size() - i;
            break;
        }
        report.Note(r);
        const bool added = r == TAddResult::Added || r == TAddResult::AddedAsHttps;
        if (added && onAdded) onAdded(list[list.Count() - 1]);
        if (progress && (i + 1) % step == 0) progress(i + 1, urls.size());
    }
    return report;
}

std::vector<std::string> ImportReportLines(const TImportReport& report) {
    const auto count = [](size_t n) {
        return static_cast<int32_t>(std::min<size_t>(n, INT32_MAX));
    };
    std::vector<std::string> lines{FormatLog(Tr(kLogImportAdded), count(report.added))};
    const std::pair<size_t, const char*> skipped[] = {
        {report.assumedHttps, kLogAssumedHttps},  {report.duplicates, kLogSkippedDuplicates},
        {report.notHttp, kLogSkippedNotHttp},     {report.resourceFiles, kLogSkippedResources},
        {report.overLimit, kLogSkippedOverLimit}, {report.badLines, kLogSkippedBadLines},
        {report.tooLong, kLogSkippedTooLong},     {report.notUrls, kLogSkippedNotUrls},
        {report.comments, kLogSkippedComments},   {report.empty, kLogSkippedBlank}};
    for (const auto& [n, pattern] : skipped)
        if (n > 0) lines.push_back(FormatLog(Tr(pattern), count(n)));
    return lines;
}

}  // namespace velmora::io
