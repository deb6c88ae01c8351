// velmora-cli's HTML report: of a run against the simulator, and of the same run from the
// history.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "sim/simulator.h"

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;

class CliReport : public ::testing::Test {
  protected:
    void SetUp() override {
        FDir = fs::temp_directory_path() / ("velmora-cli-report-" + std::to_string(::getpid()));
        fs::create_directories(FDir);
        ASSERT_TRUE(FSim.Start()) << FSim.Error();
    }
    void TearDown() override {
        FSim.Stop();
        fs::remove_all(FDir);
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(FDir / name, std::ios::binary) << text;
        return (FDir / name).string();
    }
    std::string Read(const std::string& name) {
        std::ifstream in(FDir / name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // A run of the simulator with every default, its history in the test's folder.
    TCliOptions Options() {
        TCliOptions o;
        o.Endpoint = FSim.Endpoint();
        o.DelayMs = 100;
        o.Lang = "ru";
        o.Quiet = true;
        o.IniFile = Write("none.ini", "");
        o.DbFile = (FDir / "history.sqlite").string();
        return o;
    }
    std::string ExeDir() const { return (FDir / "bin").string() + "/"; }

    fs::path FDir;
    sim::Simulator FSim{sim::SimOptions{}};
};

// The data block of a report, as the page's script reads it.
nlohmann::json ReportData(const std::string& html) {
    const std::string open = "id=\"report-data\">";
    const size_t from = html.find(open);
    if (from == std::string::npos) return {};
    return nlohmann::json::parse(
        html.substr(from + open.size(), html.find("</script>", from) - from - open.size()));
}

// A run's report carries the screenshots it kept; the same run's report from the history has
// none, since the history keeps none.
TEST_F(CliReport, OfARunAndOfThePastRun) {
    TCliOptions o = Options();
    o.UrlFile = Write("urls.txt", "https://a.example/\nhttps://b.example/heavy\n");
    o.ReportFile = (FDir / "run.html").string();
    o.ReportScreenshots = true;
    ASSERT_EQ(RunCli(o, ExeDir()), kExitCompleted);
    const nlohmann::json run = ReportData(Read("run.html"));
    ASSERT_EQ(run["rows"].size(), 2u);
    EXPECT_EQ(run["rows"][1][1], "https://b.example/heavy");
    EXPECT_EQ(run["shots"].size(), 4u);  // two pages, two strategies
    for (const auto& shot : run["shots"])
        EXPECT_EQ(shot.get<std::string>().rfind("data:image/jpeg;base64,/9j/", 0), 0u);

    TCliOptions past = Options();
    past.Command = "export";
    past.CommandArgs = {"1"};
    past.ReportFile = (FDir / "past.html").string();
    ASSERT_EQ(RunCli(past, ExeDir()), kExitCompleted);
    const nlohmann::json stored = ReportData(Read("past.html"));
    ASSERT_EQ(stored["rows"].size(), 2u);
    // The history keeps the texts, not the service's exact numbers: the same cells show, the
    // scores are the same numbers.
    const auto shown = [](const nlohmann::json& cell) { return cell.is_array() ? cell[0] : cell; };
    for (size_t row = 0; row < 2; ++row) {
        for (size_t strategy = 2; strategy < 4; ++strategy) {
            const nlohmann::json &was = run["rows"][row][strategy],
                                 &now = stored["rows"][row][strategy];
            ASSERT_EQ(now.size(), was.size());
            EXPECT_EQ(now[0], was[0]) << "the score";
            for (size_t c = 1; c < now.size(); ++c) EXPECT_EQ(shown(now[c]), shown(was[c]));
        }
    }
    EXPECT_TRUE(stored["shots"].empty());
    EXPECT_EQ(stored["rows"][0][4][2], -1);
}

}  // namespace
}  // namespace velmora::cli
