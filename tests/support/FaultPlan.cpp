#include "support/FaultPlan.h"

namespace tavrin::test {

const char* FaultName(Fault kind) {
    switch (kind) {
        case Fault::Open: return "Open";
        case Fault::Read: return "Read";
        case Fault::Write: return "Write";
        case Fault::Seek: return "Seek";
        case Fault::SetLength: return "SetLength";
        case Fault::Size: return "Size";
        case Fault::Map: return "Map";
        case Fault::Flush: return "Flush";
        case Fault::Allocate: return "Allocate";
        case Fault::FreeSpace: return "FreeSpace";
        case Fault::Remove: return "Remove";
        case Fault::Move: return "Move";
        case Fault::CreateDirectory: return "CreateDirectory";
        case Fault::List: return "List";
        case Fault::SyncFolder: return "SyncFolder";
    }
    return "?";
}

void FaultPlan::failNth(Fault kind, std::uint32_t n, bool persistent) {
    std::lock_guard lock(mutex);
    kindTriggers[Index(kind)] = Trigger{n > 0, persistent, counts[Index(kind)] + n};
}

void FaultPlan::failNthCall(std::uint32_t n, bool persistent) {
    std::lock_guard lock(mutex);
    anyTrigger = Trigger{n > 0, persistent, total + n};
}

void FaultPlan::resetFaults() {
    std::lock_guard lock(mutex);
    kindTriggers = {};
    anyTrigger = {};
    fired = 0;
}

void FaultPlan::resetCounts() {
    std::lock_guard lock(mutex);
    // Armed faults keep their distance from "now".
    for (std::size_t i = 0; i < kFaultKinds; ++i)
        if (kindTriggers[i].armed) kindTriggers[i].at -= counts[i];
    if (anyTrigger.armed) anyTrigger.at -= total;
    counts = {};
    total = 0;
}

std::uint32_t FaultPlan::calls(Fault kind) const {
    std::lock_guard lock(mutex);
    return counts[Index(kind)];
}

std::uint32_t FaultPlan::totalCalls() const {
    std::lock_guard lock(mutex);
    return total;
}

std::uint32_t FaultPlan::faultsFired() const {
    std::lock_guard lock(mutex);
    return fired;
}

bool FaultPlan::Fires(const Trigger& t, std::uint32_t count) {
    if (!t.armed) return false;
    return t.persistent ? count >= t.at : count == t.at;
}

bool FaultPlan::shouldFail(Fault kind) {
    std::lock_guard lock(mutex);
    const std::uint32_t count = ++counts[Index(kind)];
    ++total;
    const bool fails = Fires(kindTriggers[Index(kind)], count) || Fires(anyTrigger, total);
    if (fails) ++fired;
    return fails;
}

}  // namespace tavrin::test
