// tavrin-cli info: what the recorder would make of existing WAV files. Opens
// every file read-only and never writes, so it is safe on any file.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "platform/posix/PosixFileSystem.h"
#include "storage/HeaderReading.h"
#include "storage/ReadOnlyHeaderSource.h"
#include "wav/Marks.h"
#include "wav/WavChunkReader.h"

namespace tavrin::cli {
namespace {

// What stands at a path before any WAV reading: a line of format fields
// would claim to have read something that is not there.
enum class Presence { Wav, NotFound, Unreadable, NotWav };

Presence Look(platform::FileSystem& files, const std::string& path) {
    if (!files.exists(path)) return Presence::NotFound;
    if (files.isDirectory(path)) return Presence::NotWav;
    const auto file = files.open(path, platform::OpenMode::ReadOnly, false);
    if (!file) return Presence::Unreadable;
    std::uint8_t head[12] = {};
    std::uint32_t got = 0;
    if (!file->read(head, sizeof head, got)) return Presence::Unreadable;
    if (got < sizeof head || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) {
        return Presence::NotWav;
    }
    return Presence::Wav;
}

struct FileReport {
    std::string path;
    Presence presence = Presence::Wav;
    int result = wav::kParseUnusable;
    wav::WavInfo info;
    wav::MarkList marks;
    bool selectable = false;
};

FileReport Inspect(platform::FileSystem& files, const std::string& path) {
    FileReport report;
    report.path = path;
    report.presence = Look(files, path);
    {
        wav::WavChunkReader reader(files);
        if (reader.Open(path)) {
            report.result = reader.Parse();
            report.info = reader.Info();
            if (report.result != wav::kParseUnusable)
                report.marks = wav::ReadMarks(reader.Bytes(), reader.FileSize(), reader.Info());
        }
        reader.Close();
    }
    storage::ReadOnlyHeaderSource source(files);
    storage::HeaderImage image;
    report.selectable = storage::ReadHeaderStrict(source, path, image) == storage::Status::Ok;
    source.Close();
    return report;
}

const char* ResultWord(int result) {
    switch (result) {
        case wav::kParsePlayable: return "playable";
        case wav::kParseUnsupported: return "unsupported";
        default: return "invalid";
    }
}

// Appends the code point cp as UTF-8.
void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Length of the well-formed UTF-8 sequence at s[i], or 0 when the bytes there
// are not one (stray continuation, overlong form, surrogate, beyond U+10FFFF).
std::size_t Utf8SequenceLength(const std::string& s, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = at(i);
    std::size_t length = 4;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > s.size() || at(i + 1) < low || at(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
    return length;
}

// A JSON string literal for `text`. File names on Linux are bytes, JSON text
// is Unicode: bytes that are not UTF-8 become U+FFFD rather than invalid output.
std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = Utf8SequenceLength(text, i);
            if (length == 0) {
                AppendUtf8(out, 0xFFFD);
                ++i;
            } else {
                out.append(text, i, length);
                i += length;
            }
            continue;
        }
        ++i;
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

// The marks as a JSON array: number, time and label of each.
std::string JsonMarks(const FileReport& r) {
    std::string out = "[";
    for (std::size_t i = 0; i < r.marks.size(); ++i) {
        if (i > 0) out += ',';
        out += "{\"index\":" + std::to_string(i + 1) + ",\"ms\":" +
               std::to_string(wav::BlockMs(r.info, r.marks[i].block)) + ",\"label\":" + JsonString(r.marks[i].label) +
               "}";
    }
    return out + "]";
}

void PrintJson(const FileReport& r) {
    const wav::WavInfo& f = r.info;
    std::printf("{\"path\":%s,\"result\":%d,\"formatTag\":%u,\"channels\":%u,\"samplesPerSec\":%" PRIu32
                ",\"avgBytesPerSec\":%" PRIu32 ",\"blockAlign\":%u,\"bitsPerSample\":%u,\"dataOffset\":%" PRIu32
                ",\"dataLength\":%" PRIu32 ",\"lengthInBlocks\":%" PRIu32 ",\"durationMs\":%" PRIu64
                ",\"selectable\":%s,\"marks\":%s}\n",
                JsonString(r.path).c_str(), r.result, unsigned{f.formatTag}, unsigned{f.channels}, f.samplesPerSec,
                f.avgBytesPerSec, unsigned{f.blockAlign}, unsigned{f.bitsPerSample}, f.dataStart, f.dataLength,
                f.lengthInBlocks,
                wav::DurationMs(f), r.selectable ? "true" : "false", JsonMarks(r).c_str());
}

// The path as the plain report shows it: a control character in a file name
// would break the one line per file that scripts rely on, so it shows as '?'.
std::string PlainPath(const std::string& path) {
    std::string shown = path;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return shown;
}

void PrintPlain(const FileReport& r) {
    if (r.presence != Presence::Wav) {
        const char* what = r.presence == Presence::NotFound ? "not found"
                           : r.presence == Presence::NotWav ? "not a WAV file"
                                                            : "cannot be read";
        std::printf("%s: %s\n", PlainPath(r.path).c_str(), what);
        return;
    }
    const wav::WavInfo& f = r.info;
    std::printf("%s: %s formatTag=0x%04x channels=%u samplesPerSec=%" PRIu32 " avgBytesPerSec=%" PRIu32
                " blockAlign=%u bitsPerSample=%u dataLength=%" PRIu32 " lengthInBlocks=%" PRIu32
                " durationMs=%" PRIu64 " selectable=%s\n",
                PlainPath(r.path).c_str(), ResultWord(r.result), unsigned{f.formatTag}, unsigned{f.channels}, f.samplesPerSec,
                f.avgBytesPerSec, unsigned{f.blockAlign}, unsigned{f.bitsPerSample}, f.dataLength, f.lengthInBlocks,
                wav::DurationMs(f), r.selectable ? "yes" : "no");
}

int UsageError(const char* why) {
    std::fprintf(stderr, "tavrin-cli info: %s\nUsage: tavrin-cli info [--json] FILE...\n", why);
    return kExitUsage;
}

int RunInfo(const Arguments& args) {
    bool json = false;
    bool optionsDone = false;
    std::vector<std::string> paths;
    for (const auto& a : args) {
        if (!optionsDone && a == "--") {
            optionsDone = true;
        } else if (!optionsDone && a == "--json") {
            json = true;
        } else if (!optionsDone && a.size() > 1 && a[0] == '-') {
            return UsageError(("unknown option '" + a + "'").c_str());
        } else {
            paths.push_back(a);
        }
    }
    if (paths.empty()) return UsageError("no file given");

    platform::PosixFileSystem files;
    bool allPlayable = true;
    for (const auto& path : paths) {
        const FileReport report = Inspect(files, path);
        if (json)
            PrintJson(report);
        else
            PrintPlain(report);
        allPlayable = allPlayable && report.result == wav::kParsePlayable;
    }
    // A report that did not reach its reader (full disk, closed pipe) must not look like success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "tavrin-cli info: cannot write the report\n");
        return kExitFailure;
    }
    return allPlayable ? kExitOk : kExitFailure;
}

const CommandRegistration registration({"info", "info [--json] FILE...",
                                        "tell whether WAV files are playable, with their format and length",
                                        RunInfo});

}  // namespace
}  // namespace tavrin::cli
