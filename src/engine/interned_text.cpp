#include "engine/interned_text.h"

#include <mutex>
#include <unordered_map>

namespace velmora {
namespace {

struct TInternTable {
    std::mutex Lock;
    // Keyed by a view into the stored text itself; entries are never removed, the set of
    // distinct audit texts is small.
    std::unordered_map<std::string_view, std::shared_ptr<const std::string>> Map;
};

TInternTable& Table() {
    static TInternTable* table = new TInternTable;  // outlives every worker thread
    return *table;
}

const std::shared_ptr<const std::string>& EmptyText() {
    static const auto* empty =
        new std::shared_ptr<const std::string>(std::make_shared<const std::string>());
    return *empty;
}

}  // namespace

TInternedText::TInternedText() : FText(EmptyText()) {}

TInternedText::TInternedText(std::string_view text) {
    if (text.empty()) {
        FText = EmptyText();
        return;
    }
    auto& table = Table();
    std::lock_guard lock(table.Lock);
    auto it = table.Map.find(text);
    if (it != table.Map.end()) {
        FText = it->second;
        return;
    }
    auto stored = std::make_shared<const std::string>(text);
    table.Map.emplace(std::string_view(*stored), stored);
    FText = std::move(stored);
}

}  // namespace velmora
