#include "kernel/nMemoryGuard.h"

#include <algorithm>
#include <chrono>

#include "kernel/nKernelServer.h"
#include "platform/system/System.h"

uint64_t nMemoryGuard::DefaultCeiling() {
    constexpr uint64_t GB = uint64_t(1) << 30;
    const uint64_t physical = sys::PhysicalBytes();
    return physical ? std::clamp(physical / 2, GB, 3 * GB) : 3 * GB;
}

void nMemoryGuard::SetCeiling(uint64_t bytes) {
    ceiling_ = bytes;
    nextRead_ = 0;
}

bool nMemoryGuard::Allows() {
    const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    if (now < nextRead_) return !over_;
    nextRead_ = now + ReadEveryMs;
    const uint64_t resident = sys::ResidentBytes();
    const bool over = resident >= Ceiling();
    if (over != over_) {
        if (over) {
            n_error("nMemoryGuard: the game holds %llu MB, past its ceiling of %llu MB: data's text is stopped\n",
                    static_cast<unsigned long long>(resident >> 20), static_cast<unsigned long long>(Ceiling() >> 20));
        } else {
            n_printf("nMemoryGuard: the game holds %llu MB again, below its ceiling: data's text runs\n",
                     static_cast<unsigned long long>(resident >> 20));
        }
        over_ = over;
    }
    return !over_;
}
