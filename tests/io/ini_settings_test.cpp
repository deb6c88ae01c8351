#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "io/ini_file.h"
#include "io/settings.h"
#include "io_test_util.h"

namespace velmora::io {
namespace {

using test::ReadBytes;
using test::Succeeded;
using test::TTempDir;
using test::WriteBytes;

mode_t FileMode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 0777;
}

struct TReadCase {
    const char* name;
    std::string content;
    const char* section;
    const char* key;
    std::optional<std::string> expected;
};

TEST(IniFile, ReadStringMatchesLikeTheProfileFunctions) {
    const TReadCase cases[] = {
        {"plain", "[PARAMS]\nmax-threads=5\n", "PARAMS", "max-threads", "5"},
        {"names ignore case", "[Params]\nMax-Threads=5\n", "PARAMS", "MAX-THREADS", "5"},
        {"bom, crlf, blanks around =", "\xEF\xBB\xBF[PARAMS]\r\n  api-key =  abc \t\r\n", "PARAMS",
         "api-key", "abc"},
        {"value keeps its own =", "[PARAMS]\napi-key=a=b\n", "PARAMS", "api-key", "a=b"},
        {"empty value", "[PARAMS]\napi-key=\n", "PARAMS", "api-key", ""},
        {"no final newline", "[PARAMS]\nlang=en", "PARAMS", "lang", "en"},
        {"first of two keys", "[PARAMS]\nlang=en\nlang=ru\n", "PARAMS", "lang", "en"},
        {"key of another section", "[OTHER]\nlang=en\n[PARAMS]\nx=1\n", "PARAMS", "lang",
         std::nullopt},
        {"commented out", "[PARAMS]\n;lang=en\n#lang=ru\n", "PARAMS", "lang", std::nullopt},
        {"missing section", "lang=en\n", "PARAMS", "lang", std::nullopt},
        {"empty file", "", "PARAMS", "lang", std::nullopt},
    };
    TTempDir dir;
    for (const TReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(dir.File("t.ini"), c.content);
        EXPECT_EQ(TIniFile(dir.File("t.ini")).ReadString(c.section, c.key), c.expected);
    }
    EXPECT_EQ(TIniFile(dir.File("missing.ini")).ReadString("PARAMS", "lang"), std::nullopt);
}

TEST(IniFile, LongValuesAreCutToTheirFirst2047Characters) {
    TTempDir dir;
    const std::string path = dir.File("t.ini");
    const std::string exact(2047, 'k');
    WriteBytes(path, "[PARAMS]\napi-key=" + exact + "\n");
    EXPECT_EQ(TIniFile(path).ReadString("PARAMS", "api-key"), exact);

    WriteBytes(path, "[PARAMS]\napi-key=" + std::string(3000, 'k') + "\n");
    EXPECT_EQ(TIniFile(path).ReadString("PARAMS", "api-key"), exact);

    // Characters, not bytes: a two-byte letter at the cut stays whole.
    const std::string cyr = std::string(2046, 'a') + "жж";
    WriteBytes(path, "[PARAMS]\napi-key=" + cyr + "\n");
    EXPECT_EQ(TIniFile(path).ReadString("PARAMS", "api-key"), std::string(2046, 'a') + "ж");
}

TEST(IniFile, WriteKeepsEveryOtherLineByteForByte) {
    TTempDir dir;
    const std::string path = dir.File("t.ini");
    const std::string original =
        "\xEF\xBB\xBF; written by hand\r\n"
        "[OTHER]\r\n"
        "api-key = other ; not ours\r\n"
        "\r\n"
        "[Params]\r\n"
        "API-KEY = old\r\n"
        "# a note\r\n"
        "max-threads = 4\r\n"
        "\r\n"
        "[TAIL]\r\n"
        "x=1";
    WriteBytes(path, original);
    TIniFile ini(path);
    ASSERT_TRUE(Succeeded(ini.WriteString("PARAMS", "api-key", "new")));
    ASSERT_TRUE(Succeeded(ini.WriteString("PARAMS", "lang", "en")));
    ASSERT_TRUE(Succeeded(ini.WriteString("EXTRA", "k", "v")));
    EXPECT_EQ(ReadBytes(path),
              "\xEF\xBB\xBF; written by hand\r\n"
              "[OTHER]\r\n"
              "api-key = other ; not ours\r\n"
              "\r\n"
              "[Params]\r\n"
              "api-key=new\r\n"
              "# a note\r\n"
              "max-threads = 4\r\n"
              "lang=en\r\n"
              "\r\n"
              "[TAIL]\r\n"
              "x=1\r\n"
              "[EXTRA]\r\n"
              "k=v\r\n");
    EXPECT_EQ(ini.ReadString("OTHER", "api-key"), "other ; not ours");
    EXPECT_EQ(ini.ReadString("PARAMS", "api-key"), "new");
}

TEST(IniFile, WriteCreatesFileAndSectionWithOwnerOnlyMode) {
    TTempDir dir;
    const std::string path = dir.File("new.ini");
    ASSERT_TRUE(Succeeded(TIniFile(path).WriteString("PARAMS", "lang", "en")));
    EXPECT_EQ(ReadBytes(path), "[PARAMS]\nlang=en\n");
    EXPECT_EQ(FileMode(path), 0600u);

    // A file someone made readable by all loses that at the next write: it holds the key.
    chmod(path.c_str(), 0644);
    ASSERT_TRUE(Succeeded(TIniFile(path).WriteString("PARAMS", "api-key", "secret")));
    EXPECT_EQ(FileMode(path), 0600u);
    EXPECT_EQ(ReadBytes(path), "[PARAMS]\nlang=en\napi-key=secret\n");
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(IniFile, WriteThroughSymlinkReplacesTheTarget) {
    TTempDir dir;
    WriteBytes(dir.File("real.ini"), "[PARAMS]\nlang=ru\n");
    ASSERT_EQ(symlink("real.ini", dir.File("link.ini").c_str()), 0);
    ASSERT_TRUE(Succeeded(TIniFile(dir.File("link.ini")).WriteString("PARAMS", "lang", "en")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.ini")));
    EXPECT_EQ(ReadBytes(dir.File("real.ini")), "[PARAMS]\nlang=en\n");
}

TEST(IniFile, FailedWriteReportsThePathAndChangesNothing) {
    TTempDir dir;
    const std::string inMissingFolder = dir.File("no-such-folder/Velmora.ini");
    const TResult<> failed = TIniFile(inMissingFolder).WriteString("PARAMS", "lang", "en");
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.Error(), "Unable to write to " + inMissingFolder);

    // A line break in a value would split the entry and corrupt what follows.
    const std::string path = dir.File("t.ini");
    WriteBytes(path, "[PARAMS]\napi-key=old\n");
    const TResult<> broken = TIniFile(path).WriteString("PARAMS", "api-key", "a\nmax-threads=1");
    EXPECT_FALSE(broken);
    EXPECT_EQ(broken.Error(), "Unable to write to " + path);
    EXPECT_EQ(ReadBytes(path), "[PARAMS]\napi-key=old\n");
}

TEST(IniFile, UnwritableFolderFails) {
    if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    TTempDir dir;
    const std::string path = dir.File("Velmora.ini");
    WriteBytes(path, "[PARAMS]\nlang=ru\n");
    chmod(dir.Path().c_str(), 0500);
    const TResult<> failed = TIniFile(path).WriteString("PARAMS", "lang", "en");
    EXPECT_FALSE(failed);
    chmod(dir.Path().c_str(), 0700);
    EXPECT_EQ(failed.Error(), "Unable to write to " + path);
    EXPECT_EQ(ReadBytes(path), "[PARAMS]\nlang=ru\n");
}

TEST(Settings, ParseIniInt) {
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"10", 10},
        {"0x10", 16},
        {"0X1f", 31},
        {"$10", 16},
        {"$ff", 255},
        {"+7", 7},
        {"-12", -12},
        {"-0x10", -16},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"", -1},
        {"abc", -1},
        {"12abc", -1},
        {"1 2", -1},
        {"0x", -1},
        {"$", -1},
        {"-", -1},
        {"0xg", -1},
        {"1.5", -1},
        {"2147483648", -1},
        {"0x100000000", -1},
        {"99999999999999999999", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseIniInt(c.text, -1), c.expected) << c.text;
}

TEST(Settings, LoadAppliesReadingRulesAndRanges) {
    const struct {
        const char* line;
        int threads, delay;
        bool noClear;
    } cases[] = {
        {"max-threads=50", 20, 1300, false},     {"max-threads=0", 1, 1300, false},
        {"max-threads=0x10", 16, 1300, false},   {"max-threads=$10", 16, 1300, false},
        {"max-threads=abc", 8, 1300, false},     {"max-threads=", 8, 1300, false},
        {"max-threads=-3", 1, 1300, false},      {"req-predelay=50", 8, 100, false},
        {"req-predelay=20000", 8, 10000, false}, {"req-predelay=$3E8", 8, 1000, false},
        {"req-predelay=1e3", 8, 1300, false},    {"import-no-clear=1", 8, 1300, true},
        {"import-no-clear=2", 8, 1300, true},    {"import-no-clear=-1", 8, 1300, true},
        {"import-no-clear=0", 8, 1300, false},   {"import-no-clear=yes", 8, 1300, false},
        {"import-no-clear=0x0", 8, 1300, false},
    };
    TTempDir dir;
    const std::string path = dir.File("Velmora.ini");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        WriteBytes(path, std::string("[PARAMS]\n") + c.line + "\n");
        TSettingsValues v = LoadSettings(path);
        EXPECT_TRUE(v.FileExists);
        EXPECT_EQ(v.MaxThreads, c.threads);
        EXPECT_EQ(v.ReqPredelay, c.delay);
        EXPECT_EQ(v.ImportNoClear, c.noClear);
    }
}

