#include "app/news_browser.h"

#include <QCoreApplication>
#include <QPointer>
#include <QStringDecoder>
#include <QThreadPool>

#include "app/translate.h"
#include "http/curl.h"

namespace velmora::app {
namespace {

constexpr long kConnectTimeoutMs = 5000;
constexpr long kTotalTimeoutMs = 10000;
constexpr int kCurlOptFailOnError = 45;  // CURLOPT_FAILONERROR: a 404 is no news page
constexpr long kMaxRedirects = 5;
constexpr qsizetype kMaxPageBytes = 2 * 1024 * 1024;

QString DecodePage(const QByteArray& body) {
    auto encoding = QStringConverter::encodingForHtml(body);
    QStringDecoder decoder(encoding.value_or(QStringConverter::Utf8));
    QString text = decoder(body);
    return text;
}

}  // namespace

QString NewsFailureReason(int curlCode, const QString& curlText) {
    // The reasons a user can act on get their own words; the rest keep libcurl's English.
    switch (curlCode) {
        case http::kHttpReturnedErrorCode:
            return TrQ("(сервер ответил ошибкой)");
        case http::kCouldNotResolveHostCode:
            return TrQ("(адрес сервера не найден)");
        case http::kCouldNotConnectCode:
            return TrQ("(нет соединения с сервером)");
        case http::kTimedOutCode:
            return TrQ("(сервер не ответил вовремя)");
        default:
            return QStringLiteral("(%1)").arg(curlText);
    }
}

TNewsBrowser::TNewsBrowser(QWidget* parent) : QTextBrowser(parent) {
    setObjectName(QStringLiteral("wbNews"));
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &TNewsBrowser::OnAnchorClicked);
}

TNewsBrowser::~TNewsBrowser() {
    if (FFetch) FFetch->Cancelled = true;
}

void TNewsBrowser::Load(const QUrl& url) {
    if (FFetch) FFetch->Cancelled = true;
    FFetch = std::make_shared<TFetch>();
    FUrl = url;
    FLoading = true;
    auto fetch = FFetch;
    QPointer<TNewsBrowser> self(this);
    const std::string address = url.toString(QUrl::FullyEncoded).toStdString();
    // The global pool is waited for when the application ends; the abort predicate keeps that
    // wait short.
    QThreadPool::globalInstance()->start([fetch, self, url, address] {
        bool ok = false;
        QByteArray body;
        QString error;
        try {
            auto client = http::NewCurlClient();
            client->SetUserAgent("Velmora news")
                .SetTimeouts(kConnectTimeoutMs, kTotalTimeoutMs)
                .SetOpt(kCurlOptFailOnError, 1)
                .FollowRedirects(kMaxRedirects)
                .SetAbortPredicate([fetch] { return fetch->Cancelled.load(); })
                .SwitchRecvToString()
                .SetUrl(*http::NewGetBuilder(address))
                .Perform();
            const std::string& bytes = client->ResponseBody();
            body =
                QByteArray(bytes.data(),
                           static_cast<qsizetype>(std::min<size_t>(bytes.size(), kMaxPageBytes)));
            ok = true;
        } catch (const http::ECurlError& e) {
            error = NewsFailureReason(e.Code, QString::fromUtf8(e.what()));
        } catch (const std::exception& e) {
            error = QStringLiteral("(%1)").arg(QString::fromUtf8(e.what()));
        }
        if (fetch->Cancelled) return;
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;
        QMetaObject::invokeMethod(
            app,
            [fetch, self, url, ok, body, error] {
                if (!self || fetch->Cancelled) return;
                self->Show(url, ok, body, error);
            },
            Qt::QueuedConnection);
    });
}

void TNewsBrowser::Show(const QUrl& url, bool ok, const QByteArray& body, const QString& error) {
    FLoading = false;
    FFetch.reset();
    if (ok) {
        document()->setBaseUrl(url);
        setHtml(DecodePage(body));
    } else {
        // The page is outside content; when it cannot be had a short note takes its place.
        // One line: the note, then the reason.
        setHtml(
            QStringLiteral("<p style=\"color:#707070\">%1</p>")
                .arg(
                    (TrQ("Новости сейчас недоступны") + QLatin1Char(' ') + error).toHtmlEscaped()));
    }
    Q_EMIT LoadFinished(ok);
}

void TNewsBrowser::OnAnchorClicked(const QUrl& link) {
    QUrl target = FUrl.resolved(link);
    if (target.scheme() != QLatin1String("http") && target.scheme() != QLatin1String("https"))
        return;
    Load(target);
}

}  // namespace velmora::app
