#include "app/web_links.h"

namespace velmora::app {

QString SiteFor(const QString& langCode) {
    // The code comes from the language table, always lower case; the stored setting may not be.
    return QString::fromLatin1(langCode.compare("ru", Qt::CaseInsensitive) == 0 ? kSiteRussian
                                                                                : kSiteOther);
}

QString WebAddress(const QString& langCode, const char* path) {
    return SiteFor(langCode) + QString::fromLatin1(path);
}

}  // namespace velmora::app