TEST(Settings, LoadTextValuesAndMissingFile) {
    TTempDir dir;
    const std::string path = dir.File("Velmora.ini");
    TSettingsValues none = LoadSettings(path);
    EXPECT_FALSE(none.FileExists);
    EXPECT_EQ(none.ApiKey, "");
    EXPECT_EQ(none.Lang, "");
    EXPECT_EQ(none.MaxThreads, kMaxThreadsDefault);
    EXPECT_EQ(none.ReqPredelay, kReqPredelayDefault);
    EXPECT_FALSE(none.ImportNoClear);
    EXPECT_FALSE(std::filesystem::exists(path));  // loading never creates the file

    WriteBytes(path,
               "[PARAMS]\r\napi-key=AIza-Key_1\r\nlang=EN\r\nendpoint=http://127.0.0.1:8080\r\n");
    TSettingsValues v = LoadSettings(path);
    EXPECT_EQ(v.ApiKey, "AIza-Key_1");
    EXPECT_EQ(v.Lang, "EN");  // matching against the language table is the caller's
    EXPECT_EQ(v.Endpoint, "http://127.0.0.1:8080");
}

TEST(Settings, SaveWritesTheParamKeysInOrderAndLangAlone) {
    TTempDir dir;
    const std::string path = dir.File("Velmora.ini");
    ASSERT_TRUE(Succeeded(SaveLang(path, "en")));
    EXPECT_EQ(ReadBytes(path), "[PARAMS]\nlang=en\n");

    TSettingsValues v;
    v.ApiKey = "K";
    v.MaxThreads = 12;
    v.ReqPredelay = 2500;
    v.Retries = 4;
    v.ImportNoClear = true;
    ASSERT_TRUE(Succeeded(SaveParams(path, v)));
    EXPECT_EQ(ReadBytes(path),
              "[PARAMS]\nlang=en\napi-key=K\nmax-threads=12\nreq-predelay=2500\nretries=4\n"
              "import-no-clear=1\n");
    EXPECT_EQ(FileMode(path), 0600u);

    v.ImportNoClear = false;
    ASSERT_TRUE(Succeeded(SaveParams(path, v)));
    ASSERT_TRUE(Succeeded(SaveLang(path, "ru")));
    TSettingsValues back = LoadSettings(path);
    EXPECT_EQ(back.ApiKey, "K");
    EXPECT_EQ(back.Lang, "ru");
    EXPECT_EQ(back.MaxThreads, 12);
    EXPECT_EQ(back.ReqPredelay, 2500);
    EXPECT_EQ(back.Retries, 4);
    EXPECT_FALSE(back.ImportNoClear);
    EXPECT_EQ(ReadBytes(path),
              "[PARAMS]\nlang=ru\napi-key=K\nmax-threads=12\nreq-predelay=2500\nretries=4\n"
              "import-no-clear=0\n");

    const std::string bad = dir.File("missing/Velmora.ini");
    const TResult<> failed = SaveParams(bad, v);
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.Error(), "Unable to write to " + bad);
}

