#pragma once

#include <cstdint>
#include <string>

#include "storage/HeaderReading.h"
#include "storage/Status.h"

namespace tavrin::storage {

class StorageContext;

// One way of getting audio to and from a recording file. Every strategy has
// every operation; one that makes no sense in a strategy shows the
// internal-error report under the class's name and returns a fixed value, so
// nothing is silently ignored. Strategies hold no state of their own: it all
// lives in the StorageContext.
class Strategy : public HeaderSource {
public:
    Strategy(StorageContext& context, const char* className) : ctx(context), name(className) {}
    ~Strategy() override = default;
    Strategy(const Strategy&) = delete;
    Strategy& operator=(const Strategy&) = delete;

    const char* ClassName() const { return name; }

    [[nodiscard]] virtual Status Create(const std::string& fileName, std::uint16_t tag, std::uint32_t samplesPerSec,
                                        std::uint16_t bitsPerSample, std::uint16_t channels);
    [[nodiscard]] virtual Status Select(const std::string& fileName);
    [[nodiscard]] virtual bool SeekToSample(std::uint32_t block);
    virtual std::uint32_t CurrentReadSample();
    [[nodiscard]] virtual Status ReadData(std::uint8_t* destination, std::uint32_t bytes);
    virtual std::uint32_t CurrentWriteSample();
    [[nodiscard]] virtual Status BackTrack(std::uint32_t bytes);
    virtual std::uint32_t SpaceLeft();
    [[nodiscard]] virtual Status WriteData(const std::uint8_t* source, std::uint32_t bytes);
    [[nodiscard]] virtual Status Close();
    [[nodiscard]] virtual Status End();
    [[nodiscard]] virtual bool Append();
    [[nodiscard]] virtual bool Overwrite();
    [[nodiscard]] virtual bool Insert();
    [[nodiscard]] Status Open(const std::string& fileName) override;
    [[nodiscard]] virtual Status Write(const void* source, std::uint32_t bytes);
    [[nodiscard]] Status Read(void* destination, std::uint32_t bytes, std::uint32_t& count) override;
    [[nodiscard]] Status Expect(const void* bytes, std::uint32_t count) override;

    // Low-level positioning used by the header reading and writing routines.
    [[nodiscard]] bool SeekTo(std::uint32_t offset) override;
    std::uint32_t ReadPosition() override;

protected:
    // Shows the internal-error report for this class and `operation`.
    void Unavailable(const char* operation);
    // True when an edit may write past the audio of the selected file or
    // move what follows it: at most a pad byte follows it, which an edit
    // gives up (this program's own files have none).
    [[nodiscard]] bool FreeAfterAudio() const;

    StorageContext& ctx;

private:
    const char* name;
};

}  // namespace tavrin::storage
