#include "platform/FileSystem.h"

namespace tavrin::platform {
namespace {

thread_local IoError lastIoError;

}  // namespace

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

IoError LastIoError() { return lastIoError; }
void NoteIoError(IoError error) { lastIoError = error; }
void ClearIoError() { lastIoError = {}; }

}  // namespace tavrin::platform
