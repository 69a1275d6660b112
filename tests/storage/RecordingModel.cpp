#include "RecordingModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "support/TempDir.h"

namespace tavrin::storage::model {

Bytes Pattern(std::size_t n, std::uint32_t seed) {
    Bytes out(n);
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (auto& b : out) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return out;
}

namespace {

void Put32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Put16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void PutId(Bytes& out, const char* id) { out.insert(out.end(), id, id + 4); }

}  // namespace

Bytes WavFile(const Format& format, const Bytes& audio) {
    const auto size = static_cast<std::uint32_t>(audio.size());
    Bytes f;
    PutId(f, "RIFF");
    Put32(f, format.HeaderBytes() - 8 + size);
    PutId(f, "WAVE");
    PutId(f, "fmt ");
    Put32(f, format.IsGsm() ? 20 : 16);
    Put16(f, format.tag);
    Put16(f, 1);
    Put32(f, format.samplesPerSec);
    Put32(f, format.AvgBytesPerSec());
    Put16(f, static_cast<std::uint16_t>(format.IsGsm() ? 65 : format.bitsPerSample / 8));
    Put16(f, format.bitsPerSample);
    if (format.IsGsm()) {
        Put16(f, 2);
        Put16(f, 320);
        PutId(f, "fact");
        Put32(f, 4);
        Put32(f, size / 65);
    }
    PutId(f, "data");
    Put32(f, size);
    f.insert(f.end(), audio.begin(), audio.end());
    return f;
}

Bytes WithTrailer(Bytes file, const Bytes& after) {
    file.insert(file.end(), after.begin(), after.end());
    wav::StoreLe32(&file[4], static_cast<std::uint32_t>(file.size() - 8));
    return file;
}

void RecordingModel::Create(const Format& f) {
    format = f;
    audio.clear();
    added.clear();
    session = Session::New;
    base = 0;
    position = 0;
}

void RecordingModel::StartAppend() {
    session = Session::Append;
    base = static_cast<std::uint32_t>(audio.size());
    added.clear();
}

void RecordingModel::StartOverwrite() {
    audio.resize(position);
    session = Session::Overwrite;
    base = position;
    added.clear();
}

void RecordingModel::StartInsert() {
    session = Session::Insert;
    base = position;
    added.clear();
}

void RecordingModel::Write(const Bytes& bytes) { added.insert(added.end(), bytes.begin(), bytes.end()); }

bool RecordingModel::BackTrack(std::uint32_t bytes) {
    if (bytes == 0 || bytes > added.size()) return false;
    added.resize(added.size() - bytes);
    return true;
}

void RecordingModel::End() {
    if (session == Session::Insert) {
        audio.insert(audio.begin() + base, added.begin(), added.end());
        position = base + static_cast<std::uint32_t>(added.size());
    } else if (session != Session::None) {
        audio.resize(base);
        audio.insert(audio.end(), added.begin(), added.end());
        position = 0;
    }
    added.clear();
    session = Session::None;
}

std::uint32_t RecordingModel::DataSize() const {
    if (session == Session::Insert) return static_cast<std::uint32_t>(audio.size() + added.size());
    if (session != Session::None) return base + static_cast<std::uint32_t>(added.size());
    return static_cast<std::uint32_t>(audio.size());
}

std::uint32_t RecordingModel::WriteSample() const {
    return (base + static_cast<std::uint32_t>(added.size())) / format.BlockBytes();
}

std::uint32_t RecordingModel::BufferedBytes() const {
    const auto held = static_cast<std::uint32_t>(added.size());
    return session == Session::New ? format.HeaderBytes() + held : held;
}

bool RecordingModel::Seek(std::uint32_t block) {
    if (block >= LengthInBlocks()) return false;
    position = block * format.BlockBytes();
    return true;
}

Bytes RecordingModel::Peek(std::uint32_t bytes) const {
    const std::size_t from = std::min<std::size_t>(position, audio.size());
    const std::size_t to = std::min<std::size_t>(from + bytes, audio.size());
    return Bytes(audio.begin() + static_cast<std::ptrdiff_t>(from), audio.begin() + static_cast<std::ptrdiff_t>(to));
}

namespace {

enum class Where { Idle, Recording, Selected };

class Driver {
public:
    Driver(StorageContext& context, const std::string& file, const Format& f, std::uint32_t seed,
           const ModelOptions& o)
        : ctx(context), path(file), format(f), options(o), rng(seed), patternSeed(seed) {}

