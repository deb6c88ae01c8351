// velmora-cli: whole runs against the local simulator.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "base/decimal_separator.h"
#include "cli/cli_inputs.h"
#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "engine/grid_columns.h"
#include "io/codepage.h"
#include "io/settings.h"
#include "io/sitemap_fetch.h"
#include "sim/simulator.h"

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;

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
        o.IniFile = Write("none.ini", "");  // an empty settings file: every default
        o.DesktopCsv = (FDir / "d.csv").string();
        o.MobileCsv = (FDir / "m.csv").string();
        o.DbFile = (FDir / "history.sqlite").string();  // never the user's own history
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
        // Today's answers: the fast page scores 100 on desktop, 98 on mobile.
        const std::string fast = csv == std::string("d.csv") ? "100;" : "98;";
        const std::string expected[] = {"1;https://a.example/;;" + fast,
                                        "2;https://b.example/heavy;;",
                                        "3;https://c.example/sim-notHTML;NOT HTML;;",
                                        "4;https://d.example/sim-quota;API QUOTA;;",
                                        "5;https://e.example/sim-error500;500;;",
                                        "6;https://f.example/sim-badjson;PARSE ERROR;;",
                                        "7;https://g.example/sim-drop;SEND ERROR;;",
                                        "8;\"https://i.example/?a=1;b=2\";;" + fast};
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
    EXPECT_EQ(RunCli(Options(Write("empty.txt", "\n \n")), ExeDir()), kExitBadInput);
    EXPECT_FALSE(fs::exists(FDir / "d.csv"));
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
        EXPECT_EQ(line.substr(urlEnd), std::string(gcCount - 2, ';')) << line;
    }
}

// Lighthouse 13 (the default) and 12 answers, with and without real users' data.
TEST_F(CliRun, SpreadsheetCsvHoldsBothStrategiesAndTheAdviceBeside) {
    TCliOptions o =
        Options(Write("urls.txt", "https://a.example/\nhttps://e.example/sim-error500\n"));
    o.SpreadsheetCsv = (FDir / "sheet.csv").string();
    ASSERT_EQ(RunCli(o, ExeDir()), kExitCompleted);
    const std::vector<std::string> lines = Lines(Read("sheet.csv"));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].rfind("\xEF\xBB\xBFNum;URL;Strategy;Status;Error;Score;FCP ms;", 0), 0u);
    EXPECT_EQ(lines[1].rfind("1;https://a.example/;desktop;OK;;", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].rfind("1;https://a.example/;mobile;OK;;", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3].rfind("2;https://e.example/sim-error500;desktop;500;", 0), 0u) << lines[3];
    EXPECT_FALSE(Read("sheet-advice.csv").empty());
}

