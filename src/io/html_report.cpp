#include "io/html_report.h"

#include "base/translate.h"
#include "engine/screenshot.h"
#include "io/atomic_file.h"
#include "io/html_report_parts.h"

namespace velmora {
namespace io::report {

void AppendHtml(std::string& out, std::string_view text) {
    size_t plain = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char* ref = nullptr;
        switch (text[i]) {
            case '&':
                ref = "&amp;";
                break;
            case '<':
                ref = "&lt;";
                break;
            case '>':
                ref = "&gt;";
                break;
            case '"':
                ref = "&quot;";
                break;
            case '\'':
                ref = "&#39;";
                break;
            default:
                continue;
        }
        out.append(text.substr(plain, i - plain));
        out.append(ref);
        plain = i + 1;
    }
    out.append(text.substr(plain));
}

void AppendJsonString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    size_t plain = 0;
    const auto escape = [&](size_t at, size_t length, unsigned code) {
        out.append(text.substr(plain, at - plain));
        out.append("\\u");
        for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(code >> shift) & 0xF]);
        plain = at + length;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == '"' || c == '\\' || c == '<' || c == '>' || c == '&') {
            escape(i, 1, c);
        } else if (c == 0xE2 && i + 2 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xA8) {
            // U+2028 and U+2029 end a line in older script parsers.
            escape(i, 3, 0x2000u | (static_cast<unsigned char>(text[i + 2]) - 0x80u));
            i += 2;
        }
    }
    out.append(text.substr(plain));
    out.push_back('"');
}

}  // namespace io::report

namespace {

using namespace io::report;

// Nothing but what the file holds: no requests, no frames, no forms, no plugins.
constexpr std::string_view kPolicy =
    "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; "
    "img-src data:";

// Says which screenshots the report lacks and why, under the summary.
void AppendShotsLeftOut(std::string& out, const TShotsLeftOut& left, size_t maxReportBytes) {
    const auto megabytes = [](size_t bytes) { return std::to_string(bytes >> 20); };
    if (left.TooLarge)
        AppendElement(out, "p",
                      FormatLog(Tr("Снимков экрана не включено, каждый больше %s МБ: %s"),
                                {megabytes(kMaxScreenshotBytes), std::to_string(left.TooLarge)}),
                      "left-out");
    if (left.OverReport)
        AppendElement(out, "p",
                      FormatLog(Tr("Снимков экрана не включено сверх %s МБ на отчёт: %s"),
                                {megabytes(maxReportBytes), std::to_string(left.OverReport)}),
                      "left-out");
}

std::string ReportText(const TReportInput& input) {
    std::string out;
    // About 1 KB a page and strategy without screenshots; a guess that spares most regrowth.
    out.reserve(4096 + input.Rows.size() * 1200);
    out.append("<!DOCTYPE html>\n<html lang=\"");
    AppendHtml(out, input.Lang);
    out.append("\">\n<head>\n<meta charset=\"utf-8\">\n");
    out.append("<meta http-equiv=\"Content-Security-Policy\" content=\"");
    out.append(kPolicy);
    out.append("\">\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n");
    out.append("<meta name=\"generator\" content=\"Velmora " VELMORA_VERSION "\">\n<title>");
    AppendHtml(out, Tr("Отчёт Velmora"));
    if (!input.Run.Source.empty()) {
        out.append(": ");
        AppendHtml(out, input.Run.Source);
    }
    out.append("</title>\n<style>");
    out.append(PageStyle());
    out.append("</style>\n</head>\n<body>\n");
    AppendSummary(out, input);
    out.append("<script type=\"application/json\" id=\"report-data\">");
    const TShotsLeftOut left = AppendTableData(out, input);
    out.append("</script>\n");
    AppendShotsLeftOut(out, left, input.MaxScreenshotBytes);
    out.append("<script>");
    out.append(PageScript());
    out.append("</script>\n</body>\n</html>\n");
    return out;
}

}  // namespace

bool WriteHtmlReport(const std::string& path, const TReportInput& input, std::string& error) {
    const std::string text = ReportText(input);
    io::TAtomicFile file;
    TResult<> done = file.Open(path);
    if (done) done = file.Write(text);
    if (done) done = file.Commit();
    if (done) return true;
    error = done.Error();
    return false;
}

}  // namespace velmora
