#include "engine/ResultCode.h"

#include <gtest/gtest.h>

#include <map>
#include <string_view>

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

// Every code word the engine reports, and what its user reads: a text of
// its own (the first box), or only the code box. A table entry added,
// dropped or moved shifts the texts of the code words after it.
TEST(ResultCodeTest, EveryCodeWordOfTheEngineShowsItsOwnText) {
    const struct {
        const char* name;
        std::uint32_t code;
        const char* text;  // null: the code box only
    } cases[] = {
        {"ThreadFailed", rc::ThreadFailed, "Can't start another thread"},
        {"BlockTooLargeRecord", rc::BlockTooLargeRecord, "Not enough memory for this audio format"},
        {"BlockTooLargePlay", rc::BlockTooLargePlay, "Not enough memory for this audio format"},
        {"NoSpace", rc::NoSpace, "Not enough storage space. Move large files elsewhere"},
        {"FolderMissing", rc::FolderMissing, "Folder missing. Did you remove storage card?"},
        {"CannotCreate", rc::CannotCreate, "Can't open file for recording"},
        {"FormatNotSupported", rc::FormatNotSupported, "Audio format not supported"},
        {"InsertAborted", rc::InsertAborted, "Insert aborted"},
        {"InUse", rc::InUse, "This recording is being changed by another program. Try again when it has finished"},
        {"Unfinished", rc::Unfinished,
         "The last change of this recording is not finished. Make room on its storage, then try again"},
        {"ReadOnly", rc::ReadOnly, "This recording is read-only. It can be played but not changed"},
        {"UnknownFormat", rc::UnknownFormat, nullptr},
        {"StepFailed", rc::StepFailed, nullptr},
        {"OutResetFailed", rc::OutResetFailed, nullptr},
        {"OutUnprepareFailed", rc::OutUnprepareFailed, nullptr},
        {"OutCloseFailed", rc::OutCloseFailed, nullptr},
        {"InputFailed", rc::InputFailed, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::RecordingShell shell;
        ShowResult(shell, 1, c.code);
        ASSERT_FALSE(shell.boxes().empty());
        if (c.text) {
            EXPECT_EQ(shell.boxes().front().text, c.text);
        } else {
            EXPECT_EQ(shell.boxes().front().text, CodeBoxText(c.code, 1));
        }
    }
}

// Whatever index a code word carries, even one from a newer program, it
// reads as a message of its own or as the clear fallback: none is empty,
// and no two indices share a text (a copied line would hide which failed).
TEST(ResultCodeTest, EveryIndexReadsAsItsOwnTextOrTheFallback) {
    std::map<std::string_view, std::uint32_t> seen;
    for (std::uint32_t i = 0; i <= rc::IndexMask + 1; ++i) {
        const std::string_view text = MessageText(i);
        ASSERT_FALSE(text.empty()) << "index " << i;
        if (text == "UNRECOGNISED") continue;
        const auto [first, fresh] = seen.emplace(text, i);
        EXPECT_TRUE(fresh) << "index " << i << " repeats index " << first->second;
    }
    EXPECT_EQ(MessageText(0xFFFFFFFFu), "UNRECOGNISED");
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
