// The three imports of the window.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProgressBar>
#include <QStatusBar>
#include <chrono>
#include <thread>

#include "io/codepage.h"
#include "support/window_fixture.h"

namespace velmora::app::test {
namespace {

using Import = TWindowTest;

// A page URL, the same in capitals, an empty line, an image of it, another page.
const QByteArray kFiveLines =
    "http://site.test/a\r\nHTTP://SITE.TEST/A\r\n\r\nhttp://site.test/a/logo.png\r\n"
    "http://site.test/b\r\n";

TEST_F(Import, TextFileFiltersAndNumbers) {
    ImportText(kFiveLines);
    EXPECT_EQ(Urls(), QStringList({"http://site.test/a", "http://site.test/b"}));
    EXPECT_EQ(Column(msDesktop, 0), QStringList({"1", "2"}));
    EXPECT_EQ(Column(msMobile, 1), Urls());
    EXPECT_EQ(Caption(), " Список URL (2) ");
    EXPECT_EQ(LastLog(),
              "Данные загружены. Добавлено: 2; пропущено — повторы: 1, ресурсные файлы: 1, "
              "пустые строки: 1");
    EXPECT_TRUE(W->Ui().btRunRequests->isEnabled());
    EXPECT_FALSE(W->Ui().btExport->isEnabled());
    EXPECT_TRUE(Boxes.empty());
    ASSERT_EQ(Asked.size(), 3);
    EXPECT_EQ(Asked[0], "Укажите текстовый файл для импорта URL");
    // Never the program's folder: the home folder first, then the folder of the last import.
    EXPECT_EQ(Asked[1], QDir::homePath());
    EXPECT_EQ(Asked[2], "Текстовый файл (*.txt);;Все файлы (*)");
    G->btImportURLs4TXTClick();
    ASSERT_EQ(Asked.size(), 6);
    EXPECT_EQ(QDir(Asked[4]), QDir(Dir.path()));
}

// Lines that are no URL are skipped by reason, and the report shows in the status bar.
TEST_F(Import, JunkIsSkippedByReasonAndReportedInTheStatusBar) {
    ImportText(
        "not a url\nhttp//broken\n# comment line\n<a href=\"https://x.example/\">x</a>\n"
        "https://\nwww.example.com/no-scheme\n127.0.0.1/admin\n"
        "https://example.com/a b\n\nhttps://example.com/ok\n");
    EXPECT_EQ(Urls(), QStringList({"https://www.example.com/no-scheme", "https://example.com/ok"}));
    const QString report =
        "Данные загружены. Добавлено: 2 (без схемы, с https://: 1); пропущено — не URL: 6, "
        "комментарии: 1, пустые строки: 1";
    EXPECT_EQ(LastLog(), report);
    EXPECT_EQ(W->statusBar()->currentMessage(), report);
}

TEST_F(Import, ClipboardTrimsTheSameLines) {
    QGuiApplication::clipboard()->setText(
        " \thttp://site.test/a  \rHTTP://SITE.TEST/A\n\t\n  http://site.test/a/logo.png\r\n"
        "\thttp://site.test/b\t");
    G->btInsertURLs4ClipClick();
    EXPECT_EQ(Urls(), QStringList({"http://site.test/a", "http://site.test/b"}));
    EXPECT_EQ(LastLog(),
              "Данные вставлены из буфера обмена. Добавлено: 2; пропущено — повторы: 1, "
              "ресурсные файлы: 1, пустые строки: 1");

    // No text: nothing changes, nothing is said.
    QGuiApplication::clipboard()->clear();
    G->btInsertURLs4ClipClick();
    EXPECT_EQ(Urls().size(), 2);
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(Import, ReplaceOrAppendKeepsResults) {
    ImportText("http://a/\nhttp://b/\n");
    SetResult(W->Master()[1], msDesktop, trOK, "80");
    W->Ui().cbImpNoClearURLs->setChecked(true);
    QGuiApplication::clipboard()->setText("http://B/\nhttp://c/");
    G->btInsertURLs4ClipClick();
    EXPECT_EQ(Urls(), QStringList({"http://a/", "http://b/", "http://c/"}));
    EXPECT_EQ(Column(msDesktop, 0), QStringList({"1", "2", "3"}));
    EXPECT_EQ(Column(msDesktop, 3), QStringList({"", "80", ""}));

    // Replacing empties the list even when the source gives nothing.
    W->Ui().cbImpNoClearURLs->setChecked(false);
    ImportText("http://x/img.PNG\n");
    EXPECT_TRUE(W->Master().Empty());
    EXPECT_EQ(Model(msDesktop)->rowCount(), 0);
    EXPECT_EQ(Caption(), " Список URL ");
    EXPECT_FALSE(W->Ui().btRunRequests->isEnabled());
}

// The start-up option's file goes through the same import as the button: it replaces the list
// unless the user chose to keep it, and a missing file changes nothing.
TEST_F(Import, StartUpFileHonoursKeepSetting) {
    const struct {
        bool Keep;
        QStringList Expected;
    } cases[] = {{false, {"http://b/"}}, {true, {"http://a/", "http://b/"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Keep ? "keep" : "replace");
        W->Ui().cbImpNoClearURLs->setChecked(false);
        ImportText("http://a/\n");
        W->Ui().cbImpNoClearURLs->setChecked(c.Keep);
        EXPECT_TRUE(W->LoadUrlsFromTextFile(WriteFile("start.txt", "http://b/\n")));
        EXPECT_EQ(Urls(), c.Expected);
        EXPECT_EQ(Column(msMobile, 1), c.Expected);
        EXPECT_EQ(LastLog(), "Данные загружены. Добавлено: 1");

        Boxes.clear();
        EXPECT_FALSE(W->LoadUrlsFromTextFile(Dir.filePath("missing.txt")));
        EXPECT_EQ(Urls(), c.Expected);
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].Icon, QMessageBox::Warning);
    }
}

TEST_F(Import, LimitStopsAtTenThousandWithOneMessage) {
    QByteArray many;
    for (int i = 0; i < 9999; ++i) many += "http://site.test/" + QByteArray::number(i) + "\n";
    ImportText(many);
    ASSERT_EQ(W->Master().Count(), 9999u);
    W->Ui().cbImpNoClearURLs->setChecked(true);
    QGuiApplication::clipboard()->setText("http://site.test/0\nhttp://n/1\nhttp://n/2\nhttp://n/3");
    G->btInsertURLs4ClipClick();
    EXPECT_EQ(W->Master().Count(), 10000u);
    EXPECT_EQ(Urls().last(), "http://n/1");
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Icon, QMessageBox::Information);
    // The two URLs after the one that reached the limit.
    EXPECT_EQ(Boxes[0].Text, "Ограничение: не более 10 000 URL, не добавлено: 2");
    EXPECT_EQ(Caption(), " Список URL (10000) ");
    EXPECT_EQ(Model(msMobile)->rowCount(), 10000);
    EXPECT_EQ(LastLog(),
              "Данные вставлены из буфера обмена. Добавлено: 1; пропущено — повторы: 1, "
              "сверх лимита: 2");
}

TEST_F(Import, TextFileProblemsChangeNothing) {
    ImportText("http://keep/\n");
    SetResult(W->Master()[0], msMobile, trOK, "99");
    struct Case {
        QString path;
        const char* message;  // start of the warning
    } cases[] = {
        {Dir.filePath("missing.txt"), "Файл с данными для импорта не найден!"},
        // A folder exists but cannot be read as a file.
        {Dir.path(), "Не удалось прочитать файл: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Boxes.clear();
        NextFile = c.path;
        G->btImportURLs4TXTClick();
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].Icon, QMessageBox::Warning);
        EXPECT_TRUE(Boxes[0].Text.startsWith(QString::fromUtf8(c.message)))
            << Boxes[0].Text.toStdString();
        EXPECT_EQ(Urls(), QStringList({"http://keep/"}));
        EXPECT_EQ(Column(msMobile, 3), QStringList({"99"}));
    }
    // Cancelled: nothing at all.
    Boxes.clear();
    NextFile.clear();
    G->btImportURLs4TXTClick();
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(Urls(), QStringList({"http://keep/"}));
}

