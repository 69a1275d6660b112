#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/Shell.h"

namespace tavrin::test {

// A Shell that shows nothing: every message box is recorded, and answered
// from a queue of scripted answers, then with the default answer (when none
// is set, the default button of the style, as a user pressing Enter would).
class RecordingShell : public platform::Shell {
public:
    struct Box {
        std::string text;
        std::string caption;
        unsigned style = 0;
    };

    const std::vector<Box>& boxes() const { return shown; }
    // The last box shown; fails the running test when there was none.
    const Box& lastBox() const;
    void clearBoxes() { shown.clear(); }

    void queueAnswer(int answer) { script.push_back(answer); }
    void setDefaultAnswer(std::optional<int> answer) { fallback = answer; }
    void setDocumentsFolder(std::string folder) { documents = std::move(folder); }
    void setStorageCards(std::vector<std::string> cards) { mounted = std::move(cards); }
    // Locations answered as fast media: a path is fast when it is one of
    // them or lies inside one. Every other location is slow.
    void setFastLocations(std::vector<std::string> locations) { fast = std::move(locations); }

    int messageBox(const std::string& text, const std::string& caption, unsigned style) override;
    std::string documentsFolder() override { return documents; }
    std::vector<std::string> storageCards() override { return mounted; }
    bool isFastMedia(const std::string& path) override;

private:
    std::vector<Box> shown;
    std::deque<int> script;
    std::optional<int> fallback;
    std::string documents;
    std::vector<std::string> mounted;
    std::vector<std::string> fast;
};

// The answer of the default button of a box style (the first button, or the
// second with DefButton2).
int DefaultButtonAnswer(unsigned style);

}  // namespace tavrin::test
