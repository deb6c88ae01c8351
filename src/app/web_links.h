// The publisher's web addresses. The hosts are placeholders until the publisher names its
// real sites; both carry the same paths.
#pragma once

#include <QString>

#include "base/site_paths.h"

namespace velmora::app {

inline constexpr const char* kSiteRussian = "https://velmora.ru";
inline constexpr const char* kSiteOther = "https://velmora.app";

inline constexpr const char* kPathApiKeyArticle = "/articles/pagespeed/";
inline constexpr const char* kPathProgramPage = "/soft/velmora/";

// The site for an interface language: the Russian one for "ru", the other for any other code.
QString SiteFor(const QString& langCode);
// Site plus path.
QString WebAddress(const QString& langCode, const char* path);

}  // namespace velmora::app
