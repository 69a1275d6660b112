// tavrin-cli info, run as a user runs it: as a separate process over real files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "CliRun.h"
#include "support/Shell.h"
#include "support/TempDir.h"

namespace tavrin::cli {
namespace {

using test::Quote;

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
    const auto bytes = test::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// Everything about a folder's files that a careless tool could change.
struct FileState {
    std::uintmax_t size;
    fs::file_time_type modified;
    std::string content;
    friend bool operator==(const FileState&, const FileState&) = default;
};
std::map<std::string, FileState> Snapshot(const std::string& folder) {
    std::map<std::string, FileState> state;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (!e.is_regular_file()) continue;
        state[e.path().filename().string()] = {e.file_size(), e.last_write_time(), Slurp(e.path().string())};
    }
    return state;
}

class InfoCommand : public testing::Test {
protected:
    void SetUp() override {
        for (const auto& e : fs::directory_iterator(TAVRIN_FIXTURE_DIR))
            fs::copy_file(e.path(), files.file(e.path().filename()));
    }
    std::string File(const std::string& name) const { return files.file(name); }

    // Runs tavrin-cli with `args` (already quoted as needed) from inside the
    // folder of the files; stdout may be sent elsewhere with `redirect`.
    CliRun Cli(const std::string& args, const std::string& redirect = "") {
        const std::string errPath = scratch.file("stderr");
        const std::string command = "cd " + Quote(files.path()) + " && " + Quote(TAVRIN_CLI_PATH) + " " + args +
                                    " 2>" + Quote(errPath) + " " + redirect;
        CliRun run;
        const test::ShellRun shell = test::Shell(command);
        if (!shell.started) {
            ADD_FAILURE() << "cannot run " << command;
            return run;
        }
        run.status = shell.status;
        run.out = shell.out;
        run.err = Slurp(errPath);
        return run;
    }

    test::TempDir files;    // copies of the fixtures: the folder the tool looks at
    test::TempDir scratch;  // what the test itself writes
};

TEST_F(InfoCommand, OneLinePerFileWithItsVerdictAndExitStatus) {
    struct Case {
        const char* file;
        const char* verdict;
        int status;
    };
    // What each file is made of is the readers' business (tested there); here: word and status per verdict.
    for (const Case& c : {Case{"gsm-nofact.wav", "playable", 0}, Case{"pcm-stereo.wav", "unsupported", 1},
                          Case{"pcm-12bit.wav", "invalid", 1}, Case{"header-43.wav", "invalid", 1},
                          Case{"missing.wav", "not found", 1}}) {
        SCOPED_TRACE(c.file);
        const CliRun run = Cli(std::string("info ") + c.file);
        EXPECT_EQ(run.status, c.status);
        const auto lines = Lines(run.out);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ((lines[0] + " ").rfind(std::string(c.file) + ": " + c.verdict + " ", 0), 0u) << lines[0];
    }
}

// Nothing read, nothing to report but that: no format fields of zeros.
TEST_F(InfoCommand, WhatIsNoWavFileIsCalledSo) {
    test::WriteBytes(File("notes.wav"), std::string("just some text, long enough"));
    test::WriteBytes(File("tiny.wav"), std::string("RIFF"));
    test::WriteBytes(File("aiff.wav"), std::string("FORM\0\0\0\x20" "AIFFCOMM", 16));
    std::filesystem::create_directory(File("folder.wav"));
    const CliRun run = Cli("info missing.wav notes.wav tiny.wav aiff.wav folder.wav");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "missing.wav: not found\nnotes.wav: not a WAV file\ntiny.wav: not a WAV file\n"
              "aiff.wav: not a WAV file\nfolder.wav: not a WAV file\n");
}

