#include "io/translation.h"

#include <libintl.h>
#include <sys/stat.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include "base/text.h"
#include "base/translate.h"
#include "engine/metrica.h"

extern "C" int _nl_msg_cat_cntr;  // glibc: bumping it drops gettext's cached lookups

namespace velmora::i18n {
namespace {

bool HasCatalogue(const std::string& dir) {
    for (const char* code : {"en", "ru"}) {
        std::string path = dir + "/" + code + "/LC_MESSAGES/" + kTextDomain + ".mo";
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) return true;
    }
    return false;
}

std::string TranslateHook(const char* msgid) {
    return Translate(msgid);
}

}  // namespace

std::string InitTranslation(const std::vector<std::string>& catalogueDirs) {
    // glibc ignores LANGUAGE while the message locale is "C"; any UTF-8 locale will do.
    const char* current = std::setlocale(LC_MESSAGES, "");
    if (!current || std::strcmp(current, "C") == 0 || std::strcmp(current, "POSIX") == 0)
        std::setlocale(LC_MESSAGES, "C.UTF-8");
    std::string bound;
    for (const auto& dir : catalogueDirs) {
        if (HasCatalogue(dir)) {
            bound = dir;
            break;
        }
    }
    if (!bound.empty()) bindtextdomain(kTextDomain, bound.c_str());
    bind_textdomain_codeset(kTextDomain, "UTF-8");
    textdomain(kTextDomain);
    SetTranslator(&TranslateHook);
    return bound;
}

void UseLanguage(const std::string& code) {
    ::setenv("LANGUAGE", code.c_str(), 1);
    ++_nl_msg_cat_cntr;
}

std::string Translate(const char* msgid) {
    if (!msgid || !*msgid) return std::string();  // "" would return the catalogue header
    return dgettext(kTextDomain, msgid);
}

std::string SystemLanguageCode() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (!v || !*v) continue;
        // language[_territory][.codeset][@modifier]
        const std::string_view name(v);
        return std::string(name.substr(0, name.find_first_of("_.@")));
    }
    return std::string();
}

size_t InterfaceLanguageRow(std::string_view wanted, std::string_view systemCode) {
    const std::string code = AsciiLower(wanted);
    for (size_t i = 0; i < AppLangTable.size(); ++i)
        if (!code.empty() && AppLangTable[i].Code == code) return i;
    for (size_t i = 0; i < AppLangTable.size(); ++i) {
        const std::string_view rowCode = AppLangTable[i].SystemCode;
        if (rowCode.empty() || rowCode == systemCode) return i;
    }
    return AppLangTable.size() - 1;
}

}  // namespace velmora::i18n
