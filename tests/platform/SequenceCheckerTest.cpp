#include "platform/SequenceChecker.h"

#include <gtest/gtest.h>

#include <thread>

namespace tavrin::platform {
namespace {

bool OnOtherThread(const SequenceChecker& checker) {
    bool valid = false;
    std::thread([&] { valid = checker.CalledOnValidSequence(); }).join();
    return valid;
}

// Binds to the first caller, refuses every other thread until the owner
// detaches it, and then belongs to whichever thread asks next.
TEST(SequenceCheckerTest, BindsOnFirstUseAndPassesOnOnlyWhenDetached) {
    SequenceChecker checker;
    EXPECT_TRUE(checker.CalledOnValidSequence()) << "an unbound checker takes its first caller";
    EXPECT_TRUE(checker.CalledOnValidSequence());
    EXPECT_FALSE(OnOtherThread(checker));
    checker.Detach();
    EXPECT_TRUE(OnOtherThread(checker)) << "detached, it takes the next caller";
    EXPECT_FALSE(checker.CalledOnValidSequence());
}

}  // namespace
}  // namespace tavrin::platform
