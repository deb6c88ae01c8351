// CSV export of the grid that is shown.
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QStatusBar>

#include "io/codepage.h"
#include "support/window_fixture.h"

namespace velmora::app::test {
namespace {

class Export : public TWindowTest {
  protected:
    void Fill() {
        NextFile = WriteFile("in.txt", "http://a/\nhttp://b/x;y\n");
        G->btImportURLs4TXTClick();
        SetResult(W->Master()[0], msDesktop, trOK, "45", "1,2\xC2\xA0s", 1);
        SetResult(W->Master()[0], msMobile, trOK, "30");
        SetResult(W->Master()[1], msDesktop, trOK, "100", "850\xC2\xA0ms");
        SetResult(W->Master()[1], msMobile, trSendError, "");
    }
    QByteArray ExportShown() {
        NextFile = Dir.filePath("out.csv");
        QFile::remove(NextFile);
        Asked.clear();
        G->btExportClick();
        QFile f(NextFile);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QByteArray Cp(const char* utf8, const char* codepage) {
        return QByteArray::fromStdString(io::Utf8ToCodePage(utf8, codepage));
    }
};

TEST_F(Export, DesktopInDisplayOrderExactBytes) {
    Fill();
    Model(msDesktop)->SortRows(3, Qt::DescendingOrder);
    const QByteArray bytes = ExportShown();
    EXPECT_TRUE(bytes.startsWith("\xB9;URL;"));
    EXPECT_EQ(bytes,
              Cp("№;URL;Ошибка;Score;Инфо;FCP;SI;LCP;TTI;TBT;CLS;HTML;CSS;JS;Images;Fonts;TOTAL;"
                 "CWV;LCP p75;INP p75;CLS p75;Полевые данные\r\n"
                 "2;\"http://b/x;y\";;100;;;;850\xC2\xA0ms;;;;;;;;;;;;;;нет\r\n"
                 "1;http://a/;;45;;;;1,2\xC2\xA0s;;;;;;;;;;;;;;нет\r\n",
                 "WINDOWS-1251"));
    ASSERT_EQ(Asked.size(), 3);
    EXPECT_EQ(Asked[0], "Укажите файл для экспорта");
    EXPECT_EQ(Asked[1], QDir::homePath() + "/velmora_desktop.csv");
    EXPECT_EQ(Asked[2], "CSV - значения, разделенные запятыми (*.csv)");
}

// The status bar tells of the last thing done: an export, not the import before it.
TEST_F(Export, TheStatusBarTellsOfTheExportNotTheImport) {
    Fill();
    ASSERT_TRUE(W->statusBar()->currentMessage().startsWith("Данные загружены"));
    ExportShown();
    EXPECT_EQ(W->statusBar()->currentMessage(), "Экспорт записан: " + NextFile);
}

TEST_F(Export, MobileInEnglishWithMovedColumns) {
    Fill();
    W->Ui().cbAppLang->setCurrentIndex(W->Ui().cbAppLang->findData("en"));
    W->cbAppLangChange();
    W->Ui().pcStrategy->setCurrentIndex(1);
    QHeaderView* h = W->Ui().vtURLsM->horizontalHeader();
    h->moveSection(h->visualIndex(5), 16);
    ASSERT_EQ(h->visualIndex(5), 16);
    const QByteArray bytes = ExportShown();
    EXPECT_EQ(bytes,
              "#;URL;Error;Score;Info;FCP;SI;LCP;TTI;TBT;CLS;HTML;CSS;JS;Images;Fonts;TOTAL;"
              "CWV;LCP p75;INP p75;CLS p75;Field\r\n"
              "1;http://a/;;30;;;;;;;;;;;;;;;;;;none\r\n"
              "2;\"http://b/x;y\";SEND ERROR;;;;;;;;;;;;;;;;;;;\r\n");
    ASSERT_EQ(Asked.size(), 3);
    EXPECT_EQ(Asked[1], QDir::homePath() + "/velmora_mob.csv");
}

TEST_F(Export, UnwritablePathShowsTheErrorBox) {
    Fill();
    NextFile = Dir.filePath("no/such/folder/out.csv");
    G->btExportClick();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Icon, QMessageBox::Critical);
    EXPECT_EQ(Boxes[0].Text, "Невозможно создать файл экспорта!");
    // Cancelled: nothing written, nothing said.
    Boxes.clear();
    NextFile.clear();
    G->btExportClick();
    EXPECT_TRUE(Boxes.empty());
}

// The window's report holds every listed page and the page's own safety rule; a path that
// cannot be written says so and leaves nothing behind.
TEST_F(Export, TheReportHoldsEveryPageOrSaysWhyNot) {
    Fill();
    W->Ui().pcStrategy->setCurrentIndex(1);  // the report holds both strategies whichever shows
    NextFile = Dir.filePath("report.html");
    G->btSaveReportClick();
    QFile f(NextFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray html = f.readAll();
    EXPECT_TRUE(html.contains("Content-Security-Policy"));
    for (const char* url : {"http://a/", "http://b/x;y"}) EXPECT_TRUE(html.contains(url)) << url;
    EXPECT_TRUE(Boxes.empty());

    NextFile = Dir.filePath("no/such/folder/report.html");
    G->btSaveReportClick();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Icon, QMessageBox::Critical);
    EXPECT_FALSE(QFile::exists(NextFile));
}

}  // namespace
}  // namespace velmora::app::test
