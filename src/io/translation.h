// GNU gettext behind the engine's translation hook, shared by both front ends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora::i18n {

inline constexpr const char* kTextDomain = "Velmora";

// Binds the text domain to the first folder that holds a catalogue of it (a folder laid out as
// <dir>/<code>/LC_MESSAGES/Velmora.mo), and installs Translate as the engine's hook.
// Returns the folder bound, or empty when none has a catalogue.
std::string InitTranslation(const std::vector<std::string>& catalogueDirs);

// Makes lookups answer in this language from now on (main thread, never during a run).
void UseLanguage(const std::string& code);

// The translation of msgid in the language in force; callable from any thread.
std::string Translate(const char* msgid);

// The language code of the locale the environment names (LC_ALL, LC_MESSAGES, LANG: the first
// one set), e.g. "ru" for "ru_RU.UTF-8"; empty when none is set.
std::string SystemLanguageCode();

// Row of AppLangTable for the interface: the one whose code is wanted (ASCII case ignored),
// else the first whose SystemCode is systemCode, else the catch-all row (empty SystemCode).
size_t InterfaceLanguageRow(std::string_view wanted, std::string_view systemCode);

}  // namespace velmora::i18n
