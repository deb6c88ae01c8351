// Answer bodies built from recorded service answers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora::sim {

// Escapes text for the inside of a JSON string the way the service does (<, >, &, =, ' as
// \u00XX). Invalid UTF-8 becomes U+FFFD so the answer stays valid JSON whatever the URL holds.
std::string JsonEscape(std::string_view text);

// A recorded answer split around the places that echo the requested URL, so that building an
// answer is a handful of appends.
class AnswerTemplate {
  public:
    // Slots are the string values of id, initial_url, requestedUrl, mainDocumentUrl,
    // finalDisplayedUrl and finalUrl that equal the recorded top-level "id".
    // Returns false with *error set when the text has no top-level "id" string.
    bool Load(std::string_view json, std::string* error);
    std::string Render(std::string_view escapedUrl) const;
    size_t Slots() const { return FPieces.empty() ? 0 : FPieces.size() - 1; }
    bool Empty() const { return FPieces.empty(); }

  private:
    std::vector<std::string> FPieces;
    size_t FFixedSize = 0;
};

// The text as a gzip stream (zlib's default level, as servers commonly use).
std::string Gzip(std::string_view text);

// Textual edits of a recorded answer; each returns false when the member is not found.
bool NullPerformanceScore(std::string& json);  // categories.performance.score -> null
bool RemoveAudits(std::string& json);          // drops lighthouseResult.audits
// Puts the real users' data of donor (its loadingExperience and originLoadingExperience, where
// present) in place of json's loadingExperience.
bool TransplantFieldData(std::string& json, std::string_view donor);

}  // namespace velmora::sim