// A path handed over by a second start that is no regular file never blocks the window, and
// requests coming while its message is open go to the log, not into more boxes.
TEST_F(Import, HandedOverFifoNeverBlocksAndSaysItOnce) {
    const QString fifo = Dir.filePath("urls.fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // Should the window open it, this writer lets the test end instead of hanging.
    std::thread unblock([&] {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    });
    const QString second = Dir.filePath("second.fifo");
    G->Dialogs.Message = [&](QMessageBox::Icon icon, const QString& text, const QString&) {
        Boxes.push_back({icon, text});
        W->ActivateFromSecondStart(second);  // the next request, while this box is open
    };
    QElapsedTimer took;
    took.start();
    W->ActivateFromSecondStart(fifo);
    const qint64 ms = took.elapsed();
    unblock.join();
    EXPECT_LT(ms, 1000);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_TRUE(Boxes[0].Text.contains("urls.fifo")) << Boxes[0].Text.toStdString();
    // Newest first: the request that came while the box was open, then the first one.
    EXPECT_TRUE(W->Ui().lvLog->item(0, 1)->text().contains("second.fifo"));
    EXPECT_TRUE(W->Ui().lvLog->item(1, 1)->text().contains("urls.fifo"));
    EXPECT_TRUE(W->Master().Empty());
}

TEST_F(Import, TextFileEncodings) {
    // UTF-8 with a byte-order mark: the mark is not part of the first URL.
    ImportText("\xEF\xBB\xBFhttp://site.test/\xD0\xB6\n");
    EXPECT_EQ(Urls(), QStringList({QString::fromUtf8("http://site.test/\xD0\xB6")}));
    // Not UTF-8: the code page of the interface language (Cyrillic here).
    ImportText("http://site.test/\xE6\n");
    EXPECT_EQ(Urls(), QStringList({QString::fromUtf8("http://site.test/\xD0\xB6")}));
}

class SitemapImport : public TWindowTest {
  protected:
    void Import(const QByteArray& xml) {
        NextFile = WriteFile("map.xml", xml);
        G->btImportURLs4XMLClick();
    }
};

TEST_F(SitemapImport, DefaultNamespaceAndProgress) {
    Import(
        "<?xml version=\"1.0\"?>\n"
        "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n"
        "  <url><loc>http://a/</loc></url>\n"
        "  <!-- a comment counts -->\n"
        "  <url><lastmod>2024-01-01</lastmod></url>\n"
        "  <url><loc></loc></url>\n"
        "  <url><loc>http://b/</loc></url>\n"
        "</urlset>\n");
    EXPECT_EQ(Urls(), QStringList({"http://a/", "http://b/"}));
    EXPECT_EQ(W->Ui().pbProgress->maximum(), 5);
    EXPECT_EQ(W->Ui().pbProgress->value(), 3);
    EXPECT_FALSE(W->Ui().pProgress->isVisible());
    EXPECT_EQ(LastLog(), "Данные загружены. Добавлено: 2");
    ASSERT_GE(Asked.size(), 3);
    EXPECT_EQ(Asked[0], "Укажите файл sitemap.xml для импорта URL");
    EXPECT_EQ(Asked[2], "Файлы sitemap.xml (*.xml);;Все файлы (*)");
}

TEST_F(SitemapImport, PrefixedSitemapIsRead) {
    Import(
        "<s:urlset xmlns:s=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"
        "<s:url><s:loc>http://a/</s:loc></s:url></s:urlset>");
    EXPECT_EQ(Urls(), QStringList({"http://a/"}));
    EXPECT_EQ(LastLog(), "Данные загружены. Добавлено: 1");
}

TEST_F(SitemapImport, BadFilesKeepListAndResults) {
    ImportText("http://keep/\n");
    SetResult(W->Master()[0], msDesktop, trOK, "70");
    struct Case {
        QByteArray xml;
        const char* message;
    } cases[] = {
        {"<urlset><url><loc>http://a/</loc></url>", "Ошибка при разборе файла: "},
        {"<feed><url><loc>http://a/</loc></url></feed>",
         "Файл данных имеет неприемлимый формат (нет тега \"urlset\")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Boxes.clear();
        Import(c.xml);
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].Icon, QMessageBox::Warning);
        EXPECT_TRUE(Boxes[0].Text.startsWith(QString::fromUtf8(c.message)));
        EXPECT_EQ(Urls(), QStringList({"http://keep/"}));
        EXPECT_EQ(Column(msDesktop, 3), QStringList({"70"}));
        EXPECT_EQ(Caption(), " Список URL (1) ");
    }
    // The parse error carries the reader's own words after the fixed text.
    Boxes.clear();
    Import("<urlset>");
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_GT(Boxes[0].Text.size(), QString("Ошибка при разборе файла: ").size());
}

TEST_F(SitemapImport, FiftyThousandEntriesStopAtTheLimit) {
    QByteArray xml = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (int i = 0; i < 50000; ++i)
        xml += "<url><loc>http://site.test/p" + QByteArray::number(i) + "</loc></url>\n";
    xml += "</urlset>\n";
    Import(xml);
    EXPECT_EQ(W->Master().Count(), 10000u);
    EXPECT_EQ(W->Ui().pbProgress->maximum(), 50000);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Ограничение: не более 10 000 URL, не добавлено: 40000");
    EXPECT_EQ(Caption(), " Список URL (10000) ");
    EXPECT_EQ(LastLog(), "Данные загружены. Добавлено: 10000; пропущено — сверх лимита: 40000");
}

}  // namespace
}  // namespace velmora::app::test
