// Import, check against the local simulator, sort, export: the main job in one go. Saves a
// picture of the window when VELMORA_GRID_SHOT names a file.
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

#include "sim/simulator.h"
#include "support/window_fixture.h"

namespace velmora::app::test {
namespace {

class EndToEnd : public TWindowTest {
  public:
    void SetUp() override {}
};

TEST_F(EndToEnd, ImportCheckSortExport) {
    sim::Simulator simulator;
    ASSERT_TRUE(simulator.Start()) << simulator.Error();
    Open("ru", QString::fromStdString(simulator.Endpoint()));
    W->Ui().edAPIKey->setText("test-key");
    W->Ui().edMinReqDelay->setValue(100);
    QGuiApplication::clipboard()->setText(
        "https://shop.example/\nhttps://shop.example/heavy/catalog\nhttps://blog.example/post"
        "\nhttps://shop.example/sim-error500\nhttps://news.example/sim-originfield\n");
    G->btInsertURLs4ClipClick();
    ASSERT_EQ(W->Master().Count(), 5u);
    W->Ui().btRunRequests->click();
    ASSERT_TRUE(WaitFor([&] { return !W->Running(); }, 60000));
    EXPECT_TRUE(W->Ui().btExport->isEnabled());

    QTest::mouseClick(
        W->Ui().vtURLsD->horizontalHeader()->viewport(), Qt::LeftButton, {},
        QPoint(W->Ui().vtURLsD->horizontalHeader()->sectionViewportPosition(3) + 5, 5));
    // Ascending by score: rising numbers, the failed URL (no score) last.
    const QStringList scores = Column(msDesktop, 3);
    ASSERT_EQ(scores.size(), 5);
    EXPECT_EQ(scores[4], "");
    for (int i = 1; i < 4; ++i) EXPECT_LE(scores[i - 1].toInt(), scores[i].toInt());
    EXPECT_EQ(Column(msDesktop, 2)[4], "500");
    W->Ui().vtURLsD->selectRow(1);

    NextFile = Dir.filePath("out.csv");
    G->btExportClick();
    QFile f(NextFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count("\r\n"), 6);

    // Real users' data where the simulator has some: the heavy page's own, the origin's.
    QStringList fields = Column(msDesktop, gcField);
    QStringList expected{"", "нет", "источник", "нет", "страница"};
    fields.sort();
    expected.sort();
    EXPECT_EQ(fields, expected);
    W->Ui().vtURLsD->scrollTo(W->Ui().vtURLsD->model()->index(1, gcField));

    const QByteArray shot = qgetenv("VELMORA_GRID_SHOT");
    const QPixmap picture = W->grab();
    EXPECT_FALSE(picture.isNull());
    if (!shot.isEmpty()) picture.save(QString::fromLocal8Bit(shot));
    W.reset();
    simulator.Stop();
}

// The window takes its endpoint through the same session as the command line: checked, and a
// key that would travel in clear is named in the log.
TEST_F(EndToEnd, EndpointIsCheckedAndAKeyInClearIsNamed) {
    const struct {
        const char* endpoint;
        bool runs;
        bool warns;
    } cases[] = {
        {"http://127.0.0.1:9", true, false},
        {"https://psi.example.test", true, false},
        {"http://psi.example.test", true, true},
        {"ftp://psi.example.test", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.endpoint);
        Open("en", QString::fromLatin1(c.endpoint));
        QStringList log;
        for (int row = 0; row < W->Ui().lvLog->rowCount(); ++row)
            log << W->Ui().lvLog->item(row, 1)->text();
        const bool warned = log.contains(
            QString("The service address %1 is plain http: the API key travels unencrypted")
                .arg(c.endpoint));
        EXPECT_EQ(warned, c.warns) << log.join('\n').toStdString();
        EXPECT_EQ(W->Session() != nullptr, c.runs);
        QGuiApplication::clipboard()->setText("https://a.example/\n");
        G->btInsertURLs4ClipClick();
        EXPECT_EQ(W->Ui().btRunRequests->isEnabled(), c.runs);
        W.reset();
    }
}

}  // namespace
}  // namespace velmora::app::test
