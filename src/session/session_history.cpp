// The session's run history: opening it, recording each run, resuming the last one.
#include "base/translate.h"
#include "session/run_session.h"

namespace velmora::session {

std::string HistoryPath(const io::TSettingsValues& settings, const TSessionChoices& choices) {
    if (choices.NoHistory || (choices.HistoryPath.empty() && settings.History == io::kHistoryOff))
        return {};
    return !choices.HistoryPath.empty() ? choices.HistoryPath
           : settings.History.empty()   ? history::DefaultHistoryPath()
                                        : settings.History;
}

void TRunSession::OpenHistory(const io::TSettingsValues& settings, const TSessionChoices& choices) {
    const std::string path = HistoryPath(settings, choices);
    if (path.empty()) return;
    // The window refuses to write one there; a hand-written one still works, with a word.
    if (path == settings.History && io::HistoryPlaceHasPassword(path))
        FNotices.push_back(
            Tr("предупреждение: history= в файле настроек содержит пароль; "
               "храните его в ~/.pgpass, файле PGPASSFILE или PGPASSWORD"));
    TResult<history::TOpenedHistory> opened = history::OpenHistory(path, choices.HistoryForReading);
    if (!opened) {
        FNotices.push_back(opened.Error());
        FHistoryRefused = history::HistoryErrorOf(opened) == history::THistoryError::NotAHistory;
        return;
    }
    if (!opened->Notice.empty()) FNotices.push_back(opened->Notice);
    FRecorder = std::make_unique<history::TRunRecorder>(std::move(opened->Store),
                                                        settings.HistoryKeep, opened->Patience);
}

void TRunSession::RecordStart(TRunScope scope) {
    if (!FRecorder) return;
    if (scope != TRunScope::All && FRecorder->Holds(FMaster)) {
        // Re-checking some URLs of the recorded run, or resuming it: into the same run.
        if (TResult<> r = FRecorder->Continue(FRecorder->RunId(), FMaster); !r)
            Warn(FormatLog(Tr(history::kMsgHistoryWriteFailed), 0, r.Error()));
        return;
    }
    FRecorder->Begin(FMaster, FLang, history::RunSettingsText(FRunSettings(), Endpoint(), FSource));
    // A partial check of a list that is not a kept run: what it already shows is kept too.
    for (size_t i = 0; i < FMaster.Count(); ++i) FRecorder->Merged(FMaster[i]);
}

TResult<> TRunSession::LoadUnfinishedRun() {
    if (!FRecorder) return Fail(Tr("нет истории проверок, из которой можно продолжить"));
    TResult<std::optional<int64_t>> last = FRecorder->Store().LastResumableRun();
    if (!last) return last.Failure();
    if (!*last) return Fail(Tr("в истории нет незавершённого запуска"));
    TResult<history::TLoadedRun> loaded = FRecorder->Store().LoadRun(**last);
    if (!loaded) return loaded.Failure();
    if (TResult<> r = FRecorder->Continue(loaded->Run.Id, loaded->List); !r) return r;
    FMaster = std::move(loaded->List);
    // The resumed run ends as it began: in its own language.
    UseLanguage(loaded->Run.Lang);
    FFrontEnd.Log(TMsgForLog{
        FormatLog(
            Tr("Продолжается запуск %s: осталось проверить URL: %s из %s"),
            {std::to_string(loaded->Run.Id), std::to_string(FController.UncheckedNums().size()),
             std::to_string(FMaster.Count())}),
        std::chrono::system_clock::now()});
    return {};
}

void TRunSession::FinishHistory() {
    if (!FRecorder) return;
    FRecorder->Release();  // waits for the end to be written
    LogHistoryError();
}

void TRunSession::LogHistoryError() {
    if (std::string error = FRecorder->TakeError(); !error.empty()) Warn(error);
}

}  // namespace velmora::session
