// velmora-cli: its command line and whole runs against the local simulator.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "sim/simulator.h"

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;

TEST(CliOptions, ParsesAndRejects) {
    struct Case {
        std::vector<std::string> args;
        std::string error;  // substring; empty = accepted
    } cases[] = {
        {{"urls.txt"}, ""},
        {{"--threads", "20", "--delay", "100", "--lang", "ru", "urls.txt"}, ""},
        {{"--sitemap", "map.xml"}, ""},
        {{"--threads", "21", "urls.txt"}, "--threads"},
        {{"--threads", "0", "urls.txt"}, "--threads"},
        {{"--threads", "8x", "urls.txt"}, "--threads"},
        {{"--delay", "99", "urls.txt"}, "--delay"},
        {{"--delay", "10001", "urls.txt"}, "--delay"},
        {{"--retries", "0", "urls.txt"}, ""},
        {{"--retries", "6", "urls.txt"}, "--retries"},
        {{"--retries", "-1", "urls.txt"}, "--retries"},
        {{"--lang", "de", "urls.txt"}, "--lang"},
        {{"--endpoint", "ftp://x", "urls.txt"}, "--endpoint"},
        {{"--key"}, "needs a value"},
        {{"--bogus", "urls.txt"}, "unknown option"},
        {{}, "no URL file"},
        {{"a.txt", "b.txt"}, "only one"},
        {{"a.txt", "--sitemap", "m.xml"}, "not both"},
        {{"--help"}, ""},
    };
    for (const auto& c : cases) {
        TParseResult r = ParseCommandLine(c.args);
        if (c.error.empty()) {
            EXPECT_EQ(r.Error, "") << c.args.size();
        } else {
            EXPECT_NE(r.Error.find(c.error), std::string::npos) << r.Error;
        }
    }
    TParseResult r = ParseCommandLine({"--endpoint", "http://127.0.0.1:8080/", "u.txt"});
    EXPECT_EQ(r.Options.Endpoint.value_or(""), "http://127.0.0.1:8080");
}

class CliRun : public ::testing::Test {
  protected:
    void SetUp() override {
        FDir = fs::temp_directory_path() / ("velmora-cli-test-" + std::to_string(::getpid()));
        fs::create_directories(FDir);
        sim::SimOptions so;
        so.hangMs = 20000;
        FSim = std::make_unique<sim::Simulator>(so);
        ASSERT_TRUE(FSim->Start()) << FSim->Error();
    }
    void TearDown() override {
        FSim->Stop();
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
    TCliOptions Options(const std::string& urlFile) {
        TCliOptions o;
        o.UrlFile = urlFile;
        o.Endpoint = FSim->Endpoint();
        o.Threads = 6;
        o.DelayMs = 100;
        o.Lang = "ru";
        o.Quiet = true;
        o.IniFile = (FDir / "none.ini").string();
        o.DesktopCsv = (FDir / "d.csv").string();
        o.MobileCsv = (FDir / "m.csv").string();
        return o;
    }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> out;
        size_t pos = 0;
        while (pos < text.size()) {
            size_t end = text.find("\r\n", pos);
            if (end == std::string::npos) end = text.size();
            out.push_back(text.substr(pos, end - pos));
            pos = end + 2;
        }
        return out;
    }
    std::string ExeDir() const { return (FDir / "bin").string() + "/"; }

    fs::path FDir;
    std::unique_ptr<sim::Simulator> FSim;
};

TEST_F(CliRun, EveryUrlGetsOneRowWithTheStatusItsAnswerPredicts) {
    const std::string urls =
        "https://a.example/\n"
        "https://b.example/heavy\n"
        "https://c.example/sim-notHTML\n"
        "https://d.example/sim-quota\n"
        "https://e.example/sim-error500\n"
        "https://f.example/sim-badjson\n"
        "https://g.example/sim-drop\n"
        "https://h.example/logo.png\n"  // a resource file: not imported
        "HTTPS://A.EXAMPLE/\n"          // a duplicate: not imported
        "  https://i.example/?a=1;b=2  \n";
    // Without retries each answer is the row's result; a marker's fault never passes.
    TCliOptions options = Options(Write("urls.txt", urls));
    options.Retries = 0;
    EXPECT_EQ(RunCli(options, ExeDir()), kExitCompleted);
    for (const char* csv : {"d.csv", "m.csv"}) {
        std::vector<std::string> lines = Lines(Read(csv));
        ASSERT_EQ(lines.size(), 9u) << csv;
        EXPECT_EQ(lines[0].rfind("\xB9;URL;", 0), 0u);  // "№" in windows-1251
        const char* expected[] = {"1;https://a.example/;;100;",
                                  "2;https://b.example/heavy;;",
                                  "3;https://c.example/sim-notHTML;NOT HTML;;",
                                  "4;https://d.example/sim-quota;API QUOTA;;",
                                  "5;https://e.example/sim-error500;500;;",
                                  "6;https://f.example/sim-badjson;PARSE ERROR;;",
                                  "7;https://g.example/sim-drop;SEND ERROR;;",
                                  "8;\"https://i.example/?a=1;b=2\";;100;"};
        for (size_t i = 0; i < std::size(expected); ++i)
            EXPECT_EQ(lines[i + 1].rfind(expected[i], 0), 0u) << csv << ": " << lines[i + 1];
    }
    // Each checked URL was asked once per strategy; the resource file and the duplicate never.
    EXPECT_EQ(FSim->Requests().size(), 16u);
}

TEST_F(CliRun, UnreadableInputAndEmptyListEndWithoutARun) {
    TCliOptions missing = Options((FDir / "missing.txt").string());
    EXPECT_EQ(RunCli(missing, ExeDir()), kExitBadInput);
    TCliOptions broken = Options("");
    broken.SitemapFile = Write("map.xml", "<urlset><url><loc>x</loc></url>");
    EXPECT_EQ(RunCli(broken, ExeDir()), kExitBadInput);
    EXPECT_EQ(RunCli(Options(Write("empty.txt", "\n \n")), ExeDir()), kExitCompleted);
    EXPECT_EQ(Lines(Read("d.csv")).size(), 1u);  // the header alone
    EXPECT_TRUE(FSim->Requests().empty());
}

TEST_F(CliRun, AbortEndsHangingTransfersAtOnce) {
    std::string urls;
    for (int i = 0; i < 6; ++i) urls += "https://x.example/" + std::to_string(i) + "/sim-hang\n";
    TCliOptions o = Options(Write("hang.txt", urls));
    std::thread interrupter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        RequestAbortFromSignal();
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunCli(o, ExeDir()), kExitAborted);
    interrupter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // Aborted tasks are never merged: every row keeps no results.
    for (const std::string& line : Lines(Read("d.csv"))) {
        if (line.rfind("\xB9", 0) == 0) continue;
        const size_t urlEnd = line.find(';', line.find(';') + 1);
        EXPECT_EQ(line.substr(urlEnd), std::string(15, ';')) << line;
    }
}

}  // namespace
}  // namespace velmora::cli
