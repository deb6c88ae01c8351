// Who records a run: a live owner told from one that is gone, whose pid may be another
// program's now.
#include "history/run_owner.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <sstream>

namespace velmora::history {
namespace {

// A child that just waits to be killed: a live process that is not this one.
class TChild {
  public:
    TChild() : FPid(fork()) {
        if (FPid == 0) {
            pause();
            _exit(0);
        }
    }
    ~TChild() { Kill(); }
    long Pid() const { return FPid; }
    void Kill() {
        if (FPid <= 0) return;
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
        FPid = -1;
    }

  private:
    pid_t FPid;
};

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
