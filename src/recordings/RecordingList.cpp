#include "recordings/RecordingList.h"

#include <algorithm>
#include <map>
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

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Compares the digit runs at the start of `a` and `b` as numbers and moves
// both past them: negative, zero or positive.
int CompareNumbers(std::string_view& a, std::string_view& b) {
    auto take = [](std::string_view& s) {
        std::size_t end = 0;
        while (end < s.size() && IsDigit(s[end])) ++end;
        std::string_view run = s.substr(0, end);
        s.remove_prefix(end);
        const std::size_t first = std::min(run.find_first_not_of('0'), run.size());
        return run.substr(first);  // no leading zeros: the longer run is the larger number
    };
    const std::string_view x = take(a), y = take(b);
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    return x.compare(y);
}

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
    std::string_view x = a, y = b;
    while (!x.empty() && !y.empty()) {
        if (IsDigit(x.front()) && IsDigit(y.front())) {
            if (const int order = CompareNumbers(x, y); order != 0) return order < 0;
            continue;
        }
        const char cx = Lower(x.front()), cy = Lower(y.front());
        if (cx != cy) return static_cast<unsigned char>(cx) < static_cast<unsigned char>(cy);
        x.remove_prefix(1);
        y.remove_prefix(1);
    }
    if (x.size() != y.size()) return x.empty();
    // Equal but for case or leading zeros: the bytes decide, so that the order is total.
    return a < b;
}

bool RecordingList::refresh(const std::vector<std::string>& locations) {
    std::vector<std::string> found;
    found.reserve(stored.size());
    for (const auto& location : locations) {
        if (location.empty()) continue;
        std::vector<std::string> subFolders;
        addFolder(location, found, &subFolders);
        std::sort(subFolders.begin(), subFolders.end(), NaturalLess);
        const std::string prefix = location == "/" ? location : location + "/";
        for (const std::string& sub : subFolders) addFolder(prefix + sub, found, nullptr);
    }
    if (found == stored) return false;
    stored = std::move(found);
    return true;
}

// The folder's recordings, in natural order (the folder lists in hash order
// on most Linux file systems), and the names of its visible sub-folders.
void RecordingList::addFolder(const std::string& folder, std::vector<std::string>& found,
                              std::vector<std::string>* subFolders) {
    const auto entries = files.listNames(folder);
    if (!entries) return;
    std::vector<std::string_view> names;
    for (const auto& entry : *entries) {
        if (!entry.isDirectory) {
            if (IsRecordingFileName(entry.name)) names.push_back(entry.name);
        } else if (subFolders && !entry.name.empty() && entry.name.front() != '.') {
            subFolders->push_back(entry.name);
        }
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    const std::string prefix = folder == "/" ? folder : folder + "/";
    for (const std::string_view name : names) found.push_back(prefix + std::string(name));
}

std::vector<std::string> RowNames(const std::vector<std::string>& paths, const std::vector<std::string>& locations) {
    std::vector<std::string> names;
    names.reserve(paths.size());
    std::map<std::string, int> seen;  // by name without regard to case
    const auto key = [](std::string name) {
        for (char& c : name) c = Lower(c);
        return name;
    };
    for (const std::string& path : paths) {
        names.push_back(RecordingName(path));
        ++seen[key(names.back())];
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (seen[key(names[i])] < 2) continue;
        const std::string folder = platform::FolderOf(paths[i]);
        const bool inLocation = std::find(locations.begin(), locations.end(), folder) != locations.end();
        if (!inLocation) names[i] += " (" + folder.substr(folder.rfind('/') + 1) + ")";
    }
    return names;
}

}  // namespace tavrin::recordings
