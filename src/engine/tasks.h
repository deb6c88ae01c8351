// URL tasks, the master list and the results of one check.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/advice_figures.h"
#include "engine/field_data.h"
#include "engine/grid_columns.h"
#include "engine/interned_text.h"
#include "engine/metrica.h"

namespace velmora {

enum TMetricaStrategy : uint8_t { msDesktop = 0, msMobile = 1 };
inline constexpr std::array<TMetricaStrategy, 2> kStrategies{msDesktop, msMobile};
// The strategy's name as the service expects it.
std::string_view StrategyText(TMetricaStrategy s);

// The strategies a run asks for: bit s for strategy s. The others cost no quota and their
// results read as not checked, never as failures.
using TStrategySet = uint8_t;
inline constexpr TStrategySet kBothStrategies = 0b11;
constexpr bool HasStrategy(TStrategySet set, TMetricaStrategy s) {
    return (set >> s & 1) != 0;
}
// "both", "desktop" or "mobile" (ASCII case ignored); nothing for any other text.
std::optional<TStrategySet> ParseStrategies(std::string_view text);
std::string_view StrategiesText(TStrategySet set);

// Outcome of one strategy's check. The numbers are fixed: they are stored and exported.
enum class TTaskResult : uint8_t {
    trNotChecked = 0,
    trOK = 1,
    trAborted = 2,
    trSendError = 3,
    trParseError = 4,
    trUnknownResponse = 5,
    trNotHTML = 6,
    trServiceError = 7,
    trQuotaExceeded = 8,
    // The service ran but could not load the page (Lighthouse's runtimeError: a 404, no
    // paint, a DNS failure): ServiceCode and ServiceText say which.
    trPageError = 9,
};
using enum TTaskResult;

struct TMetricaValue {
    TMetricaValue() = default;
    TMetricaValue(std::string_view key, TMetricaStrategy strategy, std::string_view text,
                  int32_t colNum = 0, double number = std::numeric_limits<double>::quiet_NaN())
        : Key(key), DisplayText(text), Number(number), ColNum(colNum), Strategy(strategy) {}
    // Members ordered for size: a list of 10 000 pages holds some 36 of these per page.

    // Always one of the catalogue's keys, so a view into static storage suffices.
    std::string_view Key;
    std::string DisplayText;
    // Machine-readable value for pipelines: the score 0-100, an audit's numericValue (ms, or
    // unitless for CLS), a transfer size in bytes; NaN when the answer has none.
    double Number = std::numeric_limits<double>::quiet_NaN();
    int32_t ColNum = 0;
    TMetricaStrategy Strategy = msDesktop;
};

class TMetricaValues : public std::vector<TMetricaValue> {
  public:
    // First value with exactly this key and strategy, or nullptr.
    const TMetricaValue* GetValueByKey(std::string_view sKey, TMetricaStrategy aStrategy) const;
};

struct TGAdviceRef {
    std::string Key;
    std::string Title;
    std::string Descr;
    int32_t AdviceGroupNdx = 0;
};

class TGAdviceRefList : public std::vector<TGAdviceRef> {
  public:
    void AddRef(std::string sKey, int32_t aAdviceNdx, std::string sTitle, std::string sDescr);
};

// An audit's score from 0 to 1, or none: an optional<double> in the room of a double.
class TAdviceScore {
  public:
    TAdviceScore() = default;
    TAdviceScore(std::nullopt_t) {}
    TAdviceScore(double v) : FValue(v) {}  // NaN is none
    TAdviceScore(std::optional<double> v) : FValue(v.value_or(kNone)) {}

    bool has_value() const { return !std::isnan(FValue); }
    explicit operator bool() const { return has_value(); }
    double operator*() const { return FValue; }
    double value_or(double other) const { return has_value() ? FValue : other; }
    operator std::optional<double>() const {
        return has_value() ? std::optional<double>(FValue) : std::nullopt;
    }
    friend bool operator==(TAdviceScore a, TAdviceScore b) {
        return a.FValue == b.FValue || (!a.has_value() && !b.has_value());
    }

