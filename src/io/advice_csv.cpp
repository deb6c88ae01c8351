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
// Follows "Стратегия" when a row asked for a category besides performance.
constexpr const char* kCategoryHeader = "Категория";

// The advice of one strategy in the order of the file: performance by the catalogue's groups,
// then each other category's failing audits as the answer groups them; manual checks are no
// failures and stay out.
std::vector<const TGAdvice*> AdviceInFileOrder(const TGAdviceList& list) {
    std::vector<const TGAdvice*> out;
    for (size_t g = 0; g < AdviceGroupTable.size(); ++g)
        for (const TGAdvice& a : list)
            if (a.Category == ctPerformance && a.AdviceGroupNdx == static_cast<int32_t>(g))
                out.push_back(&a);
    for (size_t c = ctAccessibility; c < CategoryTable.size(); ++c)
        for (const TGAdvice& a : list)
            if (a.Category == c && a.Failed()) out.push_back(&a);
    return out;
}

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
    const bool withCategory = AskedCategories(rows) != kPerformanceOnly;
    return WriteCsvLossless(path, codepage, [&](const TCsvLineSink& line) -> TResult<> {
        std::vector<std::string> fields;
        for (const char* caption : kHeader) fields.push_back(Tr(caption));
        if (withCategory) fields.insert(fields.begin() + 2, Tr(kCategoryHeader));
        if (TResult<> r = line(fields); !r) return r;
        for (const TURLTaskInfo* task : rows) {
            if (!task || !task->TaskResults) continue;
            for (TMetricaStrategy s : kStrategies) {
                for (const TGAdvice* a : AdviceInFileOrder(task->TaskResults->AdviceList[s])) {
                    const std::string group =
                        a->Category == ctPerformance
                            ? std::string(AdviceGroupTable.at(a->AdviceGroupNdx).Key)
                            : a->Group.str();
                    fields = {task->URL,
                              std::string(StrategyText(s)),
                              group,
                              a->AuditId.str(),
                              a->Title.str(),
                              a->AdviceText,
                              AdviceScoreText(a->Score, decimalSeparator)};
                    if (withCategory)
                        fields.insert(fields.begin() + 2,
                                      std::string(CategoryTable[a->Category].Key));
                    if (TResult<> r = line(fields); !r) return r;
                }
            }
        }
        return {};
    });
}

}  // namespace velmora::io
