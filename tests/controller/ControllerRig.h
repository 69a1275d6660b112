#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "controller/Controller.h"
#include "controller/EventDispatch.h"
#include "controller/StateBase.h"
#include "settings/MemoryStore.h"
#include "settings/Settings.h"
#include "support/FakeWindow.h"
#include "support/FaultyFileSystem.h"
#include "support/RecordingShell.h"
#include "support/ScriptedEngine.h"
#include "support/TempDir.h"
#include "wav/Formats.h"

namespace tavrin::test {

using controller::StateId;

// A controller over a fake window, a scripted engine, a recording shell and a
// temporary documents folder. The engine's events and the window's requests
// go to whichever state is current when they are delivered, as in the program.
class ControllerRig {
public:
    ControllerRig() {
        shell.setDocumentsFolder(dir.path());
        settings.setFormat(wav::kCodeGsm);
        settings.setSaveLocation(dir.path());
        auto toCurrentState = [this](std::uint32_t message) {
            ASSERT_TRUE(controller::DispatchAppMessage(current(), message)) << message;
        };
        engine.setDelivery(toCurrentState);
        window.setRequestHandler(toCurrentState);
        clear();
    }

    controller::State& current() { return *window.CurrentState(); }
    controller::StateBase& state(StateId id) { return ctl.StateAt(id); }
    bool in(StateId id) { return window.CurrentState() == &ctl.StateAt(id); }
    void clear() {
        window.clearCalls();
        engine.clearCalls();
        shell.clearBoxes();
    }
    std::string path(const std::string& name) const { return dir.file(name); }

    // Reaches the states the way the user does; the logs are cleared afterwards.
    void toPlay(const std::string& file) {
        window.setSelectedRow(file);  // Action acts on the highlighted row
        current().OnActivateRecording(file);
        engine.deliverAll();
        clear();
    }
    void toFileSelected(const std::string& file) {
        toPlay(file);
        current().OnStop();
        engine.deliverAll();
        clear();
    }
    void toPausePlay(const std::string& file) {
        toPlay(file);
        current().OnPause();
        engine.deliverAll();
        clear();
    }
    void toRecord() {
        current().OnRecord();
        engine.deliverAll();
        clear();
    }
    void toPauseRecord() {
        toRecord();
        current().OnPause();
        engine.deliverAll();
        clear();
    }
    // An edit of `file` at its start; `request` is kRequestRecordAppend, ...Insert or ...Overwrite.
    void toEdit(const std::string& file, std::uint32_t request) {
        toFileSelected(file);
        shell.queueAnswer(platform::answer::Yes);  // the overwrite question
        ASSERT_TRUE(controller::DispatchAppMessage(current(), request));
        engine.deliverAll();
        clear();
    }
    void toPausedEdit(const std::string& file, std::uint32_t request) {
        toEdit(file, request);
        current().OnPause();
        engine.deliverAll();
        clear();
    }

    TempDir dir;
    RecordingShell shell;
    FaultyFileSystem files;
    settings::MemoryStore store;
    settings::Settings settings{store};
    FakeWindow window{settings};
    ScriptedEngine engine;
    controller::Controller ctl{{window, engine, shell, files}};
};

inline std::string InternalErrorText(const std::string& state, const std::string& operation) {
    return "Please, contact Korvel technical support\nCode:\n" + state + "::" + operation;
}

}  // namespace tavrin::test