    void Run() {
        for (int step = 0; step < options.steps; ++step) {
            SCOPED_TRACE(testing::Message() << "step " << step);
            Step();
            if (testing::Test::HasFailure()) return;
        }
        if (where != Where::Idle) CloseAndCompare();
    }

private:
    std::uint32_t Uniform(std::uint32_t lo, std::uint32_t hi) {
        return std::uniform_int_distribution<std::uint32_t>(lo, hi)(rng);
    }
    bool Chance(std::uint32_t percent) { return Uniform(1, 100) <= percent; }

    void Step() {
        switch (where) {
            case Where::Idle: return FromIdle();
            case Where::Recording: return WhileRecording();
            case Where::Selected: return WhileSelected();
        }
    }

    void FromIdle() {
        if (everFinished && Chance(60)) return Reselect();
        std::error_code ignored;
        std::filesystem::remove(path, ignored);  // recordings are made under fresh names
        model.Create(format);
        ASSERT_EQ(ctx.Create(path, format.tag, format.samplesPerSec, format.bitsPerSample, 1, options.slow ? platform::Media::Slow : platform::Media::Fast),
                  Status::Ok);
        where = Where::Recording;
        CheckRecordingState();
    }

    void WhileRecording() {
        const std::uint32_t roll = Uniform(1, 100);
        if (roll <= 62) return WriteSome();
        if (roll <= 74) return TakeBack();
        if (roll <= 88) return EndRecording();
        return CloseAndCompare();
    }

    void WhileSelected() {
        const std::uint32_t roll = Uniform(1, 100);
        if (roll <= 40) return ReadSome();
        if (roll <= 55) return SeekSomewhere();
        if (roll <= 65) return StartEdit(RecordingModel::Session::Append);
        if (roll <= 71) return StartEdit(RecordingModel::Session::Overwrite);
        if (roll <= 81) return StartEdit(RecordingModel::Session::Insert);
        if (roll <= 84) {
            EXPECT_EQ(ctx.End(), Status::Ok);  // nothing to finish
            return;
        }
        if (roll <= 91) return Reselect();
        return CloseAndCompare();
    }

    std::uint32_t Capacity() const {
        if (model.Kind() != RecordingModel::Session::Insert || options.bufferCapacity == 0) return options.bufferCapacity;
        return options.bufferCapacity - Tail();
    }
    // Old audio after an insertion's point.
    std::uint32_t Tail() const { return static_cast<std::uint32_t>(model.Audio().size()) - model.Base(); }

    void CheckRecordingState() {
        EXPECT_EQ(ctx.DataSize(), model.DataSize());
        EXPECT_EQ(ctx.CurrentWriteSample(), model.WriteSample());
        if (Capacity() != 0) {
            EXPECT_EQ(ctx.SpaceLeft(), Capacity() - model.BufferedBytes());
        }
    }

    void WriteSome() {
        const std::uint32_t piece = format.PieceBytes();
        const std::uint32_t roll = Uniform(1, 100);
        const std::uint32_t n = roll <= 50 ? piece : roll <= 80 ? Uniform(1, 3 * piece) : Uniform(1, 200);
        const Bytes bytes = Pattern(n, ++patternSeed);
        const Status status = ctx.WriteData(bytes.data(), n);
        if (Capacity() != 0) {
            // The last byte of the buffer is never used.
            const bool fits = std::uint64_t{model.BufferedBytes()} + n < Capacity();
            EXPECT_EQ(status, fits ? Status::Ok : Status::FileError) << n << " bytes";
        }
        if (status == Status::Ok) model.Write(bytes);
        CheckRecordingState();
    }

    void TakeBack() {
        const std::uint32_t n = Chance(15) ? 0 : Uniform(1, 3 * format.PieceBytes());
        const bool expected = model.BackTrack(n);
        EXPECT_EQ(ctx.BackTrack(n), expected ? Status::Ok : Status::FileError) << n << " bytes";
        CheckRecordingState();
    }

    void CompareFile() {
        const Bytes expected = model.File();
        Bytes actual = test::ReadBytes(path);
        // Fast media keep a held file extended to its reservation until Close;
        // what lies beyond the recording then is not part of it.
        if (!options.slow && where != Where::Idle && actual.size() > expected.size()) actual.resize(expected.size());
        ASSERT_EQ(actual.size(), expected.size());
        const auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin());
        EXPECT_TRUE(diff.first == actual.end()) << "first difference at byte " << (diff.first - actual.begin());
    }

