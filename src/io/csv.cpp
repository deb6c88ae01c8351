#include "io/csv.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/file_write.h"
#include "engine/grid_text.h"
#include "engine/metrica.h"

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

bool TCsvWriter::Fail(int err) {
    FLastError = FPath + ": " + std::strerror(err);
    return false;
}

bool TCsvWriter::Open(const std::string& path) {
    Close();
    FPath = path;
    FLastError.clear();
    FFd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FFd < 0) return Fail(errno);
    return true;
}

bool TCsvWriter::WriteLine(const std::vector<std::string>& utf8Fields) {
    if (FFd < 0) return Fail(EBADF);
    FLine.clear();
    for (size_t i = 0; i < utf8Fields.size(); ++i) {
        if (i) FLine += ';';
        FLine += CsvField(utf8Fields[i]);
    }
    FLine += "\r\n";
    FEncoder.Encode(FLine, FEncoded);
    if (const int err = WriteAll(FFd, FEncoded)) return Fail(err);
    return true;
}

bool TCsvWriter::Close() {
    if (FFd < 0) return true;
    int rc = close(FFd);
    FFd = -1;
    if (rc != 0) return Fail(errno);
    return true;
}

bool ExportGridCsv(const std::string& path, const std::string& codepage, TMetricaStrategy s,
                   const std::vector<const TURLTaskInfo*>& rows, std::string* error) {
    TCsvWriter w(codepage);
    std::vector<std::string> fields(gcCount);
    auto fail = [&] {
        if (error) *error = w.LastError();
        w.Close();
        return false;
    };
    if (!w.Open(path)) return fail();
    for (int i = 0; i < gcCount; ++i) fields[i] = GridColumnCaption(i);
    if (!w.WriteLine(fields)) return fail();
    for (const TURLTaskInfo* task : rows) {
        for (int i = 0; i < gcCount; ++i) fields[i] = CellText(task, s, i);
        if (!w.WriteLine(fields)) return fail();
    }
    if (!w.Close()) return fail();
    return true;
}

}  // namespace velmora::io