TEST_F(CliRun, AdviceCsvAndFieldColumnsFollowTheAnswers) {
    const std::string urls =
        "https://a.example/heavy\n"
        "https://b.example/\n"
        "https://c.example/heavy/sim-lh12\n"
        "https://d.example/sim-originfield\n"
        "https://e.example/sim-error500\n";
    TCliOptions o = Options(Write("urls.txt", urls));
    o.AdviceCsv = (FDir / "advice.csv").string();
    ASSERT_EQ(RunCli(o, ExeDir()), kExitCompleted);
    io::TCodePageEncoder cp1251("windows-1251");
    auto encoded = [&](const std::string& utf8) {
        std::string out;
        cp1251.Encode(utf8, out);
        return out;
    };

    const std::vector<std::string> advice = Lines(Read("advice.csv"));
    ASSERT_FALSE(advice.empty());
    EXPECT_EQ(advice[0],
              encoded("URL;Стратегия;Группа;Id аудита;Заголовок;Отображаемое значение;Score"));
    auto hasRow = [&](const std::string& prefix) {
        for (const std::string& line : advice)
            if (line.rfind(prefix, 0) == 0) return true;
        return false;
    };
    struct Case {
        const char* rowPrefix;
        bool present;
    } cases[] = {
        // Failing insights without a display value; the title alone, the score as sent.
        {"https://a.example/heavy;desktop;insights;cls-culprits-insight;Layout shift culprits;;0",
         true},
        {"https://a.example/heavy;desktop;insights;lcp-discovery-insight;", true},
        {"https://a.example/heavy;desktop;insights;network-dependency-tree-insight;", true},
        {"https://a.example/heavy;desktop;diagnostics;unsized-images;", true},
        {"https://a.example/heavy;mobile;insights;viewport-insight;", true},
        {"https://a.example/heavy;desktop;diagnostics;unused-css-rules;Reduce unused CSS;Est "
         "savings of 443\xA0KiB;0",
         true},
        // Audits that passed are no advice.
        {"https://b.example/;desktop;diagnostics;total-byte-weight;", false},
        {"https://b.example/;desktop;diagnostics;bootup-time;", false},
        {"https://b.example/;desktop;diagnostics;mainthread-work-breakdown;", false},
        // Lighthouse 12 keeps its own advice; a failed check has none.
        {"https://c.example/heavy/sim-lh12;desktop;diagnostics;render-blocking-resources;", true},
        {"https://c.example/heavy/sim-lh12;mobile;diagnostics;uses-long-cache-ttl;", true},
        {"https://e.example/sim-error500;", false},
    };
    for (const Case& c : cases) EXPECT_EQ(hasRow(c.rowPrefix), c.present) << c.rowPrefix;
    for (const std::string& line : advice) {
        // Seven fields, none of them quoted here.
        EXPECT_EQ(std::count(line.begin(), line.end(), ';'), 6) << line;
    }

    // The real users' columns close every result row.
    const std::string sep(1, LocaleDecimalSeparator());
    const std::string fieldCells[] = {
        encoded(";не пройдена;4" + sep + "4 s;312 ms;0" + sep + "14;страница"),
        encoded(";;;;;нет"),
        encoded(";;;;;нет"),
        encoded(";не пройдена;2" + sep + "7 s;180 ms;0" + sep + "06;источник"),
        ";;;;;",
    };
    for (const char* csv : {"d.csv", "m.csv"}) {
        const std::vector<std::string> lines = Lines(Read(csv));
        ASSERT_EQ(lines.size(), 6u) << csv;
        EXPECT_NE(lines[0].find(encoded(";TOTAL;CWV;LCP p75;INP p75;CLS p75;Полевые данные")),
                  std::string::npos)
            << lines[0];
        for (size_t i = 0; i < std::size(fieldCells); ++i) {
            const std::string& line = lines[i + 1];
            ASSERT_GE(line.size(), fieldCells[i].size());
            EXPECT_EQ(line.substr(line.size() - fieldCells[i].size()), fieldCells[i])
                << csv << ": " << line;
        }
    }
}

