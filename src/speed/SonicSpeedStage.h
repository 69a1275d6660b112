#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/SpeedStage.h"
#include "wav/SampleDecoder.h"

struct sonicStreamStruct;  // libsonic's stream

namespace tavrin::speed {

// The speed stage over libsonic, which time-stretches speech by whole pitch
// periods and so keeps its pitch. Every recording format is decoded to
// 16-bit samples first (GSM included), so the speaker always gets 16-bit PCM
// at the recording's rate. At the recording's own speed libsonic copies the
// audio through unchanged.
class SonicSpeedStage final : public engine::SpeedStage {
public:
    SonicSpeedStage() = default;
    ~SonicSpeedStage() override;
    SonicSpeedStage(const SonicSpeedStage&) = delete;
    SonicSpeedStage& operator=(const SonicSpeedStage&) = delete;

    std::optional<platform::AudioFormat> Start(const platform::AudioFormat& recording) override;
    void SetSpeed(std::uint32_t hundredths) override;
    [[nodiscard]] bool Put(const std::uint8_t* data, std::uint32_t bytes) override;
    void Flush() override;
    [[nodiscard]] std::uint32_t Take(std::uint8_t* out, std::uint32_t capacity) override;
    void Clear() override;

private:
    void Release();
    void Drain();

    sonicStreamStruct* stream = nullptr;
    std::unique_ptr<wav::SampleDecoder> decoder;
    std::vector<std::int16_t> samples;  // one decoded piece
    std::uint32_t rate = 0;
    int channels = 1;
};

}  // namespace tavrin::speed
