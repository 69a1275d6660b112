#include "support/RecordingShell.h"

#include <gtest/gtest.h>

namespace tavrin::test {

namespace mb = platform::mb;
namespace answer = platform::answer;

int DefaultButtonAnswer(unsigned style) {
    const bool second = (style & 0xF00) == mb::DefButton2;
    switch (style & mb::ButtonMask) {
        case mb::OkCancel: return second ? answer::Cancel : answer::Ok;
        case mb::YesNo: return second ? answer::No : answer::Yes;
        default: return answer::Ok;
    }
}

const RecordingShell::Box& RecordingShell::lastBox() const {
    static const Box none{};
    if (shown.empty()) {
        ADD_FAILURE() << "no message box was shown";
        return none;
    }
    return shown.back();
}

int RecordingShell::messageBox(const std::string& text, const std::string& caption, unsigned style) {
    shown.push_back({text, caption, style});
    if (!script.empty()) {
        const int next = script.front();
        script.pop_front();
        return next;
    }
    return fallback ? *fallback : DefaultButtonAnswer(style);
}

bool RecordingShell::isFastMedia(const std::string& path) {
    for (const std::string& location : fast) {
        if (path == location) return true;
        if (path.size() > location.size() && path.compare(0, location.size(), location) == 0 &&
            path[location.size()] == '/')
            return true;
    }
    return false;
}

}  // namespace tavrin::test
