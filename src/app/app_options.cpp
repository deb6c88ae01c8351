#include "app/app_options.h"

namespace velmora::app {
namespace {

constexpr const char* kScreenshotPages[] = {"urls",   "params",      "advice", "advice-first",
                                            "across", "across-grid", "crawl",  nullptr};

// One command-line option. Exactly one of Flag, Text, Milliseconds and Answer says what it
// does; Choices narrows Text.
struct TAppOption {
    const char* Name;
    const char* Alias = nullptr;  // also accepted; not listed in the usage
    const char* Value = nullptr;  // the value's name in the usage; nullptr: the option takes none
    // "{default}" stands for the default of Milliseconds, "{choices}" for the Choices.
    const char* Help = "";
    bool TAppOptions::*Flag = nullptr;
    QString TAppOptions::*Text = nullptr;
    const char* const* Choices = nullptr;  // the values Text accepts, nullptr-terminated
    int TAppOptions::*Milliseconds = nullptr;
    // Answered before the window starts (InfoOptionAnswer); parsing passes over it.
    QString (*Answer)() = nullptr;
};

const TAppOption kOptions[] = {
    {.Name = "--endpoint",
     .Value = "URL",
     .Help = "ask this PageSpeed host instead of the service",
     .Text = &TAppOptions::Endpoint},
    {.Name = "--demo", .Help = "start a local simulator and ask it", .Flag = &TAppOptions::Demo},
    {.Name = "--urls",
     .Value = "FILE",
     .Help = "load a text file of URLs at start-up",
     .Text = &TAppOptions::UrlsFile},
    {.Name = "--news-url",
     .Value = "URL",
     .Help = "base address of the news page",
     .Text = &TAppOptions::NewsBaseUrl},
    {.Name = "--run",
     .Help = "start checking the loaded URLs at once",
     .Flag = &TAppOptions::AutoRun},
    {.Name = "--screenshot",
     .Value = "FILE",
     .Help = "save the window as PNG and quit",
     .Text = &TAppOptions::ScreenshotFile},
    {.Name = "--screenshot-delay",
     .Value = "MS",
     .Help = "wait this long before the shot (default {default})",
     .Milliseconds = &TAppOptions::ScreenshotDelayMs},
    {.Name = "--screenshot-page",
     .Value = "P",
     .Help = "{choices} (advice: a failed row's, advice-first: the first row's; across: its "
             "first audit chosen, across-grid: the grid that limits; after --run)",
     .Text = &TAppOptions::ScreenshotPage,
     .Choices = kScreenshotPages},
    {.Name = "--screenshot-crawl",
     .Value = "URL",
     .Help = "the site the crawl dialog of --screenshot-page crawl crawls",
     .Text = &TAppOptions::ScreenshotCrawlUrl},
    {.Name = "--lang",
     .Value = "CODE",
     .Help = "interface language of this session (not stored)",
     .Text = &TAppOptions::LangOverride},
    {.Name = "--help", .Alias = "-h", .Help = "show this text and exit", .Answer = AppOptionsUsage},
    {.Name = "--version", .Help = "show the version and exit", .Answer = AppVersionText},
};

const TAppOption* FindOption(const QString& arg) {
    for (const TAppOption& option : kOptions)
        if (arg == QLatin1String(option.Name) ||
            (option.Alias && arg == QLatin1String(option.Alias)))
            return &option;
    return nullptr;
}

// "\"a\", \"b\" or \"c\"".
QString ChoiceList(const char* const* choices) {
    QString text;
    for (const char* const* c = choices; *c; ++c) {
        if (c != choices) text += c[1] ? QStringLiteral(", ") : QStringLiteral(" or ");
        text += QLatin1Char('"') + QLatin1String(*c) + QLatin1Char('"');
    }
    return text;
}

// Stores value for option; false with *error set when the option refuses it.
bool TakeValue(const TAppOption& option, const QString& value, TAppOptions& options,
               QString* error) {
    if (option.Milliseconds) {
        bool ok = false;
        const int ms = value.toInt(&ok);
        if (!ok || ms < 0) {
            *error = QStringLiteral("%1 takes milliseconds, not \"%2\"")
                         .arg(QLatin1String(option.Name), value);
            return false;
        }
        options.*option.Milliseconds = ms;
        return true;
    }
    options.*option.Text = value;
    if (!option.Choices) return true;
    for (const char* const* c = option.Choices; *c; ++c)
        if (value == QLatin1String(*c)) return true;
    *error =
        QStringLiteral("%1 takes %2").arg(QLatin1String(option.Name), ChoiceList(option.Choices));
    return false;
}

}  // namespace

bool ParseAppOptions(const QStringList& args, TAppOptions& options, QString* error) {
    for (int i = 0; i < args.size(); ++i) {
        const TAppOption* option = FindOption(args[i]);
        if (!option) {
            *error = QStringLiteral("Unknown option \"%1\"\n\n%2").arg(args[i], AppOptionsUsage());
            return false;
        }
        if (!option->Value) {
            if (option->Flag) options.*option->Flag = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            *error = QStringLiteral("Option %1 needs a value").arg(args[i]);
            return false;
        }
        if (!TakeValue(*option, args[++i], options, error)) return false;
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
    constexpr int kNameWidth = 24;
    QString text = QStringLiteral("Usage: velmora [options]");
    for (const TAppOption& option : kOptions) {
        QString name = QLatin1String(option.Name);
        if (option.Value) name += QLatin1Char(' ') + QLatin1String(option.Value);
        QString help = QLatin1String(option.Help);
        if (option.Milliseconds)
            help.replace(QLatin1String("{default}"),
                         QString::number(TAppOptions().*option.Milliseconds));
        if (option.Choices) help.replace(QLatin1String("{choices}"), ChoiceList(option.Choices));
        text += QStringLiteral("\n  ") + name.leftJustified(kNameWidth) + help;
    }
    return text;
}

QString AppVersionText() {
    return QStringLiteral("Velmora %1.%2.%3.%4")
        .arg(VELMORA_VERSION_MAJOR)
        .arg(VELMORA_VERSION_MINOR)
        .arg(VELMORA_VERSION_PATCH)
        .arg(VELMORA_VERSION_TWEAK + 0);
}

std::optional<QString> InfoOptionAnswer(const QStringList& args) {
    for (const QString& a : args)
        if (const TAppOption* option = FindOption(a); option && option->Answer)
            return option->Answer();
    return std::nullopt;
}

}  // namespace velmora::app
