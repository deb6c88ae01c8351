#include "app/run_progress.h"

#include <algorithm>

#include "app/translate.h"

namespace velmora::app {

using std::chrono::duration_cast;
using std::chrono::seconds;

void TRunProgress::Start(int total, TClock::time_point now) {
    *this = TRunProgress();
    active_ = true;
    total_ = total;
    start_ = now;
}

void TRunProgress::TaskStarted(int32_t num, TClock::time_point now) {
    inFlight_[num] = {now, false};
}

void TRunProgress::TaskActivity(int32_t num, TClock::time_point now) {
    const auto it = inFlight_.find(num);
    if (it != inFlight_.end()) it->second = {now, false};
}

void TRunProgress::TaskFinished(const TURLTaskInfo& task) {
    inFlight_.erase(task.Num);
    if (!active_) return;
    const TURLTaskResults* r = task.TaskResults.get();
    if (!r || r->Aborted())
        ++aborted_;
    else if (r->Failed())
        ++failed_;
    else
        ++ok_;
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

QString TRunProgress::ProgressText(TClock::time_point now) const {
    const int done = Done();
    const int percent = total_ > 0 ? done * 100 / total_ : 0;
    QString text = TrQ("Проверено %1 из %2 (%3%)").arg(done).arg(total_).arg(percent);
    // The pace so far is the best guess for the rest; with nothing done there is none.
    if (done > 0 && done < total_) {
        const auto perTask = (now - start_) / done;
        text += TrQ(", осталось около %1")
                    .arg(Duration(duration_cast<seconds>(perTask * (total_ - done))));
    }
    return text;
}

std::vector<int32_t> TRunProgress::NewlyStuck(TClock::time_point now) {
    std::vector<int32_t> nums;
    for (auto& [num, flight] : inFlight_) {
        if (flight.Reported || now - flight.Since < kStuckAfter) continue;
        flight.Reported = true;
        nums.push_back(num);
    }
    std::sort(nums.begin(), nums.end());
    return nums;
}

QString TRunProgress::Finish(TClock::time_point now) {
    active_ = false;
    inFlight_.clear();
    aborted_ = total_ - ok_ - failed_;
    return TrQ("Проверка завершена: успешно %1, с ошибками %2, прервано %3, заняла %4")
        .arg(ok_)
        .arg(failed_)
        .arg(aborted_)
        .arg(Duration(duration_cast<seconds>(now - start_)));
}

}  // namespace velmora::app
