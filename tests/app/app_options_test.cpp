// The desktop program's command line: what each option sets and the message a bad one gets.
#include "app/app_options.h"

#include <gtest/gtest.h>

#include "support/qt_print.h"

namespace velmora::app::test {
namespace {

TEST(AppOptions, AcceptedOptionsSetTheirFields) {
    TAppOptions o;
    QString error;
    ASSERT_TRUE(
        ParseAppOptions({"--endpoint", "http://127.0.0.1:1", "--news-url", "http://n", "--urls",
                         "u.txt", "--demo", "--run", "--screenshot", "s.png", "--screenshot-page",
                         "advice", "--lang", "en", "--screenshot-delay", "250"},
                        o, &error))
        << error.toStdString();
    EXPECT_EQ(o.Endpoint, "http://127.0.0.1:1");
    EXPECT_EQ(o.NewsBaseUrl, "http://n");
    EXPECT_EQ(o.UrlsFile, "u.txt");
    EXPECT_TRUE(o.Demo);
    EXPECT_TRUE(o.AutoRun);
    EXPECT_EQ(o.ScreenshotFile, "s.png");
    EXPECT_EQ(o.ScreenshotPage, "advice");
    EXPECT_EQ(o.LangOverride, "en");
    EXPECT_EQ(o.ScreenshotDelayMs, 250);
}

TEST(AppOptions, BadCommandLinesSayWhatIsWrong) {
    const struct {
        QStringList Args;
        QString Error;
    } cases[] = {
        {{"--urls"}, "Option --urls needs a value"},
        {{"--demo", "--screenshot"}, "Option --screenshot needs a value"},
        {{"--screenshot-page", "log"},
         "--screenshot-page takes \"urls\", \"params\", \"advice\", \"advice-first\", "
         "\"across\", \"across-grid\" or \"crawl\""},
        {{"--screenshot-delay", "-5"}, "--screenshot-delay takes milliseconds, not \"-5\""},
        {{"--screenshot-delay", "soon"}, "--screenshot-delay takes milliseconds, not \"soon\""},
        {{"--bogus"}, "Unknown option \"--bogus\"\n\n" + AppOptionsUsage()},
        {{"urls.txt"}, "Unknown option \"urls.txt\"\n\n" + AppOptionsUsage()},
    };
    for (const auto& c : cases) {
        TAppOptions o;
        QString error;
        EXPECT_FALSE(ParseAppOptions(c.Args, o, &error)) << c.Args.join(' ').toStdString();
        EXPECT_EQ(error, c.Error) << c.Args.join(' ').toStdString();
    }
}

// The usage is made from the options: what they accept and their defaults fill it in.
TEST(AppOptions, UsageShowsWhatTheOptionsTake) {
    const QString usage = AppOptionsUsage();
    EXPECT_TRUE(usage.contains(QStringLiteral("\n  --screenshot-delay MS   wait this long before "
                                              "the shot (default %1)\n")
                                   .arg(TAppOptions().ScreenshotDelayMs)))
        << usage.toStdString();
    EXPECT_TRUE(
        usage.contains("\n  --screenshot-page P     \"urls\", \"params\", \"advice\", "
                       "\"advice-first\", \"across\", \"across-grid\" or \"crawl\" (advice: a "
                       "failed row's, advice-first: the first row's; across: its first audit "
                       "chosen, across-grid: the grid that limits; after --run)\n"))
        << usage.toStdString();
    EXPECT_EQ(InfoOptionAnswer({"-h"}), usage);
    EXPECT_EQ(InfoOptionAnswer({"--urls", "--version"}), AppVersionText());
}

}  // namespace
}  // namespace velmora::app::test
