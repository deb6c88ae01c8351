// The settings file: reading any content, and writing one key into any content. What is
// written must read back the same and every other line must stay byte for byte.
//
// Input: content \x1e section \x1e key \x1e value \x1e other section \x1e other key.
#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "io/ini_file.h"
#include "io/settings.h"

using velmora::TResult;
using velmora::io::TIniFile;

namespace {

struct TLine {
    std::string_view Text, Eol;
};

// Lines end at LF; a CR before it belongs to the ending.
std::vector<TLine> Lines(std::string_view s) {
    std::vector<TLine> out;
    size_t pos = 0;
    while (pos < s.size()) {
        size_t lf = s.find('\n', pos);
        if (lf == std::string_view::npos) {
            out.push_back({s.substr(pos), {}});
            break;
        }
        size_t end = (lf > pos && s[lf - 1] == '\r') ? lf - 1 : lf;
        out.push_back({s.substr(pos, end - pos), s.substr(end, lf + 1 - end)});
        pos = lf + 1;
    }
    return out;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}
bool HasOuterBlanks(std::string_view s) {
    return !s.empty() && (IsBlank(s.front()) || IsBlank(s.back()));
}
bool HasBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}
std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}
size_t Chars(std::string_view s) {
    size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// Names and values the file format can carry unchanged; the program's own are all of this kind.
bool Representable(std::string_view section, std::string_view key, std::string_view value) {
    if (section.find(']') != std::string_view::npos || HasOuterBlanks(section)) return false;
    if (HasOuterBlanks(key) || HasOuterBlanks(value)) return false;
    if (!key.empty() && (key[0] == ';' || key[0] == '#' || key[0] == '[')) return false;
    return Chars(value) <= TIniFile::kMaxValueLength;
}

// new must be old with the key's line replaced in place, or with one block of "key=value" and
// section header lines inserted (an unterminated line before it gaining its break); nothing
// else may differ.
void CheckOtherLinesKept(std::string_view oldBody, std::string_view newBody,
                         const std::string& entry, const std::string& header) {
    const std::vector<TLine> a = Lines(oldBody), b = Lines(newBody);
    // An unterminated last line gains a break; a CR it ended with then pairs up with that LF.
    auto same = [](const TLine& x, const TLine& y, bool mayGainBreak) {
        if (x.Text == y.Text && x.Eol == y.Eol) return true;
        if (!mayGainBreak || !x.Eol.empty() || y.Eol.empty()) return false;
        const std::string whole = std::string(y.Text) + std::string(y.Eol);
        return whole == std::string(x.Text) + "\n" || whole == std::string(x.Text) + "\r\n";
    };
    if (a.size() == b.size()) {
        size_t changed = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            if (same(a[i], b[i], false)) continue;
            FUZZ_CHECK(b[i].Text == entry && b[i].Eol == a[i].Eol, "old line %zu changed", i);
            FUZZ_CHECK(++changed == 1, "more than one line replaced");
        }
        return;
    }
    FUZZ_CHECK(b.size() > a.size(), "%zu lines became %zu", a.size(), b.size());
    size_t p = 0, s = 0;
    while (p < a.size() && same(a[p], b[p], p + 1 == a.size())) ++p;
    while (s < a.size() - p && same(a[a.size() - 1 - s], b[b.size() - 1 - s], false)) ++s;
    FUZZ_CHECK(p + s == a.size(), "old lines %zu..%zu changed", p, a.size() - s - 1);
    for (size_t j = p; j < b.size() - s; ++j) {
        FUZZ_CHECK(b[j].Text == entry || b[j].Text == header, "unexpected line %zu inserted", j);
        FUZZ_CHECK(!b[j].Eol.empty(), "inserted line %zu without a line break", j);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::ScratchPath("Velmora.ini");
    const auto parts =
        fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), "\x1e");
    auto part = [&](size_t i, std::string_view def) { return i < parts.size() ? parts[i] : def; };
    const std::string content(parts[0]);
    const std::string section(part(1, velmora::io::kSectionParams));
    const std::string key(part(2, velmora::io::kKeyApiKey));
    const std::string value(part(3, "AIzaSyExample"));
    const std::string section2(part(4, velmora::io::kSectionParams));
    const std::string key2(part(5, velmora::io::kKeyMaxThreads));

    fuzz::WriteFile(path, content);
    TIniFile ini(path);
    const std::optional<std::string> before = ini.ReadString(section2, key2);
    if (before) FUZZ_CHECK(Chars(*before) <= TIniFile::kMaxValueLength, "value too long");
    velmora::io::LoadSettings(path);  // every field parser over whatever the file holds

    const TResult<> written = ini.WriteString(section, key, value);
    const bool ok = written.Ok();
    std::string error = written.Error();
    fuzz::CheckNoFdLeak(path);
    const std::string after = fuzz::ReadFile(path);

    // A line break in any part would inject a line of its own: the write must be refused whole.
    if (HasBreak(section) || HasBreak(key) || HasBreak(value) ||
        key.find('=') != std::string::npos) {
        FUZZ_CHECK(!ok && !error.empty(), "write with a line break or '=' in the key accepted");
        FUZZ_CHECK(after == content, "refused write changed the file");
        return 0;
    }
    FUZZ_CHECK(ok, "write failed: %s", error.c_str());
    struct stat st;
    FUZZ_CHECK(stat(path.c_str(), &st) == 0 && (st.st_mode & 0777) == 0600, "mode %o",
               st.st_mode & 0777);

    const std::string_view bom =
        std::string_view(content).substr(0, 3) == "\xEF\xBB\xBF" ? "\xEF\xBB\xBF" : "";
    FUZZ_CHECK(std::string_view(after).substr(0, bom.size()) == bom, "byte-order mark lost");
    CheckOtherLinesKept(std::string_view(content).substr(bom.size()),
                        std::string_view(after).substr(bom.size()), key + "=" + value,
                        "[" + section + "]");

    // Names the format cannot carry (" key", "[x]y") only have to leave the other lines alone.
    if (!Representable(section, key, value)) return 0;
    const std::optional<std::string> back = ini.ReadString(section, key);
    FUZZ_CHECK(back && *back == value, "wrote '%s', read back '%s'", value.c_str(),
               back ? back->c_str() : "(nothing)");
    const bool sameKey = Lower(section) == Lower(section2) && Lower(key) == Lower(key2);
    if (!sameKey) {
        const std::optional<std::string> later = ini.ReadString(section2, key2);
        FUZZ_CHECK(later == before, "writing [%s] %s changed [%s] %s", section.c_str(), key.c_str(),
                   section2.c_str(), key2.c_str());
    }

    // A second write replaces the line in place: same lines, only the value's bytes differ.
    const std::string value2 = Chars(value) < TIniFile::kMaxValueLength ? "v" + value : "v";
    const std::string once = fuzz::ReadFile(path);
    const TResult<> rewritten = ini.WriteString(section, key, value2);
    FUZZ_CHECK(rewritten, "rewrite failed: %s", rewritten.Error().c_str());
    const std::string twice = fuzz::ReadFile(path);
    FUZZ_CHECK(twice.size() + value.size() == once.size() + value2.size() &&
                   Lines(twice).size() == Lines(once).size(),
               "rewrite did not replace in place");
    FUZZ_CHECK(ini.ReadString(section, key) == value2, "rewritten value not read back");

    // The program's own settings through the same file.
    velmora::io::TSettingsValues in;
    in.ApiKey = value;
    in.MaxThreads = static_cast<int>(size % 41) - 10;
    in.ReqPredelay = static_cast<int>(size * 997 % 20000) - 5000;
    in.ImportNoClear = size % 2;
    const velmora::io::TSettingsValues old = velmora::io::LoadSettings(path);
    const TResult<> saved = velmora::io::SaveParams(path, in);
    FUZZ_CHECK(saved, "save failed: %s", saved.Error().c_str());
    const velmora::io::TSettingsValues out = velmora::io::LoadSettings(path);
    FUZZ_CHECK(out.FileExists && out.ApiKey == in.ApiKey, "API key '%s' came back as '%s'",
               in.ApiKey.c_str(), out.ApiKey.c_str());
    FUZZ_CHECK(out.MaxThreads == velmora::io::ClampMaxThreads(in.MaxThreads) &&
                   out.ReqPredelay == velmora::io::ClampReqPredelay(in.ReqPredelay) &&
                   out.ImportNoClear == in.ImportNoClear,
               "numbers did not come back");
    FUZZ_CHECK(out.Lang == old.Lang && out.Endpoint == old.Endpoint, "saving touched other keys");
    return 0;
}
