#include "app/run_progress.h"

#include <QLocale>
#include <algorithm>

#include "app/translate.h"

namespace velmora::app {

using std::chrono::duration_cast;
using std::chrono::seconds;

void TRunProgress::Start(int total, TClock::time_point now) {
    *this = TRunProgress();
    FActive = true;
    FTotal = total;
    FStart = now;
}

void TRunProgress::TaskStarted(int32_t num, TClock::time_point now) {
    FInFlight[num] = {now, false};
}

void TRunProgress::TaskActivity(int32_t num, TClock::time_point now) {
    const auto it = FInFlight.find(num);
    if (it != FInFlight.end()) it->second = {now, false};
}

void TRunProgress::TaskFinished(const TURLTaskInfo& task) {
    FInFlight.erase(task.Num);
    if (!FActive) return;
    const TURLTaskResults* r = task.TaskResults.get();
    if (!r || r->Aborted()) {
        ++FAborted;
        return;
    }
    FFinished.push_back(task.Num);
    if (r->Failed())
        ++FFailed;
    else
        ++FOk;
}

QString TRunProgress::Duration(seconds d) {
    const long long s = std::max<long long>(0, d.count());
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(s / 3600)
            .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString TRunProgress::PaceText(int requestsToday, int64_t gapMs) {
    return TrQ("Запросов сегодня: %1, интервал %2 с")
        .arg(requestsToday)
        .arg(QLocale().toString(static_cast<double>(gapMs) / 1000.0, 'f', 1));
}

QString TRunProgress::ProgressText(TClock::time_point now) const {
    const int done = Done();
    const int percent = FTotal > 0 ? done * 100 / FTotal : 0;
    QString text = TrQ("Проверено %1 из %2 (%3%)").arg(done).arg(FTotal).arg(percent);
    const auto quotaLeft = std::max(TClock::duration::zero(), FQuotaUntil - now);
    // The pace so far is the best guess for the rest; with nothing done there is none.
    if (done > 0 && done < FTotal) {
        const auto perTask = (now - FStart) / done;
        text += TrQ(", осталось около %1")
                    .arg(Duration(duration_cast<seconds>(perTask * (FTotal - done) + quotaLeft)));
    }
    if (quotaLeft > TClock::duration::zero() && done < FTotal)
        text +=
            TrQ(". Ожидание квоты: около %1 с").arg(std::chrono::ceil<seconds>(quotaLeft).count());
    return text;
}

std::vector<int32_t> TRunProgress::NewlyStuck(TClock::time_point now) {
    std::vector<int32_t> nums;
    for (auto& [num, flight] : FInFlight) {
        if (flight.Reported || now - flight.Since < kStuckAfter) continue;
        flight.Reported = true;
        nums.push_back(num);
    }
    std::sort(nums.begin(), nums.end());
    return nums;
}

QString TRunProgress::Finish(TClock::time_point now, const TURLTaskInfoList& master) {
    FActive = false;
    FInFlight.clear();
    // The worker's copy lacks the strategies a recheck kept: the rows as merged tell.
    FOk = FFailed = 0;
    for (int32_t num : FFinished) {
        const TURLTaskInfo* row = master.FindByNum(num);
        if (!row || !row->TaskResults) continue;
        ++(row->TaskResults->Failed() ? FFailed : FOk);
    }
    FFinished.clear();
    FAborted = std::max(0, FTotal - FOk - FFailed);
    return TrQ("Проверка завершена: успешно %1, с ошибками %2, прервано %3, заняла %4")
        .arg(FOk)
        .arg(FFailed)
        .arg(FAborted)
        .arg(Duration(duration_cast<seconds>(now - FStart)));
}

}  // namespace velmora::app
