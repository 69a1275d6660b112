#include "platform/posix/StderrShell.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/posix/LocationSpeed.h"

namespace tavrin::platform {
namespace {

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    const passwd* pw = getpwuid(geteuid());
    return pw && pw->pw_dir ? pw->pw_dir : "";
}

std::string UserName() {
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name) return pw->pw_name;
    const char* user = std::getenv("USER");
    return user ? user : "";
}

// Creates the folder and the missing folders above it.
bool MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ConfigFolder(const std::string& home) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    return config && *config ? std::string(config) : home + "/.config";
}

std::string UserDirsFile(const std::string& home) { return ConfigFolder(home) + "/user-dirs.dirs"; }

}  // namespace

std::string DesktopSettingsFile() { return ConfigFolder(HomeFolder()) + "/Korvel Software/Tavrin.conf"; }

int StderrShell::messageBox(const std::string& text, const std::string& caption, unsigned style) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    return (style & mb::ButtonMask) == mb::YesNo ? answer::Yes : answer::Ok;
}

std::string StderrShell::documentsFolder() {
    const std::string home = HomeFolder();
    std::string folder;
    if (const char* env = std::getenv("XDG_DOCUMENTS_DIR"); env && *env) {
        folder = env;
    } else if (auto configured = DocumentsDirOf(ReadWhole(UserDirsFile(home)), home)) {
        folder = *configured;
    } else if (!home.empty()) {
        folder = home + "/Documents";
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder.empty() || folder[0] != '/' || !MakeFolders(folder)) return "";
    return folder;
}

std::vector<std::string> StderrShell::storageCards() { return MountedStorageCards(); }

bool StderrShell::isFastMedia(const std::string& path) { return IsFastLocation(path); }

std::vector<std::string> MountedStorageCards() { return CardMountPoints(ReadWhole("/proc/self/mounts"), UserName()); }

std::string DecodeMountField(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto isOctal = [&](std::size_t k) { return k < field.size() && field[k] >= '0' && field[k] <= '7'; };
        if (field[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<std::string> CardMountPoints(std::string_view mounts, const std::string& user) {
    std::vector<std::string> cards;
    if (user.empty()) return cards;
    const std::string roots[] = {"/media/" + user + "/", "/run/media/" + user + "/"};
    std::istringstream lines{std::string(mounts)};
    std::string device, encoded;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        if (!(fields >> device >> encoded)) continue;
        const std::string point = DecodeMountField(encoded);
        for (const auto& root : roots) {
            if (point.size() <= root.size() || point.compare(0, root.size(), root) != 0) continue;
            if (point.find('/', root.size()) == std::string::npos) cards.push_back(point);
        }
    }
    return cards;
}

std::optional<std::string> DocumentsDirOf(std::string_view userDirs, const std::string& home) {
    constexpr std::string_view key = "XDG_DOCUMENTS_DIR=\"";
    std::istringstream lines{std::string(userDirs)};
    for (std::string line; std::getline(lines, line);) {
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
        const auto close = line.rfind('"');
        if (close < start + key.size()) continue;
        std::string value = line.substr(start + key.size(), close - start - key.size());
        if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
        // Only $HOME-relative or absolute paths are valid in this file.
        if (value.empty() || value[0] != '/') continue;
        return value;
    }
    return std::nullopt;
}

}  // namespace tavrin::platform
