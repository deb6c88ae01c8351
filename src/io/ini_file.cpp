#include "io/ini_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "base/text.h"
#include "base/translate.h"
#include "base/utf8.h"
#include "io/atomic_file.h"
#include "io/file_read.h"

namespace velmora::io {

namespace {

struct TLine {
    std::string_view Text;  // without the line break
    std::string_view Eol;   // "\n", "\r\n" or empty for an unterminated last line
};

std::vector<TLine> SplitLines(std::string_view content) {
    std::vector<TLine> lines;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t lf = content.find('\n', pos);
        if (lf == std::string_view::npos) {
            lines.push_back({content.substr(pos), {}});
            break;
        }
        size_t end = lf;
        if (end > pos && content[end - 1] == '\r') --end;
        lines.push_back({content.substr(pos, end - pos), content.substr(end, lf + 1 - end)});
        pos = lf + 1;
    }
    return lines;
}

std::string_view TrimBlanks(std::string_view s) {
    const char* kBlanks = " \t\r\v\f";
    size_t b = s.find_first_not_of(kBlanks);
    if (b == std::string_view::npos) return {};
    size_t e = s.find_last_not_of(kBlanks);
    return s.substr(b, e - b + 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && AsciiLower(a) == AsciiLower(b);
}

// Section name of a "[name]" line.
std::optional<std::string_view> SectionName(std::string_view line) {
    std::string_view t = TrimBlanks(line);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    size_t close = t.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return TrimBlanks(t.substr(1, close - 1));
}

struct TKeyLine {
    std::string_view Key, Value;
};

std::optional<TKeyLine> KeyLine(std::string_view line) {
    std::string_view t = TrimBlanks(line);
    if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[') return std::nullopt;
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return TKeyLine{TrimBlanks(t.substr(0, eq)), TrimBlanks(t.substr(eq + 1))};
}

std::string_view SkipBom(std::string_view content) {
    if (content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);
    return content;
}

// A malformed byte counts as one character, so the cut never splits a well-formed one.
std::string CutToCharacters(std::string_view v, size_t maxChars) {
    size_t i = 0;
    for (size_t chars = 0; i < v.size() && chars < maxChars; ++chars) {
        const uint32_t len = DecodeUtf8At(v, i).Length;
        i += len ? len : 1;
    }
    return std::string(v.substr(0, i));
}

// Writes through a temporary file beside target, so a crash or a full disk never leaves a
// half-written settings file behind.
bool ReplaceFileAtomically(const std::string& target, std::string_view content) {
    TAtomicFile file;
    return file.Open(target, /*privateMode=*/true) && file.Write(content) && file.Commit();
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

std::optional<std::string> TIniFile::ReadString(std::string_view section,
                                                std::string_view key) const {
    TResult<std::string> content = ReadWholeFile(FPath);
    if (!content) return std::nullopt;
    bool inSection = false;
    for (const TLine& line : SplitLines(SkipBom(*content))) {
        if (auto name = SectionName(line.Text)) {
            if (inSection) return std::nullopt;  // only the first matching section counts
            inSection = EqualNoCase(*name, section);
            continue;
        }
        if (!inSection) continue;
        if (auto kv = KeyLine(line.Text); kv && EqualNoCase(kv->Key, key))
            return CutToCharacters(kv->Value, kMaxValueLength);
    }
    return std::nullopt;
}

TResult<> TIniFile::WriteString(std::string_view section, std::string_view key,
                                std::string_view value) {
    return WriteStrings(section, {{std::string(key), std::string(value)}});
}

TResult<> TIniFile::WriteStrings(std::string_view section,
                                 const std::vector<std::pair<std::string, std::string>>& values) {
    auto fail = [&]() -> TResult<> { return Fail(FormatLog(Tr(kMsgUnableToWrite), 0, FPath)); };
    // A line break would split the entry and corrupt the lines after it.
    if (HasLineBreak(section)) return fail();
    for (const auto& [k, v] : values)
        if (HasLineBreak(k) || HasLineBreak(v) || k.find('=') != std::string::npos) return fail();

    TResult<std::string> old = ReadWholeFile(FPath);
    if (!old) {
        if (old.Code() != ENOENT) return fail();
        old = std::string();
    }
    std::string_view body = SkipBom(*old);
    std::vector<TLine> lines = SplitLines(body);
    // New lines follow the file's own line ending.
    std::string_view eol = "\n";
    if (!lines.empty() && !lines.front().Eol.empty()) eol = lines.front().Eol;

    // Replacement text per line index, and what to insert after a line index.
    std::vector<std::optional<std::string>> replaced(lines.size());
    std::string appendAfterSection;
    size_t sectionStart = lines.size(), lastContent = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        auto name = SectionName(lines[i].Text);
        if (sectionStart == lines.size()) {
            if (name && EqualNoCase(*name, section)) sectionStart = lastContent = i;
            continue;
        }
        if (name) break;
        if (!TrimBlanks(lines[i].Text).empty()) lastContent = i;
    }
    std::string newLines;
    for (const auto& [k, v] : values) {
        bool found = false;
        if (sectionStart < lines.size()) {
            for (size_t i = sectionStart + 1; i < lines.size(); ++i) {
                if (SectionName(lines[i].Text)) break;
                auto kv = KeyLine(lines[i].Text);
                if (kv && EqualNoCase(kv->Key, k)) {
                    replaced[i] = k + "=" + v;
                    found = true;
                    break;
                }
            }
        }
        if (!found) newLines += k + "=" + v + std::string(eol);
    }

    std::string out;
    out.reserve(old->size() + newLines.size() + section.size() + 8);
    out.append(*old, 0, old->size() - body.size());  // the byte-order mark, if any
    auto ensureBreak = [&] {
        if (out.size() > old->size() - body.size() && out.back() != '\n') out += eol;
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        out += replaced[i] ? std::string_view(*replaced[i]) : lines[i].Text;
        out += lines[i].Eol;
        if (i == lastContent && !newLines.empty()) {
            ensureBreak();
            out += newLines;
        }
    }
    if (sectionStart == lines.size() && !newLines.empty()) {
        ensureBreak();
        out += "[";
        out += section;
        out += "]";
        out += eol;
        out += newLines;
    }
    if (!ReplaceFileAtomically(FPath, out)) return fail();
    return {};
}

}  // namespace velmora::io
