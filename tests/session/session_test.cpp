// The run session as both front ends use it, driven without any toolkit: against the local
// simulator, with a history in a temporary folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "base/translate.h"
#include "session/api_key.h"
#include "session/run_session.h"
#include "sim/simulator.h"

namespace velmora::session {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// What a front end sees: everything the session tells it.
class TRecordingFrontEnd : public IRunObserver {
  public:
    void TaskFinished(const TURLTaskInfo& task) override { Finished.push_back(task.Num); }
    void Progress(const TProgressStep& step) override { Done = step.Done; }
    void Log(const TMsgForLog& line) override {
        Lines.push_back(line.MsgText);
        if (line.Level == TLogLevel::Warning) Warnings.push_back(line.MsgText);
    }
    void RunEnded(const TRunEnd& end) override { Ends.push_back(end.Aborted); }

    std::vector<int32_t> Finished;
    int Done = 0;
    std::vector<std::string> Lines;
    std::vector<std::string> Warnings;
    std::vector<bool> Ends;
};

class SessionTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { static http::TCurlGlobal curl; }
    void SetUp() override {
        FDir = fs::temp_directory_path() / ("velmora-session-" + std::to_string(::getpid()));
        fs::create_directories(FDir);
        ASSERT_TRUE(FSim.Start()) << FSim.Error();
    }
    void TearDown() override {
        FSession.reset();
        FSim.Stop();
        fs::remove_all(FDir);
    }
    // Opens a session as a front end does; the settings file's values are all defaults.
    void Open(io::TSettingsValues settings = {}) {
        TSessionChoices choices;
        choices.Endpoint = FSim.Endpoint();
        choices.Lang = "ru";
        choices.HistoryPath = (FDir / "history.sqlite").string();
        choices.RunSettings = [] { return TRunSettings{"K", 4, 100, 0}; };
        TResult<std::unique_ptr<TRunSession>> opened =
            TRunSession::Open(settings, std::move(choices), FMaster, FSeen);
        ASSERT_TRUE(opened) << opened.Error();
        FSession = std::move(*opened);
        ASSERT_TRUE(FSession->History());
    }
    void AddUrls(const std::vector<std::string>& paths) {
        for (const std::string& p : paths) FMaster.Add("https://site.test" + p);
    }
    std::vector<history::TRunSummary> Runs() {
        TResult<std::vector<history::TRunSummary>> runs = FSession->History()->Store().ListRuns();
        EXPECT_TRUE(runs) << runs.Error();
        return runs ? *runs : std::vector<history::TRunSummary>{};
    }

    fs::path FDir;
    sim::Simulator FSim;
    TURLTaskInfoList FMaster;
    TRecordingFrontEnd FSeen;
    std::unique_ptr<TRunSession> FSession;
};

TEST_F(SessionTest, ARunIsCheckedRecordedAndExportedThroughTheSession) {
    Open();
    AddUrls({"/a", "/heavy", "/sim-error500", "/sim-notHTML"});
    ASSERT_TRUE(FSession->Start(TRunScope::All));
    FSession->Controller().DeliverUntilEnded();
    FSession->FinishHistory();

    // Every result is merged before the end is announced.
    EXPECT_THAT(FSeen.Finished, ::testing::UnorderedElementsAre(1, 2, 3, 4));
    EXPECT_EQ(FSeen.Done, 4);
    EXPECT_EQ(FSeen.Ends, std::vector<bool>{false});
    EXPECT_THAT(FSeen.Warnings, IsEmpty());
    EXPECT_EQ(FSeen.Lines.front(), "Проверка запущена");
    EXPECT_THAT(FSeen.Lines.back(), HasSubstr("Проверка завершена: запросов 8"));
    EXPECT_EQ(FMaster[1].TaskResults->ValueTextByColNum(gcScore, msDesktop), "38");
    EXPECT_EQ(FMaster[2].TaskResults->TaskResult[msDesktop], trServiceError);

    const std::vector<history::TRunSummary> runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Run.State, history::TRunState::rsCompleted);
    EXPECT_EQ(runs[0].CheckedCount, 4);
    EXPECT_EQ(runs[0].Run.Lang, "ru");
    EXPECT_THAT(runs[0].Run.Settings, HasSubstr("endpoint=" + FSim.Endpoint()));

    std::vector<const TURLTaskInfo*> rows;
    for (size_t i = 0; i < FMaster.Count(); ++i) rows.push_back(&FMaster[i]);
    const std::string csv = (FDir / "d.csv").string();
    ASSERT_TRUE(FSession->ExportCsv(csv, msDesktop, rows));
    std::ifstream in(csv);
    int lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    EXPECT_EQ(lines, 5);
}

