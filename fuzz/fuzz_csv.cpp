// The CSV export read back with a strict RFC 4180 reader (";" separator, CR LF): every field
// must come back as written (a formula behind an apostrophe), converted to the code page, whatever
// quotes, separators and line breaks it holds.
//
// Input: one mode byte, then the 17 fields separated by \x1e.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/grid_text.h"
#include "engine/metrica.h"
#include "engine/tasks.h"
#include "fuzz_util.h"
#include "io/codepage.h"
#include "io/csv.h"

using namespace velmora;
using namespace velmora::io;

namespace {

using TRecords = std::vector<std::vector<std::string>>;

// Strict: a quote inside an unquoted field, anything after a closing quote but ";" or CR LF, a
// bare CR or LF and a missing final CR LF are all errors.
std::optional<TRecords> ReadCsv(std::string_view in, std::string* why) {
    TRecords out;
    std::vector<std::string> rec;
    size_t i = 0;
    auto fail = [&](const char* msg) {
        *why = std::string(msg) + " at byte " + std::to_string(i);
        return std::nullopt;
    };
    while (i < in.size()) {
        std::string field;
        if (in[i] == '"') {
            ++i;
            for (;;) {
                if (i >= in.size()) return fail("unterminated quoted field");
                if (in[i] == '"') {
                    if (i + 1 < in.size() && in[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += in[i++];
            }
        } else {
            while (i < in.size() && in[i] != ';' && in[i] != '\r' && in[i] != '\n') {
                if (in[i] == '"') return fail("quote in an unquoted field");
                field += in[i++];
            }
        }
        rec.push_back(std::move(field));
        if (i < in.size() && in[i] == ';') {
            ++i;
            continue;
        }
        if (i + 1 < in.size() && in[i] == '\r' && in[i + 1] == '\n') {
            i += 2;
            out.push_back(std::move(rec));
            rec.clear();
            continue;
        }
        return fail("field not followed by ';' or CR LF");
    }
    if (!rec.empty()) return fail("last record without CR LF");
    return out;
}

size_t CodePoints(std::string_view s) {
    size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

bool IsAsciiText(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

void CheckRecord(const std::vector<std::string>& got, const std::vector<std::string>& utf8,
                 const std::string& cp, size_t line) {
    FUZZ_CHECK(got.size() == utf8.size(), "line %zu has %zu fields, wrote %zu", line, got.size(),
               utf8.size());
    for (size_t f = 0; f < got.size(); ++f) {
        const std::string& in = utf8[f];
        if (IsAsciiText(in)) {
            FUZZ_CHECK(got[f] == in, "line %zu field %zu: ASCII '%s' came back as '%s'", line, f,
                       in.c_str(), got[f].c_str());
            continue;
        }
        if (!fuzz::Utf8Ok(in)) continue;  // replacement rules only; the field count is what counts
        if (cp.empty()) {                 // UTF-8: every character kept as it was
            FUZZ_CHECK(got[f] == in, "line %zu field %zu changed in UTF-8", line, f);
            continue;
        }
        FUZZ_CHECK(got[f] == Utf8ToCodePage(in, cp), "line %zu field %zu differs", line, f);
        // One byte per character, whatever it became.
        FUZZ_CHECK(got[f].size() == CodePoints(in), "line %zu field %zu: %zu bytes for %zu chars",
                   line, f, got[f].size(), CodePoints(in));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const std::string path = fuzz::ScratchPath("export.csv");
    static const char* const kCodePages[] = {kCodePageCyrillic, kCodePageWestern, "NO-SUCH-CP"};
    const uint8_t mode = data[0];
    const std::string cp = kCodePages[(mode & 3) % 3];
    const auto parts = fuzz::SplitParts(
        std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), "\x1e");
    std::vector<std::string> fields(gcCount);
    for (size_t i = 0; i < parts.size() && i < fields.size(); ++i) fields[i] = parts[i];

    std::vector<std::vector<std::string>> expected;
    bool inUtf8 = false;  // the export fell back to UTF-8 with a byte-order mark
    if (mode & 4) {
        // The real export: captions, then a task whose cells carry the fields.
        TURLTaskInfo task(fields[1], 1);
        task.InitMetricResults();
        for (const TMetricaInfo& row : MetricaTable) {
            TMetricaValue v;
            v.Key = row.Key;
            v.Strategy = msDesktop;
            v.ColNum = ColNumByKey(row.Key);
            v.DisplayText = fields[v.ColNum];
            task.TaskResults->MetricaValues.push_back(std::move(v));
        }
        task.TaskResults->TaskResult[msDesktop] = (mode & 8) ? trOK : trServiceError;
        task.TaskResults->ErrorCode[msDesktop] = 500;
        const TResult<TCsvExport> exported = ExportGridCsv(path, cp, msDesktop, {&task});
        FUZZ_CHECK(exported, "export: %s", exported.Error().c_str());
        inUtf8 = exported->WrittenInUtf8;
        std::vector<std::string> header, row;
        for (int c = 0; c < gcCount; ++c) {
            header.push_back(GridColumnCaption(c));
            row.push_back(CellText(&task, msDesktop, c));
        }
        expected = {header, row};
    } else {
        TCsvWriter w(cp);
        const TResult<> opened = w.Open(path);
        FUZZ_CHECK(opened, "open: %s", opened.Error().c_str());
        std::vector<std::string> reversed(fields.rbegin(), fields.rend());
        TResult<> written = w.WriteLine(fields);
        if (written) written = w.WriteLine(reversed);
        if (written) written = w.Close();
        FUZZ_CHECK(written, "write: %s", written.Error().c_str());
        expected = {fields, reversed};
    }
    fuzz::CheckNoFdLeak(path);
    // What a spreadsheet would run comes back behind an apostrophe.
    for (std::vector<std::string>& rec : expected)
        for (std::string& f : rec) f = DefuseFormula(f);

    std::string bytes = fuzz::ReadFile(path);
    FUZZ_CHECK(inUtf8 == (bytes.rfind("\xEF\xBB\xBF", 0) == 0), "byte-order mark mismatch");
    if (inUtf8) bytes.erase(0, 3);
    std::string why;
    const std::optional<TRecords> recs = ReadCsv(bytes, &why);
    FUZZ_CHECK(recs, "not RFC 4180: %s", why.c_str());
    FUZZ_CHECK(recs->size() == expected.size(), "%zu records, wrote %zu", recs->size(),
               expected.size());
    for (size_t r = 0; r < expected.size(); ++r)
        CheckRecord((*recs)[r], expected[r], inUtf8 ? std::string() : cp, r);

    // The field quoting on its own, without the code page in between.
    for (const std::string& f : fields) {
        const std::string q = CsvField(f);
        std::string why1;
        const std::string line = q + "\r\n";
        const auto one = ReadCsv(line, &why1);
        FUZZ_CHECK(one && one->size() == 1 && one->front().size() == 1 &&
                       one->front()[0] == DefuseFormula(f),
                   "CsvField does not round-trip: %s", why1.c_str());
    }
    return 0;
}
