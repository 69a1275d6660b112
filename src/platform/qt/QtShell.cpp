#include "platform/qt/QtShell.h"

#include <atomic>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

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

int AnswerOfButton(int standardButton) {
    switch (standardButton) {
        case QMessageBox::Yes: return answer::Yes;
        case QMessageBox::No: return answer::No;
        case QMessageBox::Cancel: return answer::Cancel;
        default: return answer::Ok;
    }
}

int QtShell::messageBox(const std::string& text, const std::string& caption, unsigned style) {
    // A storage fault found on the engine thread is reported there; boxes
    // live on the UI thread, so the report is shown there and waited for.
    // Qt orders the call and its return, but with locks the thread checker
    // cannot see: the request and the answer are handed over explicitly.
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
        std::atomic<bool> asked{false};
        std::atomic<int> answer{answer::Ok};
        asked.store(true, std::memory_order_release);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [&] {
                static_cast<void>(asked.load(std::memory_order_acquire));
                answer.store(messageBox(text, caption, style), std::memory_order_release);
            },
            Qt::BlockingQueuedConnection);
        return answer.load(std::memory_order_acquire);
    }
    // The owner may go while the box is up (the program is quitting); a guard keeps that harmless.
    QPointer<QMessageBox> box = new QMessageBox(BoxOwner());
    ConfigureMessageBox(*box, text, caption, style);
    const int pressed = box->exec();
    if (box) delete box.data();
    return AnswerOfButton(pressed);
}

std::string QtShell::documentsFolder() {
    QString folder = qEnvironmentVariable("XDG_DOCUMENTS_DIR");
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder)) return {};
    return QDir::cleanPath(folder).toStdString();
}

std::vector<std::string> QtShell::storageCards() { return MountedStorageCards(); }

}  // namespace tavrin::platform
