#include "cli/cli_history.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "base/text.h"
#include "base/translate.h"
#include "cli/cli_report.h"
#include "cli/cli_run.h"
#include "cli/json_output.h"
#include "cli/summary_output.h"
#include "engine/grid_text.h"
#include "engine/metrica.h"
#include "history/run_compare.h"
#include "io/csv.h"
#include "io/import_texts.h"
#include "io/spreadsheet_csv.h"

namespace velmora::cli {
namespace {

using history::TRunState;

std::string StateText(TRunState s) {
    switch (s) {
        case TRunState::rsCompleted:
            return Tr("завершён");
        case TRunState::rsAborted:
            return Tr("прерван");
        case TRunState::rsQuota:
            return Tr("остановлен квотой");
        default:
            return Tr("не завершён");
    }
}

std::string TimeText(int64_t unixSeconds) {
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string MeanText(const std::optional<double>& v) {
    if (!v) return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", *v);
    return buf;
}

int64_t RunId(const std::string& text) {
    return std::stoll(text);  // checked by the option parser
}

int ListRuns(const TCliOptions& o, history::IHistoryStore& store) {
    TResult<std::vector<history::TRunSummary>> runs = store.ListRuns();
    if (!runs) {
        Complain(runs.Error());
        return kExitBadInput;
    }
    // One line per run; the text form pads the columns, the CSV form keeps ';' out of them.
    auto print = [&o](std::vector<std::string> cells) {
        static constexpr int kWidth[] = {6, -19, 6, 7, 7, -18, -18, 0};
        std::string line;
        for (size_t c = 0; c < cells.size(); ++c) {
            // Names and who made a run come from colleagues on a shared history.
            std::string cell = PrintableText(cells[c]);
            if (o.CsvRows) {
                for (char& ch : cell)
                    if (ch == ';') ch = ' ';
                cell = io::DefuseFormula(cell);
            }
            if (c) line.append(o.CsvRows ? ";" : "  ");
            const size_t width = o.CsvRows ? 0 : static_cast<size_t>(std::abs(kWidth[c]));
            const size_t pad = cell.size() < width ? width - cell.size() : 0;
            if (kWidth[c] > 0) line.append(pad, ' ');
            line.append(cell);
            if (kWidth[c] < 0) line.append(pad, ' ');
        }
        while (!o.CsvRows && !line.empty() && line.back() == ' ') line.pop_back();
        std::printf("%s%s", line.c_str(), o.CsvRows ? "\r\n" : "\n");
    };
    print({Tr("Запуск"), Tr("Начат"), "URL", "Desktop", "Mobile", Tr("Состояние"), Tr("Кто"),
           Tr("Название")});
    for (const history::TRunSummary& r : *runs) {
        // Who made it matters where several machines share one history.
        const std::string who = r.Run.Machine.empty() ? "" : r.Run.User + "@" + r.Run.Machine;
        print({std::to_string(r.Run.Id), TimeText(r.Run.Started), std::to_string(r.UrlCount),
               MeanText(r.MeanScore[msDesktop]), MeanText(r.MeanScore[msMobile]),
               StateText(r.Run.State), who, r.Run.Name});
    }
    return kExitCompleted;
}

std::string PresenceText(history::TPresence p) {
    switch (p) {
        case history::TPresence::prOnlyOlder:
            return Tr("только в A");
        case history::TPresence::prOnlyNewer:
            return Tr("только в B");
        default:
            return Tr("в обоих");
    }
}

std::string ComparedName(int col) {
    if (col == gcScore) return "Score";
    if (IsFieldColumn(col) || IsCategoryColumn(col)) return GridColumnCaption(col);
    return std::string(MetricaTable[col - gcFirstMetric + 1].ShortName);
}

// The header, then per URL and strategy, per compared column: value in A, value in B, change.
TResult<> WriteComparisonLines(const io::TCsvLineSink& line, char sep,
                               const std::vector<history::TComparedUrl>& pairs) {
    std::vector<const TURLTaskInfo*> rows;
    for (const history::TComparedUrl& row : pairs) rows.insert(rows.end(), {row.Older, row.Newer});
    const std::vector<int> cols = history::ComparedCsvColumns(AskedCategories(rows));
    std::vector<std::string> fields = {"URL", Tr("Стратегия"), Tr("Есть в")};
    for (int col : cols) {
        const std::string name = ComparedName(col);
        for (const char* suffix : {" A", " B", " +/-"}) fields.push_back(name + suffix);
    }
    if (TResult<> r = line(fields); !r) return r;
    for (const history::TComparedUrl& row : pairs) {
        for (TMetricaStrategy s : kStrategies) {
            fields.assign(
                {std::string(row.Url), std::string(StrategyText(s)), PresenceText(row.Presence())});
            for (int col : cols) {
                std::string older = CellText(row.Older, s, col);
                std::string newer = CellText(row.Newer, s, col);
                std::string change = history::FormatChange(older, newer, sep);
                fields.push_back(std::move(older));
                fields.push_back(std::move(newer));
                fields.push_back(std::move(change));
            }
            if (TResult<> r = line(fields); !r) return r;
        }
    }
    return {};
}

TResult<io::TCsvExport> WriteComparison(const std::string& path,
                                        const session::TRunSession& session,
                                        const TURLTaskInfoList& a, const TURLTaskInfoList& b) {
    const std::vector<history::TComparedUrl> pairs = history::PairRuns(a, b);
    return io::WriteCsvLossless(path, session.CodePage(), [&](const io::TCsvLineSink& line) {
        return WriteComparisonLines(line, session.DecimalSeparator(), pairs);
    });
}

std::vector<const TURLTaskInfo*> RowsOf(const TURLTaskInfoList& list) {
    std::vector<const TURLTaskInfo*> rows;
    rows.reserve(list.Count());
    for (size_t i = 0; i < list.Count(); ++i) rows.push_back(&list[i]);
    return rows;
}

// Run B's report against run A: per page the change, the pages that got worse first.
bool WriteComparedReport(const std::string& path, const session::TRunSession& session,
                         const std::vector<TGroupRule>& groupRules, const history::TLoadedRun& a,
                         const history::TLoadedRun& b) {
    if (path.empty()) return true;
    TReportInput input;
    input.Run = ReportRunOf(b.Run);
    input.Rows = RowsOf(b.List);
    input.Compared = true;
    input.OlderRun = ReportRunOf(a.Run);
    input.OlderRows = RowsOf(a.List);
    return SaveReport(path, input, session, groupRules);
}

int Compare(const TCliOptions& o, session::TRunSession& session,
            const std::vector<TGroupRule>& groupRules) {
    history::IHistoryStore& store = session.History()->Store();
    history::TLoadedRun a, b;
    for (auto [id, run] : {std::pair{o.CommandArgs[0], &a}, std::pair{o.CommandArgs[1], &b}}) {
        // The report lists each page's audits, which the faster load leaves out.
        TResult<history::TLoadedRun> loaded =
            o.ReportFile.empty() ? store.LoadRunForCompare(RunId(id)) : store.LoadRun(RunId(id));
        if (!loaded) {
            Complain(loaded.Error());
            return kExitBadInput;
        }
        run->Run = std::move(loaded->Run);
        run->List = std::move(loaded->List);
    }
    const bool csv =
        o.CompareCsv.empty() ||
        ReportCsv(o.CompareCsv, WriteComparison(o.CompareCsv, session, a.List, b.List));
    const bool report = WriteComparedReport(o.ReportFile, session, groupRules, a, b);
    return csv && report ? kExitCompleted : kExitBadInput;
}

// The lines the run wrote as it went, page by page, and its summary line.
bool ExportJsonLines(const std::string& path, const std::vector<const TURLTaskInfo*>& rows,
                     const std::vector<TGroupRule>& groupRules) {
    TJsonLinesWriter json;
    if (TResult<> opened = json.Open(path); !opened) {
        Complain(opened.Error());
        return false;
    }
    for (const TURLTaskInfo* task : rows)
        if (task->TaskResults) json.WriteTask(*task);
    json.WriteLine(SummaryJsonLine(SummarizeSite(rows, groupRules), rows));
    if (TResult<> closed = json.Close(); !closed) {
        Complain(closed.Error());
        return false;
    }
    return true;
}

int ExportRun(const TCliOptions& o, session::TRunSession& session,
              const std::vector<TGroupRule>& groupRules) {
    TResult<history::TLoadedRun> run = session.History()->Store().LoadRun(RunId(o.CommandArgs[0]));
    if (!run) {
        Complain(run.Error());
        return kExitBadInput;
    }
    const TURLTaskInfoList& master = run->List;
    // As it was written when it ran: in the run's language and its code page.
    session.UseLanguage(run->Run.Lang);
    // The decimal separator of the advice scores is not kept with the run: this locale's.
    bool ok = ExportStrategy(o.DesktopCsv, session, msDesktop, master) &&
              ExportStrategy(o.MobileCsv, session, msMobile, master) &&
              ExportAdvice(o.AdviceCsv, session, master);
    const std::vector<const TURLTaskInfo*> rows = RowsOf(master);
    if (ok && !o.SpreadsheetCsv.empty()) {
        if (TResult<> sheet = io::ExportSpreadsheetCsv(o.SpreadsheetCsv, rows, groupRules);
            !sheet) {
            Complain(Tr(io::kMsgExportFailed) + " " + sheet.Error());
            ok = false;
        }
    }
    if (ok && WantsSummaryCsv(o)) ok = WriteSummaryCsvs(o, SummarizeSite(rows, groupRules), rows);
    if (ok && !o.JsonFile.empty()) ok = ExportJsonLines(o.JsonFile, rows, groupRules);
    if (ok && !o.ReportFile.empty()) {
        TReportInput input;
        input.Run = ReportRunOf(run->Run);
        input.Rows = RowsOf(master);
        ok = SaveReport(o.ReportFile, input, session, groupRules);
    }
    return ok ? kExitCompleted : kExitBadInput;
}

}  // namespace

int RunHistoryCommand(const TCliOptions& o, session::TRunSession& session,
                      const std::vector<TGroupRule>& groupRules) {
    if (!session.History()) return kExitBadInput;
    history::IHistoryStore& store = session.History()->Store();
    if (o.Command == "runs") return ListRuns(o, store);
    if (o.Command == "compare") return Compare(o, session, groupRules);
    if (o.Command == "export") return ExportRun(o, session, groupRules);
    if (TResult<> r = store.DeleteRun(RunId(o.CommandArgs[0])); !r) {
        Complain(r.Error());
        return kExitBadInput;
    }
    return kExitCompleted;
}

}  // namespace velmora::cli
