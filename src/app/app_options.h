// What the desktop program is told at start: where it lives and the command-line options.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace velmora::app {

struct TAppOptions {
    QString AppDir;        // ends with "/"; the settings file and catalogues are found from here
    QString SettingsPath;  // empty: derived from AppDir
    QString HistoryPath;   // run history file; empty: the settings file's "history", else default
    QStringList CatalogueDirs;  // searched in order for locale/<code>/LC_MESSAGES/Velmora.mo
    QString Endpoint;           // empty: the settings file's "endpoint", else the service
    QString NewsBaseUrl;        // empty: the publisher's site for the language
    QString UrlsFile;           // a text file of URLs loaded at start-up
    bool Demo = false;
    QString ScreenshotFile;
    int ScreenshotDelayMs = 1500;
    QString ScreenshotPage;  // "urls", "params", "advice" or "crawl"
    QString ScreenshotCrawlUrl;
    QString LangOverride;  // forces the interface language for the shot
    bool AutoRun = false;  // starts a check once the window is up
};

// Parses the command line (argv[0] excluded). On a bad option returns false and sets *error.
bool ParseAppOptions(const QStringList& args, TAppOptions& options, QString* error);

// The catalogue folders for an executable in appDir: its own "locale" first, then the
// installed one.
QStringList DefaultCatalogueDirs(const QString& appDir);

QString AppOptionsUsage();
// "Velmora <version>".
QString AppVersionText();

// The answer to --help (-h) or --version when args hold one of them, else nothing. Needs no
// application object, so it works without a display.
std::optional<QString> InfoOptionAnswer(const QStringList& args);

}  // namespace velmora::app
