// The service's own words for a failure, read from its answer: an error object's code, the
// quota it names, and Lighthouse's runtimeError when it could not load the page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/json_members.h"

namespace velmora {

struct TServiceWords {
    std::string Code;  // "ERRORED_DOCUMENT_REQUEST", "NO_FCP", ...
    std::string Text;  // the service's message, cleaned for showing
};

// The error object's code; 999 when it is not a whole 32-bit number (a word, a fraction).
int32_t ErrorCodeOf(const json::element& e);
// The quota limit named in the error's ErrorInfo details, if any.
std::string QuotaLimitOf(const json::object& err);
// lighthouseResult.runtimeError: set when Lighthouse ran but could not load the page; its
// scores are then null and its audits empty.
std::optional<TServiceWords> RuntimeErrorOf(const json::object& lighthouse);

}  // namespace velmora
