#pragma once

#include <cstdint>

namespace tavrin::engine {

// The three cuts of the menu, each about the place heard.
enum class CutKind {
    ToHere,        // from the start of the recording to the place
    FromHere,      // from the place to the end
    BetweenMarks,  // from the mark at or before the place to the mark after it
};

// Whole blocks [from, to) of the selected recording that a cut removes, and
// how long they play.
struct CutSpan {
    std::uint32_t from = 0;
    std::uint32_t to = 0;
    std::uint32_t ms = 0;
    friend bool operator==(const CutSpan&, const CutSpan&) = default;
};

}  // namespace tavrin::engine
