// The dialog that finds a site's pages by crawling it.
#include "app/crawl_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <chrono>

#include "../io/test_site.h"
#include "support/qt_wait.h"

namespace velmora::app {
namespace {

using namespace std::chrono_literals;

void Start(TCrawlDialog& d, const std::string& address) {
    d.edCrawlAddress->setText(QString::fromStdString(address));
    d.btFind->click();
}

TEST(CrawlDialog, FindsThePagesWithinTheLimitAndCloses) {
    io::test::TTestSite site;
    site.Put("/", {.body = "<a href=/a>a</a><a href=/b>b</a><a href=/c>c</a>"});
    for (const char* page : {"/a", "/b", "/c"}) site.Put(page, {.body = "<a href=/>home</a>"});
    TCrawlDialog d(nullptr);
    d.SetHostDelay(0ms);
    d.show();
    d.edMaxPages->setValue(3);
    Start(d, site.Url("/"));
    EXPECT_FALSE(d.edCrawlAddress->isEnabled());
    ASSERT_TRUE(test::WaitFor([&] { return d.result() == QDialog::Accepted && !d.isVisible(); }));
    // Four fetches at once: which two of the three links come first is open.
    ASSERT_EQ(d.Found().urls.size(), 3u);
    EXPECT_EQ(d.Found().urls[0], site.Url("/"));
    EXPECT_TRUE(d.Found().pageLimit);
}

TEST(CrawlDialog, RefusesWhatIsNoWebAddressAndShowsFailures) {
    io::test::TTestSite site;
    TCrawlDialog d(nullptr);
    d.show();
    Start(d, "file:///etc/passwd");
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(d.lbCrawlError->isVisible());
    Start(d, site.Url("/missing"));
    ASSERT_TRUE(test::WaitFor([&] { return d.lbCrawlError->text().contains("404"); }));
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(d.edCrawlAddress->isEnabled());
}

// A crawl cut by its deadline says what it found and what is missing, and waits for the user.
TEST(CrawlDialog, ACrawlCutByTimeSaysSoBeforeItsPagesAreTaken) {
    io::test::TTestSite site;
    site.Put("/robots.txt", {.body = "User-agent: *\nCrawl-delay: 1\n", .type = "text/plain"});
    site.Put("/", {.body = "<a href=/a>a</a><a href=/b>b</a><a href=/c>c</a>"});
    for (const char* page : {"/a", "/b", "/c"}) site.Put(page, {.body = "<p>"});
    TCrawlDialog d(nullptr);
    d.SetHostDelay(0ms);
    d.SetTimeout(1500ms);
    d.show();
    Start(d, site.Url("/"));
    ASSERT_TRUE(test::WaitFor([&] { return d.lbCrawlError->isVisible(); }, 10'000));
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(d.lbCrawlError->text().contains("время вышло"))
        << d.lbCrawlError->text().toStdString();
    EXPECT_TRUE(d.lbCrawlError->text().contains("в очереди"))
        << d.lbCrawlError->text().toStdString();
    EXPECT_FALSE(d.edCrawlAddress->isEnabled());
    d.btFind->click();
    ASSERT_TRUE(test::WaitFor([&] { return d.result() == QDialog::Accepted && !d.isVisible(); }));
    EXPECT_TRUE(d.Found().timedOut);
    EXPECT_FALSE(d.Found().urls.empty());
}

// The progress shows while pages hang, and Cancel ends the crawl at once.
TEST(CrawlDialog, ShowsProgressAndCancelEndsTheCrawl) {
    io::test::TTestSite site;
    site.Put("/", {.body = "<a href=/h1>1</a><a href=/h2>2</a>"});
    for (const char* page : {"/h1", "/h2"})
        site.Put(page, {.stream = [&site](size_t, httplib::DataSink& sink) {
                     std::this_thread::sleep_for(20ms);
                     return !site.Stopping() && sink.is_writable();
                 }});
    TCrawlDialog d(nullptr);
    d.SetHostDelay(0ms);
    d.show();
    Start(d, site.Url("/"));
    ASSERT_TRUE(test::WaitFor([&] { return d.pbCrawl->value() == 1; }));
    EXPECT_TRUE(d.lbCrawlProgress->text().contains("1"));
    const auto start = std::chrono::steady_clock::now();
    d.pButtons->button(QDialogButtonBox::Cancel)->click();
    ASSERT_TRUE(test::WaitFor([&] { return !d.isVisible(); }, 5000));
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

}  // namespace
}  // namespace velmora::app
