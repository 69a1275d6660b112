#pragma once

#include <string>
#include <vector>

#include "platform/Shell.h"

class QMessageBox;
class QWidget;

namespace tavrin::platform {

// The desktop as the recorder sees it: modal message boxes over whatever
// window of ours is active, the user's documents folder and the mounted
// storage cards.
class QtShell : public Shell {
public:
    // A box with the icon and buttons of the style, over the active modal
    // dialog or else the active window; answers with the button pressed
    // (closing the box counts as its escape button). Called from another
    // thread, the box is shown by the UI thread and the caller waits for it.
    int messageBox(const std::string& text, const std::string& caption, unsigned style) override;
    // $XDG_DOCUMENTS_DIR (as the command-line tools read it), else the
    // desktop's documents folder; created when missing, empty when it cannot be.
    std::string documentsFolder() override;
    std::vector<std::string> storageCards() override;
    bool isFastMedia(const std::string& path) override;
};

// Builds the box for a style without showing it: icon, buttons, default button.
void ConfigureMessageBox(QMessageBox& box, const std::string& text, const std::string& caption, unsigned style);
// Keeps a box shown over `window` no wider than it: the text wraps and the
// box grows downwards, centred over the window. A box that fits is left alone.
void FitMessageBoxTo(QMessageBox& box, const QWidget& window);
// The answer (answer::…) for the standard button a box ended with.
int AnswerOfButton(int standardButton);

}  // namespace tavrin::platform
