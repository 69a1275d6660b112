#include "app/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QWidget>

namespace tavrin::app {

SingleInstance::SingleInstance(QString where, QObject* parent) : QObject(parent), folder(std::move(where)) {}

SingleInstance::~SingleInstance() {
    delete asked;  // stops watching before the guard closes the socket
}

QString SingleInstance::RuntimeFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) return runtime;
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

QString SingleInstance::socketPath() const { return QDir(folder).filePath(QString::fromLatin1(kName)); }

SingleInstance::Outcome SingleInstance::acquire() {
    if (folder.isEmpty() || !QDir(folder).exists()) return Outcome::Failed;
    const std::string path = QFile::encodeName(socketPath()).toStdString();
    guard = std::make_unique<platform::InstanceGuard>(path);
    switch (guard->acquire()) {
        case platform::InstanceGuard::Outcome::Failed: return Outcome::Failed;
        case platform::InstanceGuard::Outcome::Taken:
            // The running recorder may still be starting or already closing;
            // then there is nobody to ask, and this launch goes quietly all the same.
            static_cast<void>(platform::InstanceGuard::askToRaise(path));
            return Outcome::Second;
        case platform::InstanceGuard::Outcome::Holder: break;
    }
    // Without the socket later launches cannot raise this one; the recorder still works.
    if (guard->socket() >= 0) {
        asked = new QSocketNotifier(guard->socket(), QSocketNotifier::Read, this);
        connect(asked, &QSocketNotifier::activated, this, [this] {
            if (guard->takeRaiseRequests() > 0) emit raiseRequested();
        });
    }
    return Outcome::First;
}

void BringToFront(QWidget& window) {
    if (window.isMinimized()) window.showNormal();
    QWidget* target = QApplication::activeModalWidget();
    if (!target) target = &window;
    target->raise();
    target->activateWindow();
}

}  // namespace tavrin::app
