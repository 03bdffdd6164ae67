#include "script/nLuaRunBounds.h"

#include <cstdio>

#include "kernel/nObjectCount.h"
#include "platform/luaguard/LuaGuards.h"

void nLuaRunBounds::Start(const Limits& limits) {
    limits_ = limits;
    instructionsLeft_ = limits.instructions;
    bytesLeft_ = limits.commandBytes;
    objectsEnd_ = nObjectCount::Made() + limits.objects;
    deadline_ = std::chrono::steady_clock::now() + limits.time;
    active_ = true;
    why_[0] = 0;
}

void nLuaRunBounds::Resume(const nLuaRunBounds& outer, std::chrono::steady_clock::duration elapsed,
                           uint64_t objects) {
    *this = outer;
    deadline_ += elapsed;
    objectsEnd_ += objects;
}

const char* nLuaRunBounds::Pass(const char* format, unsigned long long number) {
    if (!why_[0]) std::snprintf(why_, sizeof(why_), format, number);
    return why_;
}

const char* nLuaRunBounds::Check() {
    if (why_[0]) return why_;
    if (std::chrono::steady_clock::now() >= deadline_) {
        return Pass("ran past its time of %llu s",
                    std::chrono::duration_cast<std::chrono::seconds>(limits_.time).count());
    }
    if (nObjectCount::Made() > objectsEnd_) return Pass("made more than %llu objects", limits_.objects);
    return nullptr;
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
    if (nObjectCount::Made() + objects > objectsEnd_) return Pass("made more than %llu objects", limits_.objects);
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
