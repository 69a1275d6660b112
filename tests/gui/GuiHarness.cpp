#include "GuiHarness.h"

#include <utility>

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMetaObject>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "support/TempDir.h"

namespace tavrin::test {

ModalScript::ModalScript() {
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, this, [this] { poll(); });
    timer.start();
}

ModalScript::~ModalScript() = default;

void ModalScript::then(const QString& dialogName, Step step) { steps.push_back({dialogName, std::move(step)}); }

QString ModalScript::pending() const {
    QStringList names;
    for (const Pending& p : steps) names << p.name;
    return names.join(QStringLiteral(", "));
}

void ModalScript::poll() {
    if (steps.empty() || running) return;
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal->objectName() != steps.front().name) return;
    Step step = std::move(steps.front().step);
    steps.pop_front();
    running = true;
    // From its own event: the step may open a dialog whose loop must not
    // hold up this timer.
    QTimer::singleShot(0, this, [this, step = std::move(step)] {
        running = false;
        if (QWidget* now = QApplication::activeModalWidget()) step(*now);
        // A step that failed leaves its dialog open; close them all so that
        // the test ends instead of waiting in the dialog's loop.
        if (::testing::Test::HasFatalFailure()) {
            steps.clear();
            while (QWidget* open = QApplication::activeModalWidget()) open->close();
        }
    });
}

void Click(QWidget& target, int qtKey) { QTest::keyClick(&target, static_cast<Qt::Key>(qtKey)); }

void ClickText(QWidget& target, const QString& text) { QTest::keyClicks(&target, text); }

void SaveScreenshot(QWidget& window, const QString& name) {
    QDir().mkpath(QStringLiteral(TAVRIN_SCREENSHOT_DIR));
    EXPECT_TRUE(window.grab().save(QStringLiteral(TAVRIN_SCREENSHOT_DIR "/") + name)) << name.toStdString();
}

void WriteRecording(const std::string& path, int milliseconds) {
    const std::uint32_t samples = static_cast<std::uint32_t>(milliseconds) * 8;
    std::vector<std::uint8_t> bytes(44 + samples);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    auto put16 = [&](std::size_t at, std::uint16_t v) {
        bytes[at] = static_cast<std::uint8_t>(v);
        bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    std::memcpy(bytes.data(), "RIFF", 4);
    put32(4, 36 + samples);
    std::memcpy(bytes.data() + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 1);
    put32(24, 8000);
    put32(28, 8000);
    put16(32, 1);
    put16(34, 8);
    std::memcpy(bytes.data() + 36, "data", 4);
    put32(40, samples);
    for (std::uint32_t i = 0; i < samples; ++i)
        bytes[44 + i] = static_cast<std::uint8_t>(128 + std::lround(40 * std::sin(i * 2 * 3.14159265 * 440 / 8000)));
    WriteBytes(path, bytes);
}

GuiTest::GuiTest() : documents(root.file("Documents")), config(root.file("config")) {
    std::filesystem::create_directories(documents);
    std::filesystem::create_directories(config);
    qputenv("XDG_DOCUMENTS_DIR", QByteArray::fromStdString(documents));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
    // Waveforms are cached per test, never in the user's cache.
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(root.file("cache")));
    // QSettings reads XDG_CONFIG_HOME once per process.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(config));
    shell.setDocumentsFolder(documents);
    engine.setDelivery([this](std::uint32_t message) { main->send(message, 0, 0); });
}

GuiTest::~GuiTest() {
    if (main) main->close();
    main.reset();
}

app::MainWindow& GuiTest::start() {
    app::MainWindowServices services{engine,
                                     [this](platform::EventSink&) { return startResult; },
                                     shell,
                                     files,
                                     store,
                                     power,
                                     times,
                                     [this](int code) { quits.push_back(code); },
                                     [this] {
                                         const auto mode = engine.currentMode();
                                         return mode != ScriptedEngine::Mode::Closed &&
                                                mode != ScriptedEngine::Mode::FileOpen;
                                     },
                                     [this] { return sources; },
                                     [this](const std::string& name) { microphonesUsed.push_back(name); },
                                     [this] { return std::exchange(inputNotice, std::nullopt); },
                                     journals};
    main = std::make_unique<app::MainWindow>(services);
    EXPECT_TRUE(main->initialise());
    main->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    return *main;
}

QString GuiTest::stored(const QString& key) const {
    const QSettings file(QString::fromStdString(configFile()), QSettings::IniFormat);
    return file.value(key).toString();
}

void GuiTest::deliverEvents() {
    engine.deliverAll();
    QCoreApplication::processEvents();
}

void GuiTest::choose(std::uint32_t command) {
    QMetaObject::invokeMethod(main.get(), [this, command] {
        if (command == controller::cmd::Menu) return;
        QAction* item = nullptr;
        for (QAction* a : main->softKeyMenu().actions())
            if (a->data().toUInt() == command) item = a;
        ASSERT_NE(item, nullptr) << "no menu item for command " << command;
        item->trigger();
    });
    QCoreApplication::processEvents();
}

void GuiTest::pickFromMenu(std::uint32_t command) {
    Click(main->recordingList(), Qt::Key_F2);
    QMenu& menu = main->softKeyMenu();
    ASSERT_TRUE(menu.isVisible()) << "F2 did not open the menu";
    QAction* item = nullptr;
    for (QAction* a : menu.actions())
        if (a->data().toUInt() == command && !a->isSeparator()) item = a;
    ASSERT_NE(item, nullptr);
    menu.setActiveAction(item);
    Click(menu, Qt::Key_Return);
    QCoreApplication::processEvents();
}

// As the timer itself fires: its timeout reaches whatever the window connected to it.
void GuiTest::tick(int timerId) { ASSERT_TRUE(QMetaObject::invokeMethod(&main->timerOf(timerId), "timeout")); }

bool GuiTest::calledEngine(const std::string& call) const {
    for (const std::string& c : engine.calls())
        if (c == call) return true;
    return false;
}

controller::State* GuiTest::state(controller::StateId id) { return &main->states().StateAt(id); }

}  // namespace tavrin::test
