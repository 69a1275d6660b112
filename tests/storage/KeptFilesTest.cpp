// A change killed before an update is repaired by the updated program: what
// the writers leave beside a journal must keep the layout every reader of an
// earlier or later version expects, to the byte. Round trips cannot tell; so
// each case spells the bytes out.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/posix/PosixFileSystem.h"
#include "storage/BufferSpool.h"
#include "storage/Journal.h"
#include "storage/KeptCut.h"
#include "storage/MarkBook.h"
#include "storage/TrailingChunks.h"
#include "support/FakeMemory.h"
#include "support/TempDir.h"

namespace tavrin::storage {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Spell {
    Bytes bytes;
    Spell& Text(const char* text) {
        bytes.insert(bytes.end(), text, text + std::strlen(text));
        return *this;
    }
    Spell& U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    Spell& U32s(std::initializer_list<std::uint32_t> values) {
        for (const std::uint32_t v : values) U32(v);
        return *this;
    }
    Spell& Raw(const Bytes& raw) {
        bytes.insert(bytes.end(), raw.begin(), raw.end());
        return *this;
    }
};

const Bytes kAdded{1, 2, 3};
const Bytes kTail{7, 7};
const Bytes kChunks{'L', 'I', 'S', 'T'};

// Writes one kept file into `folder` and answers its bytes.
using KeptFileWriter = std::function<Bytes(platform::FileSystem&, const std::string& folder)>;

const Bytes kBufferSpool =
    Spell{}.Text("TVBUFFER").U32(0x500).U32(3).U32(2).U32(4).Raw(kTail).Raw(kChunks).Raw(kAdded).bytes;

JournalEntry Entry(JournalEntry::Kind kind, bool buffered) {
    JournalEntry e;
    e.kind = kind;
    e.buffered = buffered;
    e.path = "/r/a.wav";
    e.dataChunkPos = 36;
    e.avgBytesPerSec = 8000;
    if (kind == JournalEntry::Kind::Create) {
        // PCM, one channel, 8000 Hz, 8000 bytes a second, 1-byte blocks of 8 bits.
        e.head = Spell{}.Text("WAVEfmt ").U32(16).U32(0x00010001).U32(8000).U32(8000).U32(0x00080001).bytes;
    } else {
        e.start = JournalEntry::Start{0x0123456789abcdefull, 4000, 3000};
    }
    return e;
}

Bytes WrittenJournal(platform::FileSystem& files, const std::string& folder, const JournalEntry& entry) {
    const HeldJournal journal = WriteJournal(files, folder, entry);
    return test::ReadBytes(journal.path);
}

struct KeptFileCase {
    const char* name;
    KeptFileWriter write;
    Bytes expected;
};

const KeptFileCase kCases[] = {
    {"SpliceSpool",
     [](platform::FileSystem& files, const std::string& folder) {
         EXPECT_TRUE(WriteSpliceSpool(files, folder + "/s", 0x01020304, kAdded.data(), 3, kTail.data(), 2));
         return test::ReadBytes(folder + "/s");
     },
     Spell{}.Text("TVSPLICE").U32(0x01020304).U32(3).U32(2).Raw(kAdded).Raw(kTail).Text("TVSPLEND").bytes},
    {"BufferSpoolAsItFills",
     [](platform::FileSystem& files, const std::string& folder) {
         BufferSpool spool;
         EXPECT_TRUE(spool.Start(files, folder + "/b", 0x500, kTail.data(), 2, kChunks.data(), 4));
         spool.Store(0, kAdded.data(), 3, 3);
         spool.Leave();
         return test::ReadBytes(folder + "/b");
     },
     kBufferSpool},
    {"BufferSpoolKnownWhole",
     [](platform::FileSystem& files, const std::string& folder) {
         BufferSpool spool;
         EXPECT_TRUE(spool.StartWhole(files, folder + "/b", 0x500, kAdded, kTail, kChunks));
         spool.Leave();
         return test::ReadBytes(folder + "/b");
     },
     kBufferSpool},
    {"Trailer",
     [](platform::FileSystem& files, const std::string& folder) {
         test::WriteBytes(folder + "/rec.wav", Spell{}.Raw(Bytes(50, 0x11)).Raw(kChunks).bytes);
         auto recording = files.open(folder + "/rec.wav", platform::OpenMode::ReadOnly, false);
         test::FakeMemory memory;
         TrailingChunks chunks;
         EXPECT_TRUE(recording && chunks.Take(*recording, memory, 44, 50, 4));
         EXPECT_TRUE(chunks.Save(files, folder + "/t"));
         return test::ReadBytes(folder + "/t");
     },
     Spell{}.Text("TVTRAILR").U32(50).U32(4).Raw(kChunks).Text("TVTREND.").bytes},
    {"KeptCut",
     [](platform::FileSystem& files, const std::string& folder) {
         test::WriteBytes(folder + "/rec.wav", Bytes{0, 0, 0, 0, 9, 8, 7, 0});
         auto recording = files.open(folder + "/rec.wav", platform::OpenMode::ReadOnly, false);
         KeptCut cut;
         EXPECT_TRUE(recording && cut.Keep(files, folder + "/u", *recording, 4, 3, kChunks.data(), 4));
         return test::ReadBytes(folder + "/u");
     },
     Spell{}.Text("TVUNDCUT").U32(4).U32(3).U32(4).Raw({9, 8, 7}).Raw(kChunks).bytes},
    // Each field run is sealed with its FNV-1a 32, spelled here as numbers.
    {"MarkLog",
     [](platform::FileSystem& files, const std::string& folder) {
         MarkBook book;
         book.Load({}, wav::MarkScale{1, 2}, 100);
         book.BeginChange(wav::AudioEdit::Kind::Insert, 10, 100);
         book.AttachLog(files, folder + "/j");
         EXPECT_TRUE(book.Add(20) && book.Add(30));
         book.LeaveLog();
         return test::ReadBytes(MarkLogPathFor(folder + "/j"));
     },
     Spell{}
         .Text("TVMARKS1")
         .U32s({1, 10, 100, 1, 2, 0x2d716369})
         .U32s({1, 20, 0x00930710})
         .U32s({2, 30, 0xf438bcb9})
         .bytes},
    {"NewRecordingJournal",
     [](platform::FileSystem& files, const std::string& folder) {
         return WrittenJournal(files, folder, Entry(JournalEntry::Kind::Create, false));
     },
     Spell{}
         .Text("tavrin-journal 2\ncreate\n2f722f612e776176\n36 0 1 8000\n")
         .Text("57415645666d74201000000001000100401f0000401f000001000800\n-\nend\n")
         .bytes},
    {"BufferedEditJournal",
     [](platform::FileSystem& files, const std::string& folder) {
         return WrittenJournal(files, folder, Entry(JournalEntry::Kind::Edit, true));
     },
     Spell{}
         .Text("tavrin-journal 2\nedit-buffered\n2f722f612e776176\n36 0 1 8000\n-\n")
         .Text("0123456789abcdef 4000 3000\nend\n")
         .bytes},
};

class KeptFile : public testing::TestWithParam<KeptFileCase> {};

TEST_P(KeptFile, IsWrittenInTheLayoutEveryVersionReads) {
    test::TempDir dir;
    platform::PosixFileSystem files;
    EXPECT_EQ(GetParam().write(files, dir.path()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, KeptFile, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<KeptFileCase>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
}  // namespace tavrin::storage
