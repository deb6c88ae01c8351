// velmora-cli with the run history, against the local simulator: a run killed mid-way and
// resumed, exports of past runs, comparison, listing and deletion.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "cli/regression_gate.h"
#include "sim/simulator.h"

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class CliHistory : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("velmora-cli-history-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        // An empty settings file: the defaults, and nothing of this machine's own settings.
        Write("none.ini", "");
        sim::SimOptions so;
        so.latencyMinMs = 20;
        so.latencyMaxMs = 60;
        sim_ = std::make_unique<sim::Simulator>(so);
        ASSERT_TRUE(sim_->Start()) << sim_->Error();
    }
    void TearDown() override {
        sim_->Stop();
        fs::remove_all(dir_);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        return Path(name);
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static std::string Urls(int from, int to) {
        std::string text;
        for (int i = from; i <= to; ++i)
            text += "https://site.example/p" + std::to_string(i) + "\n";
        return text;
    }
    // The command line a test would type, as parsed options.
    TCliOptions Parse(std::vector<std::string> args) {
        std::vector<std::string> common{"--quiet", "--ini", Path("none.ini"), "--db",
                                        Path("h.sqlite")};
        // A history command refuses the options of a check.
        const std::set<std::string> commands{"runs", "compare", "export", "delete"};
        if (args.empty() || !commands.count(args[0]))
            common.insert(common.end(),
                          {"--endpoint", sim_->Endpoint(), "--threads", "4", "--delay", "100"});
        args.insert(args.end(), common.begin(), common.end());
        TParseResult r = ParseCommandLine(args);
        EXPECT_EQ(r.Error, "");
        return r.Options;
    }
    int Run(std::vector<std::string> args) { return RunCli(Parse(std::move(args)), ExeDir()); }
    std::string ExeDir() const { return Path("bin") + "/"; }
    int64_t Query(const std::string& sql) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(Path("h.sqlite").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_busy_timeout(db, 2000);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
        const int64_t n = st && sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
        sqlite3_finalize(st);
        sqlite3_close(db);
        return n;
    }
    // Changes the history as another program (or a stop) would leave it.
    void Exec(const char* sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(Path("h.sqlite").c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
    std::set<std::string> Requested(size_t from) const {
        std::set<std::string> asked;
        const std::vector<sim::RequestRecord> all = sim_->Requests();
        for (size_t i = from; i < all.size(); ++i) asked.insert(all[i].url + " " + all[i].strategy);
        return asked;
    }

    fs::path dir_;
    std::unique_ptr<sim::Simulator> sim_;
};

TEST_F(CliHistory, KilledRunResumesWithoutLossOrRepeatsAndExportsAsIfUninterrupted) {
    // Every other page heavy: those carry real users' data, which must come back too.
    std::string list;
    for (int i = 1; i <= 16; ++i)
        list += "https://site.example/" + std::string(i % 2 ? "heavy/" : "") + "p" +
                std::to_string(i) + "\n";
    const std::string urls = Write("urls.txt", list);
    // The uninterrupted run, kept out of the history.
    ASSERT_EQ(Run({urls, "--no-history", "--lang", "ru", "--desktop-csv", Path("d0.csv"),
                   "--mobile-csv", Path("m0.csv")}),
              kExitCompleted);
    ASSERT_FALSE(fs::exists(Path("h.sqlite")));
    const size_t before = sim_->Requests().size();

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string endpoint = sim_->Endpoint(), ini = Path("none.ini"),
                          db = Path("h.sqlite");
        ::execl(VELMORA_CLI_PATH, "velmora-cli", urls.c_str(), "--endpoint", endpoint.c_str(),
                "--threads", "2", "--delay", "100", "--quiet", "--lang", "ru", "--ini", ini.c_str(),
                "--db", db.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Kill it once some results are on disk, well before the end.
    const auto limit = std::chrono::steady_clock::now() + 20s;
    while (Query("SELECT count(*) FROM results") < 4 && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(20ms);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it could be killed";

    const int64_t stored = Query("SELECT count(*) FROM results WHERE strategy = 0");
    ASSERT_GE(stored, 2);
    ASSERT_LT(stored, 16);
    EXPECT_EQ(Query("SELECT count(*) FROM runs WHERE finished IS NULL"), 1);
    // What the history holds was asked before the kill; remember it.
    std::set<std::string> kept;
    {
        sqlite3* db = nullptr;
        sqlite3_open(Path("h.sqlite").c_str(), &db);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT u.url FROM results r JOIN run_urls u "
                           "ON u.run_id = r.run_id AND u.num = r.num WHERE r.strategy = 0",
                           -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            kept.insert(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        sqlite3_close(db);
    }
    const size_t beforeResume = sim_->Requests().size();
    ASSERT_GT(beforeResume, before);

    ASSERT_EQ(Run({"--resume", "--desktop-csv", Path("d1.csv"), "--mobile-csv", Path("m1.csv")}),
              kExitCompleted);
    EXPECT_EQ(Read("d1.csv"), Read("d0.csv"));
    EXPECT_EQ(Read("m1.csv"), Read("m0.csv"));
    EXPECT_NE(Read("m0.csv").find(";312 ms;"), std::string::npos);  // field data was there
    const std::set<std::string> resumed = Requested(beforeResume);
    for (const std::string& url : kept) {
        EXPECT_EQ(resumed.count(url + " desktop"), 0u) << url << " asked again";
        EXPECT_EQ(resumed.count(url + " mobile"), 0u) << url << " asked again";
    }
    EXPECT_EQ(resumed.size(), 2 * (16 - kept.size()));
    EXPECT_EQ(Query("SELECT count(*) FROM results"), 32);
    EXPECT_EQ(Query("SELECT state FROM runs"), 1);  // completed
    // Nothing is left to resume.
    EXPECT_EQ(Run({"--resume"}), kExitBadInput);
}

// The site summary of a run: the three CSV files and the last JSON line; a past run exported
// from the history gives the same files, savings and resources included.
TEST_F(CliHistory, SummaryFilesOfARunAndOfItsExportAreTheSame) {
    Write("none.ini", "[PARAMS]\ngroups=Heavy=*/heavy*\n");
    const std::string urls = Write("s.txt",
                                   "https://a.example/heavy\nhttps://b.example/heavy\n"
                                   "https://c.example/page/1\nhttps://c.example/page/2\n"
                                   "https://d.example/sim-lh12/heavy\n");
    ASSERT_EQ(Run({urls, "--fixes-csv", Path("f.csv"), "--resources-csv", Path("r.csv"),
                   "--groups-csv", Path("g.csv"), "--json", Path("j.jsonl")}),
              kExitCompleted);
    const std::string fixes = Read("f.csv");
    EXPECT_EQ(fixes.rfind("\xEF\xBB\xBFStrategy;Category;Group;Audit id;Title;Pages;Share;", 0),
              0u);
    // Both Lighthouse 13 heavy pages fail it; its time savings are per metric only, its bytes
    // are where Lighthouse 13 keeps them (details.debugData.wastedBytes).
    EXPECT_NE(
        fixes.find("\r\ndesktop;performance;insights;cache-insight;"
                   "Use efficient cache lifetimes;2;0.4;;;11139778;5569889;6500;3250;1300;650;"
                   ";;;;;;38;time;6500;1 2\r\n"),
        std::string::npos)
        << fixes;
    // The page's own document, named by Lighthouse 13 and 12 answers alike.
    EXPECT_NE(Read("r.csv").find("\r\ndesktop;http://127.0.0.1:8765/heavy/index.html;"),
              std::string::npos);
    const std::string groups = Read("g.csv");
    EXPECT_NE(groups.find("\r\ndesktop;Heavy;3;38;0;0.3333333333333333;0.6666666666666666;0;"
                          "https://a.example/heavy https://b.example/heavy "
                          "https://d.example/sim-lh12/heavy;1 2 5\r\n"),
              std::string::npos)
        << groups;
    EXPECT_NE(groups.find("\r\nmobile;c.example/page/;2;98;1;0;0;;"), std::string::npos);
    const std::string json = Read("j.jsonl");
    const size_t last = json.rfind('\n', json.size() - 2);
    const nlohmann::json summary = nlohmann::json::parse(json.substr(last + 1)).at("summary");
    EXPECT_EQ(summary.at("fixes").at(0).at("audit"), "cache-insight");
    EXPECT_EQ(summary.at("groups").at(0).at("name"), "Heavy");
    EXPECT_EQ(summary.at("groups").at(0).at("worst").size(), 3u);
    EXPECT_EQ(summary.at("fixes").at(0).count("pages_numbered"), 0u);

    ASSERT_EQ(Run({"export", "1", "--fixes-csv", Path("f1.csv"), "--resources-csv", Path("r1.csv"),
                   "--groups-csv", Path("g1.csv")}),
              kExitCompleted);
    EXPECT_EQ(Read("f1.csv"), fixes);
    EXPECT_EQ(Read("r1.csv"), Read("r.csv"));
    EXPECT_EQ(Read("g1.csv"), groups);
    // A bad rule stops the run before a request is spent.
    Write("none.ini", "[PARAMS]\ngroups=Heavy\n");
    EXPECT_EQ(Run({urls, "--groups-csv", Path("g2.csv")}), kExitBadInput);
    EXPECT_FALSE(fs::exists(Path("g2.csv")));
}

TEST_F(CliHistory, PastRunsExportCompareListAndDelete) {
    // Heavy pages carry the page's own real-user data; sim-originfield the origin's.
    const std::string field = "https://x.example/heavy\nhttps://x.example/sim-originfield\n";
    ASSERT_EQ(Run({Write("a.txt", Urls(1, 3) + "https://x.example/sim-error500\n" + field),
                   "--lang", "en", "--desktop-csv", Path("d.csv"), "--mobile-csv", Path("m.csv"),
                   "--advice-csv", Path("a.csv")}),
              kExitCompleted);
    ASSERT_EQ(Run({Write("b.txt", Urls(2, 4) + "https://x.example/heavy\n"), "--lang", "ru"}),
              kExitCompleted);
    // The live export has the field columns filled: the round trip below covers them.
    const std::string liveMobile = Read("m.csv");
    EXPECT_NE(liveMobile.find(";LCP p75;"), std::string::npos) << liveMobile;
    EXPECT_NE(liveMobile.find("https://x.example/heavy;"), std::string::npos);
    EXPECT_NE(liveMobile.find(";312 ms;"), std::string::npos) << liveMobile;

    // Byte for byte as written when it ran, whatever the language now.
    ASSERT_EQ(Run({"export", "1", "--lang", "ru", "--desktop-csv", Path("d1.csv"), "--mobile-csv",
                   Path("m1.csv"), "--advice-csv", Path("a1.csv")}),
              kExitCompleted);
    EXPECT_EQ(Read("d1.csv"), Read("d.csv"));
    EXPECT_EQ(Read("m1.csv"), liveMobile);
    EXPECT_GT(Read("a.csv").size(), 1000u);
    EXPECT_EQ(Read("a1.csv"), Read("a.csv"));

    ASSERT_EQ(Run({"compare", "1", "2", "--lang", "en", "--csv", Path("c.csv")}), kExitCompleted);
    const std::string c = Read("c.csv");
    // Without a catalogue here the headers stay Russian, which the English code page cannot
    // hold: the file is UTF-8 then, never "?".
    EXPECT_EQ(c.rfind("\xEF\xBB\xBFURL;", 0), 0u) << c;
    EXPECT_EQ(c.find('?'), std::string::npos);
    EXPECT_NE(c.find("Score A;Score B;Score +/-;FCP A;FCP B;FCP +/-"), std::string::npos);
    EXPECT_NE(c.find(";LCP p75 A;LCP p75 B;LCP p75 +/-;INP p75 A;INP p75 B;INP p75 +/-;"
                     "CLS p75 A;CLS p75 B;CLS p75 +/-\r\n"),
              std::string::npos)
        << c.substr(0, c.find("\r\n"));
    // In both with the same answers: the score did not change. One row per strategy.
    EXPECT_NE(c.find("\r\nhttps://site.example/p2;desktop;"), std::string::npos);
    EXPECT_NE(c.find("\r\nhttps://site.example/p2;mobile;"), std::string::npos);
    const auto rowOf = [&](const std::string& start) {
        const size_t at = c.find(start);
        return at == std::string::npos ? std::string() : c.substr(at, c.find("\r\n", at) - at);
    };
    EXPECT_NE(rowOf("https://site.example/p2;desktop;").find(";100;100;0;"), std::string::npos);
    // The same real-user data in both runs: both p75 values, no change, the unit kept.
    EXPECT_NE(rowOf("https://x.example/heavy;mobile;").find(";312 ms;312 ms;0 ms;0.14;0.14;0"),
              std::string::npos)
        << rowOf("https://x.example/heavy;mobile;");
    // p4 only in B, p1 only in A: listed with empty values and no change.
    EXPECT_NE(c.find("https://site.example/p4;desktop;"), std::string::npos);
    const size_t p1 = c.find("https://site.example/p1;desktop;");
    ASSERT_NE(p1, std::string::npos);
    EXPECT_GT(p1, c.find("https://site.example/p4;"));  // after the newer run's URLs
    size_t lines = 0;
    for (size_t i = 0; (i = c.find("\r\n", i)) != std::string::npos; i += 2) ++lines;
    EXPECT_EQ(lines, 1u + 2u * 7u);

    ::testing::internal::CaptureStdout();
    ASSERT_EQ(Run({"runs", "--csv", "--lang", "en"}), kExitCompleted);
    const std::string listed = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(listed.find("\r\n2;"), std::string::npos) << listed;
    EXPECT_LT(listed.find("\r\n2;"), listed.find("\r\n1;"));  // newest first
    // 6 URLs, 1 failed; the heavy page scores 38 / 27, the others 100 / 98.
    EXPECT_NE(listed.find(";6;87.6;83.8;"), std::string::npos) << listed;

    ASSERT_EQ(Run({"delete", "1"}), kExitCompleted);
    EXPECT_EQ(Run({"delete", "1"}), kExitBadInput);
    EXPECT_EQ(Run({"export", "1", "--desktop-csv", Path("gone.csv")}), kExitBadInput);
    EXPECT_EQ(Query("SELECT count(*) FROM runs"), 1);
}

// Another program holds the history past the busy time-out while a run goes: the results
// wait in memory and every one of them, and the run's end, reach the file once it is free.
TEST_F(CliHistory, AHistoryHeldByAnotherProgramDelaysRecordingWithoutLoss) {
    ASSERT_EQ(Run({Write("one.txt", Urls(1, 1))}), kExitCompleted);
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(Path("h.sqlite").c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::thread release([holder] {
        std::this_thread::sleep_for(4500ms);
        sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(holder);
    });
    TCliOptions o = Parse({Write("u.txt", Urls(1, 20)), "--lang", "ru"});
    o.Quiet = false;
    ::testing::internal::CaptureStderr();
    const int status = RunCli(o, ExeDir());
    const std::string said = ::testing::internal::GetCapturedStderr();
    release.join();
    EXPECT_EQ(status, kExitCompleted) << said;
    EXPECT_NE(said.find("Запись в историю проверок задерживается"), std::string::npos) << said;
    EXPECT_EQ(Query("SELECT count(*) FROM results WHERE run_id = 2"), 40);
    EXPECT_EQ(Query("SELECT state FROM runs WHERE id = 2"), 1);  // its end written
}

// A gate on regressions: pages compared with the same pages of an earlier run of the same
// URL file. The earlier run is edited to have been better: its heavy page scored 90 on desktop
// and passed the Core Web Vitals on mobile (today: 38, failed).
TEST_F(CliHistory, AgainstAnEarlierRunFailsOnDropsAndWorseVitals) {
    const std::string urls = Write("site.txt", Urls(1, 2) + "https://x.example/heavy\n");
    ASSERT_EQ(Run({urls, "--lang", "ru"}), kExitCompleted);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(Path("h.sqlite").c_str(), &db), SQLITE_OK);
    const char* better =
        "UPDATE results SET score = 90, texts = '90' || substr(texts, instr(texts, char(31))) "
        "WHERE num = 3 AND strategy = 0;"
        "UPDATE results SET field = substr(field, 1, instr(field, char(31))) || "
        "  substr(field, instr(field, char(31)) + 1, 1) || char(31) || '1' || "
        "  substr(field, instr(field, char(31)) + 4) WHERE num = 3 AND strategy = 1;";
    ASSERT_EQ(sqlite3_exec(db, better, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
    const struct {
        std::vector<std::string> Args;
        int Exit;
        std::vector<std::string> Said;  // on stderr, in this order
    } cases[] = {
        {{"--against", "last", "--fail-on-drop", "10"},
         kExitBudgetBroken,
         {"Хуже, чем в запуске 1: https://x.example/heavy (desktop): оценка 90 → 38",
          "Хуже, чем в запуске 1: https://x.example/heavy (mobile): Core Web Vitals: пройдены"}},
        {{"--against", "1", "--fail-on-drop", "60"},
         kExitBudgetBroken,
         {"(mobile): Core Web Vitals: пройдены → не пройдены"}},
        {{"--against", "99"}, kExitBadInput, {"нет запуска 99"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args[1] + " " + (c.Args.size() > 2 ? c.Args[3] : ""));
        std::vector<std::string> args{urls, "--lang", "ru"};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        args.insert(args.end(), {"--json", Path(c.Args[1] + ".jsonl")});
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Run(args), c.Exit);
        const std::string said = ::testing::internal::GetCapturedStderr();
        size_t at = 0;
        for (const std::string& line : c.Said) {
            at = said.find(line, at);
            EXPECT_NE(at, std::string::npos) << line << "\n" << said;
        }
        EXPECT_EQ(said.find("(desktop): оценка 100"), std::string::npos);  // unchanged pages
    }
    // The JSON lines carry the change of each page.
    const std::string lines = Read("last.jsonl");
    EXPECT_NE(lines.find("\"change\":{\"cwv\":{\"after\":\"failed\",\"before\":\"passed\"},"
                         "\"run\":1,\"score\":0.0}"),
              std::string::npos)
        << lines;
    EXPECT_NE(lines.find("\"run\":1,\"score\":-52.0}"), std::string::npos) << lines;
    // Another URL file has no earlier run to be compared with.
    EXPECT_EQ(Run({Write("other.txt", Urls(1, 1)), "--against", "last"}), kExitBadInput);
}

// A run stopped part-way and resumed: its outputs, budget and gate cover every page, those
// checked before the stop included.
TEST_F(CliHistory, AResumedRunsOutputsCoverTheWholeRun) {
    const std::string urls = Write("u.txt", Urls(1, 6));
    ASSERT_EQ(Run({urls, "--lang", "en"}), kExitCompleted);
    // As a stop leaves it: three pages checked, the run unfinished.
    Exec("DELETE FROM results WHERE num > 3; UPDATE runs SET state = 2, finished = NULL;");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Run({"--resume", "--fail-under", "1", "--json", Path("j.jsonl"), "--spreadsheet-csv",
                   Path("s.csv")}),
              kExitCompleted);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.find("score"), std::string::npos) << said;
    size_t pages = 0;
    std::istringstream lines(Read("j.jsonl"));
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json j = nlohmann::json::parse(line);
        if (!j.contains("url")) continue;
        ++pages;
        EXPECT_TRUE(j["score"].is_number()) << line;
        EXPECT_TRUE(j["metrics"]["largest-contentful-paint"]["value"].is_number()) << line;
    }
    EXPECT_EQ(pages, 12u);
    const std::string sheet = Read("s.csv");
    for (int i = 1; i <= 6; ++i)
        for (const char* s : {";desktop;OK;;", ";mobile;OK;;"}) {
            const std::string row = "https://site.example/p" + std::to_string(i) + s;
            const size_t at = sheet.find(row);
            ASSERT_NE(at, std::string::npos) << row;
            EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(sheet[at + row.size()]))) << row;
        }
}

// A past run gives the lines and the spreadsheet its run gave: the same numbers, to the digit.
TEST_F(CliHistory, APastRunExportsTheLinesItsRunWrote) {
    const std::string urls =
        Write("u.txt",
              "https://x.example/heavy\nhttps://x.example/poor\nhttps://x.example/p1\n"
              "https://x.example/error404\n");
    ASSERT_EQ(Run({urls, "--categories", "all", "--json", Path("live.jsonl"), "--spreadsheet-csv",
                   Path("live.csv")}),
              kExitCompleted);
    ASSERT_EQ(
        Run({"export", "1", "--json", Path("past.jsonl"), "--spreadsheet-csv", Path("past.csv")}),
        kExitCompleted);
    const auto pages = [this](const std::string& name) {
        std::map<std::string, nlohmann::json> byPage;
        std::istringstream lines(Read(name));
        for (std::string line; std::getline(lines, line);) {
            nlohmann::json j = nlohmann::json::parse(line);
            if (j.contains("url"))
                byPage[j["url"].get<std::string>() + " " + j["strategy"].get<std::string>()] = j;
        }
        return byPage;
    };
    const auto live = pages("live.jsonl"), past = pages("past.jsonl");
    ASSERT_EQ(live.size(), 8u);
    for (const auto& [page, line] : live) {
        SCOPED_TRACE(page);
        ASSERT_TRUE(past.count(page));
        EXPECT_EQ(past.at(page), line);
    }
    const nlohmann::json& missing = live.at("https://x.example/error404 mobile");
    EXPECT_EQ(missing["status"], "page_error");
    EXPECT_EQ(missing["error_code"], "ERRORED_DOCUMENT_REQUEST");
    EXPECT_NE(missing["error_text"].get<std::string>().find("(Status code: 404)"),
              std::string::npos);
    EXPECT_EQ(Read("past.csv"), Read("live.csv"));
    // Whole milliseconds, the categories asked, the page group; no binary noise.
    const std::string sheet = Read("live.csv");
    EXPECT_NE(sheet.find(";accessibility;best-practices;seo;Field LCP p75 ms;"), std::string::npos);
    EXPECT_NE(sheet.find(";mobile;OK;;22;6295;6295;24691;24714;2398;0.1915;"), std::string::npos)
        << sheet;
    EXPECT_EQ(sheet.find(".000000"), std::string::npos);
    EXPECT_NE(sheet.find("mobile;ERRORED_DOCUMENT_REQUEST;Lighthouse was unable"),
              std::string::npos);
    // A comparison's report lists each page's failing audits as a run's own report does.
    ASSERT_EQ(Run({urls, "--categories", "all"}), kExitCompleted);
    ASSERT_EQ(Run({"compare", "1", "2", "--report", Path("c.html")}), kExitCompleted);
    EXPECT_NE(Read("c.html").find("Use efficient cache lifetimes"), std::string::npos);
}

TEST_F(CliHistory, TheGateCountsNewFailuresAndRefusesRunsWithNothingInCommon) {
    const std::string urls =
        Write("u.txt", "https://x.example/p1\nhttps://x.example/sim-error500\n");
    ASSERT_EQ(Run({urls, "--lang", "ru"}), kExitCompleted);
    // The page that fails now had a score then.
    Exec(
        "UPDATE results SET status = 1, error_code = 0, score = 80, texts = '80' "
        "WHERE num = 2 AND strategy = 0");
    ASSERT_EQ(Run({Write("other.txt", Urls(1, 2)), "--lang", "ru"}), kExitCompleted);
    ASSERT_EQ(Run({urls, "--strategies", "mobile", "--lang", "ru"}), kExitCompleted);
    const struct {
        std::vector<std::string> Args;
        int Exit;
        const char* Said;
    } cases[] = {
        {{urls, "--against", "1", "--fail-on-drop", "10"},
         kExitBudgetBroken,
         "https://x.example/sim-error500 (desktop): оценка 80 → ошибка: 500"},
        {{urls, "--against", "2", "--fail-on-drop", "10"},
         kExitBadInput,
         "нет ни одного из этих URL"},
        {{urls, "--strategies", "desktop", "--against", "3", "--fail-on-drop", "10"},
         kExitBadInput,
         "проверял mobile"},
        // A budget on a category the run does not ask for: refused before any request.
        {{urls, "--budget", Write("b.json", R"({"both": {"seo": 90}})")},
         kExitBadInput,
         "seo, which this run does not ask for"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Said);
        const size_t before = sim_->Requests().size();
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Run(c.Args), c.Exit);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(c.Said), std::string::npos) << said;
        if (c.Exit == kExitBadInput) {
            EXPECT_EQ(sim_->Requests().size(), before);
        }
    }
    TCliOptions crawl;
    crawl.CrawlUrl = "https://site.example/";
    EXPECT_EQ(SourceOf(crawl), "https://site.example/");  // a crawl's runs find each other
}

