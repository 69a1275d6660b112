#include <gtest/gtest.h>

#include "support/FakeClock.h"
#include "support/RecordingShell.h"

namespace tavrin::test {
namespace {

namespace mb = platform::mb;
namespace answer = platform::answer;

TEST(RecordingShell, DefaultAnswerIsTheDefaultButton) {
    struct Case {
        unsigned style;
        int answer;
    };
    const Case cases[] = {
        {mb::Ok | mb::IconExclamation, answer::Ok},     {mb::OkCancel, answer::Ok},
        {mb::OkCancel | mb::DefButton2, answer::Cancel}, {mb::YesNo | mb::IconQuestion, answer::Yes},
        {mb::YesNo | mb::DefButton2, answer::No},
    };
    for (const auto& c : cases) EXPECT_EQ(DefaultButtonAnswer(c.style), c.answer) << c.style;
}

TEST(RecordingShell, ScriptedAnswersComeFirstThenTheDefault) {
    RecordingShell shell;
    shell.queueAnswer(answer::No);
    shell.setDefaultAnswer(answer::Cancel);
    EXPECT_EQ(shell.messageBox("Delete?", "Tavrin", mb::YesNo), answer::No);
    EXPECT_EQ(shell.messageBox("Again?", "Tavrin", mb::YesNo), answer::Cancel);
    shell.setDefaultAnswer(std::nullopt);
    EXPECT_EQ(shell.messageBox("Once more?", "Tavrin", mb::YesNo), answer::Yes);
    ASSERT_EQ(shell.boxes().size(), 3u);
    EXPECT_EQ(shell.boxes()[0].text, "Delete?");
    EXPECT_EQ(shell.lastBox().text, "Once more?");
    EXPECT_EQ(shell.lastBox().style, mb::YesNo);
}

TEST(FakeClock, AdvanceMovesCounterAndTicksTogether) {
    FakeClock clock(3'000'000);
    clock.setTickCount(0xFFFFFFF0u);
    clock.advanceMs(250);
    EXPECT_EQ(clock.counter(), 750'000);
    EXPECT_EQ(clock.tickCount(), 250u - 16u);  // wraps like the system tick count
}

}  // namespace
}  // namespace tavrin::test
