// The real question an import asks when the list holds URLs: Add, Replace or Cancel, the
// settings' choice as the default button.
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/url_grids.h"
#include "support/window_env.h"

namespace velmora::app::test {
namespace {

TEST(ImportChoiceDialog, OffersAddReplaceAndCancelWithTheSettingsChoiceAsDefault) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());
    w->resize(1366, 740);
    for (const char* u : {"https://a.example/", "https://b.example/"})
        w->UrlGrids().AddURL(QString::fromLatin1(u));
    QGuiApplication::clipboard()->setText("https://c.example/");
    QStringList buttons;
    QString defaultButton;
    QTimer::singleShot(200, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* b : box->buttons()) buttons << b->text();
        defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
        Shoot(w.get(), "screenshot-import-choice.png");
        box->findChild<QPushButton*>("btImportAdd")->click();
    });
    w->UrlGrids().btInsertURLs4ClipClick();
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{"Add", "Cancel", "Replace"}));
    EXPECT_EQ(defaultButton, "Replace") << "the settings' default";
    EXPECT_EQ(w->Master().Count(), 3u);
    EXPECT_TRUE(w->KeepUrlsOnImport()) << "the answer is the next default";
}

}  // namespace
}  // namespace velmora::app::test
