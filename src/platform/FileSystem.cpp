#include "platform/FileSystem.h"

#include <cstdlib>

namespace tavrin::platform {

std::string StateFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') return std::string(state) + "/tavrin";
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return std::string(home) + "/.local/state/tavrin";
    return {};
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace tavrin::platform
