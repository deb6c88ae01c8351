// The news pane: shows the publisher's news page, fetched off the main thread through the
// program's own HTTP client; links followed in it open in the pane.
#pragma once

#include <QTextBrowser>
#include <QUrl>
#include <atomic>
#include <memory>

namespace velmora::app {

// The reason after "News is not available right now": translated for the failures a user
// can act on, else libcurl's own text; in brackets either way.
QString NewsFailureReason(int curlCode, const QString& curlText);

class TNewsBrowser : public QTextBrowser {
    Q_OBJECT
  public:
    explicit TNewsBrowser(QWidget* parent = nullptr);
    ~TNewsBrowser() override;

    // Starts loading url; returns at once. A load still running is abandoned.
    void Load(const QUrl& url);
    QUrl CurrentUrl() const { return FUrl; }
    // Whether a load is running.
    bool Loading() const { return FLoading; }

  Q_SIGNALS:
    // A load ended: with the page shown, or with the note in its place.
    void LoadFinished(bool ok);

  private:
    struct TFetch {
        std::atomic<bool> Cancelled{false};
    };
    void Show(const QUrl& url, bool ok, const QByteArray& body, const QString& error);
    void OnAnchorClicked(const QUrl& link);

    QUrl FUrl;
    bool FLoading = false;
    std::shared_ptr<TFetch> FFetch;
};

}  // namespace velmora::app
