#pragma once

#include <memory>

#include <QObject>
#include <QString>

#include "platform/posix/InstanceGuard.h"

class QSocketNotifier;
class QWidget;

namespace tavrin::app {

// Makes sure one recorder runs per user. The guard is a lock file and a local
// socket in the user's runtime folder, both named by a fixed name that must
// never change between versions that should exclude each other. A later
// launch finds the lock held, asks the running recorder through the socket to
// come to the front, and goes. The event loop watches the socket: nothing
// wakes the recorder until someone asks.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kName = "VGF2cmluSW5zdGFuY2UwMQ==";

    enum class Outcome {
        First,   // this is the recorder; later launches raise it
        Second,  // another recorder runs and has been asked to come forward
        Failed,  // the guard could not be made
    };

    // `folder`: where the guard lives; by default $XDG_RUNTIME_DIR (or Qt's
    // runtime folder when that is not set).
    explicit SingleInstance(QString folder = RuntimeFolder(), QObject* parent = nullptr);
    ~SingleInstance() override;

    [[nodiscard]] Outcome acquire();

    static QString RuntimeFolder();
    QString socketPath() const;

signals:
    // A later launch asked this recorder to come to the front.
    void raiseRequested();

private:
    QString folder;
    std::unique_ptr<platform::InstanceGuard> guard;
    QSocketNotifier* asked = nullptr;
};

// Brings the recorder forward: its open modal dialog when there is one (the
// options list, rename, assign key ...), otherwise the window itself.
void BringToFront(QWidget& window);

}  // namespace tavrin::app
