#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "settings/MemoryStore.h"
#include "settings/Settings.h"
#include "support/RecordingShell.h"
#include "wav/Formats.h"

namespace tavrin::settings {
namespace {

using Value = std::variant<std::uint32_t, std::string>;

const std::string kDocuments = "/home/ann/Documents";
const std::string kCard = "/media/ann/SDCARD";

struct Fixture : ::testing::Test {
    MemoryStore store;
    Settings settings{store};
    test::RecordingShell shell;
};

using SettingsStartup = Fixture;

TEST_F(SettingsStartup, FirstRunWithAnEmptyStoreTakesTheFirstFormatMainMemoryAndNoKeys) {
    settings.readKeys();
    settings.readSettings();
    settings.validateFormat(SupportedFormats(wav::kCodePcm8k16 | wav::kCodePcm8k8 | wav::kCodePcm22k16, shell));
    settings.validateSaveLocation({kDocuments, kCard});

    EXPECT_EQ(settings.format(), wav::kCodePcm8k8);
    EXPECT_EQ(settings.saveLocation(), kDocuments);
    for (const auto& f : Functions()) EXPECT_EQ(settings.keys().key(f.function), 0u) << f.label;
    EXPECT_TRUE(store.empty()) << "reading and validating must not write";
    EXPECT_TRUE(shell.boxes().empty());
}

TEST_F(SettingsStartup, ReadsWhatTheStoreHoldsUnderItsValueNames) {
    ASSERT_TRUE(store.writeNumber("Recording Options", "Format", wav::kCodePcm11k16));
    ASSERT_TRUE(store.writeString("Recording Options", "Save Location", kCard));
    ASSERT_TRUE(store.writeNumber("Keys", "Record Stop", 49));
    ASSERT_TRUE(store.writeNumber("Keys", "Forward", 39));
    settings.readSettings();
    settings.readKeys();
    settings.validateFormat(SupportedFormats(0xFFFFFFFF, shell));
    settings.validateSaveLocation({kDocuments, kCard});

    EXPECT_EQ(settings.format(), wav::kCodePcm11k16);
    EXPECT_EQ(settings.saveLocation(), kCard);
    EXPECT_EQ(settings.keys().key(Function::RecordStop), 49u);
    EXPECT_EQ(settings.keys().key(Function::Forward), 39u);
    EXPECT_EQ(settings.keys().key(Function::Record), 0u);
}

TEST_F(SettingsStartup, ValuesOfTheWrongTypeLeaveTheDefaults) {
    ASSERT_TRUE(store.writeString("Recording Options", "Format", "0x40"));
    ASSERT_TRUE(store.writeNumber("Recording Options", "Save Location", 7));
    ASSERT_TRUE(store.writeString("Keys", "Play", "1"));
    settings.setFormat(wav::kCodeGsm);
    settings.setSaveLocation(kCard);
    settings.readSettings();
    settings.readKeys();
    EXPECT_EQ(settings.format(), wav::kCodeGsm);
    EXPECT_EQ(settings.saveLocation(), kCard);
    EXPECT_EQ(settings.keys().key(Function::Play), 0u);
}

TEST_F(SettingsStartup, SaveLocationOnAMissingCardFallsBackInMemoryOnly) {
    ASSERT_TRUE(store.writeString("Recording Options", "Save Location", kCard));
    settings.readSettings();
    settings.validateSaveLocation({kDocuments, "/media/ann/sdcard", kCard + "/"});  // compared exactly
    EXPECT_EQ(settings.saveLocation(), kDocuments);
    EXPECT_EQ(store.find("Recording Options", "Save Location"), Value(kCard));

    // Inserting the card again does not bring the choice back within the run:
    // the save location stays main memory until the user picks another.
    settings.validateSaveLocation({kDocuments, kCard});
    EXPECT_EQ(settings.saveLocation(), kDocuments);
}

// The recording options as stored, and what the recorder works with: a value
// out of its range is brought back into it in memory, and the store keeps
// what it holds until the user changes it on the Recording page.
TEST_F(SettingsStartup, RecordingOptionsAreReadIntoTheirRanges) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, Value>> stored;
        RecordingOptions expected;
    };
    const RecordingOptions defaults;
    const Case cases[] = {
        {"nothing stored: the recorder's defaults", {}, {false, 0, false, 0, 3, false, 1, ""}},
        {"every value in range",
         {{"Voice Activation", 1u}, {"Activation Level", 35u}, {"Silence Cut", 1u}, {"Silence Level", 100u},
          {"Silence Seconds", 60u}, {"Time Limit", 1u}, {"Time Limit Minutes", 600u},
          {"Sub-folder", std::string("Interviews")}},
         {true, 35, true, 100, 60, true, 600, "Interviews"}},
        {"lowest ends",
         {{"Voice Activation", 0u}, {"Activation Level", 0u}, {"Silence Seconds", 1u}, {"Time Limit Minutes", 1u}},
         {false, 0, false, 0, 1, false, 1, ""}},
        {"numbers beyond their range take the nearest end",
         {{"Activation Level", 101u}, {"Silence Level", 0xFFFFFFFFu}, {"Silence Seconds", 0u},
          {"Time Limit Minutes", 601u}},
         {false, 100, false, 100, 1, false, 600, ""}},
        {"a switch that is neither 0 nor 1 is off", {{"Voice Activation", 2u}, {"Silence Cut", 7u}, {"Time Limit", 255u}},
         defaults},
        {"seconds and minutes of 0 are not left to divide by", {{"Silence Seconds", 0u}, {"Time Limit Minutes", 0u}},
         {false, 0, false, 0, 1, false, 1, ""}},
        {"a sub-folder with a slash would leave the location", {{"Sub-folder", std::string("a/b")}}, defaults},
        {"a sub-folder that climbs out", {{"Sub-folder", std::string("..")}}, defaults},
        {"a sub-folder with a character a rename refuses", {{"Sub-folder", std::string("x:y")}}, defaults},
        {"values of the wrong type are ignored",
         {{"Voice Activation", std::string("1")}, {"Sub-folder", 5u}, {"Silence Seconds", std::string("9")}},
         defaults},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryStore fresh;
        for (const auto& [name, value] : c.stored) {
            if (const auto* number = std::get_if<std::uint32_t>(&value)) {
                ASSERT_TRUE(fresh.writeNumber("Recording Options", name, *number));
            } else {
                ASSERT_TRUE(fresh.writeString("Recording Options", name, std::get<std::string>(value)));
            }
        }
        const int writes = fresh.writeCount();
        Settings read(fresh);
        read.readSettings();
        EXPECT_EQ(read.recordingOptions(), c.expected);
        EXPECT_EQ(fresh.writeCount(), writes) << "corrections stay in memory";
        for (const auto& [name, value] : c.stored) EXPECT_EQ(fresh.find("Recording Options", name), value) << name;
    }
}

