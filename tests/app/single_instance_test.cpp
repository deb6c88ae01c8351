// One instance per user: a second holder of the lock is refused while the first lives.
#include "app/single_instance.h"

#include <QTemporaryDir>

#include "support/window_env.h"

namespace velmora::app::test {
namespace {

TEST(SingleInstance, SecondStartIsRefusedUntilTheFirstEnds) {
    QTemporaryDir dir;
    auto first = std::make_unique<TSingleInstance>(dir.path());
    ASSERT_TRUE(first->Acquire());
    EXPECT_TRUE(first->LockPath().endsWith("VELMORA.lock"));
    TSingleInstance second(dir.path());
    EXPECT_FALSE(second.Acquire());
    first.reset();
    EXPECT_TRUE(second.Acquire());
}

}  // namespace
}  // namespace velmora::app::test
