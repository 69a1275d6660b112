// tavrin: the voice recorder's window. One recorder runs per user; a second
// launch brings the running one forward and ends.
#include <QApplication>
#include <QTimer>
#include <cstring>

#include "app/EngineHost.h"
#include "app/MainWindow.h"
#include "app/SingleInstance.h"
#include "platform/posix/TerminationSignals.h"

namespace {

// Exit codes besides the main loop's own.
constexpr int kExitAlreadyRunning = 0;
constexpr int kExitNoGuard = 1;
constexpr int kExitNoWindow = 2;

// For measuring the start-up: the program ends as soon as its window is up
// with the recordings listed.
bool ExitWhenShown(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--exit-when-shown") == 0) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tavrin::app;
    // From the start: a SIGTERM during start-up waits in the pipe and closes
    // the window once it is up, instead of ending the process half-made.
    static_cast<void>(tavrin::platform::CatchTerminationSignals());
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrin"));
    QGuiApplication::setDesktopFileName(QStringLiteral("tavrin"));

    SingleInstance guard;
    switch (guard.acquire()) {
        case SingleInstance::Outcome::Failed: return kExitNoGuard;
        case SingleInstance::Outcome::Second: return kExitAlreadyRunning;
        case SingleInstance::Outcome::First: break;
    }

    EngineHost& host = MakeEngineHost();
    MainWindow window(host.windowServices());
    // The engine's thread ends before the window its events go to, and before
    // returning tears the libraries down under it.
    const EngineEnding ending(host);
    // The session ends programs with SIGTERM (SIGHUP, Ctrl-C alike): save
    // first. Caught before the start-up steps, so that a box one of them
    // shows (recordings recovered, a card missing) ends on a signal too.
    static_cast<void>(CloseOnTerminationSignals(window));
    if (!window.initialise()) return kExitNoWindow;
    // Nothing records yet: ending here saves all there is to save.
    if (window.terminationRequested()) return 0;
    QObject::connect(&guard, &SingleInstance::raiseRequested, &window, [&window] { BringToFront(window); });
    window.show();
    if (ExitWhenShown(argc, argv)) QTimer::singleShot(0, &window, [] { QCoreApplication::exit(0); });
    return QApplication::exec();
}
