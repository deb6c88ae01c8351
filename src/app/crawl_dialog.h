// "Find pages by crawling": the start address, the crawl's limits, a progress bar with the
// pages fetched, queued and found, and Cancel; the crawl runs on a thread of its own so the
// window stays responsive.
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
    std::optional<io::TCrawlResult> FFound;
};

}  // namespace velmora::app