TEST(SubFolderNames, AreOneFolderNameWithoutTheCharactersARenameRefuses) {
    for (const char* good : {"Interviews", "2024 May", "a b", "Ünterwegs", "-x"}) EXPECT_TRUE(IsPlainName(good)) << good;
    for (const char* bad : {"", "a/b", "/", "..", ".", "a\\b", "a:b", "a*", "a?", "a\"b", "<a", "a.b", "a>", "a|b"})
        EXPECT_FALSE(IsPlainName(bad)) << bad;
    EXPECT_FALSE(IsPlainName(std::string_view("a\0b", 3)));
}

TEST_F(SettingsStartup, FormatValidation) {
    struct Case {
        const char* name;
        std::uint32_t stored;
        std::vector<std::uint32_t> supported;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"supported format stays", wav::kCodePcm22k16, {wav::kCodeGsm, wav::kCodePcm22k16}, wav::kCodePcm22k16},
        {"unsupported becomes the first", wav::kCodePcm22k16, {wav::kCodePcm8k8, wav::kCodePcm8k16},
         wav::kCodePcm8k8},
        {"unknown code becomes the first", 0x10, {wav::kCodePcm11k8}, wav::kCodePcm11k8},
        {"several bits are not a format", wav::kCodeGsm | wav::kCodePcm8k8, {wav::kCodeGsm, wav::kCodePcm8k8},
         wav::kCodeGsm},
        {"nothing accepted keeps a known format", wav::kCodePcm11k16, {}, wav::kCodePcm11k16},
        {"nothing accepted replaces an unknown code", 0, {}, wav::kCodeGsm},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        settings.setFormat(c.stored);
        settings.validateFormat(c.supported);
        EXPECT_EQ(settings.format(), c.expected);
    }
    EXPECT_EQ(store.writeCount(), 0);
}

