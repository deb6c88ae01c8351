// The dialog that imports a sitemap from a web address.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/sitemap_address_dialog.h"
#include "support/qt_wait.h"

namespace velmora::app {
namespace {

using namespace std::chrono_literals;

// One sitemap, and an address that answers only when the test lets it.
class SitemapDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        FSite.Get("/sitemap.xml", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(
                "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"
                "<url><loc>https://x/1</loc></url><url><loc>https://x/2</loc></url>"
                "</urlset>",
                "application/xml");
        });
        FSite.Get("/stall.xml", [this](const httplib::Request&, httplib::Response& res) {
            for (int i = 0; i < 200 && !FRelease; ++i) std::this_thread::sleep_for(50ms);
            res.status = 404;
        });
        FPort = FSite.bind_to_any_port("127.0.0.1");
        FThread = std::thread([this] { FSite.listen_after_bind(); });
        while (!FSite.is_running()) std::this_thread::sleep_for(1ms);
    }
    void TearDown() override {
        FRelease = true;
        FSite.stop();
        FThread.join();
    }
    QString Url(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(FPort).arg(QLatin1String(path));
    }
    static void Start(TSitemapAddressDialog& d, const QString& address) {
        d.edSitemapAddress->setText(address);
        d.pButtons->button(QDialogButtonBox::Ok)->click();
    }

    httplib::Server FSite;
    std::atomic<bool> FRelease{false};
    int FPort = 0;
    std::thread FThread;
};

TEST_F(SitemapDialog, LoadsTheAddressAndCloses) {
    TSitemapAddressDialog d(nullptr);
    d.show();
    Start(d, Url("/sitemap.xml"));
    ASSERT_TRUE(test::WaitFor([&] { return d.result() == QDialog::Accepted && !d.isVisible(); }));
    EXPECT_EQ(d.Loaded().urls, (std::vector<std::string>{"https://x/1", "https://x/2"}));
}

TEST_F(SitemapDialog, RefusesWhatIsNoWebAddressAndShowsFailures) {
    TSitemapAddressDialog d(nullptr);
    d.show();
    Start(d, QStringLiteral("/etc/passwd"));
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(d.lbSitemapError->isVisible());
    Start(d, Url("/missing.xml"));
    ASSERT_TRUE(test::WaitFor([&] { return d.lbSitemapError->text().contains("404"); }));
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(d.edSitemapAddress->isEnabled());
}

TEST_F(SitemapDialog, CancelEndsAStalledDownload) {
    TSitemapAddressDialog d(nullptr);
    d.show();
    Start(d, Url("/stall.xml"));
    EXPECT_FALSE(d.edSitemapAddress->isEnabled());
    const auto start = std::chrono::steady_clock::now();
    d.pButtons->button(QDialogButtonBox::Cancel)->click();
    ASSERT_TRUE(test::WaitFor([&] { return !d.isVisible(); }, 5000));
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

}  // namespace
}  // namespace velmora::app