// A check whose results would not be kept stops before its requests; --no-history is the way
// to check without the history.
TEST_F(CliHistory, AnUnusableHistoryStopsACheckUnlessAskedToGoWithout) {
    Write("file", "not a folder");
    TCliOptions o = Parse({Write("u.txt", Urls(1, 2)), "--desktop-csv", Path("d.csv")});
    o.DbFile = Path("file") + "/h.sqlite";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunCli(o, ExeDir()), kExitBadInput);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("h.sqlite"), std::string::npos) << said;
    EXPECT_TRUE(sim_->Requests().empty());
    EXPECT_FALSE(fs::exists(Path("d.csv")));
    o.DbFile.clear();
    o.NoHistory = true;
    EXPECT_EQ(RunCli(o, ExeDir()), kExitCompleted);
    size_t lines = 0;
    for (char ch : Read("d.csv")) lines += ch == '\n';
    EXPECT_EQ(lines, 3u);
}

TEST_F(CliHistory, HistoryOptionsAreChecked) {
    struct Case {
        std::vector<std::string> args;
        std::string error;  // substring; empty = accepted
    } cases[] = {
        {{"runs"}, ""},
        {{"runs", "--csv", "--db", "h.sqlite"}, ""},
        {{"compare", "1", "2", "--csv", "c.csv"}, ""},
        {{"compare", "1", "2"}, "--csv FILE"},
        {{"compare", "1"}, "2 run ids"},
        {{"export", "3", "--mobile-csv", "m.csv"}, ""},
        {{"export", "3"}, "--desktop-csv"},
        {{"delete", "x"}, "run id"},
        {{"delete", "0"}, "run id"},
        {{"delete", "1", "--no-history"}, "--no-history"},
        // Each command takes its own options only: one it would ignore is refused.
        {{"export", "3", "--budget", "b.json", "--spreadsheet-csv", "s.csv"},
         "export does not take --budget"},
        {{"export", "3", "--spreadsheet-csv", "s.csv", "--json", "j.jsonl"}, ""},
        {{"runs", "--json", "j.jsonl"}, "runs does not take --json"},
        {{"compare", "1", "2", "--report", "r.html", "--threads", "4"},
         "compare does not take --threads"},
        {{"delete", "1", "--desktop-csv", "d.csv"}, "delete does not take --desktop-csv"},
        {{"u.txt", "--csv"}, "a check run does not take --csv"},
        {{"--resume"}, ""},
        {{"--resume", "u.txt"}, "from the history"},
        {{"--resume", "--no-history"}, "needs the history"},
        {{"u.txt", "runs"}, "only one"},  // a command only comes first
    };
    for (const auto& c : cases) {
        TParseResult r = ParseCommandLine(c.args);
        if (c.error.empty())
            EXPECT_EQ(r.Error, "") << c.args[0];
        else
            EXPECT_NE(r.Error.find(c.error), std::string::npos) << r.Error;
    }
}

}  // namespace
}  // namespace velmora::cli
