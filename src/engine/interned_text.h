// Immutable shared text: advice titles and descriptions repeat across thousands of URLs,
// so each distinct text is stored once for the whole process.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

class TInternedText {
  public:
    TInternedText();  // the empty text
    explicit TInternedText(std::string_view text);

    const std::string& str() const { return *FText; }
    operator const std::string&() const { return *FText; }
    operator std::string_view() const { return *FText; }
    bool empty() const { return FText->empty(); }
    friend bool operator==(const TInternedText& a, const TInternedText& b) {
        return a.FText == b.FText || *a.FText == *b.FText;
    }
    friend bool operator==(const TInternedText& a, std::string_view b) { return *a.FText == b; }

  private:
    // Into the process-wide table, which never frees a text: a plain pointer is all a copy
    // needs, half a shared pointer's size and without its counting.
    const std::string* FText;
};

}  // namespace velmora
