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

std::optional<DirectoryEntry> FileSystem::entry(const std::string& path) {
    const auto entries = list(FolderOf(path));
    if (!entries) return std::nullopt;
    const std::string name = path.substr(path.rfind('/') + 1);
    for (const DirectoryEntry& e : *entries) {
        if (e.name == name) return e;
    }
    return std::nullopt;
}
IoError LastIoError() { return lastIoError; }
void NoteIoError(IoError error) { lastIoError = error; }
void ClearIoError() { lastIoError = {}; }

}  // namespace tavrin::platform
