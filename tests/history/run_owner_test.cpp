// Who records a run: a resume or a prune never takes a run another live process records, and
// takes it once that process is gone.
#include "history/run_owner.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <sstream>

#include "history/history_store.h"

namespace velmora::history {
namespace {

namespace fs = std::filesystem;

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

TEST(RunOwner, ResumeAndPruneLeaveARunAnotherProcessRecords) {
    const fs::path dir = fs::temp_directory_path() / ("velmora-owner-" + std::to_string(getpid()));
    fs::remove_all(dir);
    const std::string path = (dir / "history.sqlite").string();
    TResult<TOpenedHistory> h = OpenSqliteHistory(path);
    ASSERT_TRUE(h) << h.Error();
    IHistoryStore& store = *h->Store;
    TRunRecord older, run;
    ASSERT_TRUE(store.BeginRun(older, {"https://a/"}));
    ASSERT_TRUE(store.FinishRun(older.Id, TRunState::rsAborted));
    ASSERT_TRUE(store.BeginRun(run, {"https://a/", "https://b/"}));

    // The newest run passes to a live child, as if that process had begun it.
    TChild child;
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    const std::string claim = "UPDATE runs SET owner = '" + ProcessOwner(child.Pid()) +
                              "' WHERE id = " + std::to_string(run.Id);
    ASSERT_EQ(sqlite3_exec(db, claim.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    // The older aborted run is the one to resume; the live one is neither reopened nor pruned.
    TResult<std::optional<int64_t>> last = store.LastResumableRun();
    ASSERT_TRUE(last) << last.Error();
    EXPECT_EQ(last->value_or(0), older.Id);
    TResult<> reopened = store.ReopenRun(run.Id);
    EXPECT_EQ(HistoryErrorOf(reopened), THistoryError::InUse);
    EXPECT_NE(reopened.Error().find("pid " + std::to_string(child.Pid())), std::string::npos)
        << reopened.Error();
    ASSERT_TRUE(store.DeleteRun(older.Id));
    TResult<std::optional<int64_t>> none = store.LastResumableRun();
    EXPECT_EQ(HistoryErrorOf(none), THistoryError::InUse) << none.Error();
    TRunRecord newest;
    ASSERT_TRUE(store.BeginRun(newest, {"https://c/"}));
    ASSERT_TRUE(store.FinishRun(newest.Id, TRunState::rsCompleted));
    TResult<int> pruned = store.KeepNewest(1);
    ASSERT_TRUE(pruned);
    EXPECT_EQ(*pruned, 0);

    // Once the child is gone its run is free to resume, and resuming takes it.
    child.Kill();
    last = store.LastResumableRun();
    ASSERT_TRUE(last) << last.Error();
    EXPECT_FALSE(last->has_value());  // the newest run is the completed one
    EXPECT_TRUE(store.ReopenRun(run.Id));
    ASSERT_TRUE(store.FinishRun(run.Id, TRunState::rsAborted));
    EXPECT_EQ(*store.KeepNewest(1), 1);  // nobody records it: old runs may go now
    h->Store.reset();
    fs::remove_all(dir);
}

}  // namespace
}  // namespace velmora::history
