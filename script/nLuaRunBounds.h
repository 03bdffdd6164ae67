#pragma once
// What one budgeted run of the Lua server (a data file; a line with the lines it runs)
// may still spend: VM instructions, in which C library work and allocation are charged
// as well; time (platform/system/RunClock); bytes handed to engine commands and
// the memory of the objects it makes, the C++ memory that the Lua allocator does not see;
// and objects made. What all
// runs of data's text made and still lives is bounded as well (LiveObjects, LiveBytes): a
// run that makes too much is refused and what it made is dropped. A trusted run has no
// bounds.
#include <algorithm>
#include <chrono>
#include <cstdint>

#include "kernel/nObjectCount.h"
#include "platform/system/RunClock.h"

class nLuaRunBounds {
public:
    struct Limits {
        long long instructions;
        std::chrono::milliseconds time;
        uint64_t commandBytes;
        uint64_t objects;
    };
    // What a command call costs besides the bytes of its text arguments: a command keeps
    // C++ memory for a call (a store variable, a list node) even without text.
    static constexpr uint64_t BytesACommand = 64;
    // What data's runs may have made and still live, together (kernel/nObjectCount.h).
    static constexpr uint64_t LiveObjects = nObjectCount::LiveObjects;
    static constexpr uint64_t LiveBytes = nObjectCount::LiveBytes;
    // An allocation this big looks at the clock as well.
    static constexpr uint64_t BigAllocation = 64 << 10;

    // Bounds of `limits` from now.
    void Start(const Limits& limits);
    // No bounds: a trusted run.
    void Clear();
    bool Active() const { return active_; }
    // Instructions spent since Start; all of them once the budget is passed.
    long long Spent() const { return limits_.instructions - instructionsLeft_; }
    bool PassedInstructions() const { return active_ && instructionsLeft_ == 0; }
    long long InstructionsLeft() const { return instructionsLeft_; }
    // Processor time taken since Start, not counting nested runs with bounds of their own.
    std::chrono::steady_clock::duration Elapsed() const { return clock_.Elapsed(); }
    // Time left before the time limit (none once it is passed).
    std::chrono::steady_clock::duration TimeLeft() const { return clock_.Left(); }
    // Back to the bounds of an outer run after a nested run with bounds of its own (or
    // none) that took `elapsed` of the processor over `waited` on the wall clock, made
    // `objects` and was charged `bytes` for them: they are not the outer run's.
    void Resume(const nLuaRunBounds& outer, std::chrono::steady_clock::duration elapsed,
                std::chrono::steady_clock::duration waited, uint64_t objects, uint64_t bytes);
    // The number the objects this run makes carry (kernel/nObjectCount.h).
    uint32_t Run() const { return run_; }
    // True once the run passed a bound on what it makes: what it made is to be dropped.
    bool DropsMade() const { return drops_; }
    // The bound passed by the run as it ends (null while none is): objects that a single
    // command made after the last look count too.
    const char* Finish() { return active_ && !why_[0] ? CheckMade(0) : nullptr; }

    // Each spends from the bounds and looks at the clock and at the objects made; it gives
    // the bound passed (null while none is). Once one is passed every later call gives it.
    const char* Spend(uint64_t instructions);
    const char* SpendCommand(uint64_t textBytes);
    // Objects about to be made: refused before they are.
    const char* SpendObjects(uint64_t objects);
    // True once a bound is passed; only a big allocation looks at the clock.
    bool SpendAllocation(uint64_t bytes);

private:
    const char* Check();
    const char* Pass(const char* format, unsigned long long number);
    const char* Drop(const char* format, unsigned long long number);
    // The bound on what the run makes and keeps, when `objects` more are about to be made.
    const char* CheckMade(uint64_t objects);

    Limits limits_{};
    long long instructionsLeft_ = 0;
    uint64_t bytesLeft_ = 0;
    uint64_t objectsEnd_ = 0;
    uint64_t objectsStart_ = 0;
    uint64_t madeBytesStart_ = 0;
    uint32_t run_ = 0;
    bool drops_ = false;
    sys::RunClock clock_;
    bool active_ = false;
    char why_[80] = "";  // the bound passed
};
