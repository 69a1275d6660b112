#pragma once

#include <cerrno>

#include "platform/FileSystem.h"

namespace tavrin::platform::posix {

// Runs a system call again for as long as a signal interrupts it. `call`
// answers -1 (with errno set) on failure, as the system calls do.
template <typename Call>
auto RetryOnEintr(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

// Notes the cause of a failed file call from the system's error number: a
// full volume or exhausted quota is Full, anything else Other.
inline void NoteFileError(int number) {
    const bool full = number == ENOSPC || number == EDQUOT;
    const bool readOnly = number == EROFS || number == EACCES || number == EPERM;
    NoteIoError({full ? IoError::Kind::Full : readOnly ? IoError::Kind::ReadOnly : IoError::Kind::Other, number});
}

}  // namespace tavrin::platform::posix