    void EndRecording() {
        model.End();
        ASSERT_EQ(ctx.End(), Status::Ok);
        everFinished = true;
        where = Where::Selected;
        CompareFile();
        EXPECT_EQ(ctx.DataSize(), model.DataSize());
        EXPECT_EQ(ctx.CurrentReadSample(), model.ReadSample());
    }

    void CloseAndCompare() {
        model.End();
        ASSERT_EQ(ctx.Close(), Status::Ok);
        EXPECT_TRUE(ctx.IsIdle());
        everFinished = true;
        where = Where::Idle;
        CompareFile();
    }

    void Reselect() {
        ASSERT_EQ(ctx.Select(path, options.slow ? platform::Media::Slow : platform::Media::Fast), Status::Ok);
        model.Select();
        where = Where::Selected;
        EXPECT_EQ(ctx.DataSize(), model.DataSize());
        EXPECT_EQ(ctx.LengthInBlocks(), model.LengthInBlocks());
        EXPECT_EQ(ctx.FormatTag(), format.tag);
        EXPECT_EQ(ctx.CurrentReadSample(), 0u);
    }

    void ReadSome() {
        const std::uint32_t piece = format.PieceBytes();
        const std::uint32_t n = Chance(70) ? piece : Uniform(1, 3 * piece);
        const Bytes expected = model.Peek(n);
        Bytes buffer(n, 0xEE);
        const Status status = ctx.ReadData(buffer.data(), n);
        const bool reachesEnd = model.Position() + n >= model.Audio().size();
        const bool exactEnd = model.Position() + n == model.Audio().size() && n > 0;
        if (!reachesEnd || (exactEnd && status == Status::Ok)) {
            // At the very end a full fill may still answer Ok; the next read then finds nothing.
            ASSERT_EQ(status, Status::Ok);
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()));
            model.Advance(n);
        } else {
            ASSERT_EQ(status, Status::EndOfData);
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()));
            EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(expected.size()), buffer.end(),
                                    [](std::uint8_t b) { return b == 0xEE; }))
                << "bytes beyond the end were touched";
            model.Rewind();
        }
        EXPECT_EQ(ctx.CurrentReadSample(), model.ReadSample());
    }

    void SeekSomewhere() {
        const std::uint32_t block = Uniform(0, model.LengthInBlocks() + 2);
        const bool expected = model.Seek(block);
        EXPECT_EQ(ctx.SeekToSample(block), expected) << "block " << block;
        EXPECT_EQ(ctx.CurrentReadSample(), model.ReadSample());
    }

    void StartEdit(RecordingModel::Session kind) {
        bool ok = false;
        switch (kind) {
            case RecordingModel::Session::Append:
                model.StartAppend();
                ok = ctx.Append();
                break;
            case RecordingModel::Session::Overwrite:
                model.StartOverwrite();
                ok = ctx.Overwrite();
                break;
            default:
                model.StartInsert();
                ok = ctx.Insert();
                // The buffer is known on slow media; elsewhere whatever the context accepted is followed.
                if (options.bufferCapacity != 0 && std::uint64_t{Tail()} + 1 >= options.bufferCapacity / 2) {
                    EXPECT_FALSE(ok) << "an insertion whose tail takes half the buffer";
                }
                if (!ok && (options.bufferCapacity == 0 || std::uint64_t{Tail()} + 1 >= options.bufferCapacity / 2)) {
                    model.End();  // nothing was recorded: the recording stays as it was
                    EXPECT_EQ(ctx.CurrentReadSample(), model.ReadSample());
                    return;
                }
                break;
        }
        ASSERT_TRUE(ok);
        where = Where::Recording;
        CheckRecordingState();
    }

    StorageContext& ctx;
    std::string path;
    Format format;
    ModelOptions options;
    std::mt19937 rng;
    std::uint32_t patternSeed;
    RecordingModel model;
    Where where = Where::Idle;
    bool everFinished = false;
};

}  // namespace

void RunRandomSequence(StorageContext& ctx, const std::string& path, const Format& format, std::uint32_t seed,
                       const ModelOptions& options) {
    SCOPED_TRACE(testing::Message() << format.name << ", seed " << seed);
    Driver(ctx, path, format, seed, options).Run();
}

}  // namespace tavrin::storage::model
