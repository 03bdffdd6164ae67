#include "script/nLuaRunBounds.h"

#include <cstdio>

#include "kernel/nObjectCount.h"
#include "platform/luaguard/LuaGuards.h"

void nLuaRunBounds::Start(const Limits& limits) {
    limits_ = limits;
    instructionsLeft_ = limits.instructions;
    bytesLeft_ = limits.commandBytes;
    objectsStart_ = nObjectCount::Made();
    objectsEnd_ = objectsStart_ + limits.objects;
    madeBytesStart_ = nObjectCount::DataBytesMade();
    clock_.Start(limits.time);
    active_ = true;
    drops_ = false;
    run_ = nObjectCount::NextDataRun();
    nObjectCount::SetDataRun(run_);
    why_[0] = 0;
}

void nLuaRunBounds::Clear() {
    active_ = false;
    nObjectCount::SetDataRun(0);
}

void nLuaRunBounds::Resume(const nLuaRunBounds& outer, std::chrono::steady_clock::duration elapsed,
                           std::chrono::steady_clock::duration waited, uint64_t objects, uint64_t bytes) {
    *this = outer;
    clock_.Exclude(elapsed, waited);
    objectsEnd_ += objects;
    objectsStart_ += objects;
    madeBytesStart_ += bytes;
    nObjectCount::SetDataRun(active_ ? run_ : 0);
}

const char* nLuaRunBounds::Drop(const char* format, unsigned long long number) {
    if (!why_[0]) drops_ = true;
    return Pass(format, number);
}

const char* nLuaRunBounds::CheckMade(uint64_t objects) {
    const uint64_t made = nObjectCount::Made() + objects;
    if (made > objectsEnd_) return Drop("made more than %llu objects", limits_.objects);
    // Only a run that makes something answers for the total: one that passed it is dropped.
    if (made == objectsStart_) return nullptr;
    if (nObjectCount::DataLiveCounted() + objects > LiveObjects) {
        return Drop("would leave more than %llu objects that data made", LiveObjects);
    }
    if (nObjectCount::DataLiveBytes() > nObjectCount::LiveBytesBound()) {
        return Drop("would leave objects of more than %llu bytes that data made", nObjectCount::LiveBytesBound());
    }
    const uint64_t bytes = (limits_.commandBytes - bytesLeft_) + (nObjectCount::DataBytesMade() - madeBytesStart_);
    if (bytes > limits_.commandBytes) return Drop("took more than %llu bytes", limits_.commandBytes);
    return nullptr;
}

const char* nLuaRunBounds::Pass(const char* format, unsigned long long number) {
    if (!why_[0]) std::snprintf(why_, sizeof(why_), format, number);
    return why_;
}

const char* nLuaRunBounds::Check() {
    if (why_[0]) return why_;
    if (clock_.Passed()) {
        if (limits_.time < std::chrono::seconds(1)) return Pass("ran past its time of %llu ms", limits_.time.count());
        return Pass("ran past its time of %llu s",
                    std::chrono::duration_cast<std::chrono::seconds>(limits_.time).count());
    }
    return CheckMade(0);
}

const char* nLuaRunBounds::Spend(uint64_t instructions) {
    if (why_[0]) return why_;
    if (instructions >= uint64_t(instructionsLeft_)) {
        instructionsLeft_ = 0;
        return Pass("ran past its budget of %llu instructions", limits_.instructions);
    }
    instructionsLeft_ -= (long long)instructions;
    return Check();
}

const char* nLuaRunBounds::SpendCommand(uint64_t textBytes) {
    if (why_[0]) return why_;
    const uint64_t bytes = textBytes + BytesACommand;
    if (bytes > bytesLeft_) {
        bytesLeft_ = 0;
        return Pass("handed commands more than %llu bytes", limits_.commandBytes);
    }
    bytesLeft_ -= bytes;
    return Check();
}

const char* nLuaRunBounds::SpendObjects(uint64_t objects) {
    if (why_[0]) return why_;
    if (const char* why = CheckMade(objects)) return why;
    return Check();
}

bool nLuaRunBounds::SpendAllocation(uint64_t bytes) {
    if (why_[0]) return true;
    const uint64_t cost = bytes / luaguard::LuaGuards::AllocatedBytesAnInstruction;
    if (cost >= uint64_t(instructionsLeft_)) {
        Spend(cost);
        return true;
    }
    instructionsLeft_ -= (long long)cost;
    return bytes >= BigAllocation && Check();
}
