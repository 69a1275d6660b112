#include "app/CommandDispatch.h"

#include "controller/Commands.h"

namespace tavrin::app {

bool DispatchCommand(controller::State& state, std::uint32_t command) {
    namespace cmd = controller::cmd;
    switch (command) {
        case cmd::Play: state.OnPlay(); break;
        case cmd::Record: state.OnRecord(); break;
        case cmd::Append: state.OnRecordAppend(); break;
        case cmd::Insert: state.OnRecordInsert(); break;
        case cmd::Overwrite: state.OnRecordOverwrite(); break;
        case cmd::Stop: state.OnStop(); break;
        case cmd::Pause: state.OnPause(); break;
        case cmd::FF: state.OnFF(); break;
        case cmd::REW: state.OnREW(); break;
        case cmd::Rename: state.OnRename(); break;
        case cmd::Delete: state.OnDelete(); break;
        case cmd::Options: state.OnOptions(); break;
        default: return false;
    }
    return true;
}

}  // namespace tavrin::app
