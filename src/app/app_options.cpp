#include "app/app_options.h"

namespace velmora::app {

bool ParseAppOptions(const QStringList& args, TAppOptions& options, QString* error) {
    auto valueOf = [&](int& i, const QString& name, QString& out) {
        if (i + 1 >= args.size()) {
            *error = QStringLiteral("Option %1 needs a value").arg(name);
            return false;
        }
        out = args[++i];
        return true;
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == "--endpoint") {
            if (!valueOf(i, a, options.Endpoint)) return false;
        } else if (a == "--news-url") {
            if (!valueOf(i, a, options.NewsBaseUrl)) return false;
        } else if (a == "--urls") {
            if (!valueOf(i, a, options.UrlsFile)) return false;
        } else if (a == "--demo") {
            options.Demo = true;
        } else if (a == "--run") {
            options.AutoRun = true;
        } else if (a == "--screenshot") {
            if (!valueOf(i, a, options.ScreenshotFile)) return false;
        } else if (a == "--screenshot-page") {
            if (!valueOf(i, a, options.ScreenshotPage)) return false;
            if (options.ScreenshotPage != "urls" && options.ScreenshotPage != "params" &&
                options.ScreenshotPage != "advice") {
                *error =
                    QStringLiteral("--screenshot-page takes \"urls\", \"params\" or \"advice\"");
                return false;
            }
        } else if (a == "--lang") {
            if (!valueOf(i, a, options.LangOverride)) return false;
        } else if (a == "--screenshot-delay") {
            QString v;
            if (!valueOf(i, a, v)) return false;
            bool ok = false;
            options.ScreenshotDelayMs = v.toInt(&ok);
            if (!ok || options.ScreenshotDelayMs < 0) {
                *error = QStringLiteral("--screenshot-delay takes milliseconds, not \"%1\"").arg(v);
                return false;
            }
        } else {
            *error = QStringLiteral("Unknown option \"%1\"\n\n%2").arg(a, AppOptionsUsage());
            return false;
        }
    }
    return true;
}

QStringList DefaultCatalogueDirs(const QString& appDir) {
    return {appDir + "locale", QStringLiteral(VELMORA_INSTALLED_LOCALEDIR)};
}

QString AppOptionsUsage() {
    return QStringLiteral(
        "Usage: velmora [options]\n"
        "  --endpoint URL          ask this PageSpeed host instead of the service\n"
        "  --demo                  start a local simulator and ask it\n"
        "  --urls FILE             load a text file of URLs at start-up\n"
        "  --news-url URL          base address of the news page\n"
        "  --run                   start checking the loaded URLs at once\n"
        "  --screenshot FILE       save the window as PNG and quit\n"
        "  --screenshot-delay MS   wait this long before the shot (default 1500)\n"
        "  --screenshot-page P     \"urls\", \"params\" or \"advice\" (a failed row's, after "
        "--run)\n"
        "  --lang CODE             interface language of this session (not stored)\n"
        "  --help                  show this text and exit\n"
        "  --version               show the version and exit");
}

QString AppVersionText() {
    return QStringLiteral("Velmora %1.%2.%3.%4")
        .arg(VELMORA_VERSION_MAJOR)
        .arg(VELMORA_VERSION_MINOR)
        .arg(VELMORA_VERSION_PATCH)
        .arg(VELMORA_VERSION_TWEAK + 0);
}

std::optional<QString> InfoOptionAnswer(const QStringList& args) {
    for (const QString& a : args) {
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) return AppOptionsUsage();
        if (a == QLatin1String("--version")) return AppVersionText();
    }
    return std::nullopt;
}

}  // namespace velmora::app
