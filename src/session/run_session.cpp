#include "session/run_session.h"

#include "base/decimal_separator.h"
#include "base/translate.h"
#include "engine/metrica.h"
#include "http/url.h"
#include "io/advice_csv.h"
#include "io/codepage.h"
#include "io/translation.h"

namespace velmora::session {
namespace {

// The endpoint: the front end's, else the settings file's, else the service; checked.
TResult<std::string> ResolveEndpoint(const io::TSettingsValues& settings,
                                     const TSessionChoices& choices) {
    const std::string& wanted = !choices.Endpoint.empty() ? choices.Endpoint : settings.Endpoint;
    if (wanted.empty()) return std::string(kDefaultEndpoint);
    return io::CheckEndpoint(wanted);
}

std::string LanguageCode(const io::TSettingsValues& settings, const TSessionChoices& choices) {
    const std::string& wanted = choices.Lang.empty() ? settings.Lang : choices.Lang;
    return std::string(
        AppLangTable[i18n::InterfaceLanguageRow(wanted, i18n::SystemLanguageCode())].Code);
}

}  // namespace

TResult<std::unique_ptr<TRunSession>> TRunSession::Open(const io::TSettingsValues& settings,
                                                        TSessionChoices choices,
                                                        TURLTaskInfoList& master,
                                                        IRunObserver& frontEnd) {
    TResult<std::string> endpoint = ResolveEndpoint(settings, choices);
    if (!endpoint) return endpoint.Failure();
    TWorkerConfig config;
    config.Endpoint = *endpoint;
    config.NewClient = std::move(choices.NewClient);
    config.DecimalSeparator =
        choices.DecimalSeparator ? choices.DecimalSeparator : LocaleDecimalSeparator();
    IPacingClock& clock = choices.Clock ? *choices.Clock : SteadyPacingClock();
    std::unique_ptr<TRunSession> session(new TRunSession(master, frontEnd, std::move(config),
                                                         std::move(choices.RunSettings), clock));
    session->UseLanguage(LanguageCode(settings, choices));
    if (io::EndpointSendsKeyInClear(session->Endpoint()))
        session->FNotices.push_back(
            FormatLog(Tr(io::kMsgEndpointInClear), 0, http::WithoutUserInfo(session->Endpoint())));
    session->OpenHistory(settings, choices);
    return session;
}

TRunSession::TRunSession(TURLTaskInfoList& master, IRunObserver& frontEnd, TWorkerConfig config,
                         TRunController::TSettingsSource runSettings, IPacingClock& clock)
    : FMaster(master),
      FFrontEnd(frontEnd),
      FRunSettings(std::move(runSettings)),
      FWorkers(std::move(config)),
      FController(master, FWorkers, FRunSettings, clock) {
    FController.SetObserver(this);
}

TRunSession::~TRunSession() {
    Shutdown();
}

void TRunSession::UseLanguage(const std::string& code) {
    FLang = code;
    FCodePage = io::AnsiCodePageFor(code);
    i18n::UseLanguage(code);
}

TResult<bool> TRunSession::Start(TRunScope scope, const std::vector<int32_t>& selected) {
    TResult<bool> started = FController.Start(scope, selected);
    if (started && *started) RecordStart(scope);
    return started;
}

void TRunSession::Shutdown() {
    FController.Shutdown();
}

void TRunSession::Warn(const std::string& text) {
    TMsgForLog line{text, std::chrono::system_clock::now()};
    line.Level = TLogLevel::Warning;
    FFrontEnd.Log(line);
}

void TRunSession::TaskFinished(const TURLTaskInfo& task) {
    if (FRecorder) {
        FRecorder->Merged(task);
        LogHistoryError();
    }
    FFrontEnd.TaskFinished(task);
}

void TRunSession::RunEnded(const TRunEnd& end) {
    if (FRecorder) {
        FRecorder->Finish(end.Aborted, FMaster);
        LogHistoryError();
    }
    FFrontEnd.RunEnded(end);
}

TResult<io::TCsvExport> TRunSession::ExportCsv(const std::string& path, TMetricaStrategy s,
                                               const std::vector<const TURLTaskInfo*>& rows) const {
    return io::ExportGridCsv(path, FCodePage, s, rows);
}

TResult<io::TCsvExport> TRunSession::ExportAdviceCsv(
    const std::string& path, const std::vector<const TURLTaskInfo*>& rows) const {
    return io::ExportAdviceCsv(path, FCodePage, DecimalSeparator(), rows);
}

}  // namespace velmora::session