TEST_F(SessionTest, AnAbortedRunIsResumedIntoTheSameRunWithoutAskingTwice) {
    Open();
    for (int i = 0; i < 12; ++i) FMaster.Add("https://site.test/p" + std::to_string(i));
    ASSERT_TRUE(FSession->Start(TRunScope::All));
    FSession->Controller().DeliverUntilEnded([&] { return FSeen.Done >= 3; });
    FSession->FinishHistory();
    ASSERT_EQ(FSeen.Ends, std::vector<bool>{true});
    size_t checked = 0;
    for (size_t i = 0; i < FMaster.Count(); ++i) checked += FMaster[i].TaskResults != nullptr;
    ASSERT_GT(checked, 0u);
    ASSERT_LT(checked, FMaster.Count());
    const size_t sentBefore = FSim.Requests().size();

    // A later session (the next start of the program) continues it.
    FSession.reset();
    FMaster.Clear();
    Open();
    ASSERT_TRUE(FSession->LoadUnfinishedRun());
    ASSERT_EQ(FMaster.Count(), 12u);
    ASSERT_TRUE(FSession->Start(TRunScope::Unchecked));
    FSession->Controller().DeliverUntilEnded();
    FSession->FinishHistory();
    EXPECT_EQ(FSim.Requests().size() - sentBefore, 2 * (12 - checked));
    const std::vector<history::TRunSummary> runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Run.State, history::TRunState::rsCompleted);
    EXPECT_EQ(runs[0].CheckedCount, 12);
}

TEST_F(SessionTest, TheEndpointIsCheckedAndAKeyInClearIsNamed) {
    const struct {
        const char* fromSettings;
        const char* chosen;
        bool opens;
        bool warns;
    } cases[] = {
        {"", "", true, false},                          // the service itself
        {"http://127.0.0.1:9", "", true, false},        // loopback
        {"http://psi.example.test", "", true, true},    // the key in clear
        {"https://psi.example.test", "", true, false},  //
        {"https://psi.example.test", "http://[::1]:9", true, false},
        {"", "http://psi.example.test/", true, true},  // the front end's own choice
        {"ftp://psi.example.test", "", false, false},  // no http(s) address
        {"https://ok.example.test", "file:///etc/passwd", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fromSettings) + " | " + c.chosen);
        io::TSettingsValues settings;
        settings.Endpoint = c.fromSettings;
        TSessionChoices choices;
        choices.Endpoint = c.chosen;
        choices.NoHistory = true;
        TURLTaskInfoList master;
        TRecordingFrontEnd seen;
        TResult<std::unique_ptr<TRunSession>> opened =
            TRunSession::Open(settings, std::move(choices), master, seen);
        ASSERT_EQ(opened.Ok(), c.opens) << opened.Error();
        if (!opened) continue;
        const std::vector<std::string>& notices = (*opened)->Notices();
        EXPECT_EQ(notices.size(), c.warns ? 1u : 0u);
        if (c.warns) {
            EXPECT_THAT(notices[0], HasSubstr("psi.example.test"));
        }
        EXPECT_EQ((*opened)->History(), nullptr);
    }
}

TEST(SessionKey, FirstOfOptionFileEnvironmentSettings) {
    const fs::path dir = fs::temp_directory_path() / ("velmora-key-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "key.txt") << "  file-key \n second line\n";
    std::ofstream(dir / "blank.txt") << " \n";
    const std::string keyFile = (dir / "key.txt").string();
    const struct {
        std::optional<std::string> option;
        std::string file;
        const char* env;       // nullptr: unset
        std::string expected;  // "!" + fragment: fails
    } cases[] = {
        {"opt-key", keyFile, "env-key", "opt-key"},
        {std::nullopt, keyFile, "env-key", "file-key"},
        {std::nullopt, "", "env-key", "env-key"},
        {std::nullopt, "", "", "ini-key"},
        {std::nullopt, "", nullptr, "ini-key"},
        {std::nullopt, (dir / "missing.txt").string(), "env-key", "!cannot read the key file"},
        {std::nullopt, (dir / "blank.txt").string(), nullptr, "!holds no key"},
    };
    for (const auto& c : cases) {
        if (c.env)
            ::setenv(kApiKeyVariable, c.env, 1);
        else
            ::unsetenv(kApiKeyVariable);
        TResult<std::string> key = ChooseApiKey(TKeySources{c.option, c.file}, "ini-key");
        if (c.expected[0] == '!') {
            EXPECT_FALSE(key);
            EXPECT_NE(key.Error().find(c.expected.substr(1)), std::string::npos) << key.Error();
        } else {
            EXPECT_EQ(key ? *key : key.Error(), c.expected);
        }
    }
    ::unsetenv(kApiKeyVariable);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace velmora::session
