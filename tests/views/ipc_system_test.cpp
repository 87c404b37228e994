// The link through real System V shared memory and semaphores, with other processes.
// Every test keys its segment on a file of its own, so that test runs side by side never
// meet, and removes the segment and the semaphores when it ends.
#include "core/report.h"
#include "core/store_host.h"
#include "test_helpers.h"
#include "views/ipc.h"
#include "views/link_segment.h"
#include "views/time_box.h"

#include <gtest/gtest.h>

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace vistra {
namespace {

using Clock = std::chrono::steady_clock;

constexpr u64 kBase = 1765000000000ULL;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A child process running `body`; its exit code is body's result. A child that the test
// leaves behind (it failed before waiting for it) is killed, so that none outlives the test
// holding the lock or waiting on a pipe.
class Child {
public:
    explicit Child(const std::function<int()>& body) : pid(fork())
    {
        if (pid == 0)
            _exit(body());
    }
    ~Child()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid > 0; }
    void kill9() const { kill(pid, SIGKILL); }
    // The exit code, or -1 when the child did not exit on its own.
    int exitCode()
    {
        int status = 0;
        const bool reaped = waitpid(pid, &status, 0) == pid;
        pid = -1;
        return reaped && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid;
};

class LinkSystemTest : public testing::Test {
protected:
    void SetUp() override
    {
        // A key file whose segment and semaphore set this test makes itself, exclusively:
        // a key that another run on this machine uses already (keys are made from part of
        // the inode number, so two files can share one) is refused, and the next file is
        // tried. Refused files stay until the end, so that their inodes are not handed out
        // again.
        for (int attempt = 0; attempt < 20 && keyFile.empty(); ++attempt) {
            char name[] = "/tmp/tarnwick-link-key-XXXXXX";
            const int fd = mkstemp(name);
            ASSERT_NE(fd, -1);
            close(fd);
            rejected.push_back(name);
            if (createExclusively(name)) {
                keyFile = name;
                rejected.pop_back();
            }
        }
        ASSERT_FALSE(keyFile.empty());
        ASSERT_EQ(segment.open(keyFile), "");
        ASSERT_EQ(segment.shmId(), ownShm);
        ASSERT_EQ(segment.semId(), ownSem);
        test::drainLog();
    }
    void TearDown() override
    {
        segment.close();
        if (ownShm != -1)
            shmctl(ownShm, IPC_RMID, nullptr);
        if (ownSem != -1)
            semctl(ownSem, 0, IPC_RMID);
        for (const std::string& path : rejected)
            unlink(path.c_str());
        unlink(keyFile.c_str());
        test::drainLog();
    }
    bool createExclusively(const std::string& path)
    {
        const key_t shmKey = ftok(path.c_str(), 'N');
        const key_t semKey = ftok(path.c_str(), 'O');
        if (shmKey == -1 || semKey == -1)
            return false;
        ownShm = shmget(shmKey, sizeof(SharedRecord), IPC_CREAT | IPC_EXCL | 0666);
        if (ownShm == -1)
            return false;
        ownSem = semget(semKey, 2, IPC_CREAT | IPC_EXCL | 0660);
        if (ownSem == -1) {
            shmctl(ownShm, IPC_RMID, nullptr);
            ownShm = -1;
            return false;
        }
        return true;
    }
    // The shared record as another copy would read it.
    SharedRecord published()
    {
        if (!segment.lock())
            return {};
        const SharedRecord seen = *segment.record();
        segment.unlock();
        return seen;
    }
    bool waitFor(const std::function<bool()>& done, double seconds = 5)
    {
        const auto start = Clock::now();
        while (!done()) {
            if (secondsSince(start) > seconds)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    std::string keyFile;
    std::vector<std::string> rejected;
    int ownShm = -1;
    int ownSem = -1;
    LinkSegment segment; // the test's own view, and the ids to remove
};

TEST_F(LinkSystemTest, AForkedCopySeesTheRulersThisCopyPublishes)
{
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    // Forked before this process starts any thread.
    Child child([&] {
        char byte;
        if (read(go[0], &byte, 1) != 1)
            return 10;
        LinkSegment own;
        if (!own.open(keyFile).empty())
            return 11;
        IPC follower; // its clock correction is 1 s later
        follower.enable();
        follower.addTimeOffset(kBase, 6000);
        if (!own.lock())
            return 12;
        const bool taken = follower.exchange(*own.record());
        own.unlock();
        if (!taken)
            return 13;
        return follower.leftRuler() == kBase + 1500 && follower.rightRuler() == kNoTime ? 0 : 14;
    });
    ASSERT_TRUE(child.started());

    IPC ipc;
    ASSERT_EQ(ipc.start(keyFile), "");
    ipc.enable();
    ipc.addTimeOffset(kBase, 5000);
    ipc.setRulers(kBase + 500, kNoTime);
    EXPECT_TRUE(waitFor([&] { return published().left == kBase + 500; }));
    ASSERT_EQ(write(go[1], "g", 1), 1);
    EXPECT_EQ(child.exitCode(), 0);
    ipc.stop();
    close(go[0]);
    close(go[1]);
}

TEST_F(LinkSystemTest, ACopyKilledHoldingTheLockBlocksNobody)
{
    int held[2];
    ASSERT_EQ(pipe(held), 0);
    Child child([&] {
        LinkSegment own;
        if (!own.open(keyFile).empty() || !own.lock())
            return 1;
        if (write(held[1], "h", 1) != 1)
            return 2;
        pause(); // holds the lock until killed
        return 3;
    });
    ASSERT_TRUE(child.started());
    char byte;
    ASSERT_EQ(read(held[0], &byte, 1), 1);

    // While the lock is held: a lock attempt gives up after about a second.
    auto start = Clock::now();
    EXPECT_FALSE(segment.lock());
    const double waited = secondsSince(start);
    EXPECT_GT(waited, 0.9);
    EXPECT_LT(waited, 3.0);

    // ... and a linked copy's own thread never waits for it.
    IPC ipc;
    ASSERT_EQ(ipc.start(keyFile), "");
    ipc.enable();
    ipc.addTimeOffset(kBase, 5000);
    start = Clock::now();
    for (int i = 0; i < 50; ++i) {
        ipc.setRulers(kBase + i, kNoTime);
        ipc.intervalChanged(kBase, kBase + 1000 + i, true);
    }
    EXPECT_LT(secondsSince(start), 0.5);

    child.kill9();
    EXPECT_EQ(child.exitCode(), -1);
    // The kernel took the dead copy's lock back: the change made meanwhile goes out.
    start = Clock::now();
    EXPECT_TRUE(waitFor([&] { return published().left == kBase + 49; }));
    EXPECT_LT(secondsSince(start), 2.5);
    EXPECT_EQ(published().to, kBase + 1049);
    ipc.stop();
    close(held[0]);
    close(held[1]);
}

// Both copies in this process, each with its reader thread: what one publishes reaches the
// other's TimeBox and rulers on this (the GUI) thread, and nothing is sent back.
TEST_F(LinkSystemTest, ARecordReachesTheFollowersGuiThroughItsReaderThread)
{
    StoreHost& host = storeHost();
    host.viewStart = kBase;
    host.viewEnd = kBase + 100000;
    IPC leader, follower;
    for (IPC* ipc : {&leader, &follower})
        ASSERT_EQ(ipc->start(keyFile), "");
    follower.enable();
    leader.addTimeOffset(kBase, 5000);
    follower.addTimeOffset(kBase, 7000); // 2 s later
    int arrivals = 0;
    follower.rulersChanged.connect([&] { ++arrivals; });
    int leaderArrivals = 0;
    leader.rulersChanged.connect([&] { ++leaderArrivals; });

    // Both changes go out in one record, when the leader turns the link on.
    leader.intervalChanged(kBase + 1000, kBase + 9000, true);
    leader.setRulers(kBase + 4000, kNoTime);
    leader.enable();
    EXPECT_TRUE(test::pumpUntil([&] { return arrivals > 0; }));
    EXPECT_EQ(arrivals, 1);
    EXPECT_EQ(timeBox().from, kBase + 3000);
    EXPECT_EQ(timeBox().to, kBase + 11000);
    EXPECT_FALSE(timeBox().origin);
    EXPECT_EQ(follower.leftRuler(), kBase + 6000);
    EXPECT_EQ(follower.rightRuler(), kNoTime);

    // The follower's interval change (origin false) goes nowhere: the leader hears nothing.
    test::pumpUntil([] { return false; }, 200);
    EXPECT_EQ(leaderArrivals, 0);
    EXPECT_EQ(published().from, kBase + 1000);
    leader.stop();
    follower.stop();
    timeBox().reset();
    host.viewStart = kNoTime;
    host.viewEnd = 0;
}

TEST_F(LinkSystemTest, AFailedReleaseIsReported)
{
    ASSERT_TRUE(segment.lock());
    semctl(segment.semId(), 0, IPC_RMID);
    EXPECT_THROW(segment.unlock(), PrintMsgError);
    const std::vector<std::string> log = test::drainLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("release semaphore failed: ", 0), 0u) << log[0];
    EXPECT_FALSE(segment.lock()); // gone: every later access is skipped
}

TEST(LinkSegment, SetUpFailuresSayWhatFailed)
{
    LinkSegment segment;
    const std::string text = segment.open("/nonexistent/tarnwick-key");
    EXPECT_EQ(text.rfind("could not make a link key from /nonexistent/tarnwick-key: ", 0), 0u) << text;
    EXPECT_FALSE(segment.attached());
    EXPECT_FALSE(segment.lock());

    IPC ipc;
    EXPECT_NE(ipc.start("/nonexistent/tarnwick-key"), "");
    ipc.stop(); // nothing was started
}

} // namespace
} // namespace vistra
