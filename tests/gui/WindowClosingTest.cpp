#include "app/WindowClosing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrin::app {
namespace {

// The window as the closing sees it: the recorder's state and the engine's
// device, moved by each step of a case, and a log of what the closing did.
struct FakeWindow {
    bool resting = true;
    bool busy = false;
    std::string log;
    WindowClosing closing{{[this] { return resting; }, [this] { return busy; }, [this] { log += "stop "; },
                           [this] { log += "drop "; }, [this] { log += "close "; }}};
};

// One step: the recorder's state and the device after it, then either a
// close asked for (with whether a new recording's start is awaited) or the
// window going on with a close that waits.
struct Step {
    bool resting;
    bool busy;
    enum { Ask, AskWhileStarting, Continue } what;
};

TEST(WindowClosing, StopsOnceAndClosesWhenTheRecorderRests) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::string log;         // what the closing did, in order
        bool closesAtOnce;       // the first close was let go at once
    };
    const Case cases[] = {
        {"at rest", {{true, false, Step::Ask}}, "", true},
        {"recording: stopped, closed once saved",
         {{false, false, Step::Ask}, {false, false, Step::Continue}, {true, false, Step::Continue}},
         "stop close ",
         false},
        {"a second close while saving only waits",
         {{false, false, Step::Ask}, {false, false, Step::Ask}, {true, false, Step::Continue}},
         "stop close ",
         false},
        {"a device still starting: the stop waits for the start",
         {{true, true, Step::Ask}, {true, true, Step::Continue}, {false, false, Step::Continue},
          {true, false, Step::Continue}},
         "stop close ",
         false},
        {"a new recording stopped before it began is dropped before closing",
         {{true, true, Step::AskWhileStarting}, {false, false, Step::Continue}, {true, false, Step::Continue}},
         "stop drop close ",
         false},
        {"a recording that has begun is kept",
         {{false, false, Step::Ask}, {true, false, Step::Continue}}, "stop close ", false},
        {"the recorder resting but the device stopping: waits, then closes",
         {{false, false, Step::Ask}, {true, true, Step::Continue}, {true, false, Step::Continue}},
         "stop close ",
         false},
    };
    for (const auto& c : cases) {
        FakeWindow w;
        std::vector<bool> answers;
        for (const Step& s : c.steps) {
            w.resting = s.resting;
            w.busy = s.busy;
            if (s.what == Step::Continue) {
                w.closing.Continue();
            } else {
                answers.push_back(w.closing.Ask(s.what == Step::AskWhileStarting));
            }
        }
        EXPECT_EQ(w.log, c.log) << c.name;
        ASSERT_FALSE(answers.empty()) << c.name;
        EXPECT_EQ(answers.front(), c.closesAtOnce) << c.name;
        // The close the closing makes itself is let go at once.
        if (!c.closesAtOnce) {
            EXPECT_TRUE(w.closing.Ask(false)) << c.name;
        }
    }
}

// Nothing runs on a close that was never asked for.
TEST(WindowClosing, StateChangesWithoutACloseDoNothing) {
    FakeWindow w;
    w.resting = false;
    w.closing.Continue();
    w.resting = true;
    w.closing.Continue();
    EXPECT_EQ(w.log, "");
    EXPECT_FALSE(w.closing.Pending());
}

}  // namespace
}  // namespace tavrin::app
