#include "io/advice_csv.h"

#include <array>
#include <charconv>

#include "base/translate.h"
#include "engine/metrica.h"
#include "io/csv.h"

namespace velmora::io {
namespace {

constexpr std::array<const char*, 7> kHeader{
    "URL", "Стратегия", "Группа", "Id аудита", "Заголовок", "Отображаемое значение", "Score"};

}  // namespace

std::string AdviceScoreText(std::optional<double> score, char decimalSeparator) {
    if (!score) return {};
    std::array<char, 32> buf{};
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), *score);
    if (ec != std::errc()) return {};
    std::string text(buf.data(), end);
    for (char& c : text)
        if (c == '.') c = decimalSeparator;
    return text;
}

TResult<TCsvExport> ExportAdviceCsv(const std::string& path, const std::string& codepage,
                                    char decimalSeparator,
                                    const std::vector<const TURLTaskInfo*>& rows) {
    return WriteCsvLossless(path, codepage, [&](const TCsvLineSink& line) -> TResult<> {
        std::vector<std::string> fields(kHeader.size());
        for (size_t i = 0; i < kHeader.size(); ++i) fields[i] = Tr(kHeader[i]);
        if (TResult<> r = line(fields); !r) return r;
        for (const TURLTaskInfo* task : rows) {
            if (!task || !task->TaskResults) continue;
            for (TMetricaStrategy s : kStrategies) {
                const TGAdviceList& list = task->TaskResults->AdviceList[s];
                for (size_t g = 0; g < AdviceGroupTable.size(); ++g) {
                    for (const TGAdvice& a : list) {
                        if (a.AdviceGroupNdx != static_cast<int32_t>(g)) continue;
                        fields = {task->URL,
                                  std::string(StrategyText(s)),
                                  std::string(AdviceGroupTable[g].Key),
                                  a.AuditId.str(),
                                  a.Title.str(),
                                  a.AdviceText,
                                  AdviceScoreText(a.Score, decimalSeparator)};
                        if (TResult<> r = line(fields); !r) return r;
                    }
                }
            }
        }
        return {};
    });
}

}  // namespace velmora::io
