#include "app/app_options.h"

namespace velmora::app {

namespace {

// One accepted option: its name, whether the next argument is its value, and what it sets.
// Apply gets an empty value for an option without one; false with *error set rejects it.
struct TAppOption {
    const char* Name;
    bool TakesValue;
    bool (*Apply)(TAppOptions& options, const QString& value, QString* error);
};

template <QString TAppOptions::*Field>
bool SetText(TAppOptions& options, const QString& value, QString*) {
    options.*Field = value;
    return true;
}

template <bool TAppOptions::*Field>
bool SetFlag(TAppOptions& options, const QString&, QString*) {
    options.*Field = true;
    return true;
}

bool SetScreenshotPage(TAppOptions& options, const QString& value, QString* error) {
    options.ScreenshotPage = value;
    if (value == "urls" || value == "params" || value == "advice") return true;
    *error = QStringLiteral("--screenshot-page takes \"urls\", \"params\" or \"advice\"");
    return false;
}

bool SetScreenshotDelay(TAppOptions& options, const QString& value, QString* error) {
    bool ok = false;
    options.ScreenshotDelayMs = value.toInt(&ok);
    if (ok && options.ScreenshotDelayMs >= 0) return true;
    *error = QStringLiteral("--screenshot-delay takes milliseconds, not \"%1\"").arg(value);
    return false;
}

constexpr TAppOption kAppOptions[] = {
    {"--endpoint", true, SetText<&TAppOptions::Endpoint>},
    {"--news-url", true, SetText<&TAppOptions::NewsBaseUrl>},
    {"--urls", true, SetText<&TAppOptions::UrlsFile>},
    {"--demo", false, SetFlag<&TAppOptions::Demo>},
    {"--run", false, SetFlag<&TAppOptions::AutoRun>},
    {"--screenshot", true, SetText<&TAppOptions::ScreenshotFile>},
    {"--screenshot-page", true, SetScreenshotPage},
    {"--lang", true, SetText<&TAppOptions::LangOverride>},
    {"--screenshot-delay", true, SetScreenshotDelay},
};

const TAppOption* FindAppOption(const QString& name) {
    for (const TAppOption& o : kAppOptions)
        if (name == QLatin1String(o.Name)) return &o;
    return nullptr;
}

}  // namespace

bool ParseAppOptions(const QStringList& args, TAppOptions& options, QString* error) {
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const TAppOption* option = FindAppOption(a);
        if (!option) {
            *error = QStringLiteral("Unknown option \"%1\"\n\n%2").arg(a, AppOptionsUsage());
            return false;
        }
        QString value;
        if (option->TakesValue) {
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("Option %1 needs a value").arg(a);
                return false;
            }
            value = args[++i];
        }
        if (!option->Apply(options, value, error)) return false;
    }
    return true;
}

QStringList DefaultCatalogueDirs(const QString& appDir) {
    // Beside the program in the build tree, then relative to it wherever it was installed, then
    // where this build installs.
    return {appDir + "locale", appDir + "../share/locale",
            QStringLiteral(VELMORA_INSTALLED_LOCALEDIR)};
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
