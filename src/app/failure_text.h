// The full reason of a failed check, as the error cell's tool tip and the advice window's
// first line show it.
#pragma once

#include <QString>
#include <optional>

#include "engine/tasks.h"

namespace velmora::app {

// The HTTP status of the strategy's failed answer, when one is known: the transfer's own
// status, else (results from before the status was kept) the service's error code.
std::optional<int> HttpStatusOf(const TURLTaskResults& results, TMetricaStrategy s);

// The error cell's word for a strategy the run stopped before: "stopped: daily quota" or
// "aborted"; empty otherwise.
QString StopText(const TURLTaskResults& results, TMetricaStrategy s);

// "Error: <the log's reason> (HTTP <status>). Retries: <n>", what stopped an unchecked
// strategy, or empty when the strategy passed.
QString FailureText(const TURLTaskResults& results, TMetricaStrategy s);

// The error cell's tool tip: the failure, or for a result that needed retries, how many.
QString OutcomeToolTip(const TURLTaskResults& results, TMetricaStrategy s);

}  // namespace velmora::app
