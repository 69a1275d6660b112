// Every editing command over every malformed file we have (the fixtures, the
// fuzz seeds, and cases made here), each run with a deadline: an edit once
// waited for ever on files the file facts called invalid but storage opened.
// Whatever a file holds, the command ends by itself, without a crash or a
// sanitizer report, and a file `info` calls playable can be edited.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "CliRun.h"
#include "support/Shell.h"
#include "support/TempDir.h"

namespace tavrin::cli {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::Quote;

void Id(Bytes& v, const char* id) { v.insert(v.end(), id, id + 4); }

// A mono recording's header and `audio` bytes of audio, whose data chunk claims `claimed` bytes.
Bytes Recording(bool gsm, std::uint32_t audio, std::uint32_t claimed) {
    Bytes v;
    Id(v, "RIFF");
    Le(v, (gsm ? 52 : 36) + claimed, 4);
    Id(v, "WAVE");
    Id(v, "fmt ");
    if (gsm) {
        for (std::uint32_t x : {20u, 0x31u | (1u << 16), 8000u, 1625u, 65u, 2u | (320u << 16)}) Le(v, x, 4);
        Id(v, "fact");
        Le(v, 4, 4);
        Le(v, claimed / 65 * 320, 4);
    } else {
        for (std::uint32_t x : {16u, 1u | (1u << 16), 8000u, 16000u, 2u | (16u << 16)}) Le(v, x, 4);
    }
    Id(v, "data");
    Le(v, claimed, 4);
    for (std::uint32_t i = 0; i < audio; ++i) v.push_back(static_cast<std::uint8_t>(i * 13));
    return v;
}

// Cases made here: files cut short, padded, or that are no recording at all.
std::vector<std::pair<std::string, Bytes>> MadeCases() {
    Bytes padded = Recording(false, 3200, 3200);
    padded.resize(padded.size() + 4096, 0);
    const std::string text = "not a recording\n";
    return {
        {"gsm-cut-to-its-header.wav", Recording(true, 0, 65 * 75)},
        {"gsm-cut-inside-a-block.wav", Recording(true, 100, 65 * 75)},
        {"pcm-claims-more-than-it-holds.wav", Recording(false, 1000, 16000)},
        {"pcm-header-only.wav", Recording(false, 0, 0)},
        {"pcm-zero-padding-after-riff.wav", padded},
        {"empty.wav", {}},
        {"text.wav", Bytes(text.begin(), text.end())},
    };
}

class MalformedEdit : public testing::Test {
protected:
    struct Run {
        int status = -1;
        std::string err;
    };

    // Runs tavrin-cli with a deadline no healthy run comes near.
    Run Cli(const std::string& args) {
        const std::string errPath = dir.file("stderr");
        const test::ShellRun shell = test::Shell("cd " + Quote(dir.path()) + " && timeout -s KILL 60 " +
                                                 Quote(TAVRIN_CLI_PATH) + " " + args + " 2>" + Quote(errPath));
        Run run;
        run.status = shell.started ? shell.status : -1;
        const Bytes err = test::ReadBytes(errPath);
        run.err.assign(err.begin(), err.end());
        return run;
    }

    test::TempDir dir;
};

// Each edit over the whole corpus on its own: hundreds of runs of the tool.
class MalformedEditEach : public MalformedEdit, public testing::WithParamInterface<const char*> {};

TEST_P(MalformedEditEach, EveryEditEndsByItselfAndWhatInfoCallsPlayableIsEdited) {
    const char* edit = GetParam();
    std::vector<std::pair<std::string, Bytes>> corpus = MadeCases();
    std::set<Bytes> seen;
    for (const char* folder : {TAVRIN_FIXTURE_DIR, TAVRIN_FUZZ_CORPUS_DIR}) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const Bytes bytes = test::ReadBytes(entry.path().string());
            if (seen.insert(bytes).second) corpus.emplace_back(entry.path().filename().string(), bytes);
        }
    }
    test::WriteBytes(dir.file("in.wav"), Recording(false, 16000, 16000));
    for (const auto& [name, bytes] : corpus) {
        SCOPED_TRACE(name + ": " + edit);
        test::WriteBytes(dir.file("x.wav"), bytes);
        const bool playable = Cli("info x.wav").status == 0;
        const Run run = Cli(std::string(edit) + " --seconds 0.3 --audio-in in.wav");
        EXPECT_TRUE(run.status >= 0 && run.status <= 2) << "ended with " << run.status << ": " << run.err;
        EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
        if (playable) {
            EXPECT_EQ(run.status, 0) << "info calls it playable: " << run.err;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryEdit, MalformedEditEach,
                         testing::Values("append x.wav", "insert x.wav --at-ms 0", "overwrite x.wav --at-ms 0"),
                         [](const auto& param) {
                             const std::string edit = param.param;
                             return edit.substr(0, edit.find(' '));
                         });

}  // namespace
}  // namespace tavrin::cli
