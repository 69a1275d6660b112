// One holder at a time, a lock a gone holder lets go of, and the message
// that asks the holder to come forward, on real files and sockets.
#include "platform/posix/InstanceGuard.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "support/TempDir.h"

namespace tavrin::platform {
namespace {

using Outcome = InstanceGuard::Outcome;

// What a killed holder leaves: a socket file that nobody reads any more.
void LeaveDeadSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    close(fd);
}

class InstanceGuardTest : public ::testing::Test {
protected:
    std::string path() const { return dir.file("guard"); }
    test::TempDir dir;
};

TEST_F(InstanceGuardTest, OneHoldsTheOthersAskItToComeForward) {
    InstanceGuard first(path());
    ASSERT_EQ(first.acquire(), Outcome::Holder);
    ASSERT_GE(first.socket(), 0);
    EXPECT_EQ(first.takeRaiseRequests(), 0) << "nobody asked yet, and reading does not wait";

    InstanceGuard second(path());
    EXPECT_EQ(second.acquire(), Outcome::Taken) << "the lock is the process's, not the handle's";
    EXPECT_EQ(second.socket(), -1);
    EXPECT_TRUE(InstanceGuard::askToRaise(path()));
    EXPECT_TRUE(InstanceGuard::askToRaise(path()));
    EXPECT_EQ(first.takeRaiseRequests(), 2);
    EXPECT_EQ(first.takeRaiseRequests(), 0);

    struct stat st {};
    ASSERT_EQ(stat(path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u) << "other users may not ask";
    // An earlier version reads the holder from the lock file: this process,
    // on its first line, is alive as long as the lock is held.
    const auto lines = test::ReadBytes(path() + ".lock");
    const std::string text(lines.begin(), lines.end());
    EXPECT_EQ(text.substr(0, text.find('\n')), std::to_string(getpid()));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
}

// Whatever a holder that crashed or was killed left behind, the next
// launch holds the guard, and a launch after it reaches the new holder.
TEST_F(InstanceGuardTest, WhatAGoneHolderLeftIsTakenOver) {
    enum class Left { Nothing, LockFileOnly, FileWhereTheSocketWas, SocketNobodyReads, ForeignLockContents };
    for (Left left : {Left::Nothing, Left::LockFileOnly, Left::FileWhereTheSocketWas, Left::SocketNobodyReads,
                      Left::ForeignLockContents}) {
        SCOPED_TRACE(static_cast<int>(left));
        std::filesystem::remove(path());
        std::filesystem::remove(path() + ".lock");
        if (left != Left::Nothing) test::WriteBytes(path() + ".lock", std::string());
        if (left == Left::ForeignLockContents) test::WriteBytes(path() + ".lock", std::string("999999999\nx\nhost\n"));
        if (left == Left::FileWhereTheSocketWas) test::WriteBytes(path(), std::string());
        if (left == Left::SocketNobodyReads) {
            LeaveDeadSocket(path());
            EXPECT_FALSE(InstanceGuard::askToRaise(path())) << "nobody listens: the ask fails at once";
        }
        InstanceGuard next(path());
        ASSERT_EQ(next.acquire(), Outcome::Holder);
        EXPECT_TRUE(InstanceGuard::askToRaise(path()));
        EXPECT_EQ(next.takeRaiseRequests(), 1);
    }
}

TEST_F(InstanceGuardTest, AGoneHolderLeavesNoSocketAndNobodyToAsk) {
    {
        InstanceGuard holder(path());
        ASSERT_EQ(holder.acquire(), Outcome::Holder);
        EXPECT_TRUE(std::filesystem::exists(path()));
    }
    EXPECT_FALSE(std::filesystem::exists(path()));
    EXPECT_FALSE(InstanceGuard::askToRaise(path()));
    InstanceGuard next(path());
    EXPECT_EQ(next.acquire(), Outcome::Holder) << "the lock went with its holder";
}

TEST_F(InstanceGuardTest, AGuardThatCannotBeMadeFails) {
    test::WriteBytes(dir.file("a-file"), std::string("not a folder"));
    const struct {
        std::string path;
        Outcome outcome;
    } cases[] = {
        {dir.file("missing/guard"), Outcome::Failed},
        {dir.file("a-file/guard"), Outcome::Failed},
    };
    for (const auto& c : cases) {
        InstanceGuard guard(c.path);
        EXPECT_EQ(guard.acquire(), c.outcome) << c.path;
        EXPECT_EQ(guard.socket(), -1);
        EXPECT_EQ(guard.takeRaiseRequests(), 0);
        EXPECT_FALSE(InstanceGuard::askToRaise(c.path));
    }
}

// A runtime folder whose path leaves no room for the socket's name: the
// lock still guards, only the asking is lost.
TEST_F(InstanceGuardTest, APathTooLongForASocketStillGuards) {
    const std::string deep = dir.file(std::string(sizeof(sockaddr_un::sun_path), 'd'));
    std::filesystem::create_directories(deep);
    InstanceGuard first(deep + "/guard");
    ASSERT_EQ(first.acquire(), Outcome::Holder);
    EXPECT_EQ(first.socket(), -1);
    InstanceGuard second(deep + "/guard");
    EXPECT_EQ(second.acquire(), Outcome::Taken);
    EXPECT_FALSE(InstanceGuard::askToRaise(deep + "/guard"));
}

}  // namespace
}  // namespace tavrin::platform
