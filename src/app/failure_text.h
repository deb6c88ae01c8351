// The full reason of a failed check, as the error cell's tool tip and the advice window's
// first line show it.
#pragma once

#include <QString>
#include <optional>

#include "engine/tasks.h"

namespace velmora::app {

// The HTTP status of the strategy's failed answer, when one is known. Reads the service's
// error code until the records carry the status of the transfer itself; that is the one
// place to switch over.
std::optional<int> HttpStatusOf(const TURLTaskResults& results, TMetricaStrategy s);

// "Error: <the log's reason> (HTTP <status>)", or empty when the strategy did not fail.
QString FailureText(const TURLTaskResults& results, TMetricaStrategy s);

}  // namespace velmora::app