// Restores an environment variable at the end of a test.
class TEnvGuard {
  public:
    explicit TEnvGuard(const char* name) : FName(name) {
        if (const char* v = std::getenv(name)) FOld = v;
    }
    ~TEnvGuard() {
        if (FOld) {
            setenv(FName, FOld->c_str(), 1);
        } else {
            unsetenv(FName);
        }
    }

  private:
    const char* FName;
    std::optional<std::string> FOld;
};

TEST(Settings, SettingsFilePathFallsBackToUserConfig) {
    TTempDir dir;
    EXPECT_EQ(SettingsFilePath(dir.Path() + "/"), dir.Path() + "/Velmora.ini");
    EXPECT_EQ(SettingsFilePath(dir.Path()), dir.Path() + "/Velmora.ini");

    TEnvGuard xdg("XDG_CONFIG_HOME"), home("HOME");
    // A folder that does not exist is not writable, for root too.
    const std::string appDir = dir.File("not-there/");
    setenv("XDG_CONFIG_HOME", dir.File("cfg").c_str(), 1);
    mkdir(dir.File("cfg").c_str(), 0755);
    EXPECT_EQ(SettingsFilePath(appDir), dir.File("cfg/Velmora/Velmora.ini"));
    EXPECT_EQ(FileMode(dir.File("cfg/Velmora")), 0700u);

    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", dir.File("home").c_str(), 1);
    mkdir(dir.File("home").c_str(), 0755);
    EXPECT_EQ(SettingsFilePath(appDir), dir.File("home/.config/Velmora/Velmora.ini"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("home/.config/Velmora")));

    // The installed programs' folder is writable for root, yet never holds a user's settings.
    for (const char* installed : {VELMORA_TEST_INSTALLED_BINDIR, VELMORA_TEST_INSTALLED_BINDIR "/"})
        EXPECT_EQ(SettingsFilePath(installed), dir.File("home/.config/Velmora/Velmora.ini"));
}

}  // namespace
}  // namespace velmora::io
