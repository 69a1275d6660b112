#include <gtest/gtest.h>

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <string>

#include "platform/posix/PosixFileSystem.h"
#include "platform/qt/QtSettingsStore.h"
#include "settings/IniStore.h"
#include "settings/Settings.h"
#include "support/TempDir.h"
#include "wav/Formats.h"

namespace tavrin::platform {
namespace {

using settings::Function;
using settings::Settings;

// Every test gets its own configuration folder, so nothing reaches the real
// home; QSettings reads XDG_CONFIG_HOME only once, hence setPath as well.
struct QtSettingsStoreTest : ::testing::Test {
    QtSettingsStoreTest() { UseConfigFolder(config.path()); }

    static void UseConfigFolder(const std::string& folder) {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(folder));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(folder));
    }
    std::string settingsFile() const { return config.file("Korvel Software/Tavrin.conf"); }

    test::TempDir config;
};

TEST_F(QtSettingsStoreTest, ValuesWrittenByOneInstanceAreReadByTheNext) {
    const std::string card = "/media/ann/Kärtchen, rot";
    {
        QtSettingsStore store;
        Settings s(store);
        s.setFormat(wav::kCodePcm22k16);
        s.setSaveLocation(card);
        ASSERT_TRUE(s.keys().assign(Function::RecordStop, settings::vk::Star));
        ASSERT_TRUE(s.keys().assign(Function::Rewind, settings::vk::Digit0));
        s.writeSettings(settings::kWriteFormat | settings::kWriteSaveLocation);
        s.writeKeys("");
    }
    EXPECT_TRUE(test::FileExists(settingsFile()));

    QtSettingsStore store;
    Settings next(store);
    next.readSettings();
    next.readKeys();
    EXPECT_EQ(next.format(), wav::kCodePcm22k16);
    EXPECT_EQ(next.saveLocation(), card);
    for (const auto& f : settings::Functions()) {
        const std::uint32_t expected = f.function == Function::RecordStop ? settings::vk::Star
                                       : f.function == Function::Rewind   ? settings::vk::Digit0
                                                                           : 0u;
        EXPECT_EQ(next.keys().key(f.function), expected) << f.label;
    }
}

