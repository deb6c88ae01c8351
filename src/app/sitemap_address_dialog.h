// "Import URLs from a sitemap at an address": the address, a progress bar and Cancel; the
// files are downloaded on a thread of their own so the window stays responsive.
#pragma once

#include <QDialog>
#include <atomic>
#include <optional>
#include <thread>

#include "io/sitemap_fetch.h"

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QProgressBar;

namespace velmora::app {

class TSitemapAddressDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TSitemapAddressDialog(QWidget* parent);
    ~TSitemapAddressDialog() override;

    // After Accepted: what the files gave.
    const io::TSitemapLoad& Loaded() const { return *FLoaded; }

    QLineEdit* edSitemapAddress = nullptr;
    QProgressBar* pbSitemap = nullptr;
    QLabel* lbSitemapError = nullptr;
    QDialogButtonBox* pButtons = nullptr;

    void reject() override;

  private:
    void StartLoad();
    void Finish(TResult<io::TSitemapLoad> result);
    void StopLoad();

    std::thread FLoader;
    std::atomic<bool> FAbort{false};
    bool FLoading = false;
    std::optional<io::TSitemapLoad> FLoaded;
};

}  // namespace velmora::app
