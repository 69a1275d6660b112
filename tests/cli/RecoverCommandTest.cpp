// tavrin-cli recover as scripts use it: one line per repaired recording, a
// name with a tab, a line break, a quote or a backslash quoted so that the
// line stays one record; `--` ends the options, so that a name may start
// with a dash; a journal set aside is reported once, and its file kept.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/Shell.h"
#include "support/TempDir.h"

namespace tavrin::cli {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::Quote;

void Le32(Bytes& v, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}

// What a kill during an append on fast media leaves: a header that counts
// 800 bytes of 8-bit audio, then the reservation's zeros.
Bytes KilledRecording() {
    Bytes v = {'R', 'I', 'F', 'F'};
    Le32(v, 36 + 800);
    for (char c : std::string("WAVEfmt ")) v.push_back(static_cast<std::uint8_t>(c));
    for (std::uint32_t x : {16u, 1u | (1u << 16), 8000u, 8000u, 1u | (8u << 16)}) Le32(v, x);
    for (char c : std::string("data")) v.push_back(static_cast<std::uint8_t>(c));
    Le32(v, 800);
    for (int i = 0; i < 800; ++i) v.push_back(static_cast<std::uint8_t>(i * 3 + 1));
    v.resize(v.size() + 65536, 0);
    return v;
}

std::string Hex(const std::string& text) {
    std::string out;
    char digits[3];
    for (unsigned char c : text) {
        std::snprintf(digits, sizeof digits, "%02x", c);
        out += digits;
    }
    return out;
}

class RecoverCommand : public testing::Test {
protected:
    // A recording named `name`, left as a kill leaves it, with the journal
    // the previous version of the program wrote for it.
    std::string LeaveKilled(const std::string& name, int n) {
        const std::string path = dir.file(name);
        test::WriteBytes(path, KilledRecording());
        test::WriteBytes(state.file("tavrin/" + std::to_string(n) + ".journal"),
                         "tavrin-journal 1\nedit\n" + Hex(path) + "\n36 0 1 8000\n-\nend\n");
        return path;
    }

    test::ShellRun Cli(const std::string& args) {
        return test::Shell("cd " + Quote(dir.path()) + " && XDG_STATE_HOME=" + Quote(state.path()) + " " +
                           Quote(TAVRIN_CLI_PATH) + " " + args + " 2>" + Quote(scratch.file("err")));
    }

    std::string Err() {
        const Bytes err = test::ReadBytes(scratch.file("err"));
        return std::string(err.begin(), err.end());
    }

    test::TempDir dir;
    test::TempDir state;
    test::TempDir scratch;
};

TEST_F(RecoverCommand, NamesAreOneFieldEachAndMayStartWithADash) {
    test::Shell("mkdir " + Quote(state.file("tavrin")));
    const std::string dash = LeaveKilled("-dash.wav", 1);
    const std::string tab = LeaveKilled("a\tb.wav", 2);
    const std::string lines = LeaveKilled("two\nlines.wav", 3);
    const std::string quoted = LeaveKilled("say \"hi\" \\.wav", 4);
    const std::string plain = LeaveKilled("plain.wav", 5);

    EXPECT_EQ(Cli("recover -dash.wav").status, 2) << "an unknown option, not a name";
    const test::ShellRun one = Cli("recover -- -dash.wav");
    EXPECT_EQ(one.status, 0) << Err();
    EXPECT_EQ(one.out, dash + "\t00:00:00.100\n");

    const test::ShellRun rest = Cli("recover");
    EXPECT_EQ(rest.status, 0) << Err();
    // In the order of their journals; the quoted ones spelled as C strings.
    const std::string folder = dir.path();
    EXPECT_EQ(rest.out, "\"" + folder + "/a\\tb.wav\"\t00:00:00.100\n" +           // tab
                            "\"" + folder + "/two\\nlines.wav\"\t00:00:00.100\n" +  // lines
                            "\"" + folder + "/say \\\"hi\\\" \\\\.wav\"\t00:00:00.100\n" +  // quoted
                            plain + "\t00:00:00.100\n");
    for (const std::string& path : {tab, lines, quoted, plain}) EXPECT_EQ(test::ReadBytes(path).size(), 844u);
}

TEST_F(RecoverCommand, AJournalSetAsideIsReportedOnceAndItsFileKept) {
    test::Shell("mkdir " + Quote(state.file("tavrin")));
    const std::string path = dir.file("notes.txt");
    test::WriteBytes(path, std::string("a text file, not a recording\n"));  // named by an old journal
    test::WriteBytes(state.file("tavrin/1.journal"),
                     "tavrin-journal 1\nedit\n" + Hex(path) + "\n36 0 1 8000\n-\nend\n");
    const test::ShellRun first = Cli("recover");
    EXPECT_EQ(first.status, 1);
    EXPECT_EQ(first.out, "");
    EXPECT_NE(Err().find(path + ": "), std::string::npos) << Err();
    EXPECT_NE(Err().find(state.file("tavrin/set-aside")), std::string::npos) << Err();
    EXPECT_TRUE(test::FileExists(state.file("tavrin/set-aside/1.journal")));
    EXPECT_EQ(Cli("recover").status, 0) << "reported once";
    const std::string text = "a text file, not a recording\n";
    EXPECT_EQ(test::ReadBytes(path), Bytes(text.begin(), text.end()));
}

}  // namespace
}  // namespace tavrin::cli
