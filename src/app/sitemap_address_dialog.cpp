#include "app/sitemap_address_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/translate.h"

namespace velmora::app {
namespace {

constexpr const char* kCaption = N_("Импорт URL из sitemap по адресу");
constexpr const char* kPrompt = N_("Адрес sitemap или сайта (https://site/):");
constexpr const char* kNotWebAddress = N_("Укажите адрес, начинающийся с http:// или https://");
constexpr const char* kImportButton = N_("Импорт");

}  // namespace

TSitemapAddressDialog::TSitemapAddressDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fmSitemapAddress"));
    setWindowTitle(TrQ(kCaption));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(TrQ(kPrompt), this));
    edSitemapAddress = new QLineEdit(this);
    edSitemapAddress->setObjectName(QStringLiteral("edSitemapAddress"));
    edSitemapAddress->setMinimumWidth(420);
    edSitemapAddress->setPlaceholderText(QStringLiteral("https://"));
    layout->addWidget(edSitemapAddress);
    pbSitemap = new QProgressBar(this);
    pbSitemap->setObjectName(QStringLiteral("pbSitemap"));
    pbSitemap->setRange(0, 0);
    pbSitemap->setVisible(false);
    layout->addWidget(pbSitemap);
    lbSitemapError = new QLabel(this);
    lbSitemapError->setObjectName(QStringLiteral("lbSitemapError"));
    lbSitemapError->setWordWrap(true);
    lbSitemapError->setVisible(false);
    layout->addWidget(lbSitemapError);
    pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    pButtons->setObjectName(QStringLiteral("pButtons"));
    pButtons->button(QDialogButtonBox::Ok)->setText(TrQ(kImportButton));
    layout->addWidget(pButtons);
    connect(pButtons, &QDialogButtonBox::accepted, this, &TSitemapAddressDialog::StartLoad);
    connect(pButtons, &QDialogButtonBox::rejected, this, &TSitemapAddressDialog::reject);
}

TSitemapAddressDialog::~TSitemapAddressDialog() {
    StopLoad();
}

void TSitemapAddressDialog::StopLoad() {
    FAbort = true;
    if (FLoader.joinable()) FLoader.join();
}

void TSitemapAddressDialog::reject() {
    // Cancel ends the downloads; the dialog closes once the loader has let go.
    if (FLoading) {
        FAbort = true;
        return;
    }
    QDialog::reject();
}

void TSitemapAddressDialog::StartLoad() {
    if (FLoading) return;
    const std::string address = edSitemapAddress->text().trimmed().toStdString();
    if (!io::IsWebAddress(address)) {
        lbSitemapError->setText(TrQ(kNotWebAddress));
        lbSitemapError->setVisible(true);
        return;
    }
    if (FLoader.joinable()) FLoader.join();
    FLoading = true;
    FAbort = false;
    lbSitemapError->setVisible(false);
    edSitemapAddress->setEnabled(false);
    pButtons->button(QDialogButtonBox::Ok)->setEnabled(false);
    pbSitemap->setRange(0, 0);
    pbSitemap->setVisible(true);
    FLoader = std::thread([this, address] {
        io::TSitemapFetchOptions options;
        options.abort = &FAbort;
        options.progress = [this](size_t done, size_t known) {
            QMetaObject::invokeMethod(
                this,
                [this, done, known] {
                    pbSitemap->setRange(0, static_cast<int>(known));
                    pbSitemap->setValue(static_cast<int>(done));
                },
                Qt::QueuedConnection);
        };
        TResult<io::TSitemapLoad> result = io::LoadSitemap(address, options);
        // The dialog outlives the thread (its destructor joins), so the queued call is safe.
        QMetaObject::invokeMethod(
            this, [this, r = std::move(result)]() mutable { Finish(std::move(r)); },
            Qt::QueuedConnection);
    });
}

void TSitemapAddressDialog::Finish(TResult<io::TSitemapLoad> result) {
    FLoading = false;
    pbSitemap->setVisible(false);
    edSitemapAddress->setEnabled(true);
    pButtons->button(QDialogButtonBox::Ok)->setEnabled(true);
    if (FAbort) {
        QDialog::reject();
        return;
    }
    if (!result) {
        lbSitemapError->setText(QString::fromStdString(result.Error()));
        lbSitemapError->setVisible(true);
        return;
    }
    FLoaded = std::move(*result);
    accept();
}

}  // namespace velmora::app
