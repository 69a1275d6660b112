#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/posix/PosixFileSystem.h"
#include "platform/portaudio/PortAudioCueSounds.h"

namespace tavrin::test {
namespace {

using platform::portaudio::PortAudioCueSounds;

const std::string kShipped = TAVRIN_TEST_SOUNDS_DIR;

// A fresh folder, gone with everything in it when the test ends.
class Folder {
public:
    Folder() {
        std::random_device random;
        root = std::filesystem::temp_directory_path() / ("tavrin-cues-" + std::to_string(random()));
        std::filesystem::create_directories(root);
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    std::string path() const { return root.string(); }
    std::string file(const std::string& name) const { return (root / name).string(); }

private:
    std::filesystem::path root;
};

TEST(CueSounds, ShippedSoundsAreShortDistinctAndEndInSilence) {
    platform::PosixFileSystem files;
    PortAudioCueSounds cues(files, {kShipped});
    const auto& start = cues.Find("RecStart");
    const auto& end = cues.Find("RecEnd");
    for (const auto* sound : {&start, &end}) {
        ASSERT_FALSE(sound->samples.empty());
        const double seconds = double(sound->samples.size()) / sound->rate;
        EXPECT_GT(seconds, 0.15);
        EXPECT_LT(seconds, 0.6);  // a cue, not a tune: it delays every recording
        // The last 100 ms are silence, so that cutting the sound off at its
        // length never cuts into what is heard.
        const std::size_t tail = sound->rate / 10;
        EXPECT_TRUE(std::all_of(sound->samples.end() - static_cast<std::ptrdiff_t>(tail), sound->samples.end(),
                                [](auto s) { return s == 0; }));
        const auto peak = *std::max_element(sound->samples.begin(), sound->samples.end());
        EXPECT_GT(peak, 3000);
        EXPECT_LT(peak, 32767);
    }
    EXPECT_NE(start.samples, end.samples);
}

TEST(CueSounds, FoldersAreSearchedInOrderAndUnreadableFilesPassedOver) {
    Folder first;
    Folder second;
    std::ofstream(first.file("RecStart.wav")) << "RIFF, but nothing after it";
    platform::PosixFileSystem files;
    PortAudioCueSounds cues(files, {first.path() + "/missing", first.path(), kShipped});
    EXPECT_FALSE(cues.Find("RecStart").samples.empty());
    EXPECT_TRUE(cues.Find("NoSuchSound").samples.empty());

    PortAudioCueSounds nowhere(files, {second.path()});
    EXPECT_TRUE(nowhere.Find("RecEnd").samples.empty());
}

TEST(CueSounds, AMissingSoundIsSkippedAtOnce) {
    Folder empty;
    platform::PosixFileSystem files;
    PortAudioCueSounds cues(files, {empty.path()});
    const auto began = std::chrono::steady_clock::now();
    cues.playSync("RecStart");
    cues.playSync("RecEnd");
    cues.playSync(nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(100));
}

}  // namespace
}  // namespace tavrin::test
