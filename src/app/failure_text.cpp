#include "app/failure_text.h"

#include "app/translate.h"

namespace velmora::app {
namespace {

bool IsHttpFailureStatus(int32_t code) {
    return code >= 300 && code <= 599;
}

QString RetriesText(const TURLTaskResults& results, TMetricaStrategy s) {
    if (results.Retries[s] == 0) return {};
    return TrQ("Повторных попыток: %1").arg(results.Retries[s]);
}

}  // namespace

std::optional<int> HttpStatusOf(const TURLTaskResults& results, TMetricaStrategy s) {
    if (results.HttpStatus[s] != 0) {
        if (IsHttpFailureStatus(results.HttpStatus[s])) return results.HttpStatus[s];
        return std::nullopt;
    }
    if (IsHttpFailureStatus(results.ErrorCode[s])) return results.ErrorCode[s];
    return std::nullopt;
}

QString StopText(const TURLTaskResults& results, TMetricaStrategy s) {
    if (!results.Asked(s)) return {};
    switch (results.TaskResult[s]) {
        case trNotChecked:
            // A row has results with a strategy left unchecked only when a daily quota
            // stopped the run before the request could go.
            return TrQ("остановлено: дневная квота");
        case trAborted:
            return TrQ("прервано");
        default:
            return {};
    }
}

QString FailureText(const TURLTaskResults& results, TMetricaStrategy s) {
    const TTaskResult status = results.TaskResult[s];
    if (status == trOK || !results.Asked(s)) return {};
    if (status == trNotChecked)
        return TrQ(
            "Остановлено: дневная квота API исчерпана. Команда «Перепроверить URL с "
            "ошибками» продолжит проверку.");
    // The log's own words when the worker kept them; the short column text otherwise.
    QString reason = QString::fromStdString(results.ErrorMessage[s]);
    if (reason.isEmpty()) reason = QString::fromStdString(results.ErrorText(s));
    if (reason.isEmpty() && status == trAborted) reason = TrQ("проверка прервана");
    QString text = TrQ("Ошибка: %1").arg(reason);
    if (const auto http = HttpStatusOf(results, s)) text += QStringLiteral(" (HTTP %1)").arg(*http);
    if (const QString retries = RetriesText(results, s); !retries.isEmpty())
        text += QStringLiteral(". ") + retries;
    return text;
}

QString OutcomeToolTip(const TURLTaskResults& results, TMetricaStrategy s) {
    const QString failure = FailureText(results, s);
    if (!failure.isEmpty() || results.TaskResult[s] != trOK) return failure;
    return RetriesText(results, s);
}

}  // namespace velmora::app
