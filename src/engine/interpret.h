// Turning one PageSpeed Insights answer into a task's results for one strategy.
#pragma once

#include <simdjson.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/field_data.h"
#include "engine/retry.h"
#include "engine/tasks.h"

namespace velmora {

// Receives each finished (translated and formatted) log line.
using TLogFn = std::function<void(const std::string&)>;

// What the transfer knew of an answer going in, and what its error said coming out.
struct TAnswerContext {
    long HttpStatus = 0;  // 0 = unknown; an error status without JSON is reported as such
    TQuotaKind Quota = TQuotaKind::None;
    bool PageError = false;  // the service could not load the page
};

// Interprets a parsed answer for strategy s into task.TaskResults (which must exist): sets the
// status of s and returns true exactly when it is trOK. Never throws for any shape of answer;
// only allocation failures can escape.
bool InterpretAnswer(const simdjson::dom::element& answer, TMetricaStrategy s, TURLTaskInfo& task,
                     char decimalSeparator, const TLogFn& log, TAnswerContext* context = nullptr);

// Parses the body bytes (UTF-8 is validated) and interprets them. A body that is empty, not
// valid JSON or not an object gives trParseError with the parser's message in the log, or, when
// the context names an HTTP error status, trServiceError with "HTTP <status>".
// The parser is reused across calls so its buffers are allocated once per worker.
bool InterpretBody(simdjson::dom::parser& parser, std::string_view body, TMetricaStrategy s,
                   TURLTaskInfo& task, char decimalSeparator, const TLogFn& log,
                   TAnswerContext* context = nullptr);
// The same for a body held in a string; when the string has SIMDJSON_PADDING bytes of spare
// capacity (the HTTP client's receive buffer keeps them) it is parsed where it is, uncopied.
bool InterpretBody(simdjson::dom::parser& parser, const std::string& body, TMetricaStrategy s,
                   TURLTaskInfo& task, char decimalSeparator, const TLogFn& log,
                   TAnswerContext* context = nullptr);

// The real users' data of an answer: the page's own, or the origin's when the service falls
// back to it or sends only that. An answer without any (a page and site with few visits)
// gives empty data, which is no error.
TFieldData ReadFieldData(const simdjson::dom::object& answer);

// The final-screenshot audit's details.data when it passes IsScreenshotDataUrl, else empty.
std::string FinalScreenshotOf(const std::optional<simdjson::dom::object>& audit);

// An advice item's estimated savings (its audit's metricSavings and details) and the http(s)
// resources its details name (items and their sub-items) with what each wastes: at most
// kMaxAdviceResources, the largest savings first, each address once.
TAdviceFigures ReadAdviceFigures(const std::optional<simdjson::dom::element>& metricSavings,
                                 const std::optional<simdjson::dom::element>& details);

// "%6.1f kb" of bytes / 1024 rounded half away from zero, with the given decimal separator.
std::string FormatTransferSize(int64_t bytes, char decimalSeparator);

// The score text of a number S from 0 to 1: S x 100 rounded half up. Empty outside 0..1.
std::string FormatScore(double score);

}  // namespace velmora
