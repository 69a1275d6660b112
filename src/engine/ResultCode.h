#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Shell.h"

namespace tavrin::engine {

// Bits of a result's code word.
namespace rc {
inline constexpr std::uint32_t Fatal = 0x10000000;     // "Unrecoverable Internal Error"; the program ends
inline constexpr std::uint32_t Warning = 0x20000000;   // the recording is dropped
inline constexpr std::uint32_t ShowText = 0x02000000;  // show the message of the index
inline constexpr std::uint32_t ShowCode = 0x01000000;  // show the code box
inline constexpr std::uint32_t IndexMask = 0xFFFF;

// Code words the engine produces.
inline constexpr std::uint32_t ThreadFailed = 0x12000005;
inline constexpr std::uint32_t BlockTooLargeRecord = 0x12000002;
inline constexpr std::uint32_t UnknownFormat = 0x11000009;
inline constexpr std::uint32_t BlockTooLargePlay = 0x22000002;
inline constexpr std::uint32_t NoSpace = 0x22000006;
inline constexpr std::uint32_t FolderMissing = 0x22000007;
inline constexpr std::uint32_t CannotCreate = 0x22000008;
inline constexpr std::uint32_t FormatNotSupported = 0x2200000D;
inline constexpr std::uint32_t InsertAborted = 0x22000012;
inline constexpr std::uint32_t StepFailed = 0x21000000;
inline constexpr std::uint32_t OutResetFailed = 0x2100000F;
inline constexpr std::uint32_t OutUnprepareFailed = 0x21000010;
inline constexpr std::uint32_t OutCloseFailed = 0x21000011;
// Error event: the input device stopped during a capture (detail = device result).
inline constexpr std::uint32_t InputFailed = 0x21000013;
// An edit of a recording that may only be read. Its message lies past the
// table of the original messages (see MessageText).
inline constexpr std::uint32_t ReadOnly = 0x22000100;
// A recording or edit refused before it began: another writer (a window, a
// tool) is changing the recording, or a change of it that could not be
// finished waits for recovery.
inline constexpr std::uint32_t InUse = 0x22000013;
inline constexpr std::uint32_t Unfinished = 0x22000014;
}  // namespace rc

// Detail words: which step of an operation failed.
namespace detail {
inline constexpr std::uint32_t ThreadFailed = 5;
inline constexpr std::uint32_t FolderMissing = 5;
inline constexpr std::uint32_t NoSpace = 7;
inline constexpr std::uint32_t BlockTooLarge = 7;
inline constexpr std::uint32_t UnknownFormat = 8;
inline constexpr std::uint32_t CreatePcm = 17;
inline constexpr std::uint32_t CreateGsm = 957;
inline constexpr std::uint32_t OpenInput = 1049;
inline constexpr std::uint32_t Prepare0 = 1077;
inline constexpr std::uint32_t Add0 = 1085;
inline constexpr std::uint32_t Prepare1 = 1104;
inline constexpr std::uint32_t Add1 = 1114;
// A running capture: the device did not start, or refused a buffer back.
inline constexpr std::uint32_t StartInput = 1131;
inline constexpr std::uint32_t RequeueInput = 1242;
// The edits of a selected recording.
inline constexpr std::uint32_t EditNoMedia = 2089;
inline constexpr std::uint32_t EditOpenInput = 2112;
inline constexpr std::uint32_t EditPrepare0 = 2140;
inline constexpr std::uint32_t EditAdd0 = 2148;
inline constexpr std::uint32_t EditPrepare1 = 2167;
inline constexpr std::uint32_t EditAdd1 = 2175;
// The player.
inline constexpr std::uint32_t OpenOutput = 534;
inline constexpr std::uint32_t PrepareOut0 = 556;
inline constexpr std::uint32_t PrepareOut1 = 575;
inline constexpr std::uint32_t SetVolume = 1305;
inline constexpr std::uint32_t InfoWrongState = 1402;
inline constexpr std::uint32_t InfoSelectedTag = 1427;
inline constexpr std::uint32_t InfoUnreadable = 1442;
inline constexpr std::uint32_t InfoUnsupported = 8;
inline constexpr std::uint32_t SelectFailed = 1996;
inline constexpr std::uint32_t SelectedTag = 2020;
inline constexpr std::uint32_t OpenWrongState = 2023;
inline constexpr std::uint32_t CloseWrongState = 2051;
// Finishing a recording failed for another reason than a full volume; the
// system's error number is added, so that the code box tells which.
inline constexpr std::uint32_t FinishFileError = 0x3000;
inline constexpr std::uint32_t EditReadOnly = 2090;
}  // namespace detail

// The result of every fallible engine operation: a code word (high half) and
// a detail word (low half). Zero is success.
class ResultCode {
public:
    constexpr ResultCode() = default;
    constexpr ResultCode(std::uint32_t codeWord, std::uint32_t detailWord)
        : value((static_cast<std::uint64_t>(codeWord) << 32) | detailWord) {}
    static constexpr ResultCode FromValue(std::uint64_t v) {
        ResultCode r;
        r.value = v;
        return r;
    }

    constexpr std::uint64_t Value() const { return value; }
    constexpr std::uint32_t Code() const { return static_cast<std::uint32_t>(value >> 32); }
    constexpr std::uint32_t Detail() const { return static_cast<std::uint32_t>(value); }
    constexpr bool Ok() const { return value == 0; }
    constexpr bool IsFatal() const { return (Code() & rc::Fatal) != 0; }
    constexpr bool IsWarning() const { return (Code() & rc::Warning) != 0; }
    constexpr bool ShowsText() const { return (Code() & rc::ShowText) != 0; }
    constexpr bool ShowsCode() const { return (Code() & rc::ShowCode) != 0; }
    constexpr std::uint32_t MessageIndex() const { return Code() & rc::IndexMask; }
    friend constexpr bool operator==(ResultCode, ResultCode) = default;

private:
    std::uint64_t value = 0;
};

// The product name, also the caption of warning boxes.
inline constexpr std::string_view kProductName = "Tavrin";
inline constexpr std::string_view kFatalCaption = "Unrecoverable Internal Error";

// Text of a message index; "UNRECOGNISED" past the end of the table.
std::string_view MessageText(std::uint32_t index);

// The code box text: "Error code:\n0x%X\n0x%X".
std::string CodeBoxText(std::uint32_t codeWord, std::uint32_t detailWord);

// Shows up to two modal boxes for a result: the message text (when its bit is
// set), then the code box (when its bit is set); caption and icon from the
// fatal or warning bit.
void ShowResult(platform::Shell& shell, std::uint32_t detailWord, std::uint32_t codeWord);

}  // namespace tavrin::engine
