#include "support/test_paths.h"

namespace velmora::test {

QString LocaleDir() {
    return QStringLiteral(VELMORA_TEST_LOCALEDIR);
}

QString DataDir() {
    return QStringLiteral(VELMORA_TEST_DATA);
}

QString ScreenshotDir() {
    return QStringLiteral(VELMORA_UI_SCREENSHOTS);
}

}  // namespace velmora::test
