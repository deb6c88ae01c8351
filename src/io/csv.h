// The one CSV writer of the program: ";"-separated, CR LF, 8-bit code page, no byte-order mark.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "engine/tasks.h"
#include "io/codepage.h"

namespace velmora::io {

// The field as written: enclosed in double quotes, inner quotes doubled, when it holds ";",
// a double quote, CR or LF (so a URL with ";" cannot shift the columns); otherwise unchanged.
std::string CsvField(std::string_view field);

class TCsvWriter {
  public:
    explicit TCsvWriter(const std::string& codepage) : FEncoder(codepage) {}
    ~TCsvWriter() { (void)Close(); }  // a caller that cares has closed already
    TCsvWriter(const TCsvWriter&) = delete;
    TCsvWriter& operator=(const TCsvWriter&) = delete;

    // Creates the file or empties it. Every failure's Error() is "<path>: <system's reason>".
    TResult<> Open(const std::string& path);
    // Joins the fields with ";", ends the line with CR LF, converts it to the code page ("?"
    // for what it cannot hold) and writes it in one piece.
    TResult<> WriteLine(const std::vector<std::string>& utf8Fields);
    // Closing can report a delayed write error too.
    TResult<> Close();

  private:
    TFailure SystemFailure(int err) const;

    TCodePageEncoder FEncoder;
    int FFd = -1;
    std::string FPath, FLine, FEncoded;
};

// Writes the header of the grid column captions (in the language in force) and one line per
// task in the order given, each with the grid's cell texts for strategy s. Fails when the file
// cannot be created or written; Error() then holds the path and the system's reason, and the
// caller shows it with kMsgExportFailed. What was written before a failure stays in the file.
TResult<> ExportGridCsv(const std::string& path, const std::string& codepage, TMetricaStrategy s,
                        const std::vector<const TURLTaskInfo*>& rows);

}  // namespace velmora::io