TEST_F(InfoCommand, PlainLineCarriesTheFields) {
    const CliRun run = Cli("info gsm-fact.wav pcm-fmt18.wav");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "gsm-fact.wav: playable formatTag=0x0031 channels=1 samplesPerSec=8000 avgBytesPerSec=1625 "
              "blockAlign=65 bitsPerSample=0 dataLength=1625 lengthInBlocks=25 durationMs=1000 selectable=yes\n"
              "pcm-fmt18.wav: playable formatTag=0x0001 channels=1 samplesPerSec=8000 avgBytesPerSec=16000 "
              "blockAlign=2 bitsPerSample=16 dataLength=800 lengthInBlocks=400 durationMs=50 selectable=yes\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(InfoCommand, JsonObjectPerLine) {
    const CliRun run = Cli("info --json pcm-11k-8bit.wav gsm-stereo.wav missing.wav");
    EXPECT_EQ(run.status, 1);
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              R"({"path":"pcm-11k-8bit.wav","result":1,"formatTag":1,"channels":1,"samplesPerSec":11025,)"
              R"("avgBytesPerSec":11025,"blockAlign":1,"bitsPerSample":8,"dataOffset":44,"dataLength":1102,)"
              R"("lengthInBlocks":1102,)"
              R"("durationMs":99,"selectable":true,"marks":[]})");
    EXPECT_EQ(lines[1],
              R"({"path":"gsm-stereo.wav","result":2,"formatTag":49,"channels":2,"samplesPerSec":8000,)"
              R"("avgBytesPerSec":1625,"blockAlign":65,"bitsPerSample":0,"dataOffset":48,"dataLength":260,)"
              R"("lengthInBlocks":4,)"
              R"("durationMs":160,"selectable":false,"marks":[]})");
    EXPECT_EQ(lines[2].rfind(R"({"path":"missing.wav","result":0,)", 0), 0u) << lines[2];
    EXPECT_NE(lines[2].find(R"("selectable":false,"marks":[]})"), std::string::npos);
    EXPECT_NE(lines[2].find(R"("dataOffset":0,)"), std::string::npos);
}

