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

bool EveryFieldFits(const std::string& codepage, TMetricaStrategy s,
                    const std::vector<const TURLTaskInfo*>& rows) {
    TCodePageEncoder encoder(codepage);
    std::string scratch;
    const auto fits = [&](const TURLTaskInfo* row) {
        for (int i = 0; i < gcCount; ++i)
            if (!encoder.Encode(Field(row, s, i), scratch)) return false;
        return true;
    };
    return fits(nullptr) && std::all_of(rows.begin(), rows.end(), fits);
}

}  // namespace

TResult<TCsvExport> ExportGridCsv(const std::string& path, const std::string& codepage,
                                  TMetricaStrategy s,
                                  const std::vector<const TURLTaskInfo*>& rows) {
    // Spreadsheets on Windows read the interface language's code page as it is; it is kept as
    // long as nothing is lost.
    const bool utf8 = !EveryFieldFits(codepage, s, rows);
    TCsvWriter w(utf8 ? kCodePageUtf8 : codepage);
    std::vector<std::string> fields(gcCount);
    const auto writeRow = [&](const TURLTaskInfo* row) {
        for (int i = 0; i < gcCount; ++i) fields[i] = Field(row, s, i);
        return w.WriteLine(fields);
    };
    if (TResult<> r = w.Open(path); !r) return r.Failure();
    if (TResult<> r = writeRow(nullptr); !r) return r.Failure();
    for (const TURLTaskInfo* task : rows)
        if (TResult<> r = writeRow(task); !r) return r.Failure();
    if (TResult<> r = w.Close(); !r) return r.Failure();
    return TCsvExport{utf8};
}

}  // namespace velmora::io
