// tavrin-cli marks: the marks of a recording, one line each, in the order
// they lie. Opens the file read-only and never writes.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "platform/posix/PosixFileSystem.h"
#include "wav/Marks.h"

namespace tavrin::cli {
namespace {

// "hh:mm:ss.mmm": a mark wants more than the whole seconds of a duration.
std::string MarkTime(std::uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%02" PRIu64 ":%02" PRIu64 ":%02" PRIu64 ".%03" PRIu64, ms / 3'600'000,
                  ms / 60'000 % 60, ms / 1000 % 60, ms % 1000);
    return text;
}

// A label as one field of a line: tabs and line breaks would split it.
std::string PlainLabel(const std::string& label) {
    std::string shown = label;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return shown;
}

int UsageError(const char* why) {
    std::fprintf(stderr, "tavrin-cli marks: %s\nUsage: tavrin-cli marks FILE\n", why);
    return kExitUsage;
}

int RunMarks(const Arguments& args) {
    std::string path;
    bool optionsDone = false;
    for (const auto& a : args) {
        if (!optionsDone && a == "--") {
            optionsDone = true;
        } else if (!optionsDone && a.size() > 1 && a[0] == '-') {
            return UsageError(("unknown option '" + a + "'").c_str());
        } else if (!path.empty()) {
            return UsageError("one file at a time");
        } else {
            path = a;
        }
    }
    if (path.empty()) return UsageError("no file given");

    platform::PosixFileSystem files;
    wav::WavChunkReader reader(files);
    if (!reader.Open(path) || reader.Parse() != wav::kParsePlayable) {
        std::fprintf(stderr, "tavrin-cli marks: %s is not a recording this program plays\n", path.c_str());
        return kExitFailure;
    }
    const wav::MarkList marks = wav::ReadMarks(reader.Bytes(), reader.FileSize(), reader.Info());
    for (std::size_t i = 0; i < marks.size(); ++i) {
        std::printf("%zu\t%s\t%s\n", i + 1, MarkTime(wav::BlockMs(reader.Info(), marks[i].block)).c_str(),
                    PlainLabel(marks[i].label).c_str());
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "tavrin-cli marks: cannot write the list\n");
        return kExitFailure;
    }
    return kExitOk;
}

const CommandRegistration registration({"marks", "marks FILE",
                                        "list the marks of a recording: number, time and label", RunMarks});

}  // namespace
}  // namespace tavrin::cli
