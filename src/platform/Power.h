#pragma once

#include <cstdint>

namespace tavrin::platform {

// Battery flags of the power status, with the values the recorder has always used.
namespace battery {
inline constexpr std::uint8_t High = 1;
inline constexpr std::uint8_t Low = 2;
inline constexpr std::uint8_t Critical = 4;
inline constexpr std::uint8_t Charging = 8;
inline constexpr std::uint8_t NoBattery = 128;
inline constexpr std::uint8_t Unknown = 255;
}  // namespace battery

struct PowerStatus {
    bool externalPower = false;
    std::uint8_t batteryFlag = battery::Unknown;
};

// The machine's power supply, and keeping it from going to sleep while a
// recording runs.
class Power {
public:
    virtual ~Power() = default;
    virtual PowerStatus status() = 0;
    // Keeps the machine from suspending or going idle for a while (a few
    // minutes); each call renews that while. Lapses by itself when not renewed.
    virtual void keepAwake() = 0;
};

}  // namespace tavrin::platform
