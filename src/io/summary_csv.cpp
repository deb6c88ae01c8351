#include "io/summary_csv.h"

#include <charconv>
#include <cmath>
#include <unordered_map>

#include "io/csv.h"

namespace velmora::io {
namespace {

using TLines = std::vector<std::vector<std::string>>;

TResult<> WriteUtf8Csv(const std::string& path, const std::vector<std::string>& header,
                       const TLines& lines) {
    TCsvWriter writer(kCodePageUtf8);
    if (TResult<> r = writer.Open(path); !r) return r;
    if (TResult<> r = writer.WriteLine(header); !r) return r;
    for (const auto& line : lines)
        if (TResult<> r = writer.WriteLine(line); !r) return r;
    return writer.Close();
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& p : parts) {
        if (!out.empty()) out += ' ';
        out += p;
    }
    return out;
}

std::string NumsText(const std::vector<int32_t>& nums) {
    std::string out;
    for (int32_t n : nums) {
        if (!out.empty()) out += ' ';
        out += std::to_string(n);
    }
    return out;
}

void AddFigure(std::vector<std::string>& line, const TFigure& f) {
    line.push_back(SummaryNumberText(f.Sum));
    line.push_back(SummaryNumberText(f.Median));
}

}  // namespace

std::string SummaryNumberText(double v) {
    if (std::isnan(v)) return {};
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

std::string RankByText(TSavingsRank::TBy by) {
    switch (by) {
        case TSavingsRank::Time:
            return "time";
        case TSavingsRank::Bytes:
            return "bytes";
        default:
            return "pages";
    }
}

std::vector<std::string> UrlsOf(const std::vector<int32_t>& nums,
                                const std::vector<const TURLTaskInfo*>& rows) {
    std::unordered_map<int32_t, const std::string*> byNum;
    for (const TURLTaskInfo* row : rows)
        if (row) byNum.emplace(row->Num, &row->URL);
    std::vector<std::string> urls;
    for (int32_t n : nums) {
        auto it = byNum.find(n);
        urls.push_back(it == byNum.end() ? std::string() : *it->second);
    }
    return urls;
}

TResult<> ExportFixesCsv(const std::string& path, const std::vector<TFixRow>& fixes) {
    std::vector<std::string> header{"Strategy",
                                    "Category",
                                    "Group",
                                    "Audit id",
                                    "Title",
                                    "Pages",
                                    "Share",
                                    "Savings ms sum",
                                    "Savings ms median",
                                    "Savings bytes sum",
                                    "Savings bytes median"};
    for (std::string_view m : kSavingsMetricKeys) {
        const std::string unit = m == "CLS" ? "" : " ms";
        header.push_back(std::string(m) + unit + " sum");
        header.push_back(std::string(m) + unit + " median");
    }
    for (const char* h : {"Median score", "Rank by", "Rank", "Pages numbered"}) header.push_back(h);
    TLines lines;
    for (const TFixRow& f : fixes) {
        std::vector<std::string> line{std::string(StrategyText(f.Strategy)),
                                      std::string(CategoryTable[f.Category].Key),
                                      f.Group.str(),
                                      f.AuditId.str(),
                                      f.Title.str(),
                                      std::to_string(f.Pages),
                                      SummaryNumberText(f.Share)};
        AddFigure(line, f.SavingsMs);
        AddFigure(line, f.SavingsBytes);
        for (const TFigure& m : f.MetricSavings) AddFigure(line, m);
        line.push_back(SummaryNumberText(f.MedianScore));
        line.push_back(RankByText(f.Rank.By));
        line.push_back(SummaryNumberText(f.Rank.Value));
        line.push_back(NumsText(f.TaskNums));
        lines.push_back(std::move(line));
    }
    return WriteUtf8Csv(path, header, lines);
}

TResult<> ExportResourcesCsv(const std::string& path,
                             const std::vector<TSharedResource>& resources) {
    const std::vector<std::string> header{"Strategy",
                                          "URL",
                                          "Audit id",
                                          "Title",
                                          "Pages",
                                          "Wasted ms sum",
                                          "Wasted ms median",
                                          "Wasted bytes sum",
                                          "Wasted bytes median",
                                          "Rank by",
                                          "Rank",
                                          "Pages numbered"};
    TLines lines;
    for (const TSharedResource& r : resources) {
        std::vector<std::string> line{std::string(StrategyText(r.Strategy)), r.Url, r.AuditId.str(),
                                      r.Title.str(), std::to_string(r.Pages)};
        AddFigure(line, r.SavingsMs);
        AddFigure(line, r.SavingsBytes);
        line.push_back(RankByText(r.Rank.By));
        line.push_back(SummaryNumberText(r.Rank.Value));
        line.push_back(NumsText(r.TaskNums));
        lines.push_back(std::move(line));
    }
    return WriteUtf8Csv(path, header, lines);
}

TResult<> ExportGroupsCsv(const std::string& path, const std::vector<TPageGroup>& groups,
                          const std::vector<const TURLTaskInfo*>& rows) {
    const std::vector<std::string> header{
        "Strategy",      "Group",      "Pages",         "Median score", "Good share",
        "Average share", "Poor share", "CWV pass rate", "Worst pages",  "Pages numbered"};
    TLines lines;
    for (const TPageGroup& g : groups) {
        std::vector<std::string> line{std::string(StrategyText(g.Strategy)), g.Name,
                                      std::to_string(g.Pages), SummaryNumberText(g.MedianScore)};
        for (double share : g.BandShare) line.push_back(SummaryNumberText(share));
        line.push_back(SummaryNumberText(g.CwvPassRate));
        line.push_back(Joined(UrlsOf(g.Worst, rows)));
        line.push_back(NumsText(g.TaskNums));
        lines.push_back(std::move(line));
    }
    return WriteUtf8Csv(path, header, lines);
}

}  // namespace velmora::io
