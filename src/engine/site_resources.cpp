// The resources that the failing advice of many pages names.
#include <algorithm>
#include <functional>
#include <unordered_map>

#include "engine/site_summary.h"
#include "engine/summary_figures.h"

namespace velmora {
namespace {

struct TNamingAudit {
    const TGAdvice* Advice;
    int32_t Pages = 0;
    int32_t LastTask = 0;
};

// One resource of one strategy while the pages are read; a page's figures are its largest.
struct TResourceTally {
    const TInternedText* Url = nullptr;
    int32_t LastTask = 0;
    std::vector<int32_t> TaskNums;
    std::vector<float> Ms, Bytes;
    float PageMs = kNoSaving, PageBytes = kNoSaving;
    std::vector<TNamingAudit> Audits;

    void EndPage() {
        AddGiven(Ms, PageMs);
        AddGiven(Bytes, PageBytes);
        PageMs = PageBytes = kNoSaving;
    }
};

float Larger(float a, float b) {
    return std::isnan(a) || b > a ? b : a;
}

void AddNaming(TResourceTally& t, const TGAdvice& a, const TAdviceResource& r, int32_t task) {
    if (t.LastTask != task || t.TaskNums.empty()) {
        if (!t.TaskNums.empty()) t.EndPage();
        t.LastTask = task;
        t.TaskNums.push_back(task);
    }
    t.PageMs = Larger(t.PageMs, r.WastedMs);
    t.PageBytes = Larger(t.PageBytes, r.WastedBytes);
    auto audit = std::find_if(t.Audits.begin(), t.Audits.end(), [&a](const TNamingAudit& n) {
        return n.Advice->AuditId == a.AuditId;
    });
    if (audit == t.Audits.end()) audit = t.Audits.insert(t.Audits.end(), TNamingAudit{&a});
    if (audit->LastTask != task || audit->Pages == 0) {
        audit->LastTask = task;
        ++audit->Pages;
    }
}

TSharedResource ResourceOf(TMetricaStrategy s, TResourceTally& t) {
    t.EndPage();
    TSharedResource r;
    r.Strategy = s;
    r.Url = t.Url->str();
    // The audit naming it on the most pages; the first of equals.
    const TNamingAudit* top = &t.Audits.front();
    for (const TNamingAudit& n : t.Audits)
        if (n.Pages > top->Pages) top = &n;
    r.AuditId = top->Advice->AuditId;
    r.Title = top->Advice->Title;
    r.Pages = static_cast<int32_t>(t.TaskNums.size());
    r.SavingsMs = FigureOf(t.Ms);
    r.SavingsBytes = FigureOf(t.Bytes);
    r.Rank = RankOf(r.Pages, r.SavingsMs.Median, r.SavingsBytes.Median);
    r.TaskNums = std::move(t.TaskNums);
    return r;
}

}  // namespace

std::vector<TSharedResource> SummarizeResources(const std::vector<const TURLTaskInfo*>& rows) {
    std::vector<TSharedResource> out;
    for (TMetricaStrategy s : kStrategies) {
        std::unordered_map<const std::string*, size_t> index;
        std::vector<TResourceTally> tallies;
        for (const TURLTaskInfo* task : rows) {
            if (!IsChecked(task, s)) continue;
            for (const TGAdvice& a : task->TaskResults->AdviceList[s]) {
                if (!IsFailingAdvice(a)) continue;
                for (const TAdviceResource& r : a.Figures.Resources()) {
                    auto [it, added] = index.try_emplace(&r.Url.str(), tallies.size());
                    if (added) tallies.emplace_back().Url = &r.Url;
                    AddNaming(tallies[it->second], a, r, task->Num);
                }
            }
        }
        std::vector<TSharedResource> part;
        part.reserve(tallies.size());
        for (TResourceTally& t : tallies) part.push_back(ResourceOf(s, t));
        const auto before = [](const TSharedResource& a, const TSharedResource& b) {
            if (RankBefore(a.Rank, b.Rank)) return true;
            if (RankBefore(b.Rank, a.Rank)) return false;
            if (a.Pages != b.Pages) return a.Pages > b.Pages;
            return a.Url < b.Url;
        };
        const size_t keep = std::min(part.size(), kMaxSharedResources);
        std::partial_sort(part.begin(), part.begin() + static_cast<std::ptrdiff_t>(keep),
                          part.end(), before);
        part.resize(keep);
        for (TSharedResource& r : part) out.push_back(std::move(r));
    }
    return out;
}

}  // namespace velmora
