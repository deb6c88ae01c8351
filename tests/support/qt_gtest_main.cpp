// Entry of the GoogleTest programs that drive the desktop program's widgets.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/application.h"
#include "http/curl.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The windows under test keep their run history here, never in the user's own.
    char dataHome[] = "/tmp/velmora-test-data-XXXXXX";
    if (::mkdtemp(dataHome)) ::setenv("XDG_DATA_HOME", dataHome, 1);
    velmora::http::TCurlGlobal curl;
    velmora::app::TVelmoraApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(dataHome, ec);
    return status;
}
