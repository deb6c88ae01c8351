// Entry of the GoogleTest programs that drive the desktop program's widgets.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/application.h"
#include "http/curl.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    velmora::http::TCurlGlobal curl;
    velmora::app::TVelmoraApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
