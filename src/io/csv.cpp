#include "io/csv.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/file_write.h"
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

TFailure TCsvWriter::SystemFailure(int err) const {
    return Fail(FPath + ": " + std::strerror(err), err);
}

TResult<> TCsvWriter::Open(const std::string& path) {
    (void)Close();  // a new file is asked for; the old one's close error no longer matters
    FPath = path;
    FFd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FFd < 0) return SystemFailure(errno);
    return {};
}

TResult<> TCsvWriter::WriteLine(const std::vector<std::string>& utf8Fields) {
    if (FFd < 0) return SystemFailure(EBADF);
    FLine.clear();
    for (size_t i = 0; i < utf8Fields.size(); ++i) {
        if (i) FLine += ';';
        FLine += CsvField(utf8Fields[i]);
    }
    FLine += "\r\n";
    FEncoder.Encode(FLine, FEncoded);
    if (const int err = WriteAll(FFd, FEncoded)) return SystemFailure(err);
    return {};
}

TResult<> TCsvWriter::Close() {
    if (FFd < 0) return {};
    const int rc = close(FFd);
    FFd = -1;
    if (rc != 0) return SystemFailure(errno);
    return {};
}

TResult<> ExportGridCsv(const std::string& path, const std::string& codepage, TMetricaStrategy s,
                        const std::vector<const TURLTaskInfo*>& rows) {
    TCsvWriter w(codepage);
    std::vector<std::string> fields(gcCount);
    if (TResult<> r = w.Open(path); !r) return r;
    for (int i = 0; i < gcCount; ++i) fields[i] = GridColumnCaption(i);
    if (TResult<> r = w.WriteLine(fields); !r) return r;
    for (const TURLTaskInfo* task : rows) {
        for (int i = 0; i < gcCount; ++i) fields[i] = CellText(task, s, i);
        if (TResult<> r = w.WriteLine(fields); !r) return r;
    }
    return w.Close();
}

}  // namespace velmora::io
