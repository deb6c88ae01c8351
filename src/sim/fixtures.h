// The recorded answers the simulator serves, loaded and checked once at start.
#pragma once

#include <string>

#include "sim/answers.h"

namespace velmora::sim {

// Variants of the normal answers: as recorded, performance score null, audits removed.
constexpr int kNormal = 0, kNoScore = 1, kNoAudits = 2;

struct Fixtures {
    AnswerTemplate answers[3][2][2];  // [variant][heavy][mobile]
    AnswerTemplate pdf, text;
    std::string notHtml, quota, quotaLegacy, failedDocument, codeWord, noMessage;
};

// Reads every answer in dirName. False with *error naming the file when one is missing, empty
// or does not render into valid JSON that echoes the requested URL.
bool LoadFixtures(const std::string& dirName, Fixtures* f, std::string* error);

}  // namespace velmora::sim
