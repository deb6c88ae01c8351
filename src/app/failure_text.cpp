#include "app/failure_text.h"

#include "app/translate.h"

namespace velmora::app {

std::optional<int> HttpStatusOf(const TURLTaskResults& results, TMetricaStrategy s) {
    const int32_t code = results.ErrorCode[s];
    if (code >= 100 && code <= 599) return code;
    return std::nullopt;
}

QString FailureText(const TURLTaskResults& results, TMetricaStrategy s) {
    const TTaskResult status = results.TaskResult[s];
    if (status == trOK || status == trNotChecked) return {};
    // The log's own words when the worker kept them; the short column text otherwise.
    QString reason = QString::fromStdString(results.ErrorMessage[s]);
    if (reason.isEmpty()) reason = QString::fromStdString(results.ErrorText(s));
    if (reason.isEmpty() && status == trAborted) reason = TrQ("проверка прервана");
    QString text = TrQ("Ошибка: %1").arg(reason);
    if (const auto http = HttpStatusOf(results, s)) text += QStringLiteral(" (HTTP %1)").arg(*http);
    return text;
}

}  // namespace velmora::app