  private:
    static constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
    double FValue = kNone;
};

struct TGAdvice {
    TInternedText Title;
    // The display value; repeats across pages ("Est savings of 40 KiB"), so it is shared too.
    TInternedText AdviceText;
    TInternedText Descr;
    TInternedText AuditId;
    // The audit's score as the service sends it; none when it sends null.
    TAdviceScore Score;
    // The estimated savings and the resources named; none for manual checks.
    TAdviceFigures Figures;
    TInternedText Group{};
    TInternedText GroupTitle{};
    // Performance advice is grouped by AdviceGroupTable (AdviceGroupNdx); the other
    // categories' by the answer's own groups: AdviceGroupNdx counts them in the category's
    // order, Group and GroupTitle are the answer's id and title.
    int32_t AdviceGroupNdx = 0;
    TCategory Category = ctPerformance;
    // A check the service leaves to a person; never a failure, listed apart.
    bool Manual = false;
    // An audit that only informs (a breakdown, a list of long tasks): never a failure either.
    bool Informative = false;

    // Counts against the page: neither a manual check nor an informative audit.
    bool Failed() const { return !Manual && !Informative; }

    friend bool operator==(const TGAdvice& a, const TGAdvice& b) = default;
};

// A strategy's advice: the page's own items, then its manual checks. Those are the same on
// nearly every page, so after ShareManualChecks one list of them serves every page naming the
// same ones. Iteration, size() and operator[] see both parts.
class TGAdviceList {
  public:
    using value_type = TGAdvice;
    class const_iterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = TGAdvice;
        using difference_type = std::ptrdiff_t;
        using pointer = const TGAdvice*;
        using reference = const TGAdvice&;
        const_iterator() = default;
        const_iterator(const TGAdviceList* list, size_t at) : FList(list), FAt(at) {}
        reference operator*() const { return (*FList)[FAt]; }
        pointer operator->() const { return &(*FList)[FAt]; }
        const_iterator& operator++() {
            ++FAt;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator was = *this;
            ++FAt;
            return was;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) {
            return a.FAt == b.FAt;
        }

      private:
        const TGAdviceList* FList = nullptr;
        size_t FAt = 0;
    };
    using iterator = const_iterator;

    TGAdviceList() = default;
    TGAdviceList(std::initializer_list<TGAdvice> items) : FOwn(items) {}

    size_t size() const { return FOwn.size() + (FShared ? FShared->size() : 0); }
    bool empty() const { return size() == 0; }
    const TGAdvice& operator[](size_t i) const {
        return i < FOwn.size() ? FOwn[i] : (*FShared)[i - FOwn.size()];
    }
    const TGAdvice& front() const { return (*this)[0]; }
    const TGAdvice& back() const { return (*this)[size() - 1]; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    // Adds to the page's own items, before the shared ones.
    void push_back(TGAdvice a) { FOwn.push_back(std::move(a)); }
    template <typename... TArgs>
    TGAdvice& emplace_back(TArgs&&... args) {
        return FOwn.emplace_back(std::forward<TArgs>(args)...);
    }
    void assign(size_t n, const TGAdvice& a) {
        FOwn.assign(n, a);
        FShared = nullptr;
    }
    // As assign: the list becomes n own items.
    void resize(size_t n) {
        FOwn.resize(n);
        FShared = nullptr;
    }
    void reserve(size_t n) { FOwn.reserve(n); }
    void shrink_to_fit() { FOwn.shrink_to_fit(); }
    void clear() {
        FOwn.clear();
        FShared = nullptr;
    }
    // Moves the manual checks among the page's own items behind the others, into the one list
    // shared by every page with the same checks; the order among each part is kept.
    void ShareManualChecks();

  private:
    std::vector<TGAdvice> FOwn;
    // Into a process-wide table that never frees a list: the distinct lists are a handful.
    const std::vector<TGAdvice>* FShared = nullptr;
};

class TURLTaskResults {
  public:
    std::array<TTaskResult, 2> TaskResult{trNotChecked, trNotChecked};
    TMetricaValues MetricaValues;
    std::array<int32_t, 2> ErrorCode{0, 0};
    std::array<TGAdviceList, 2> AdviceList;
    std::array<TFieldData, 2> FieldData;
    // Why a strategy failed, as the log said it (translated, without the "URL n:" prefix);
    // empty when it did not fail. Shown to the user beside the short error text.
    std::array<std::string, 2> ErrorMessage;
    // The service's own words for a failure: its code ("ERRORED_DOCUMENT_REQUEST", "NO_FCP",
    // "INVALID_ARGUMENT") and its message, cleaned of control characters; empty when it gave
    // none.
    std::array<std::string, 2> ServiceCode;
    std::array<std::string, 2> ServiceText;
    // Request outcome per strategy: the last answer's HTTP status (0 = none came) and how many
    // times the request was tried again; the window shows the count with the row's error.
    std::array<int32_t, 2> HttpStatus{0, 0};
    std::array<uint8_t, 2> Retries{0, 0};
    // The categories the requests asked for; their scores are metric values keyed by the
    // category's id.
    TCategorySet Categories = kPerformanceOnly;
    // Whether the run keeps each answer's final screenshot for a report; when it does, the
    // screenshot as a checked data: URL per strategy, else empty. Never stored in the history.
    bool KeepScreenshot = false;
    std::array<std::string, 2> FinalScreenshot;
    // The strategies the run asked for; the others were never meant to be checked.
    TStrategySet Strategies = kBothStrategies;

