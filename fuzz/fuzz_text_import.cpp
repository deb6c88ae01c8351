// Text files in either code page and clipboard text, through to the master list with its
// filters and the 10 000 limit.
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/tasks.h"
#include "fuzz_util.h"
#include "io/url_import.h"

using namespace velmora;
using namespace velmora::io;
using velmora::TResult;

namespace {

bool Trimmed(std::string_view s) {
    return !s.empty() && static_cast<unsigned char>(s.front()) >= 33 &&
           static_cast<unsigned char>(s.back()) >= 33;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

void CheckLines(const std::vector<std::string>& lines, const char* what) {
    for (const std::string& l : lines) {
        FUZZ_CHECK(Trimmed(l), "%s: untrimmed or empty line '%s'", what, l.c_str());
        FUZZ_CHECK(l.find_first_of("\r\n") == std::string::npos, "%s: line break kept", what);
    }
}

// Checks the list from index `from` on and returns how many tasks it holds.
void CheckList(const TURLTaskInfoList& list, size_t from, std::unordered_set<std::string>& seen) {
    FUZZ_CHECK(list.Count() <= kMaxUrlCount, "%zu tasks", list.Count());
    for (size_t i = from; i < list.Count(); ++i) {
        const TURLTaskInfo& t = list[i];
        FUZZ_CHECK(t.Num == static_cast<int32_t>(i + 1), "task %zu has Num %d", i, t.Num);
        FUZZ_CHECK(Trimmed(t.URL), "URL '%s' empty or untrimmed", t.URL.c_str());
        FUZZ_CHECK(seen.insert(Lower(t.URL)).second, "duplicate URL '%s'", t.URL.c_str());
    }
}

// Feeds urls and checks the statistics against what the list shows.
void Feed(TURLTaskInfoList& list, const std::vector<std::string>& urls) {
    const size_t before = list.Count();
    size_t callbacks = 0;
    const TImportReport st = AddURLTasks(list, urls, [&](TURLTaskInfo& t) {
        ++callbacks;
        FUZZ_CHECK(t.Num == static_cast<int32_t>(list.Count()), "callback for task %d of %zu",
                   t.Num, list.Count());
    });
    FUZZ_CHECK(list.Count() == before + st.added, "added %zu, list grew by %zu", st.added,
               list.Count() - before);
    FUZZ_CHECK(callbacks == st.added, "%zu callbacks for %zu added", callbacks, st.added);
    const size_t handled = st.added + st.empty + st.badLines + st.tooLong + st.notHttp +
                           st.resourceFiles + st.duplicates;
    if (st.LimitReached())
        FUZZ_CHECK(list.Count() == kMaxUrlCount && handled < urls.size(), "early limit");
    FUZZ_CHECK(handled + st.overLimit == urls.size(), "%zu of %zu URLs accounted for",
               handled + st.overLimit, urls.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::ScratchPath("urls.txt");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    fuzz::WriteFile(path, text);

    const TResult<std::vector<std::string>> cyrRead = ReadTextFileUrls(path, "WINDOWS-1251");
    const TResult<std::vector<std::string>> westRead = ReadTextFileUrls(path, "WINDOWS-1252");
    fuzz::CheckNoFdLeak(path);
    // Only a file with a NUL byte and without the UTF-16 mark is refused, as binary data.
    const bool utf16 =
        size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF));
    const bool binary = !utf16 && text.find('\0') != std::string_view::npos;
    FUZZ_CHECK(bool(cyrRead) == !binary && bool(westRead) == !binary, "read: %s",
               cyrRead.Error().c_str());
    const std::vector<std::string> noUrls;
    const std::vector<std::string>& cyr = cyrRead ? *cyrRead : noUrls;
    const std::vector<std::string>& west = westRead ? *westRead : noUrls;
    CheckLines(cyr, "cp1251 file");
    CheckLines(west, "cp1252 file");
    for (const auto* r : {&cyr, &west})
        for (const std::string& u : *r) FUZZ_CHECK(fuzz::Utf8Ok(u), "decoded to bad UTF-8");

    const std::vector<std::string> clip = SplitClipboardText(text);
    CheckLines(clip, "clipboard");

    // Valid UTF-8 is read as such whatever the code page; without CR and a byte-order mark the
    // file and the clipboard split the same text the same way.
    if (fuzz::Utf8Ok(text) && !binary) {
        FUZZ_CHECK(cyr == west, "code page changed a UTF-8 file");
        if (text.find('\r') == std::string_view::npos && text.substr(0, 3) != "\xEF\xBB\xBF")
            FUZZ_CHECK(cyr == clip, "file gives %zu lines, clipboard %zu", cyr.size(), clip.size());
    }

    {
        TURLTaskInfoList list;
        Feed(list, cyr);
        Feed(list, clip);
        Feed(list, west);
        std::unordered_set<std::string> seen;
        CheckList(list, 0, seen);
    }

    // Near the limit: a list kept across inputs, put back after each by deleting what came in.
    static constexpr size_t kPrefill = kMaxUrlCount - 8;
    static TURLTaskInfoList* big = [] {
        auto* l = new TURLTaskInfoList;
        for (size_t i = 0; i < kPrefill; ++i)
            l->Add("https://prefill.example/" + std::to_string(i));
        return l;
    }();
    Feed(*big, clip);
    Feed(*big, cyr);
    std::unordered_set<std::string> seen;
    CheckList(*big, kPrefill - 2, seen);
    static const std::string kPrefix = "https://prefill.example/";
    for (size_t i = kPrefill; i < big->Count(); ++i) {
        const std::string u = Lower((*big)[i].URL);
        if (u.rfind(kPrefix, 0) != 0) continue;
        const std::string rest = u.substr(kPrefix.size());
        const bool digits = !rest.empty() && rest.size() <= 5 &&
                            rest.find_first_not_of("0123456789") == std::string::npos &&
                            (rest.size() == 1 || rest[0] != '0');
        const bool dup = digits && std::stoul(rest) < kPrefill;
        FUZZ_CHECK(!dup, "duplicate of a prefilled URL: '%s'", u.c_str());
    }
    std::vector<int32_t> nums;
    for (size_t i = kPrefill; i < big->Count(); ++i) nums.push_back(static_cast<int32_t>(i + 1));
    FUZZ_CHECK(big->DeleteByNums(nums) == nums.size(), "delete lost tasks");
    FUZZ_CHECK(big->Count() == kPrefill, "%zu tasks after the delete", big->Count());
    FUZZ_CHECK((*big)[kPrefill - 1].Num == static_cast<int32_t>(kPrefill), "renumbered wrongly");
    return 0;
}