// Where the audio starts, wherever the other chunks put it.
TEST_F(InfoCommand, JsonTellsWhereTheAudioStarts) {
    const CliRun run = Cli("info --json gsm-fact.wav bext-first.wav ffmpeg-gsm-list.wav");
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find(R"("dataOffset":60,)"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(R"("dataOffset":654,)"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(R"("dataOffset":90,)"), std::string::npos) << lines[2];
}

// Marks other programs made, by hand from the chunk layout: number, time and
// label of each, in the order they lie, from info's JSON and from marks.
TEST_F(InfoCommand, MarksOfFilesFromOtherPrograms) {
    struct Case {
        const char* file;
        const char* json;
        const char* listed;
    };
    const Case cases[] = {
        {"cue-after-data.wav",
         R"([{"index":1,"ms":10,"label":"Intro"},{"index":2,"ms":25,"label":""},{"index":3,"ms":49,"label":"End"}])",
         "1\t00:00:00.010\tIntro\n2\t00:00:00.025\t\n3\t00:00:00.049\tEnd\n"},
        {"cue-before-data.wav", R"([{"index":1,"ms":12,"label":""},{"index":2,"ms":37,"label":""}])",
         "1\t00:00:00.012\t\n2\t00:00:00.037\t\n"},
        {"gsm-cue-block-start.wav", R"([{"index":1,"ms":400,"label":""},{"index":2,"ms":800,"label":"late"}])",
         "1\t00:00:00.400\t\n2\t00:00:00.800\tlate\n"},
        {"gsm-fact.wav", "[]", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const CliRun info = Cli(std::string("info --json ") + c.file);
        EXPECT_NE(info.out.find(std::string(R"("marks":)") + c.json + "}"), std::string::npos) << info.out;
        const CliRun marks = Cli(std::string("marks ") + c.file);
        EXPECT_EQ(marks.status, 0);
        EXPECT_EQ(marks.out, c.listed);
    }
    const CliRun label = Cli("marks " + Quote(File("cue-after-data.wav")));
    EXPECT_EQ(label.status, 0) << "a path from elsewhere";
    for (const char* args : {"marks", "marks a.wav b.wav", "marks --json gsm-fact.wav"}) {
        SCOPED_TRACE(args);
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("Usage: tavrin-cli marks FILE"), std::string::npos) << run.err;
    }
    for (const char* file : {"missing.wav", "pcm-stereo.wav", "header-43.wav"}) {
        SCOPED_TRACE(file);
        const CliRun run = Cli(std::string("marks ") + file);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(InfoCommand, ExitsZeroOnlyWhenEveryFileIsPlayable) {
    EXPECT_EQ(Cli("info pcm-8k-8bit.wav gsm-fact.wav pcm-8k-8bit-odd.wav").status, 0);
    EXPECT_EQ(Cli("info --json pcm-8k-8bit.wav gsm-fact.wav").status, 0);
    EXPECT_EQ(Cli("info pcm-8k-8bit.wav pcm-stereo.wav gsm-fact.wav").status, 1);
    EXPECT_EQ(Cli("info pcm-8k-8bit.wav missing.wav").status, 1);
}

TEST_F(InfoCommand, UsageErrors) {
    for (const char* args : {"info", "info --json", "info --verbose pcm-8k-8bit.wav", "info -j pcm-8k-8bit.wav",
                             "info --"}) {
        SCOPED_TRACE(args);
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("Usage: tavrin-cli info [--json] FILE..."), std::string::npos) << run.err;
    }
}

TEST_F(InfoCommand, DoubleDashEndsTheOptions) {
    fs::copy_file(File("pcm-8k-8bit.wav"), File("--json"));
    const CliRun run = Cli("info -- --json");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("--json: playable ", 0), 0u) << run.out;
}

TEST_F(InfoCommand, PathsAreEscapedInJson) {
    struct Case {
        std::string name;
        std::string json;
    };
    const std::vector<Case> cases{
        {"quote\"back\\slash.wav", R"("quote\"back\\slash.wav")"},
        {"tab\tnew\nline\x01.wav", R"("tab\tnew\nline\u0001.wav")"},
        {"caf\xc3\xa9 \xe2\x82\xac.wav", "\"caf\xc3\xa9 \xe2\x82\xac.wav\""},  // well-formed UTF-8 stays
        {"latin1-\xe9-\xff.wav", "\"latin1-\xef\xbf\xbd-\xef\xbf\xbd.wav\""},  // stray bytes become U+FFFD
        {"cut-\xe2\x82.wav", "\"cut-\xef\xbf\xbd\xef\xbf\xbd.wav\""},
        {"overlong-\xc0\xaf.wav", "\"overlong-\xef\xbf\xbd\xef\xbf\xbd.wav\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        fs::copy_file(File("gsm-fact.wav"), File(c.name));
        const CliRun run = Cli("info --json " + Quote(c.name));
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind("{\"path\":" + c.json + ",\"result\":1,", 0), 0u) << run.out;
        EXPECT_EQ(Lines(run.out).size(), 1u);
    }
    const CliRun plain = Cli("info " + Quote(cases[1].name));
    EXPECT_EQ(plain.out.rfind("tab?new?line?.wav: playable ", 0), 0u) << plain.out;
}

TEST_F(InfoCommand, CreatesChangesAndLeavesNothing) {
    const auto before = Snapshot(files.path());
    std::string all;
    for (const auto& [name, state] : before) all += " " + Quote(name);
    EXPECT_EQ(Cli("info" + all + " missing.wav").status, 1);
    EXPECT_EQ(Cli("info --json" + all + " missing.wav").status, 1);
    EXPECT_EQ(Snapshot(files.path()), before);
    EXPECT_FALSE(test::FileExists(File("missing.wav")));
}

TEST_F(InfoCommand, AReportThatCannotBeWrittenIsAFailure) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const CliRun run = Cli("info pcm-8k-8bit.wav", ">/dev/full");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tavrin::cli
