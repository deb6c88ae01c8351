// Folders the widget tests read from and write to, fixed when the tests are built.
#pragma once

#include <QString>

namespace velmora::test {

// The compiled message catalogues of the build tree.
QString LocaleDir();
// The answers and files the tests read.
QString DataDir();
// Where the tests save screenshots for a person to look at.
QString ScreenshotDir();

}  // namespace velmora::test
