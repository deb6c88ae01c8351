// The one CSV writer of the program: ";"-separated, CR LF, 8-bit code page without a byte-order
// mark, or UTF-8 with one when the code page cannot hold a field.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "engine/tasks.h"
#include "io/atomic_file.h"
#include "io/codepage.h"

namespace velmora::io {

inline constexpr const char* kCodePageUtf8 = "UTF-8";

// The field with an apostrophe before it when a spreadsheet would run it as a formula: it
// begins with "=", "+", "-", "@", TAB or CR and is no signed number ("-1.5", "+0,3 s" stay).
// Audit titles, error texts and run names come from the service and from colleagues.
std::string DefuseFormula(std::string_view field);

// The field as written: defused (DefuseFormula), then enclosed in double quotes, inner quotes
// doubled, when it holds ";", a double quote, CR or LF (so a URL with ";" cannot shift the
// columns).
std::string CsvField(std::string_view field);

class TCsvWriter {
  public:
    // codepage kCodePageUtf8 writes UTF-8 after a byte-order mark.
    explicit TCsvWriter(const std::string& codepage)
        : FUtf8(codepage == kCodePageUtf8), FEncoder(codepage) {}
    TCsvWriter(const TCsvWriter&) = delete;
    TCsvWriter& operator=(const TCsvWriter&) = delete;

    // Starts replacing the file (TAtomicFile): until Close() succeeds the old file stays, and
    // a writer dropped without Close() leaves it as it was. Every failure's Error() is
    // "<path>: <system's reason>".
    TResult<> Open(const std::string& path);
    // Joins the fields with ";", ends the line with CR LF, converts it to the code page ("?"
    // for what it cannot hold) and writes it in one piece.
    TResult<> WriteLine(const std::vector<std::string>& utf8Fields);
    // Puts the new file in place; it can report a delayed write error too.
    TResult<> Close();

  private:
    bool FUtf8;
    TCodePageEncoder FEncoder;
    TAtomicFile FFile;
    std::string FLine, FEncoded;
};

struct TCsvExport {
    // A field did not fit the code page asked for, so the file is UTF-8 with a byte-order mark;
    // the caller logs kLogCsvWrittenInUtf8.
    bool WrittenInUtf8 = false;
};

// Takes one line of a file's fields in UTF-8.
using TCsvLineSink = std::function<TResult<>(const std::vector<std::string>& utf8Fields)>;
// Gives every line of a file, header first, to the sink; it is called twice and must give the
// same lines both times. A failure of the sink ends it with that failure.
using TCsvProducer = std::function<TResult<>(const TCsvLineSink& line)>;

// Every CSV of the program goes through here: in codepage when every field fits it, else in
// UTF-8 with a byte-order mark, so nothing turns into "?". The file is replaced whole or not at
// all.
TResult<TCsvExport> WriteCsvLossless(const std::string& path, const std::string& codepage,
                                     const TCsvProducer& produce);

// Writes the header of the grid column captions (in the language in force) and one line per
// task in the order given, each with the grid's cell texts for strategy s, in codepage when every
// field fits it, else in UTF-8. The file is replaced whole or not at all. Fails when the file
// cannot be created or written; Error() then holds the path and the system's reason, and the
// caller shows it with kMsgExportFailed.
TResult<TCsvExport> ExportGridCsv(const std::string& path, const std::string& codepage,
                                  TMetricaStrategy s, const std::vector<const TURLTaskInfo*>& rows);

}  // namespace velmora::io
