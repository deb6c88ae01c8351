#include "io/csv.h"

#include <algorithm>

#include "engine/grid_columns.h"
#include "engine/grid_text.h"

namespace velmora::io {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "-1.5", "+12", "-0,3 s", "+120 ms": a sign, digits with one optional decimal part, and at most
// a unit of letters after one space. Nothing of it can call a function or reach another program.
bool SignedNumber(std::string_view f) {
    size_t i = 1;
    const auto digits = [&] {
        const size_t from = i;
        while (i < f.size() && IsDigit(f[i])) ++i;
        return i > from;
    };
    if (!digits()) return false;
    if (i < f.size() && (f[i] == '.' || f[i] == ',')) {
        ++i;
        if (!digits()) return false;
    }
    if (i == f.size()) return true;
    if (f[i] != ' ' || i + 1 == f.size()) return false;
    for (++i; i < f.size(); ++i)
        if (!((f[i] >= 'a' && f[i] <= 'z') || (f[i] >= 'A' && f[i] <= 'Z'))) return false;
    return true;
}

bool RunsAsFormula(std::string_view f) {
    if (f.empty()) return false;
    switch (f[0]) {
        case '=':
        case '@':
        case '\t':
        case '\r':
            return true;
        case '+':
        case '-':
            return !SignedNumber(f);
        default:
            return false;
    }
}

}  // namespace

std::string DefuseFormula(std::string_view field) {
    return RunsAsFormula(field) ? "'" + std::string(field) : std::string(field);
}

std::string CsvField(std::string_view text) {
    const std::string field = DefuseFormula(text);
    if (field.find_first_of(";\"\r\n") == std::string_view::npos) return field;
    std::string out;
    out.reserve(field.size() + 8);
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

TResult<> TCsvWriter::Open(const std::string& path) {
    if (TResult<> r = FFile.Open(path); !r) return r;
    if (FUtf8) return FFile.Write("\xEF\xBB\xBF");
    return {};
}

TResult<> TCsvWriter::WriteLine(const std::vector<std::string>& utf8Fields) {
    FLine.clear();
    for (size_t i = 0; i < utf8Fields.size(); ++i) {
        if (i) FLine += ';';
        FLine += CsvField(utf8Fields[i]);
    }
    FLine += "\r\n";
    if (FUtf8) return FFile.Write(FLine);
    FEncoder.Encode(FLine, FEncoded);
    return FFile.Write(FEncoded);
}

TResult<> TCsvWriter::Close() {
    return FFile.Commit();
}

namespace {

// Cell i of row (nullptr: the header).
std::string Field(const TURLTaskInfo* row, TMetricaStrategy s, int i) {
    return row ? CellText(row, s, i) : GridColumnCaption(i);
}

}  // namespace

TResult<TCsvExport> WriteCsvLossless(const std::string& path, const std::string& codepage,
                                     const TCsvProducer& produce) {
    // Spreadsheets on Windows read the interface language's code page as it is; it is kept as
    // long as nothing is lost.
    bool fits = true;
    if (codepage != kCodePageUtf8) {
        TCodePageEncoder encoder(codepage);
        std::string scratch;
        (void)produce([&](const std::vector<std::string>& fields) -> TResult<> {
            for (const std::string& f : fields)
                if (fits && !encoder.Encode(f, scratch)) fits = false;
            return fits ? TResult<>() : Fail({});  // one field that does not fit decides it
        });
    }
    TCsvWriter w(fits ? codepage : kCodePageUtf8);
    if (TResult<> r = w.Open(path); !r) return r.Failure();
    if (TResult<> r = produce([&w](const std::vector<std::string>& f) { return w.WriteLine(f); });
        !r)
        return r.Failure();
    if (TResult<> r = w.Close(); !r) return r.Failure();
    return TCsvExport{!fits && codepage != kCodePageUtf8};
}

TResult<TCsvExport> ExportGridCsv(const std::string& path, const std::string& codepage,
                                  TMetricaStrategy s,
                                  const std::vector<const TURLTaskInfo*>& rows) {
    // The other categories' scores follow the columns every run has, so a performance-only
    // file and the scripts reading it stay as they are.
    std::vector<int> columns;
    for (int i = 0; i < gcCount; ++i) columns.push_back(i);
    const TCategorySet asked = AskedCategories(rows);
    for (int col = gcAccessibility; col < gcColumnEnd; ++col)
        if (HasCategory(asked, ColumnCategory(col))) columns.push_back(col);
    return WriteCsvLossless(path, codepage, [&](const TCsvLineSink& line) -> TResult<> {
        std::vector<std::string> fields(columns.size());
        const auto rowFields = [&](const TURLTaskInfo* row) -> const std::vector<std::string>& {
            for (size_t i = 0; i < columns.size(); ++i) fields[i] = Field(row, s, columns[i]);
            return fields;
        };
        if (TResult<> r = line(rowFields(nullptr)); !r) return r;
        for (const TURLTaskInfo* task : rows)
            if (TResult<> r = line(rowFields(task)); !r) return r;
        return {};
    });
}

}  // namespace velmora::io
