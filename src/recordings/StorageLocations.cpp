#include "recordings/StorageLocations.h"

#include <algorithm>
#include <utility>

namespace tavrin::recordings {

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool IsInside(std::string_view path, std::string_view folder) {
    folder = folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
    if (folder.empty() || !path.starts_with(folder)) return false;
    return path.size() == folder.size() || path[folder.size()] == '/' || folder == "/";
}

std::vector<std::string> StorageLocations::list() {
    std::string documents = WithoutTrailingSlash(shell.documentsFolder());
    // The shell normally creates it; should it be gone since, a new recording
    // must still have somewhere to go.
    if (!documents.empty() && !files.isDirectory(documents)) static_cast<void>(files.createDirectory(documents));
    std::vector<std::string> locations{documents};
    for (std::string card : shell.storageCards()) {
        card = WithoutTrailingSlash(std::move(card));
        // A card that holds the documents folder is main memory itself; listing it
        // again would show every recording twice.
        if (card.empty() || IsInside(documents, card)) continue;
        locations.push_back(std::move(card));
    }
    return locations;
}

bool StorageLocations::IsKnown(const std::vector<std::string>& locations, const std::string& path) {
    return std::find(locations.begin(), locations.end(), path) != locations.end();
}

namespace {

std::string LastComponent(const std::string& path) {
    const std::string trimmed = WithoutTrailingSlash(path);
    const auto slash = trimmed.rfind('/');
    if (slash == std::string::npos || slash + 1 == trimmed.size()) return trimmed;
    return trimmed.substr(slash + 1);
}

}  // namespace

std::string DisplayName(const std::vector<std::string>& locations, const std::string& path) {
    if (!locations.empty() && path == locations.front()) return std::string(kPhoneName);
    // Two cards with the same label, or a card labelled "Phone", would be one
    // name for two places, and the choice made by name could not be undone:
    // such a card is shown by its full mount path instead.
    std::string name = LastComponent(path);
    bool clash = name == kPhoneName;
    for (std::size_t i = 1; i < locations.size() && !clash; ++i)
        clash = locations[i] != path && LastComponent(locations[i]) == name;
    return clash ? path : name;
}

std::vector<std::string> DisplayNames(const std::vector<std::string>& locations) {
    std::vector<std::string> names;
    names.reserve(locations.size());
    for (const auto& location : locations) names.push_back(DisplayName(locations, location));
    return names;
}

std::optional<std::string> LocationOfDisplayName(const std::vector<std::string>& locations, std::string_view name) {
    const auto it = std::find_if(locations.begin(), locations.end(),
                                 [&](const std::string& location) { return DisplayName(locations, location) == name; });
    if (it == locations.end()) return std::nullopt;
    return *it;
}

}  // namespace tavrin::recordings
