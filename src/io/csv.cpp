#include "io/csv.h"

#include <algorithm>

#include "engine/grid_columns.h"
#include "engine/grid_text.h"

namespace velmora::io {

std::string CsvField(std::string_view field) {
    if (field.find_first_of(";\"\r\n") == std::string_view::npos) return std::string(field);
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
