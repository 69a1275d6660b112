#include <gtest/gtest.h>

#include <string>

#include "platform/posix/PosixFileSystem.h"
#include "recordings/Playable.h"
#include "support/TempDir.h"

namespace tavrin::recordings {
namespace {

// What the list and the states say about a file, by the chunk reader's one
// rule: the fixtures other programs wrote, and files that are no WAV at all.
TEST(Playable, EveryKindOfFileIsJudgedAndWorded) {
    struct Case {
        const char* name;
        std::string contents;  // "@fixture" reads a fixture; "-" makes no file
        Playable verdict;
        const char* words;
    };
    const Case cases[] = {
        {"PCM 8 kHz", "@pcm-8k-8bit.wav", Playable::Yes, ""},
        {"GSM", "@gsm-fact.wav", Playable::Yes, ""},
        {"a LIST chunk first", "@list-upper-before-data.wav", Playable::Yes, ""},
        {"stereo", "@pcm-stereo.wav", Playable::Stereo, "Can't play - stereo recording"},
        {"ADPCM", "@adpcm.wav", Playable::Unsupported, "Can't play - audio format not supported"},
        {"GSM at 11 kHz", "@gsm-11k.wav", Playable::Unsupported, "Can't play - audio format not supported"},
        {"12-bit PCM", "@pcm-12bit.wav", Playable::NotWav, "Can't play - not a WAV file"},
        {"an MP3 named .wav", "ID3\x03 and then some frames, more than a header's worth", Playable::NotWav,
         "Can't play - not a WAV file"},
        {"empty", "", Playable::Empty, "Can't play - the file is empty"},
        {"a header cut short", "@header-43.wav", Playable::Empty, "Can't play - the file is empty"},
        {"gone", "-", Playable::Missing, "Recording not found"},
    };
    test::TempDir dir;
    platform::PosixFileSystem files;
    Verdicts cache(files);
    std::vector<std::string> paths;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".wav");
        if (c.contents == "-") {
            // nothing there
        } else if (!c.contents.empty() && c.contents.front() == '@') {
            test::WriteBytes(path, test::ReadBytes(std::string(TAVRIN_FIXTURE_DIR "/") + c.contents.substr(1)));
        } else {
            test::WriteBytes(path, c.contents);
        }
        EXPECT_EQ(JudgeRecording(files, path), c.verdict);
        EXPECT_EQ(WhyNotPlayable(c.verdict), c.words);
        paths.push_back(path);
    }
    // The list judges each file once: a file changed afterwards keeps its
    // verdict while it stays listed, and is judged afresh when it comes back.
    const std::vector<Playable> first = cache.of(paths);
    test::WriteBytes(paths.front(), "");
    EXPECT_EQ(cache.of(paths), first);
    EXPECT_EQ(cache.of({}), std::vector<Playable>{});
    EXPECT_EQ(cache.of({paths.front()}), std::vector<Playable>{Playable::Empty});
}

}  // namespace
}  // namespace tavrin::recordings
