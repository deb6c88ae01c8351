#include "app/crawl_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/translate.h"
#include "base/translate.h"
#include "http/url.h"
#include "io/sitemap_fetch.h"

namespace velmora::app {
namespace {

constexpr const char* kCaption = N_("Найти страницы обходом сайта…");
constexpr const char* kPrompt = N_("Начальный адрес (https://site/):");
constexpr const char* kMaxPages = N_("Не больше страниц:");
constexpr const char* kMaxDepth = N_("Глубина переходов:");
constexpr const char* kSubdomains = N_("Также поддомены");
constexpr const char* kNotWebAddress = N_("Укажите адрес, начинающийся с http:// или https://");
constexpr const char* kFindButton = N_("Найти");
constexpr const char* kTakeFoundButton = N_("Взять найденные страницы");
// %s: requests made, addresses queued, pages found.
constexpr const char* kProgress = N_("Загружено: %s, в очереди: %s, найдено страниц: %s");

QSpinBox* NewSpin(QWidget* parent, const char* name, int lo, int hi, int value) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(lo, hi);
    spin->setValue(value);
    return spin;
}

}  // namespace

TCrawlDialog::TCrawlDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fmCrawl"));
    setWindowTitle(TrQ(kCaption));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(TrQ(kPrompt), this));
    edCrawlAddress = new QLineEdit(this);
    edCrawlAddress->setObjectName(QStringLiteral("edCrawlAddress"));
    edCrawlAddress->setMinimumWidth(420);
    edCrawlAddress->setPlaceholderText(QStringLiteral("https://"));
    layout->addWidget(edCrawlAddress);
    auto* form = new QFormLayout;
    edMaxPages = NewSpin(this, "edMaxPages", 1, io::kCrawlMaxPagesMax, io::kCrawlMaxPagesDefault);
    edMaxDepth = NewSpin(this, "edMaxDepth", 0, io::kCrawlMaxDepthMax, io::kCrawlMaxDepthDefault);
    form->addRow(TrQ(kMaxPages), edMaxPages);
    form->addRow(TrQ(kMaxDepth), edMaxDepth);
    layout->addLayout(form);
    cbSubdomains = new QCheckBox(TrQ(kSubdomains), this);
    cbSubdomains->setObjectName(QStringLiteral("cbSubdomains"));
    layout->addWidget(cbSubdomains);
    pbCrawl = new QProgressBar(this);
    pbCrawl->setObjectName(QStringLiteral("pbCrawl"));
    pbCrawl->setVisible(false);
    layout->addWidget(pbCrawl);
    lbCrawlProgress = new QLabel(this);
    lbCrawlProgress->setObjectName(QStringLiteral("lbCrawlProgress"));
    lbCrawlProgress->setVisible(false);
    layout->addWidget(lbCrawlProgress);
    lbCrawlError = new QLabel(this);
    lbCrawlError->setObjectName(QStringLiteral("lbCrawlError"));
    lbCrawlError->setWordWrap(true);
    lbCrawlError->setVisible(false);
    layout->addWidget(lbCrawlError);
    // A button of its own: a standard Ok button takes back its own text on a language change.
    pButtons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    pButtons->setObjectName(QStringLiteral("pButtons"));
    btFind = pButtons->addButton(TrQ(kFindButton), QDialogButtonBox::AcceptRole);
    btFind->setObjectName(QStringLiteral("btFind"));
    layout->addWidget(pButtons);
    connect(pButtons, &QDialogButtonBox::accepted, this, &TCrawlDialog::StartCrawl);
    connect(pButtons, &QDialogButtonBox::rejected, this, &TCrawlDialog::reject);
}

TCrawlDialog::~TCrawlDialog() {
    FAbort = true;
    if (FCrawler.joinable()) FCrawler.join();
}

void TCrawlDialog::reject() {
    // Cancel ends the crawl; the dialog closes once the crawler has let go.
    if (FCrawling) {
        FAbort = true;
        return;
    }
    QDialog::reject();
}

void TCrawlDialog::SetInputsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{edCrawlAddress, edMaxPages, edMaxDepth,
                                                      cbSubdomains, btFind})
        w->setEnabled(enabled);
}

void TCrawlDialog::StartCrawl() {
    if (FCrawling) return;
    if (FFound && FFound->timedOut) {  // the pages of a crawl cut by time, taken
        accept();
        return;
    }
    const std::string address = edCrawlAddress->text().trimmed().toStdString();
    if (!io::IsWebAddress(address)) {
        lbCrawlError->setText(TrQ(kNotWebAddress));
        lbCrawlError->setVisible(true);
        return;
    }
    if (FCrawler.joinable()) FCrawler.join();
    FCrawling = true;
    FAbort = false;
    lbCrawlError->setVisible(false);
    SetInputsEnabled(false);
    io::TCrawlOptions options;
    options.maxPages = edMaxPages->value();
    options.maxDepth = edMaxDepth->value();
    options.subdomains = cbSubdomains->isChecked();
    options.hostDelay = FHostDelay;
    options.timeout = FTimeout;
    options.abort = &FAbort;
    pbCrawl->setRange(0, options.maxPages);
    pbCrawl->setValue(0);
    pbCrawl->setVisible(true);
    ShowProgress({});
    lbCrawlProgress->setVisible(true);
    FCrawler = std::thread([this, address, options]() mutable {
        options.progress = [this](const io::TCrawlProgress& p) {
            QMetaObject::invokeMethod(
                this, [this, p] { ShowProgress(p); }, Qt::QueuedConnection);
        };
        TResult<io::TCrawlResult> result = io::CrawlSite(address, options);
        // The dialog outlives the thread (its destructor joins), so the queued call is safe.
        QMetaObject::invokeMethod(
            this, [this, r = std::move(result)]() mutable { Finish(std::move(r)); },
            Qt::QueuedConnection);
    });
}

void TCrawlDialog::ShowProgress(const io::TCrawlProgress& p) {
    pbCrawl->setValue(static_cast<int>(std::min<size_t>(p.found, pbCrawl->maximum())));
    lbCrawlProgress->setText(QString::fromStdString(
        FormatLog(Tr(kProgress),
                  {std::to_string(p.fetched), std::to_string(p.queued), std::to_string(p.found)})));
}

void TCrawlDialog::Finish(TResult<io::TCrawlResult> result) {
    FCrawling = false;
    pbCrawl->setVisible(false);
    lbCrawlProgress->setVisible(false);
    SetInputsEnabled(true);
    if (FAbort) {
        QDialog::reject();
        return;
    }
    if (!result) {
        lbCrawlError->setText(QString::fromStdString(http::WithoutUserInfo(result.Error())));
        lbCrawlError->setVisible(true);
        return;
    }
    FFound = std::move(*result);
    if (!FFound->timedOut || FFound->urls.empty()) {
        accept();
        return;
    }
    // Cut by time: the user sees how much is missing before taking the list.
    const std::vector<std::string> lines = io::CrawlReportLines(*FFound);
    lbCrawlError->setText(QString::fromStdString(lines[lines.size() - 2] + "\n" + lines.back()));
    lbCrawlError->setVisible(true);
    SetInputsEnabled(false);
    btFind->setText(TrQ(kTakeFoundButton));
    btFind->setEnabled(true);
}

}  // namespace velmora::app
