#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "storage/BufferedChange.h"
#include "storage/HeaderWriting.h"
#include "storage/Journal.h"
#include "storage/Strategy.h"

namespace tavrin::storage {

// A new recording on slow media. Everything, header included, is collected in
// one large block of memory and written to the file with a single write when
// the recording ends; during recording no file operation happens at all.
// Also the base of the two insertion strategies, which use its buffer
// operations, and the strategy Append and Overwrite hand an open file to.
//
// The buffer holds the bytes that belong at file offset `bufferBase` onwards:
// 0 for a new recording (the header is in the buffer), the old end of the
// audio after Append, the playback position after Overwrite, the insertion
// point during an insertion.
class StrategyCreateSlow : public Strategy {
public:
    explicit StrategyCreateSlow(StorageContext& context);

    [[nodiscard]] Status Create(const std::string& fileName, std::uint16_t tag, std::uint32_t samplesPerSec,
                                std::uint16_t bitsPerSample, std::uint16_t channels) override;
    [[nodiscard]] bool SeekToSample(std::uint32_t block) override;
    std::uint32_t CurrentWriteSample() override;
    [[nodiscard]] Status BackTrack(std::uint32_t bytes) override;
    std::uint32_t SpaceLeft() override;
    [[nodiscard]] Status WriteData(const std::uint8_t* source, std::uint32_t bytes) override;
    [[nodiscard]] Status Close() override;
    [[nodiscard]] Status End() override;
    [[nodiscard]] Status Open(const std::string& fileName) override;
    [[nodiscard]] Status Write(const void* source, std::uint32_t bytes) override;
    [[nodiscard]] bool SeekTo(std::uint32_t offset) override;
    std::uint32_t ReadPosition() override;

    // Writes the buffer into the file where it belongs, with what it holds
    // for behind it, and finishes the header. True only when all of it
    // reached the file; the buffer is then released. On failure the file
    // keeps what fit and the buffer is kept, so that a later attempt can
    // write it again from the same offset. False, writing nothing, when there
    // is no buffer.
    [[nodiscard]] virtual bool Flush();

    // --- Buffer handling shared with the slow select strategy ---------------

    // Sizes the buffer from the free space of the volume that holds
    // `fileName` and the available memory, and commits it (shrinking the
    // request when the platform cannot give the whole). The buffer's bytes
    // belong at `fileOffset` on, and the file never passes 32 bits. False
    // when there is too little room. Opens no file.
    [[nodiscard]] bool AllocateBuffer(const std::string& fileName, std::uint32_t fileOffset = 0);
    // Gives the buffer back to the platform.
    void ReleaseBuffer();
    // True while a buffer holds audio that has not reached the file (a Flush
    // failed, or the change has not ended).
    bool HasPendingAudio() const;
    // Deals with audio left behind by a failed Flush: writes it once more;
    // if that fails too, the file keeps what fit, the journal and its spool
    // keep the rest for recovery, and the buffer goes. Ok when nothing was
    // pending or the audio was written.
    [[nodiscard]] Status SettlePendingAudio();

    // Journals the change about to be collected in the buffer (where journals
    // are kept) and starts mirroring the buffer into a spool beside the
    // journal, with what the file holds after the buffer's bytes: an
    // insertion's old audio tail, chunks other programs put after the audio.
    // Without a spool the change goes on unjournalled, as it would without
    // a journal folder. False when another writer has the recording (see
    // WriteJournalFor): nothing was begun.
    [[nodiscard]] bool StartBufferSpool(JournalEntry::Kind kind, const std::string& fileName, std::uint32_t point,
                          const std::uint8_t* tailAudio, std::uint32_t tailAudioBytes, const std::uint8_t* trailer,
                          std::uint32_t trailerBytes);

    // Reads the chunks after the audio (`trailingBytes` from `dataEnd`) into
    // the top of the buffer, so that they are written back behind the new end
    // (the file keeps them until then); a pad byte before them is left out.
    // False when they do not leave room to record or cannot be read.
    [[nodiscard]] bool HoldTrailer();
    // Starts an insertion at file offset `point` of the open recording, on
    // either media: a buffer as for an Append, with the old audio from the
    // point on and the chunks after it held at its top, journalled and
    // spooled. False, the recording unchanged and nothing held, when it
    // cannot start or another writer has the recording.
    [[nodiscard]] bool BeginInsertion(std::uint32_t point);

    // Longest tail an insertion moves: the old audio after its point and the
    // chunks after the audio, held in memory and in the spool until the end.
    static constexpr std::uint32_t kMaxInsertTail = 5'000'000;
    // Memory and disk that are never handed to a recording buffer.
    static constexpr std::uint32_t kSpareDiskBytes = 10'000;
    // Step by which a refused buffer allocation is retried smaller.
    static constexpr std::uint32_t kAllocationStep = 500'000;

protected:
    // Before the buffer goes to the file: its spool is synced whole, or,
    // when that fails, the change goes on without journal and spool.
    void SecureSpool();
    // The buffer reached the file: once the file is synced, the journal and
    // its spool go. Should the sync fail they stay, so that the next start
    // writes the buffer out again from the spool.
    void SettleJournal();
    // Flush for an insertion: one that recorded nothing leaves the file as it
    // was, byte for byte, and lets go of its buffer and journal.
    [[nodiscard]] bool FlushInsertion();
    // Moves the write point to buffer offset `offset`; refused at or beyond
    // the bytes held.
    [[nodiscard]] bool SeekInBuffer(std::uint32_t offset);
    // Positions the file at the first audio byte and makes the slow select
    // strategy current, as every finished buffered recording does.
    void HandOverToSelect();

private:
    // Reads the old audio from `point` to the end of the audio into the
    // buffer, right below the chunks held. False when it does not leave room
    // to record or cannot be read.
    [[nodiscard]] bool HoldTail(std::uint32_t point);
    // Journals an insertion at `point` and spools its buffer with what it holds.
    [[nodiscard]] bool SpoolInsertion(std::uint32_t point);
    // Bytes of the buffer that audio may take.
    std::uint32_t Room() const;
    // The buffer as a change of the file, with what it holds for behind it.
    BufferedChange Change() const;
    // The audio of the file ends at `audioEnd`: the image counts it.
    void SetAudioEnd(std::uint32_t audioEnd);
};

}  // namespace tavrin::storage
