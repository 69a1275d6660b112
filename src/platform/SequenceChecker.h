#pragma once

#include <atomic>
#include <thread>

namespace tavrin::platform {

// Checks that operations meant for one owner at a time run on the owner's
// thread. It binds to the first thread that asks and stays bound until the
// owner detaches it where ownership passes on; the next thread to ask then
// becomes the owner. Used in debug checks only.
class SequenceChecker {
public:
    // True on the bound thread; binds to the calling thread when unbound.
    bool CalledOnValidSequence() const {
        const std::thread::id self = std::this_thread::get_id();
        std::thread::id bound{};
        if (owner.compare_exchange_strong(bound, self, std::memory_order_acq_rel)) return true;
        return bound == self;
    }
    // Called by the owner as it hands over.
    void Detach() { owner.store(std::thread::id{}, std::memory_order_release); }

private:
    mutable std::atomic<std::thread::id> owner{};
};

}  // namespace tavrin::platform
