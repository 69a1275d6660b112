#pragma once

#include <cstdint>
#include <string>

namespace tavrin::controller {

// What the recorder does with every command, engine event and timer tick.
// The main window forwards each of them to its current state and never
// decides anything itself; the order of the operations is fixed and the
// window's message dispatch relies on their names.
class State {
public:
    virtual void OnPlay() = 0;                                     // 0
    virtual void OnRecord() = 0;                                   // 1
    virtual void OnRecordAppend() = 0;                             // 2
    virtual void OnRecordInsert() = 0;                             // 3
    virtual void OnRecordOverwrite() = 0;                          // 4
    virtual void OnStop() = 0;                                     // 5
    virtual void OnPause() = 0;                                    // 6
    virtual void OnFF() = 0;                                       // 7
    virtual void OnREW() = 0;                                      // 8
    virtual void OnHalt() = 0;                                     // 9
    virtual void OnRename() = 0;                                   // 10
    virtual void OnDelete() = 0;                                   // 11
    virtual void OnKey(std::uint32_t virtualKey) = 0;              // 12
    virtual void OnRequestPlay() = 0;                              // 13
    virtual void OnRequestRecordAppend() = 0;                      // 14
    virtual void OnRequestRecordInsert() = 0;                      // 15
    virtual void OnRequestRecordOverwrite() = 0;                   // 16
    virtual void OnActivateRecording(std::string path) = 0;        // 17
    virtual void HandlePositionThumbTrack(std::int32_t slider) = 0;  // 18, slider 0..1000
    virtual void HandlePositionEndTrack(std::int32_t slider) = 0;    // 19
    virtual void HandleVolumeThumbTrack(std::int32_t slider) = 0;    // 20, slider 0..100
    virtual void HandleVolumeEndTrack(std::int32_t slider) = 0;      // 21
    virtual void OnPlayStart() = 0;                                // 22
    virtual void OnPlayEnd() = 0;                                  // 23
    virtual void OnPosSet() = 0;                                   // 24
    virtual void OnWaterMark() = 0;                                // 25
    virtual void OnPausedOn() = 0;                                 // 26
    virtual void OnPausedOff() = 0;                                // 27
    virtual void OnRecordStart() = 0;                              // 28
    virtual void OnRecordActivated() = 0;                          // 29
    virtual void OnSilenceCut() = 0;                               // 30
    virtual void OnRecordEnd() = 0;                                // 31
    virtual void OnFileReady() = 0;                                // 32
    virtual void OnTooSlow() = 0;                                  // 33
    virtual void OnAppendRecordStart() = 0;                        // 34
    virtual void OnAppendRecordActivated() = 0;                    // 35
    virtual void OnAppendSilenceCut() = 0;                         // 36
    virtual void OnAppendRecordEnd() = 0;                          // 37
    virtual void OnAppendFileReady() = 0;                          // 38
    virtual void OnAppendTooSlow() = 0;                            // 39
    virtual void OnInsertRecordStart() = 0;                        // 40
    virtual void OnInsertRecordActivated() = 0;                    // 41
    virtual void OnInsertSilenceCut() = 0;                         // 42
    virtual void OnInsertRecordEnd() = 0;                          // 43
    virtual void OnInsertFileReady() = 0;                          // 44
    virtual void OnInsertTooSlow() = 0;                            // 45
    virtual void OnOverwriteRecordStart() = 0;                     // 46
    virtual void OnOverwriteRecordActivated() = 0;                 // 47
    virtual void OnOverwriteSilenceCut() = 0;                      // 48
    virtual void OnOverwriteRecordEnd() = 0;                       // 49
    virtual void OnOverwriteFileReady() = 0;                       // 50
    virtual void OnOverwriteTooSlow() = 0;                         // 51
    virtual void OnOptions() = 0;                                  // 52
    virtual void OnLevelTimer() = 0;                               // 53, 200 ms, first call
    virtual void OnClockTimer() = 0;                               // 54, 500 ms, first call
    virtual void OnBlinkTimer() = 0;                               // 55, 200 ms, second call
    virtual void OnRemainingTimer() = 0;                           // 56, 500 ms, second call
    virtual void OnKeepAwakeTimer() = 0;                           // 57, 60 s
    virtual void OnListTimer() = 0;                                // 58, 5 s
    virtual void Enter() = 0;                                      // 59
    virtual void UpdateMenu() = 0;                                 // 60
    // The user moved the highlight in the list to the row of `path` (empty:
    // no row is highlighted any more).
    virtual void OnHighlightRow(std::string path) = 0;             // 61
    // The engine's error report: a failure it met on its own thread.
    virtual void OnEngineError(std::uint32_t code, std::uint32_t detail) = 0;  // 62

protected:
    // States are owned by the controller and never deleted through this interface.
    ~State() = default;
};

inline constexpr int kStateOperationCount = 63;

}  // namespace tavrin::controller