TEST_F(CliRun, BadInputsAndOutputsStopBeforeTheFirstRequest) {
    const std::string urls = Write("urls.txt", "https://a.example/\n");
    const std::string map =
        Write("map.xml", "<urlset><url><loc>https://a.example/</loc></url></urlset>");
    fs::create_symlink(FDir / "urls.txt", FDir / "link.txt");
    fs::create_directories(FDir / "bin");
    Write("plain", "x");
    const std::string ini = Write("bad.ini", "[PARAMS]\nendpoint=dict://127.0.0.1:2628/#\n");
    const std::string notes = Write("notes.txt", "my notes\n");
    // The spreadsheet export writes NAME-advice.csv beside NAME.csv.
    const std::string adviceNamedList = Write("u-advice.csv", "https://a.example/\n");
    fs::create_directories(FDir / "dir-advice.csv");
    const auto sheet = [&](const char* name) { return (FDir / name).string(); };
    const struct {
        const char* name;
        std::function<void(TCliOptions&)> change;
        std::string fragment;
    } cases[] = {
        {"folder missing", [&](TCliOptions& o) { o.DesktopCsv = (FDir / "no/d.csv").string(); },
         "--desktop-csv: cannot write"},
        {"folder is a file", [&](TCliOptions& o) { o.MobileCsv = (FDir / "plain/m.csv").string(); },
         "--mobile-csv: cannot write"},
        {"output is a folder", [&](TCliOptions& o) { o.MobileCsv = FDir.string(); },
         "cannot write"},
        {"output is the URL file", [&](TCliOptions& o) { o.DesktopCsv = urls; }, "the URL file"},
        {"through a symlink", [&](TCliOptions& o) { o.MobileCsv = (FDir / "link.txt").string(); },
         "the URL file"},
        {"through ..", [&](TCliOptions& o) { o.DesktopCsv = (FDir / "bin/../urls.txt").string(); },
         "the URL file"},
        {"output is the sitemap",
         [&](TCliOptions& o) {
             o.UrlFile.clear();
             o.SitemapFile = map;
             o.DesktopCsv = map;
         },
         "the sitemap"},
        {"both outputs one file", [&](TCliOptions& o) { o.MobileCsv = o.DesktopCsv; },
         "name the same file"},
        {"output is the history", [&](TCliOptions& o) { o.DesktopCsv = o.DbFile; },
         "is the run history;"},
        {"output is the history's journal", [&](TCliOptions& o) { o.JsonFile = o.DbFile + "-wal"; },
         "the run history's journal"},
        {"advice over the URL file", [&](TCliOptions& o) { o.AdviceCsv = urls; }, "the URL file"},
        {"spreadsheet advice over the URL file",
         [&](TCliOptions& o) {
             o.UrlFile = adviceNamedList;
             o.SpreadsheetCsv = sheet("u.csv");
         },
         "--spreadsheet-csv's advice file " + adviceNamedList + " is the URL file"},
        {"spreadsheet advice is the history",
         [&](TCliOptions& o) {
             o.DbFile = sheet("hist-advice.csv");
             o.SpreadsheetCsv = sheet("hist.csv");
         },
         "is the run history;"},
        {"spreadsheet advice is the desktop CSV",
         [&](TCliOptions& o) {
             o.DesktopCsv = sheet("s-advice.csv");
             o.SpreadsheetCsv = sheet("s.csv");
         },
         "name the same file"},
        {"spreadsheet advice is a folder",
         [&](TCliOptions& o) { o.SpreadsheetCsv = sheet("dir.csv"); },
         "--spreadsheet-csv's advice file: cannot write"},
        {"report over the URL file", [&](TCliOptions& o) { o.ReportFile = urls; }, "the URL file"},
        {"report is the history", [&](TCliOptions& o) { o.ReportFile = o.DbFile; },
         "is the run history;"},
        {"report of a past run over the history",
         [&](TCliOptions& o) {
             o.Command = "export";
             o.CommandArgs = {"1"};
             o.DesktopCsv.clear();
             o.MobileCsv.clear();
             o.ReportFile = o.DbFile;
         },
         "is the run history;"},
        {"--ini missing", [&](TCliOptions& o) { o.IniFile = (FDir / "no.ini").string(); },
         "--ini: cannot read"},
        {"--ini a folder", [&](TCliOptions& o) { o.IniFile = FDir.string(); },
         "--ini: cannot read"},
        {"endpoint not http",
         [&](TCliOptions& o) {
             o.IniFile = ini;
             o.Endpoint.reset();
         },
         "http:// или https://: dict://"},
        {"endless URL file", [&](TCliOptions& o) { o.UrlFile = "/dev/zero"; }, "64"},
        // A file that is no history, named as one, is refused and stays as it was.
        {"history is a text file", [&](TCliOptions& o) { o.DbFile = notes; },
         "не история проверок Velmora"},
        {"listing runs of a text file",
         [&](TCliOptions& o) {
             o.DbFile = notes;
             o.Command = "runs";
         },
         "не история проверок Velmora"},
        {"history is the URL list", [&](TCliOptions& o) { o.DbFile = urls; },
         "не история проверок Velmora"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TCliOptions o = Options(urls);
        c.change(o);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(RunCli(o, ExeDir()), kExitBadInput);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.fragment), std::string::npos) << err;
    }
    EXPECT_TRUE(FSim->Requests().empty());
    EXPECT_EQ(Read("urls.txt"), "https://a.example/\n");
    EXPECT_EQ(Read("map.xml"), "<urlset><url><loc>https://a.example/</loc></url></urlset>");
    EXPECT_FALSE(fs::exists(FDir / "d.csv"));
    EXPECT_EQ(Read("notes.txt"), "my notes\n");
    EXPECT_EQ(Read("u-advice.csv"), "https://a.example/\n");
    for (const auto& e : fs::directory_iterator(FDir))
        EXPECT_EQ(e.path().string().find(".damaged-"), std::string::npos) << e.path();
}

TEST_F(CliRun, AnIndexWhoseFilesAllFailPassesNoGate) {
    std::string index =
        R"(<?xml version="1.0"?><sitemapindex xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">)";
    for (const char* child : {"/gone-1.xml", "/gone-2.xml"})
        index += "<sitemap><loc>" + FSim->Endpoint() + child + "</loc></sitemap>";
    TCliOptions o = Options("");
    o.UrlFile.clear();
    o.SitemapFile = Write("index.xml", index + "</sitemapindex>");
    o.FailUnder = 90;
    o.Quiet = false;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunCli(o, ExeDir()), kExitBadInput);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("файлы карты сайта не прочитаны"), std::string::npos) << err;
    // A long import shows that it goes on, in a log as well as on a terminal.
    EXPECT_NE(err.find("Карта сайта: прочитано файлов: 1 из "), std::string::npos) << err;
    EXPECT_TRUE(FSim->Requests().empty());
}

TEST_F(CliRun, OneFailedCsvDoesNotCostTheOther) {
    TCliOptions o = Options(Write("urls.txt", "https://a.example/\n"));
    o.DesktopCsv = "/dev/full";  // opens, then every write fails
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunCli(o, ExeDir()), kExitBadInput);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("/dev/full: "), std::string::npos) << err;
    EXPECT_EQ(Lines(Read("m.csv")).size(), 2u);
}

