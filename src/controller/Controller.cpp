#include "controller/Controller.h"

namespace tavrin::controller {

Controller::Controller(const ControllerServices& services)
    : window(services.window),
      engine(services.engine),
      shell(services.shell),
      files(services.files),
      idle(*this),
      play(*this),
      record(*this),
      recordAppend(*this),
      recordInsert(*this),
      recordOverwrite(*this),
      fileSelected(*this),
      pausePlay(*this),
      pauseRecord(*this),
      pauseRecordAppend(*this),
      pauseRecordInsert(*this),
      pauseRecordOverwrite(*this) {
    window.SetCurrentState(idle);
}

void Controller::RestoreVolume() {
    const std::int32_t volume = window.Settings().volume();
    // A device that refuses plays at its own volume; the keys start from the kept one all the same.
    static_cast<void>(engine.SetVolume(volume));
    vars.lastVolume = volume;
}

StateBase& Controller::StateAt(StateId id) {
    switch (id) {
        case StateId::Idle: return idle;
        case StateId::FileSelected: return fileSelected;
        case StateId::Play: return play;
        case StateId::PausePlay: return pausePlay;
        case StateId::Record: return record;
        case StateId::PauseRecord: return pauseRecord;
        case StateId::RecordAppend: return recordAppend;
        case StateId::PauseRecordAppend: return pauseRecordAppend;
        case StateId::RecordInsert: return recordInsert;
        case StateId::PauseRecordInsert: return pauseRecordInsert;
        case StateId::RecordOverwrite: return recordOverwrite;
        case StateId::PauseRecordOverwrite: return pauseRecordOverwrite;
    }
    return idle;
}

}  // namespace tavrin::controller