TEST(SupportedFormats, FollowTheCatalogueOrderWhateverTheMask) {
    test::RecordingShell shell;
    EXPECT_EQ(SupportedFormats(wav::kCodePcm22k16 | wav::kCodePcm11k8 | wav::kCodeGsm | 0x10, shell),
              (std::vector<std::uint32_t>{wav::kCodeGsm, wav::kCodePcm11k8, wav::kCodePcm22k16}));
    EXPECT_TRUE(SupportedFormats(0, shell).empty());
    EXPECT_TRUE(shell.boxes().empty());
}

TEST(SupportedFormats, AFailedProbeIsToldAndGivesAnEmptyList) {
    test::RecordingShell shell;
    shell.queueAnswer(platform::answer::No);
    EXPECT_TRUE(SupportedFormats(std::nullopt, shell).empty());
    ASSERT_EQ(shell.boxes().size(), 1u);
    EXPECT_EQ(shell.lastBox().text, "Cannot retrieve supported audio formats");
    EXPECT_EQ(shell.lastBox().caption, "Tavrin");
    EXPECT_EQ(shell.lastBox().style, 0x14u);
}

using SettingsWriting = Fixture;

TEST_F(SettingsWriting, WritesOnlyTheValuesAskedFor) {
    struct Case {
        unsigned which;
        bool format, location;
    };
    for (const Case c : {Case{0x80, true, false}, Case{0x100, false, true}, Case{0x180, true, true},
                         Case{0, false, false}, Case{0x7F, false, false}}) {
        SCOPED_TRACE(c.which);
        MemoryStore fresh;
        Settings s(fresh);
        s.setFormat(wav::kCodePcm8k16);
        s.setSaveLocation(kCard);
        s.writeSettings(c.which);
        EXPECT_EQ(fresh.find("Recording Options", "Format").has_value(), c.format);
        EXPECT_EQ(fresh.find("Recording Options", "Save Location").has_value(), c.location);
        if (c.format) {
            EXPECT_EQ(fresh.find("Recording Options", "Format"), Value(wav::kCodePcm8k16));
        }
        if (c.location) {
            EXPECT_EQ(fresh.find("Recording Options", "Save Location"), Value(kCard));
        }
        EXPECT_EQ(fresh.writeCount(), int(c.format) + int(c.location));
    }
}

TEST_F(SettingsWriting, WritesOneKeyByLabelOrAllOfThemForAnEmptyLabel) {
    ASSERT_TRUE(settings.keys().assign(Function::Forward, vk::Right));
    ASSERT_TRUE(settings.keys().assign(Function::AppendStop, vk::Pound));

    settings.writeKeys("FF");
    EXPECT_EQ(store.writeCount(), 1);
    EXPECT_EQ(store.find("Keys", "Forward"), Value(vk::Right));

    settings.writeKeys("Record Stop");  // a value name is not a label
    settings.writeKeys("ff");
    EXPECT_EQ(store.writeCount(), 1);

    settings.writeKeys("");
    EXPECT_EQ(store.writeCount(), 1 + static_cast<int>(kFunctionCount));
    for (const auto& f : Functions()) {
        const std::uint32_t expected = f.function == Function::Forward      ? vk::Right
                                       : f.function == Function::AppendStop ? vk::Pound
                                                                             : 0u;
        EXPECT_EQ(store.find("Keys", f.valueName), Value(expected)) << f.valueName;
    }
}