TEST_F(CliRun, TellsWhatTheImportSkippedAndWhenNothingIsLeft) {
    TCliOptions o =
        Options(Write("urls.txt", std::string("https://a.example/\nftp://b.example/\n"
                                              "https://a.example/\nhttps://c\x1b[2J\n")));
    o.Quiet = false;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunCli(o, ExeDir()), kExitCompleted);
    std::string err = ::testing::internal::GetCapturedStderr();
    for (const char* line : {"Добавлено URL: 1", "Пропущено повторов: 1", "Пропущено не http(s): 1",
                             "Пропущено строк с управляющими или нечитаемыми символами: 1"})
        EXPECT_NE(err.find(line), std::string::npos) << err;

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunCli(Options(Write("empty.txt", "\n")), ExeDir()), kExitBadInput);
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("нет URL для проверки"), std::string::npos) << err;
}

TEST_F(CliRun, WarnsOfAMissingCatalogueAndAKeySentInClear) {
    TCliOptions o = Options(Write("urls.txt", "https://a.example/\n"));
    o.Lang = "en";
    o.Endpoint = "http://psi.invalid";  // never reached: the list is empty
    Write("empty.txt", "");
    o.UrlFile = (FDir / "empty.txt").string();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunCli(o, ExeDir()), kExitBadInput);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("no translation catalogue found"), std::string::npos) << err;
    EXPECT_NE(err.find("http://psi.invalid"), std::string::npos) << err;
}

// Installed under any prefix, the program finds its catalogues beside it in ../share/locale.
TEST_F(CliRun, FindsItsCataloguesRelativeToThePrefix) {
    const fs::path built =
        fs::path(VELMORA_CLI_EXE).parent_path() / "../app/locale/en/LC_MESSAGES/Velmora.mo";
    if (!fs::exists(built)) GTEST_SKIP() << "no catalogue built at " << built;
    const fs::path installed = FDir / "opt/share/locale/en/LC_MESSAGES";
    fs::create_directories(installed);
    fs::copy_file(built, installed / "Velmora.mo");
    fs::create_directories(FDir / "opt/bin");
    TCliOptions o = Options(Write("empty.txt", ""));
    o.Lang = "en";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunCli(o, (FDir / "opt/bin/").string()), kExitBadInput);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("no translation catalogue found"), std::string::npos) << err;
    EXPECT_NE(err.find("no URLs to check"), std::string::npos) << err;
}

TEST_F(CliRun, AbortSaysHowManyUrlsWereLeftUnchecked) {
    std::string urls = "https://a.example/\n";
    for (int i = 0; i < 3; ++i) urls += "https://x.example/" + std::to_string(i) + "/sim-hang\n";
    TCliOptions o = Options(Write("hang.txt", urls));
    std::thread interrupter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        RequestAbortFromSignal();
    });
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunCli(o, ExeDir()), kExitAborted);
    interrupter.join();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("прервано: не проверено URL: 3 из 4"), std::string::npos) << err;
    // What finished is kept.
    EXPECT_EQ(Lines(Read("d.csv"))[1].rfind("1;https://a.example/;;100;", 0), 0u);
}

// Ctrl+C while a sitemap download hangs is an abort, not bad input: a script sees 130.
TEST_F(CliRun, CtrlCDuringASitemapImportIsAnAbort) {
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);  // takes connections, never answers
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&addr), len), 0);
    ASSERT_EQ(::listen(silent, 8), 0);
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&addr), &len);
    TCliOptions o = Options("");
    o.UrlFile.clear();
    o.SitemapFile = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/sitemap.xml";
    std::thread interrupter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        RequestAbortFromSignal();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunCli(o, ExeDir()), kExitAborted);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    interrupter.join();
    ::close(silent);
}

TEST_F(CliRun, AClosedStderrCostsLogLinesOnly) {
    const std::string urls = Write("urls.txt", "https://a.example/\nhttps://b.example/\n");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);  // as "| head -1" does once it has its line
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(fds[1], STDERR_FILENO);
        const std::string endpoint = FSim->Endpoint(), d = (FDir / "d.csv").string(),
                          ini = Write("none.ini", "");
        ::execl(VELMORA_CLI_EXE, VELMORA_CLI_EXE, "--endpoint", endpoint.c_str(), "--delay", "100",
                "--ini", ini.c_str(), "--no-history", "--desktop-csv", d.c_str(), urls.c_str(),
                nullptr);
        ::_exit(127);
    }
    ::close(fds[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), kExitCompleted);
    EXPECT_EQ(Lines(Read("d.csv")).size(), 3u);
}

}  // namespace
}  // namespace velmora::cli