TEST_F(QtSettingsStoreTest, KeepsTheGroupsAndValueNames) {
    QtSettingsStore store;
    Settings s(store);
    s.setFormat(wav::kCodeGsm);
    s.setSaveLocation("/home/ann/Documents");
    ASSERT_TRUE(s.keys().assign(Function::Forward, settings::vk::Right));
    settings::RecordingOptions options;
    options.subFolder = "Interviews";
    options.silenceSeconds = 7;
    s.setRecordingOptions(options);
    s.writeSettings(0x1FF80);  // every value
    s.writeKeys("");

    QSettings raw(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin"));
    EXPECT_EQ(raw.fileName().toStdString(), settingsFile());
    EXPECT_EQ(raw.childGroups(), (QStringList{"Keys", "Recording Options"}));
    raw.beginGroup("Recording Options");
    QStringList values = raw.childKeys();
    values.sort();
    EXPECT_EQ(values, (QStringList{"Activation Level", "Format", "Save Location", "Silence Cut", "Silence Level",
                                   "Silence Seconds", "Sub-folder", "Time Limit", "Time Limit Minutes",
                                   "Voice Activation"}));
    EXPECT_EQ(raw.value("Sub-folder").toString(), "Interviews");
    EXPECT_EQ(raw.value("Silence Seconds").toUInt(), 7u);
    EXPECT_EQ(raw.value("Format").toUInt(), 0x10000000u);
    EXPECT_EQ(raw.value("Save Location").toString(), "/home/ann/Documents");
    raw.endGroup();
    raw.beginGroup("Keys");
    QStringList names = raw.childKeys();
    names.sort();
    EXPECT_EQ(names, (QStringList{"Append", "Append Stop", "Faster", "Forward", "Insert", "Overwrite", "Pause",
                                  "Play", "Play Pause", "Record", "Record Pause", "Record Stop", "Rewind", "Slower",
                                  "Stop"}));
    EXPECT_EQ(raw.value("Forward").toUInt(), 39u);
    EXPECT_EQ(raw.value("Play").toUInt(), 0u);
}

// tavrin-cli reads the program's settings file without Qt: whatever the
// program writes, however it escapes it, reads back the same.
TEST_F(QtSettingsStoreTest, TheToolReadsWhatTheProgramWrote) {
    for (const std::string& folder : {std::string("Interviews"), std::string(" two  spaces "),
                                      std::string("Café, ; semi"), std::string("@at #hash =eq 'q'")}) {
        SCOPED_TRACE(folder);
        QtSettingsStore store;
        Settings written(store);
        written.setFormat(wav::kCodePcm11k16);
        written.setSaveLocation("/media/ann/Kärtchen \"rot\"; \\x" + folder);
        written.setRecordingOptions({true, 35, true, 7, 12, true, 480, folder});
        written.writeSettings(0x1FF80);  // every value
        ASSERT_TRUE(written.keys().assign(Function::Overwrite, settings::vk::Pound));
        written.writeKeys("");
        QSettings(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin")).sync();

        const std::vector<std::uint8_t> bytes = test::ReadBytes(settingsFile());
        settings::IniStore ini(std::string(bytes.begin(), bytes.end()));
        Settings read(ini);
        read.readSettings();
        read.readKeys();
        EXPECT_EQ(Settings::Differences(read.snapshot(), written.snapshot()), 0u);
        EXPECT_EQ(read.recordingOptions().subFolder, folder);
        EXPECT_EQ(read.keys().key(Function::Overwrite), settings::vk::Pound);
        EXPECT_FALSE(ini.writeNumber("Keys", "Play", 1)) << "the tool never writes";
    }
}

TEST_F(QtSettingsStoreTest, MissingOrUnreadableValuesLeaveTheDefault) {
    ASSERT_TRUE(PosixFileSystem().createDirectory(config.file("Korvel Software")));
    test::WriteBytes(settingsFile(),
                     "[Recording%20Options]\nFormat=GSM\nSave%20Location=/media/a, /media/b\n"
                     "[Keys]\nPlay=0x31\nStop=-1\nPause=4294967296\nRewind= 37 \n");
    QtSettingsStore store;
    std::uint32_t number = 7;
    std::string text = "default";
    EXPECT_FALSE(store.readNumber("Recording Options", "Format", number));
    EXPECT_FALSE(store.readString("Recording Options", "Save Location", text));
    EXPECT_FALSE(store.readNumber("Keys", "Stop", number));
    EXPECT_FALSE(store.readNumber("Keys", "Pause", number));
    EXPECT_FALSE(store.readNumber("Keys", "Record", number));
    EXPECT_FALSE(store.readNumber("Nowhere", "Play", number));
    EXPECT_EQ(number, 7u);
    EXPECT_EQ(text, "default");

    EXPECT_TRUE(store.readNumber("Keys", "Play", number));
    EXPECT_EQ(number, 49u);
    EXPECT_TRUE(store.readNumber("Keys", "Rewind", number));
    EXPECT_EQ(number, 37u);
}

TEST_F(QtSettingsStoreTest, AStoreThatCannotBeWrittenLosesNothingInMemory) {
    // The configuration folder's place is taken by a file: nothing can be created there.
    test::WriteBytes(config.file("blocked"), std::string("x"));
    UseConfigFolder(config.file("blocked"));

    QtSettingsStore store;
    EXPECT_FALSE(store.writeNumber("Recording Options", "Format", wav::kCodeGsm));
    EXPECT_FALSE(store.writeString("Recording Options", "Save Location", "/media/ann/SD"));

    Settings s(store);
    s.setFormat(wav::kCodePcm8k16);
    s.setSaveLocation("/media/ann/SD");
    ASSERT_TRUE(s.keys().assign(Function::Play, settings::vk::Pound));
    s.writeSettings(settings::kWriteFormat | settings::kWriteSaveLocation);
    s.writeKeys("");
    EXPECT_EQ(s.format(), wav::kCodePcm8k16);
    EXPECT_EQ(s.saveLocation(), "/media/ann/SD");
    EXPECT_EQ(s.keys().key(Function::Play), settings::vk::Pound);

    s.readSettings();
    s.readKeys();
    EXPECT_EQ(s.format(), wav::kCodePcm8k16);
    EXPECT_EQ(s.keys().key(Function::Play), settings::vk::Pound);
}

}  // namespace
}  // namespace tavrin::platform