// The Recording page writes only what the user changed: each value differs
// on its own and names its one bit; what is written is read back by the next run.
TEST_F(SettingsWriting, DifferencesNameEachChangedValueAndWriteIt) {
    using Change = void (*)(Settings::Snapshot&);
    struct Case {
        unsigned bit;
        const char* name;
        Change change;
    };
    const Case cases[] = {
        {kWriteFormat, "Format", [](Settings::Snapshot& s) { s.format = wav::kCodeGsm; }},
        {kWriteSaveLocation, "Save Location", [](Settings::Snapshot& s) { s.saveLocation = kCard; }},
        {kWriteVoiceActivation, "Voice Activation", [](Settings::Snapshot& s) { s.options.voiceActivated = true; }},
        {kWriteActivationLevel, "Activation Level", [](Settings::Snapshot& s) { s.options.voiceActivationLevel = 9; }},
        {kWriteSilenceCut, "Silence Cut", [](Settings::Snapshot& s) { s.options.silenceCut = true; }},
        {kWriteSilenceLevel, "Silence Level", [](Settings::Snapshot& s) { s.options.silenceCutLevel = 12; }},
        {kWriteSilenceSeconds, "Silence Seconds", [](Settings::Snapshot& s) { s.options.silenceSeconds = 2; }},
        {kWriteTimeLimit, "Time Limit", [](Settings::Snapshot& s) { s.options.timeLimitOn = true; }},
        {kWriteTimeLimitMinutes, "Time Limit Minutes", [](Settings::Snapshot& s) { s.options.timeLimitMinutes = 90; }},
        {kWriteSubFolder, "Sub-folder", [](Settings::Snapshot& s) { s.options.subFolder = "Notes"; }},
    };
    unsigned all = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Settings::Snapshot before = settings.snapshot();
        Settings::Snapshot after = before;
        c.change(after);
        EXPECT_EQ(Settings::Differences(before, after), c.bit);
        EXPECT_EQ(Settings::Differences(after, before), c.bit);
        EXPECT_EQ(all & c.bit, 0u) << "one bit per value";
        all |= c.bit;

        MemoryStore fresh;
        Settings s(fresh);
        s.restore(after);
        s.writeSettings(c.bit);
        EXPECT_EQ(fresh.writeCount(), 1);
        Settings next(fresh);
        next.restore(before);
        next.readSettings();
        EXPECT_EQ(Settings::Differences(next.snapshot(), after), 0u) << "read back as written";
    }
    EXPECT_EQ(Settings::Differences(settings.snapshot(), settings.snapshot()), 0u);
}

TEST_F(SettingsWriting, KeysWrittenByOneRunAreReadByTheNext) {
    ASSERT_TRUE(settings.keys().assign(Function::PlayPause, vk::Digit0 + 5));
    ASSERT_TRUE(settings.keys().assign(Function::Rewind, vk::Left));
    settings.writeKeys("");
    Settings next(store);
    next.readKeys();
    for (const auto& f : Functions()) EXPECT_EQ(next.keys().key(f.function), settings.keys().key(f.function));
}

TEST_F(SettingsWriting, AStoreThatRefusesWritesLosesNothingInMemory) {
    store.setWritesFail(true);
    settings.setFormat(wav::kCodePcm11k8);
    settings.setSaveLocation(kCard);
    ASSERT_TRUE(settings.keys().assign(Function::Stop, vk::Star));
    settings.writeSettings(kWriteFormat | kWriteSaveLocation);
    settings.writeKeys("");
    EXPECT_EQ(store.writeCount(), 2 + static_cast<int>(kFunctionCount));
    EXPECT_TRUE(store.empty());
    EXPECT_EQ(settings.format(), wav::kCodePcm11k8);
    EXPECT_EQ(settings.saveLocation(), kCard);
    EXPECT_EQ(settings.keys().key(Function::Stop), vk::Star);
    EXPECT_TRUE(shell.boxes().empty()) << "write failures are silent";
}

}  // namespace
}  // namespace tavrin::settings
