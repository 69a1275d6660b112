// One recorder per user: a second launch raises the first and ends with 0,
// a guard that cannot be made ends the program with 1.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTest>
#include <QWidget>
#include <filesystem>

#include "app/SingleInstance.h"
#include "support/TempDir.h"

namespace tavrin::app {
namespace {

constexpr int kWaitMs = 30'000;  // a guard against a hung process, not a timing assumption

class SingleInstanceTest : public ::testing::Test {
protected:
    SingleInstanceTest() : runtime(QString::fromStdString(root.file("runtime"))) {
        std::filesystem::create_directories(root.file("runtime"));
        std::filesystem::create_directories(root.file("home/Documents"));
    }

    // Runs the program as a later launch would, in this test's runtime folder.
    QProcess* launch(const QString& runtimeFolder) {
        auto* process = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
        env.insert(QStringLiteral("HOME"), QString::fromStdString(root.file("home")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(root.file("config")));
        env.insert(QStringLiteral("XDG_DOCUMENTS_DIR"), QString::fromStdString(root.file("home/Documents")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // A file as microphone and speaker: the test needs no sound card.
        env.insert(QStringLiteral("TAVRIN_AUDIO_IN"), QStringLiteral(TAVRIN_FIXTURE_DIR "/pcm-8k-8bit.wav"));
        env.insert(QStringLiteral("TAVRIN_AUDIO_OUT"), QString::fromStdString(root.file("speaker.wav")));
        process->setProcessEnvironment(env);
        process->start(QStringLiteral(TAVRIN_PROGRAM), {});
        return process;
    }
    static int exitCodeOf(QProcess& process) {
        EXPECT_TRUE(process.waitForFinished(kWaitMs));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        return process.exitCode();
    }

    test::TempDir root;
    QString runtime;
};

TEST_F(SingleInstanceTest, TheNameIsFixedBase64OfTwentyFourCharacters) {
    const QByteArray name(SingleInstance::kName);
    EXPECT_EQ(name.size(), 24);
    EXPECT_TRUE(name.endsWith("=="));
    EXPECT_EQ(QByteArray::fromBase64(name).toBase64(), name);
}

TEST_F(SingleInstanceTest, ASecondLaunchExitsWithZeroAndRaisesTheFirst) {
    SingleInstance first(runtime);
    ASSERT_EQ(first.acquire(), SingleInstance::Outcome::First);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Tavrin"));
    window.show();
    window.showMinimized();
    QObject::connect(&first, &SingleInstance::raiseRequested, &window, [&] { BringToFront(window); });
    QSignalSpy raised(&first, &SingleInstance::raiseRequested);

    std::unique_ptr<QProcess> second(launch(runtime));
    EXPECT_EQ(exitCodeOf(*second), 0);
    EXPECT_TRUE(raised.count() > 0 || raised.wait(kWaitMs));
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
}

TEST_F(SingleInstanceTest, AnOpenDialogIsWhatComesForward) {
    QWidget window;
    window.show();
    QDialog dialog(&window);
    dialog.setModal(true);
    dialog.show();
    window.showMinimized();
    BringToFront(window);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(QApplication::activeWindow(), &dialog);
}

TEST_F(SingleInstanceTest, TwoProgramsMakeOneRecorder) {
    std::unique_ptr<QProcess> first(launch(runtime));
    ASSERT_TRUE(first->waitForStarted(kWaitMs));
    const QString socket = QDir(runtime).filePath(QString::fromLatin1(SingleInstance::kName));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(socket); }, kWaitMs)) << "the first never listened";
    std::unique_ptr<QProcess> second(launch(runtime));
    EXPECT_EQ(exitCodeOf(*second), 0);
    EXPECT_EQ(first->state(), QProcess::Running) << "the first recorder keeps running";
    first->terminate();
    first->waitForFinished(kWaitMs);
}

// The session ends programs with SIGTERM: the recorder ends as its window
// closing ends it, with 0, not killed by the signal.
TEST_F(SingleInstanceTest, TerminationEndsTheRecorderAsClosingItsWindowDoes) {
    std::unique_ptr<QProcess> program(launch(runtime));
    ASSERT_TRUE(program->waitForStarted(kWaitMs));
    const QString socket = QDir(runtime).filePath(QString::fromLatin1(SingleInstance::kName));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(socket); }, kWaitMs));
    program->terminate();
    EXPECT_EQ(exitCodeOf(*program), 0);
}

// The box that names the recordings recovered at start-up holds the start
// in its own loop: a termination ends the program from there too, with 0,
// its window never shown.
TEST_F(SingleInstanceTest, TerminationEndsTheRecorderFromTheStartUpBox) {
    // A recording a kill left behind, and the journal of its append.
    std::vector<std::uint8_t> wav = {'R', 'I', 'F', 'F', 36 + 80, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                     16, 0, 0, 0, 1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0,
                                     'd', 'a', 't', 'a', 80, 0, 0, 0};
    wav.resize(wav.size() + 80 + 4096, 0x80);
    const std::string recording = root.file("home/Documents/cut.wav");
    test::WriteBytes(recording, wav);
    const std::string state = root.file("home/.local/state/tavrin");
    std::filesystem::create_directories(state);
    QByteArray hex = QByteArray::fromStdString(recording).toHex();
    test::WriteBytes(state + "/1.journal",
                     "tavrin-journal 1\nedit\n" + hex.toStdString() + "\n36 0 1 8000\n-\nend\n");
    std::unique_ptr<QProcess> program(launch(runtime));
    ASSERT_TRUE(program->waitForStarted(kWaitMs));
    // Repaired and its journal gone: the box that says so is up.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(QString::fromStdString(state + "/1.journal")); },
                                kWaitMs));
    program->terminate();
    EXPECT_EQ(exitCodeOf(*program), 0);
}

TEST_F(SingleInstanceTest, AGuardThatCannotBeMadeEndsWithOne) {
    const QString impossible = QString::fromStdString(root.file("a-file/runtime"));
    test::WriteBytes(root.file("a-file"), std::string("not a folder"));
    SingleInstance guard(impossible);
    EXPECT_EQ(guard.acquire(), SingleInstance::Outcome::Failed);
    std::unique_ptr<QProcess> program(launch(impossible));
    EXPECT_EQ(exitCodeOf(*program), 1);
}

TEST_F(SingleInstanceTest, TheLockOfACrashedRecorderIsTakenOver) {
    // What a recorder that crashed leaves behind: its lock, naming a process
    // that is gone, and its socket file.
    const QString lock = QDir(runtime).filePath(QString::fromLatin1(SingleInstance::kName) + ".lock");
    test::WriteBytes(lock.toStdString(), "999999999\ntavrin\n" + QSysInfo::machineHostName().toStdString() + "\n");
    test::WriteBytes(QDir(runtime).filePath(QString::fromLatin1(SingleInstance::kName)).toStdString(), std::string());
    SingleInstance guard(runtime);
    EXPECT_EQ(guard.acquire(), SingleInstance::Outcome::First);
    SingleInstance later(runtime);
    EXPECT_EQ(later.acquire(), SingleInstance::Outcome::Second);
}

}  // namespace
}  // namespace tavrin::app
