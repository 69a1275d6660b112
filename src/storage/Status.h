#pragma once

#include <cstdint>

namespace tavrin::storage {

// What a storage operation reports. The numbers are those the engine has
// always passed on in its result details.
enum class Status : std::uint32_t {
    Ok = 0,
    FileError = 3,
    InternalError = 4,
    EndOfData = 7,
};

}  // namespace tavrin::storage
