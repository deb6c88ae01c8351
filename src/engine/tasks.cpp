#include "engine/tasks.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <unordered_set>
#include <utility>

#include "base/text.h"

namespace velmora {

std::string_view StrategyText(TMetricaStrategy s) {
    return s == msDesktop ? "desktop" : "mobile";
}

std::optional<TStrategySet> ParseStrategies(std::string_view text) {
    const std::string lower = AsciiLower(text);
    if (lower == "both") return kBothStrategies;
    for (TMetricaStrategy s : kStrategies)
        if (lower == StrategyText(s)) return static_cast<TStrategySet>(1u << s);
    return std::nullopt;
}

std::string_view StrategiesText(TStrategySet set) {
    if (set == (1u << msDesktop)) return StrategyText(msDesktop);
    if (set == (1u << msMobile)) return StrategyText(msMobile);
    return "both";
}

const TMetricaValue* TMetricaValues::GetValueByKey(std::string_view sKey,
                                                   TMetricaStrategy aStrategy) const {
    for (const auto& v : *this) {
        if (v.Key == sKey && v.Strategy == aStrategy) return &v;
    }
    return nullptr;
}

void TGAdviceRefList::AddRef(std::string sKey, int32_t aAdviceNdx, std::string sTitle,
                             std::string sDescr) {
    push_back(TGAdviceRef{std::move(sKey), std::move(sTitle), std::move(sDescr), aAdviceNdx});
}

std::string TURLTaskResults::ErrorText(TMetricaStrategy sStrategy) const {
    switch (TaskResult[sStrategy]) {
        case trSendError:
            return "SEND ERROR";
        case trParseError:
            return "PARSE ERROR";
        case trUnknownResponse:
            return "UNKNOWN RESPONSE";
        case trNotHTML:
            return "NOT HTML";
        case trQuotaExceeded:
            return "API QUOTA";
        case trPageError:
            // The service's message carries what the user needs, "(Status code: 404)" and all.
            if (!ServiceText[sStrategy].empty()) return ServiceText[sStrategy];
            return ServiceCode[sStrategy].empty() ? "PAGE ERROR" : ServiceCode[sStrategy];
        default:
            break;
    }
    if (ErrorCode[sStrategy] > 0) return std::to_string(ErrorCode[sStrategy]);
    // An error answer without a JSON error object: its status is all there is to show.
    if (TaskResult[sStrategy] != trOK && HttpStatus[sStrategy] >= 300)
        return "HTTP " + std::to_string(HttpStatus[sStrategy]);
    return {};
}

std::string TURLTaskResults::ValueTextByColNum(int32_t iColNum, TMetricaStrategy sStrategy) const {
    for (const auto& v : MetricaValues) {
        if (v.ColNum == iColNum && v.Strategy == sStrategy) return v.DisplayText;
    }
    return {};
}

namespace {

// The manual-check lists of every page, each distinct list once; never freed, as the interned
// texts they hold.
struct TSharedAdviceTable {
    std::mutex Lock;
    std::unordered_multimap<size_t, std::unique_ptr<const std::vector<TGAdvice>>> Lists;
};

size_t HashOf(const std::vector<TGAdvice>& list) {
    size_t h = list.size();
    // Interned texts are equal exactly when they are the same string object.
    const auto mix = [&h](const TInternedText& t) {
        h = h * 1000003u ^ std::hash<const void*>{}(&t.str());
    };
    for (const TGAdvice& a : list) {
        for (const TInternedText* t : {&a.Title, &a.AdviceText, &a.AuditId, &a.Group}) mix(*t);
        h = h * 31u + a.Category;
    }
    return h;
}

const std::vector<TGAdvice>* SharedList(std::vector<TGAdvice>&& list) {
    static auto* table = new TSharedAdviceTable;  // outlives every worker thread
    const size_t hash = HashOf(list);
    std::lock_guard lock(table->Lock);
    auto [from, to] = table->Lists.equal_range(hash);
    for (auto it = from; it != to; ++it)
        if (*it->second == list) return it->second.get();
    list.shrink_to_fit();
    auto stored = std::make_unique<const std::vector<TGAdvice>>(std::move(list));
    const std::vector<TGAdvice>* kept = stored.get();
    table->Lists.emplace(hash, std::move(stored));
    return kept;
}

}  // namespace

void TGAdviceList::ShareManualChecks() {
    const auto manualBegin = std::stable_partition(FOwn.begin(), FOwn.end(),
                                                   [](const TGAdvice& a) { return !a.Manual; });
    if (manualBegin == FOwn.end()) return;
    std::vector<TGAdvice> manual;
    if (FShared) manual = *FShared;
    manual.insert(manual.end(), std::make_move_iterator(manualBegin),
                  std::make_move_iterator(FOwn.end()));
    FOwn.erase(manualBegin, FOwn.end());
    FShared = SharedList(std::move(manual));
}

TCategorySet AskedCategories(const std::vector<const TURLTaskInfo*>& rows) {
    TCategorySet set = kPerformanceOnly;
    for (const TURLTaskInfo* row : rows)
        if (row && row->TaskResults) set |= row->TaskResults->Categories;
    return set;
}

TURLTaskInfo& TURLTaskInfoList::Add(std::string sURL) {
    IndexAdd(sURL);
    FItems.push_back(
        std::make_unique<TURLTaskInfo>(std::move(sURL), static_cast<int32_t>(FItems.size()) + 1));
    return *FItems.back();
}

bool TURLTaskInfoList::URLExists(std::string_view sURL) const {
    return FLowerIndex.find(AsciiLower(sURL)) != FLowerIndex.end();
}

void TURLTaskInfoList::ClearMetricResults() {
    for (auto& t : FItems) t->ClearMetricResults();
}

void TURLTaskInfoList::Clear() {
    FItems.clear();
    FLowerIndex.clear();
}

size_t TURLTaskInfoList::DeleteByNums(const std::vector<int32_t>& nums) {
    if (nums.empty()) return 0;
    std::unordered_set<int32_t> gone(nums.begin(), nums.end());
    size_t before = FItems.size();
    std::vector<std::unique_ptr<TURLTaskInfo>> kept;
    kept.reserve(FItems.size());
    for (auto& t : FItems) {
        if (gone.count(t->Num)) {
            IndexRemove(t->URL);
        } else {
            kept.push_back(std::move(t));
        }
    }
    FItems = std::move(kept);
    for (size_t i = 0; i < FItems.size(); ++i) FItems[i]->Num = static_cast<int32_t>(i) + 1;
    return before - FItems.size();
}

void TURLTaskInfoList::ChangeURL(int32_t num, std::string sURL) {
    TURLTaskInfo* task = FindByNum(num);
    if (!task) return;
    IndexRemove(task->URL);
    IndexAdd(sURL);
    task->URL = std::move(sURL);
}

TURLTaskInfo* TURLTaskInfoList::FindByNum(int32_t num) {
    return const_cast<TURLTaskInfo*>(std::as_const(*this).FindByNum(num));
}

const TURLTaskInfo* TURLTaskInfoList::FindByNum(int32_t num) const {
    // Num is the 1-based position; the scan is only a fallback should that ever not hold.
    if (num >= 1 && static_cast<size_t>(num) <= FItems.size() && FItems[num - 1]->Num == num)
        return FItems[num - 1].get();
    for (auto& t : FItems) {
        if (t->Num == num) return t.get();
    }
    return nullptr;
}

void TURLTaskInfoList::IndexAdd(const std::string& url) {
    ++FLowerIndex[AsciiLower(url)];
}

void TURLTaskInfoList::IndexRemove(const std::string& url) {
    auto it = FLowerIndex.find(AsciiLower(url));
    if (it != FLowerIndex.end() && --it->second == 0) FLowerIndex.erase(it);
}

}  // namespace velmora
