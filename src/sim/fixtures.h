// The recorded answers the simulator serves, loaded and checked once at start.
#pragma once

#include <string>

#include "sim/answers.h"

namespace velmora::sim {

// Variants of the normal answers: as recorded, performance score null, audits removed.
constexpr int kNormal = 0, kNoScore = 1, kNoAudits = 2;
// Lighthouse version of the answers: today's service by default, the older one on request.
constexpr int kLighthouse13 = 0, kLighthouse12 = 1;
// Real users' data in an answer: none (a page with few visits), the page's own, the origin's in
// its place. The Lighthouse 12 answers have none only.
constexpr int kNoField = 0, kPageField = 1, kOriginField = 2;

// The pages of the answers with all four Lighthouse categories.
constexpr int kCatGood = 0, kCatPoor = 1, kCatNoindex = 2, kCatError404 = 3, kCatAgentic = 4;

struct Fixtures {
    AnswerTemplate answers[2][3][3][2][2];  // [version][field][variant][heavy][mobile]
    // Served when a request names a category besides performance; the 404 page was recorded
    // for mobile only and serves both strategies.
    AnswerTemplate categories[5][2];  // [page][mobile]
    AnswerTemplate pdf, text;
    std::string notHtml, quota, quotaLegacy, failedDocument, codeWord, noMessage;
};

// Reads every answer in dirName. False with *error naming the file when one is missing, empty
// or does not render into valid JSON that echoes the requested URL.
bool LoadFixtures(const std::string& dirName, Fixtures* f, std::string* error);

}  // namespace velmora::sim
