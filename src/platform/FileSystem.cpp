#include "platform/FileSystem.h"

#include <cstdlib>
#include <filesystem>

namespace tavrin::platform {
namespace {

thread_local IoError lastIoError;

}  // namespace

bool FileSystem::moveReplacing(const std::string& from, const std::string& to) {
    if (exists(to) && !remove(to)) return false;
    return moveNoReplace(from, to);
}

std::string CacheFolder() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && cache[0] == '/') return std::string(cache) + "/tavrin";
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return std::string(home) + "/.cache/tavrin";
    return {};
}

std::string StateFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') return std::string(state) + "/tavrin";
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return std::string(home) + "/.local/state/tavrin";
    return {};
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool ReadAt(File& file, std::uint32_t offset, void* into, std::uint32_t n) {
    std::uint32_t got = 0;
    return n == 0 || (file.seek(offset) && file.read(into, n, got) && got == n);
}

bool WriteAt(File& file, std::uint32_t offset, const void* from, std::uint32_t n) {
    std::uint32_t written = 0;
    return n == 0 || (file.seek(offset) && file.write(from, n, written) && written == n);
}

bool WriteChangedAt(File& file, std::uint32_t offset, const std::vector<std::uint8_t>& held,
                    const std::vector<std::uint8_t>& wanted) {
    const auto differs = [&](std::size_t i) { return i >= held.size() || held[i] != wanted[i]; };
    for (std::size_t at = 0; at < wanted.size();) {
        std::size_t end = at;
        while (end < wanted.size() && differs(end)) ++end;
        if (end > at && !WriteAt(file, offset + static_cast<std::uint32_t>(at), wanted.data() + at,
                                 static_cast<std::uint32_t>(end - at)))
            return false;
        at = end + 1;
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(FileSystem& files, const std::string& path,
                                                       std::uint32_t limit) {
    auto file = files.open(path, OpenMode::ReadOnly, false);
    std::uint32_t size = 0;
    if (!file || !file->size(size) || size > limit) return std::nullopt;
    std::vector<std::uint8_t> bytes(size);
    if (!ReadAt(*file, 0, bytes.data(), size)) return std::nullopt;
    return bytes;
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
