// Who records a run: a live owner told from one that is gone, whose pid may be another
// program's now.
#include "history/run_owner.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <sstream>

#include "history/store_test_support.h"

namespace velmora::history {
namespace {

TEST(RunOwner, TellsALiveOwnerFromAGoneOrReusedOne) {
    TChild child;
    const std::string me = ThisProcessOwner(), other = ProcessOwner(child.Pid());
    std::string host, boot, pid, start;
    std::istringstream(me) >> host >> boot >> pid >> start;
    const struct {
        std::string Owner;
        bool Alive;
    } cases[] = {
        {me, true},
        {other, true},
        {"", false},
        {"garbage", false},
        {host + " " + boot + " " + pid + " 1", false},  // the pid now started at another time
        {host + " another-boot " + pid + " " + start, false},  // before a reboot
        {"elsewhere " + boot + " 1 1", true},                  // another host: cannot tell
    };
    for (const auto& c : cases) EXPECT_EQ(OwnerAlive(c.Owner), c.Alive) << c.Owner;
    child.Kill();
    EXPECT_FALSE(OwnerAlive(other));
}

}  // namespace
}  // namespace velmora::history
