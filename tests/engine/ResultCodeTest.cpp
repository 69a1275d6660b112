#include "engine/ResultCode.h"

#include <gtest/gtest.h>

#include "support/RecordingShell.h"

namespace tavrin::engine {
namespace {

using Box = test::RecordingShell::Box;
namespace mb = platform::mb;

TEST(ResultCodeTest, KeepsCodeWordHighAndDetailWordLow) {
    const ResultCode r(0x21000000, 1049);
    EXPECT_EQ(r.Value(), 0x21000000'00000419ull);
    EXPECT_EQ(r.Code(), 0x21000000u);
    EXPECT_EQ(r.Detail(), 1049u);
    EXPECT_FALSE(r.Ok());
    EXPECT_TRUE(r.IsWarning());
    EXPECT_FALSE(r.IsFatal());
    EXPECT_TRUE(r.ShowsCode());
    EXPECT_FALSE(r.ShowsText());
    EXPECT_TRUE(ResultCode().Ok());
    EXPECT_EQ(ResultCode::FromValue(r.Value()), r);
    EXPECT_EQ(ResultCode(0x12000005, 5).MessageIndex(), 5u);
}

TEST(ResultCodeTest, MessageTableHasEveryTextAndNothingPastIt) {
    const char* texts[] = {
        "No error",
        "Can't open this audio file.\nIt may be corrupt, renamed or moved to a different folder",
        "Not enough memory for this audio format",
        "waveOutOpen",
        "wavePrepareHeader",
        "Can't start another thread",
        "Not enough storage space. Move large files elsewhere",
        "Folder missing. Did you remove storage card?",
        "Can't open file for recording",
        "Can't record in this format",
        "waveInOpen",
        "waveInAddBuffer",
        "Can't set volume on this device",
        "Audio format not supported",
        "Query only allowed in idle state",
        "Audio out reset failed",
        "Audio out unprepare failed",
        "Audio out close failed",
        "Insert aborted",
        "This recording is being changed by another program. Try again when it has finished",
        "The last change of this recording is not finished. Make room on its storage, then try again",
    };
    for (std::uint32_t i = 0; i < std::size(texts); ++i) EXPECT_EQ(MessageText(i), texts[i]) << "index " << i;
    EXPECT_EQ(MessageText(std::size(texts)), "UNRECOGNISED");
    EXPECT_EQ(MessageText(0xFFFF), "UNRECOGNISED");
}

struct ShowCase {
    const char* name;
    std::uint32_t code;
    std::uint32_t detail;
    std::vector<Box> boxes;
};

class ShowResultTest : public ::testing::TestWithParam<ShowCase> {};

TEST_P(ShowResultTest, ShowsTheBoxesOfTheBits) {
    test::RecordingShell shell;
    ShowResult(shell, GetParam().detail, GetParam().code);
    const auto& shown = shell.boxes();
    ASSERT_EQ(shown.size(), GetParam().boxes.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].text, GetParam().boxes[i].text) << "box " << i;
        EXPECT_EQ(shown[i].caption, GetParam().boxes[i].caption) << "box " << i;
        EXPECT_EQ(shown[i].style, GetParam().boxes[i].style) << "box " << i;
    }
}

const ShowCase kShowCases[] = {
        ShowCase{"ThreadFailed", 0x12000005, 5,
                 {{"Can't start another thread", "Unrecoverable Internal Error", mb::IconHand}}},
        ShowCase{"UnknownFormatCodeBoxOnly", 0x11000009, 8,
                 {{"Error code:\n0x11000009\n0x8", "Unrecoverable Internal Error", mb::IconHand}}},
        ShowCase{"NoSpace", 0x22000006, 7,
                 {{"Not enough storage space. Move large files elsewhere", "Tavrin", mb::IconExclamation}}},
        ShowCase{"InputOpenFailed", 0x21000000, 1049,
                 {{"Error code:\n0x21000000\n0x419", "Tavrin", mb::IconExclamation}}},
        // The error event of a failed output reset shows the code, never the text.
        ShowCase{"OutResetEvent", 0x2100000F, 4, {{"Error code:\n0x2100000F\n0x4", "Tavrin", mb::IconExclamation}}},
        ShowCase{"UnrecognisedNoCaptionNoIcon", 0x020000FF, 0, {{"UNRECOGNISED", "", mb::Ok}}},
        ShowCase{"ReadOnlyRecording", rc::ReadOnly, detail::EditReadOnly,
                 {{"This recording is read-only. It can be played but not changed", "Tavrin", mb::IconExclamation}}},
        ShowCase{"TextThenCodeBox", 0x23000007, 5,
                 {{"Folder missing. Did you remove storage card?", "Tavrin", mb::IconExclamation},
                  {"Error code:\n0x23000007\n0x5", "Tavrin", mb::IconExclamation}}},
        ShowCase{"NeitherShowBit", 0x20000006, 7, {}},
        ShowCase{"Success", 0, 0, {}},
};

std::string CaseName(const ::testing::TestParamInfo<ShowCase>& param) { return param.param.name; }

INSTANTIATE_TEST_SUITE_P(Codes, ShowResultTest, ::testing::ValuesIn(kShowCases), CaseName);

}  // namespace
}  // namespace tavrin::engine