    bool Asked(TMetricaStrategy s) const { return HasStrategy(Strategies, s); }
    // Text of the error column and of the export.
    std::string ErrorText(TMetricaStrategy sStrategy) const;
    // DisplayText of the first value shown in that column for that strategy, else empty.
    std::string ValueTextByColNum(int32_t iColNum, TMetricaStrategy sStrategy) const;
    // Checked and failed in at least one strategy that was asked for.
    bool Failed() const {
        return (Asked(msDesktop) && TaskResult[msDesktop] != trOK) ||
               (Asked(msMobile) && TaskResult[msMobile] != trOK);
    }
    bool Aborted() const {
        return TaskResult[msDesktop] == trAborted || TaskResult[msMobile] == trAborted;
    }
};

class TURLTaskInfo;
// Every category some row's requests asked for; performance alone for rows never checked.
TCategorySet AskedCategories(const std::vector<const TURLTaskInfo*>& rows);

class TURLTaskInfo {
  public:
    TURLTaskInfo(std::string sURL, int32_t iNum) : URL(std::move(sURL)), Num(iNum) {}
    // A copy carries the URL and the number only, never the results.
    TURLTaskInfo(const TURLTaskInfo& aFrom) : URL(aFrom.URL), Num(aFrom.Num) {}
    TURLTaskInfo& operator=(const TURLTaskInfo&) = delete;

    void InitMetricResults() { TaskResults = std::make_unique<TURLTaskResults>(); }
    void ClearMetricResults() { TaskResults.reset(); }

    std::string URL;
    int32_t Num;
    std::unique_ptr<TURLTaskResults> TaskResults;
    // Strategies whose earlier result stands: a recheck of errors asks only for the others.
    std::array<bool, 2> Keep{false, false};
};

// The master list. Num of the task at index i is i + 1 whenever the list is not being
// changed. Keeps an index of the ASCII-lower-cased URLs so duplicate checks are O(1).
class TURLTaskInfoList {
  public:
    size_t Count() const { return FItems.size(); }
    bool Empty() const { return FItems.empty(); }
    TURLTaskInfo& operator[](size_t i) { return *FItems[i]; }
    const TURLTaskInfo& operator[](size_t i) const { return *FItems[i]; }

    // Appends a task numbered Count() + 1 and returns it.
    TURLTaskInfo& Add(std::string sURL);
    // Gives the task with this number another URL; the caller has checked it is no duplicate.
    void ChangeURL(int32_t num, std::string sURL);
    // True when a task's URL equals sURL ignoring the case of ASCII letters only.
    bool URLExists(std::string_view sURL) const;
    void ClearMetricResults();
    void Clear();
    // Removes the tasks with these numbers and renumbers the rest; returns how many went.
    size_t DeleteByNums(const std::vector<int32_t>& nums);
    // First task with that Num, or nullptr.
    TURLTaskInfo* FindByNum(int32_t num);
    const TURLTaskInfo* FindByNum(int32_t num) const;

  private:
    void IndexAdd(const std::string& url);
    void IndexRemove(const std::string& url);

    std::vector<std::unique_ptr<TURLTaskInfo>> FItems;
    std::unordered_map<std::string, uint32_t> FLowerIndex;  // lower-cased URL -> count
};

}  // namespace velmora
