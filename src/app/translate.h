// The program's translation layer as the window sees it: gettext lookups as QString, the
// marker for design texts, and the language switch (gettext plus Qt's own catalogue).
#pragma once

#include <QString>

#include "engine/metrica.h"

// Marks a design text for the catalogue extractor; the window translator looks it up later.
#define N_(text) text

namespace velmora::app {

// The translation of msgid (UTF-8) in the language in force.
QString TrQ(const char* msgid);
QString TrQ(const QString& msgid);

// A category's name where it is chosen or charted; the performance score's column says only
// "Score", so performance is named in full.
QString CategoryName(TCategory c);

// Makes code ("ru", "en") the language of gettext lookups and of Qt's standard texts.
void UseInterfaceLanguage(const QString& code);

}  // namespace velmora::app
