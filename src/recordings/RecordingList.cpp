#include "recordings/RecordingList.h"

#include <utility>

namespace tavrin::recordings {

bool IsRecordingFileName(std::string_view name) {
    constexpr std::string_view kExtension = ".wav";
    if (name.size() < kExtension.size()) return false;
    const std::string_view tail = name.substr(name.size() - kExtension.size());
    for (std::size_t i = 0; i < kExtension.size(); ++i) {
        const char c = tail[i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != kExtension[i]) return false;
    }
    return true;
}

std::string RecordingName(std::string_view path) {
    const auto slash = path.rfind('/');
    const std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const auto dot = file.rfind('.');
    return std::string(dot == std::string_view::npos ? file : file.substr(0, dot));
}

bool RecordingList::refresh(const std::vector<std::string>& locations) {
    std::vector<std::string> found;
    found.reserve(stored.size());
    for (const auto& location : locations) {
        if (location.empty()) continue;
        const auto entries = files.listNames(location);
        if (!entries) continue;
        const std::string prefix = location == "/" ? location : location + "/";
        for (const auto& entry : *entries) {
            if (!entry.isDirectory && IsRecordingFileName(entry.name)) found.push_back(prefix + entry.name);
        }
    }
    if (found == stored) return false;
    stored = std::move(found);
    return true;
}

}  // namespace tavrin::recordings
