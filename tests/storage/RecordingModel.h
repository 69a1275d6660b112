#pragma once

// A plain in-memory model of what a recording file must hold after a sequence
// of storage operations, and a driver that runs random sequences against a
// real StorageContext and the model side by side, comparing the file byte for
// byte (header included) after every End and Close. The driver knows nothing
// of the media: a test passes the context, the file and the media flag.

#include <cstdint>
#include <string>
#include <vector>

#include "storage/StorageContext.h"

namespace tavrin::storage::model {

using Bytes = std::vector<std::uint8_t>;

struct Format {
    std::uint16_t tag;
    std::uint32_t samplesPerSec;
    std::uint16_t bitsPerSample;
    const char* name;

    bool IsGsm() const { return tag == wav::kTagGsm; }
    std::uint32_t HeaderBytes() const { return IsGsm() ? 60 : 44; }
    // Bytes of one block: a 65-byte GSM block or one mono sample.
    std::uint32_t BlockBytes() const { return IsGsm() ? wav::kGsmBlockBytes : bitsPerSample / 8u; }
    std::uint32_t AvgBytesPerSec() const { return IsGsm() ? 1625 : samplesPerSec * bitsPerSample / 8; }
    // What the engine stores or plays at a time: 200 ms.
    std::uint32_t PieceBytes() const { return AvgBytesPerSec() / 5; }
};

inline constexpr Format kPcm8{wav::kTagPcm, 8000, 8, "PCM 8-bit"};
inline constexpr Format kPcm16{wav::kTagPcm, 8000, 16, "PCM 16-bit"};
inline constexpr Format kGsm{wav::kTagGsm, 8000, 0, "GSM"};

// Deterministic, non-repeating bytes.
Bytes Pattern(std::size_t n, std::uint32_t seed);

// The file this program writes for a mono recording of `audio` in `format`:
// 44-byte PCM header, or 60-byte GSM header with its fact chunk.
Bytes WavFile(const Format& format, const Bytes& audio);

// `file` with `after` behind its audio (chunks another program wrote there),
// its RIFF size made to cover them.
Bytes WithTrailer(Bytes file, const Bytes& after);

// A LIST chunk of the kind other programs write after the audio.
inline const Bytes kListChunk{'L', 'I', 'S', 'T', 10, 0, 0, 0, 'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 'x', 'y'};

// What the recording should be, and where playback and recording stand.
class RecordingModel {
public:
    enum class Session { None, New, Append, Overwrite, Insert };

    void Create(const Format& format);
    void Select() { position = 0; }
    void StartAppend();
    void StartOverwrite();
    void StartInsert();
    void Write(const Bytes& bytes);
    // False (and nothing changes) unless 1..n bytes of this session are left.
    bool BackTrack(std::uint32_t bytes);
    // Finishes the session: the recording takes its audio.
    void End();

    bool Recording() const { return session != Session::None; }
    Session Kind() const { return session; }
    std::uint32_t Base() const { return base; }
    const Format& Fmt() const { return format; }
    const Bytes& Audio() const { return audio; }
    std::uint32_t Position() const { return position; }
    Bytes File() const { return WavFile(format, audio); }

    std::uint32_t LengthInBlocks() const { return DataSize() / format.BlockBytes(); }
    std::uint32_t DataSize() const;
    std::uint32_t ReadSample() const { return position / format.BlockBytes(); }
    std::uint32_t WriteSample() const;
    // Bytes of the memory buffer in use during a buffered session (header included for a new recording).
    std::uint32_t BufferedBytes() const;

    bool Seek(std::uint32_t block);
    // The bytes the next `bytes` of playback hold from the current position.
    Bytes Peek(std::uint32_t bytes) const;
    void Advance(std::uint32_t bytes) { position += bytes; }
    void Rewind() { position = 0; }

private:
    Format format = kPcm8;
    Bytes audio;
    Bytes added;
    Session session = Session::None;
    std::uint32_t base = 0;  // where this session's audio goes, in audio bytes
    std::uint32_t position = 0;
};

struct ModelOptions {
    bool slow = true;
    // Buffer capacity of a new, appended or overwritten recording; a write
    // must be refused exactly when it would fill the buffer to its last
    // byte. 0: the media has no such exact rule and only the model's
    // consistency is checked.
    std::uint32_t bufferCapacity = 0;
    // An insertion on slow media shares that buffer with the old audio after
    // its point, which it holds to write back behind the new audio; it is
    // refused when that audio would take half the buffer.
    int steps = 60;
};

// Runs one random sequence of `options.steps` operations from seed `seed` on
// `ctx` over the file `path`, which must not exist yet. Failures are reported
// through gtest with the seed and step.
void RunRandomSequence(StorageContext& ctx, const std::string& path, const Format& format, std::uint32_t seed,
                       const ModelOptions& options);

}  // namespace tavrin::storage::model
