#include "platform/qt/QtShell.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

#include "platform/posix/LocationSpeed.h"
#include "platform/posix/StderrShell.h"

namespace tavrin::platform {
namespace {

QMessageBox::Icon IconOfStyle(unsigned style) {
    switch (style & mb::IconMask) {
        case mb::IconHand: return QMessageBox::Critical;
        case mb::IconQuestion: return QMessageBox::Question;
        case mb::IconExclamation: return QMessageBox::Warning;
        case mb::IconAsterisk: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

// The two buttons of a style, first and second; the second may be none.
std::pair<QMessageBox::StandardButton, QMessageBox::StandardButton> ButtonsOfStyle(unsigned style) {
    switch (style & mb::ButtonMask) {
        case mb::OkCancel: return {QMessageBox::Ok, QMessageBox::Cancel};
        case mb::YesNo: return {QMessageBox::Yes, QMessageBox::No};
        default: return {QMessageBox::Ok, QMessageBox::NoButton};
    }
}

QWidget* BoxOwner() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return QApplication::activeWindow();
}

int ShowBox(const std::string& text, const std::string& caption, unsigned style);

// A box asked for by another thread (a storage fault found on the engine
// thread). Boxes live on the UI thread: the request waits here, under our own
// lock, for the UI thread to show it, and the asking thread waits for the
// answer. Qt only carries a call that holds no data, so that the request and
// its answer change threads under a lock the thread checker sees, not under
// Qt's internal ones.
struct ForeignBox {
    std::string text;
    std::string caption;
    unsigned style = 0;
    std::optional<int> answer;
};

std::mutex foreignMutex;
std::condition_variable foreignAnswered;
std::deque<ForeignBox*> foreignBoxes;

// UI thread: shows every box waiting, in the order asked.
void ShowForeignBoxes() {
    for (;;) {
        ForeignBox* request = nullptr;
        {
            const std::lock_guard lock(foreignMutex);
            if (foreignBoxes.empty()) return;
            request = foreignBoxes.front();
            foreignBoxes.pop_front();
        }
        const int answer = ShowBox(request->text, request->caption, request->style);
        {
            const std::lock_guard lock(foreignMutex);
            request->answer = answer;
        }
        foreignAnswered.notify_all();
    }
}

int AskUiThread(const std::string& text, const std::string& caption, unsigned style) {
    ForeignBox request{text, caption, style, std::nullopt};
    {
        const std::lock_guard lock(foreignMutex);
        foreignBoxes.push_back(&request);
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { ShowForeignBoxes(); }, Qt::QueuedConnection);
    std::unique_lock lock(foreignMutex);
    foreignAnswered.wait(lock, [&] { return request.answer.has_value(); });
    return *request.answer;
}

// A box that stays inside the window it is shown over: a long text would
// otherwise make it wider than the window, narrow as the keypad screen.
class FittedMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    // The box sizes itself when shown and on each layout request: each time,
    // it is brought back inside the window.
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        fit();
    }
    bool event(QEvent* event) override {
        const bool handled = QMessageBox::event(event);
        if (event->type() == QEvent::LayoutRequest && isVisible()) fit();
        return handled;
    }

private:
    void fit() {
        if (const QWidget* owner = parentWidget()) FitMessageBoxTo(*this, *owner->window());
    }
};

int ShowBox(const std::string& text, const std::string& caption, unsigned style) {
    // The owner may go while the box is up (the program is quitting); a guard keeps that harmless.
    QPointer<QMessageBox> box = new FittedMessageBox(BoxOwner());
    ConfigureMessageBox(*box, text, caption, style);
    const int pressed = box->exec();
    if (box) delete box.data();
    return AnswerOfButton(pressed);
}

}  // namespace

void ConfigureMessageBox(QMessageBox& box, const std::string& text, const std::string& caption, unsigned style) {
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    box.setIcon(IconOfStyle(style));
    const auto [first, second] = ButtonsOfStyle(style);
    box.setStandardButtons(second == QMessageBox::NoButton ? first : (first | second));
    const bool secondIsDefault = (style & mb::DefButton2) != 0 && second != QMessageBox::NoButton;
    box.setDefaultButton(secondIsDefault ? second : first);
    // Closing the box from the title bar means No or Cancel where there is one.
    box.setEscapeButton(second != QMessageBox::NoButton ? second : first);
}

void FitMessageBoxTo(QMessageBox& box, const QWidget& window) {
    const int width = window.width();
    if (box.width() <= width || width <= 0) return;
    // The text wraps to the window's width, and the box grows downwards instead.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) label->setWordWrap(true);
    box.layout()->activate();
    const int height = box.layout()->hasHeightForWidth() ? box.layout()->totalHeightForWidth(width)
                                                          : box.sizeHint().height();
    box.setFixedSize(width, std::max(height, box.minimumSizeHint().height()));
    const QPoint centre = window.mapToGlobal(window.rect().center());
    box.move(centre - QPoint(width / 2, box.height() / 2));
}

int AnswerOfButton(int standardButton) {
    switch (standardButton) {
        case QMessageBox::Yes: return answer::Yes;
        case QMessageBox::No: return answer::No;
        case QMessageBox::Cancel: return answer::Cancel;
        default: return answer::Ok;
    }
}

// A storage fault found on the engine thread is reported there; the box is
// shown by the UI thread and the engine thread waits for it.
int QtShell::messageBox(const std::string& text, const std::string& caption, unsigned style) {
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) return AskUiThread(text, caption, style);
    return ShowBox(text, caption, style);
}

std::string QtShell::documentsFolder() {
    QString folder = qEnvironmentVariable("XDG_DOCUMENTS_DIR");
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder)) return {};
    return QDir::cleanPath(folder).toStdString();
}

std::vector<std::string> QtShell::storageCards() { return MountedStorageCards(); }

bool QtShell::isFastMedia(const std::string& path) { return IsFastLocation(path); }

}  // namespace tavrin::platform
