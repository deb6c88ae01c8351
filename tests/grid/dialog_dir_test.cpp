// Where the file dialogs start: the folder last used for that kind of file (URL lists, exports,
// reports), kept in the settings file, else home; never the program's own folder.
#include <QClipboard>
#include <QDir>

#include "io/settings.h"
#include "support/window_fixture.h"

namespace velmora::app::test {
namespace {

struct TDirCase {
    const char* Name;
    const char* Key;   // the setting that keeps the folder
    const char* File;  // chosen in a folder of its own
    std::function<void(TURLGrids&)> Open;
    std::function<void(TURLGrids&)> OtherKind;
};

class DialogDir : public TWindowTest, public ::testing::WithParamInterface<TDirCase> {
  protected:
    // The folder the dialog proposed (the second thing it was asked with).
    QString Proposed(const std::function<void(TURLGrids&)>& open) {
        Asked.clear();
        NextFile.clear();
        open(*G);
        if (Asked.size() < 2) return "not asked";
        const QFileInfo proposed(Asked[1]);
        return proposed.isDir() ? proposed.absoluteFilePath() : proposed.absolutePath();
    }
};

TEST_P(DialogDir, StartsInTheLastFolderOfItsKindElseHome) {
    QGuiApplication::clipboard()->setText("http://a/");
    G->btInsertURLs4ClipClick();
    SetResult(W->Master()[0], msDesktop, trOK, "50");
    W->UpdateRunButtons();
    EXPECT_EQ(Proposed(GetParam().Open), QDir::homePath());

    ASSERT_TRUE(QDir(Dir.path()).mkpath("chosen"));
    const QString folder = Dir.filePath("chosen");
    Asked.clear();
    NextFile = WriteFile(QString("chosen/") + GetParam().File, "http://b/\n");
    GetParam().Open(*G);
    EXPECT_EQ(Proposed(GetParam().Open), folder);
    EXPECT_EQ(
        QString::fromStdString(io::LoadDialogDir(W->SettingsPath().toStdString(), GetParam().Key)),
        folder)
        << "kept for the next start";
    EXPECT_EQ(Proposed(GetParam().OtherKind), QDir::homePath()) << "each kind its own";
}

const auto kImportTxt = [](TURLGrids& g) { g.btImportURLs4TXTClick(); };
const auto kExport = [](TURLGrids& g) { g.btExportClick(); };

INSTANTIATE_TEST_SUITE_P(
    Kinds, DialogDir,
    ::testing::Values(TDirCase{"TextImport", io::kKeyDirUrls, "urls.txt", kImportTxt, kExport},
                      TDirCase{"XmlImport", io::kKeyDirUrls, "map.xml",
                               [](TURLGrids& g) { g.btImportURLs4XMLClick(); }, kExport},
                      TDirCase{"Export", io::kKeyDirExports, "out.csv", kExport, kImportTxt},
                      TDirCase{"Sheet", io::kKeyDirExports, "sheet.csv",
                               [](TURLGrids& g) { g.btExportSheetClick(); }, kImportTxt},
                      TDirCase{"Report", io::kKeyDirReports, "report.html",
                               [](TURLGrids& g) { g.btSaveReportClick(); }, kExport}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace velmora::app::test
