// "Find pages by crawling": the start address, the crawl's limits, a progress bar with the
// pages fetched, queued and found, and Cancel; the crawl runs on a thread of its own so the
// window stays responsive. A crawl cut by its deadline stays open with what it found, what was
// still queued and the time the rest needs, until the user takes the pages found or cancels.
#pragma once

#include <QDialog>
#include <atomic>
#include <optional>
#include <thread>

#include "io/crawl.h"

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace velmora::app {

class TCrawlDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TCrawlDialog(QWidget* parent);
    ~TCrawlDialog() override;

    // After Accepted: what the crawl found.
    const io::TCrawlResult& Found() const { return *FFound; }
    // For tests and the screenshot: no pacing between requests.
    void SetHostDelay(std::chrono::milliseconds delay) { FHostDelay = delay; }
    // For tests: the crawl's deadline (0: the default for the pages asked).
    void SetTimeout(std::chrono::milliseconds timeout) { FTimeout = timeout; }

    QLineEdit* edCrawlAddress = nullptr;
    QSpinBox* edMaxPages = nullptr;
    QSpinBox* edMaxDepth = nullptr;
    QCheckBox* cbSubdomains = nullptr;
    QProgressBar* pbCrawl = nullptr;
    QLabel* lbCrawlProgress = nullptr;
    QLabel* lbCrawlError = nullptr;
    QDialogButtonBox* pButtons = nullptr;
    QPushButton* btFind = nullptr;

    void reject() override;

  private:
    void StartCrawl();
    void ShowProgress(const io::TCrawlProgress& p);
    void Finish(TResult<io::TCrawlResult> result);
    void SetInputsEnabled(bool enabled);

    std::thread FCrawler;
    std::atomic<bool> FAbort{false};
    bool FCrawling = false;
    std::chrono::milliseconds FHostDelay = io::kDefaultCrawlHostDelay;
    std::chrono::milliseconds FTimeout{0};
    std::optional<io::TCrawlResult> FFound;
};

}  // namespace velmora::app
