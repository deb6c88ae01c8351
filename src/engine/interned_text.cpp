#include "engine/interned_text.h"

#include <memory>
#include <mutex>
#include <unordered_map>

namespace velmora {
namespace {

struct TInternTable {
    std::mutex Lock;
    // Keyed by a view into the stored text itself; entries are never removed, the set of
    // distinct audit texts is small.
    std::unordered_map<std::string_view, std::unique_ptr<const std::string>> Map;
};

TInternTable& Table() {
    static TInternTable* table = new TInternTable;  // outlives every worker thread
    return *table;
}

const std::string* EmptyText() {
    static const auto* empty = new std::string;
    return empty;
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
        FText = it->second.get();
        return;
    }
    auto stored = std::make_unique<const std::string>(text);
    FText = stored.get();
    table.Map.emplace(std::string_view(*FText), std::move(stored));
}

}  // namespace velmora
