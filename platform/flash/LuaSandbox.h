#pragma once
// A private Lua 5.4 state for one movie: only the base library (without dofile,
// loadfile, load, require), string, table, math and utf8; text chunks only; a memory
// cap on the state and an instruction budget on every call into it, so a broken or
// endless movie fails its call instead of hanging or exhausting the process. The C
// functions of those libraries that loop without running Lua code (patterns, rep, sort,
// case changes, ...) are charged against the budget or refused (platform/luaguard), as
// are finalizers, which Lua runs with the hook off. Allocation is charged by the byte
// (copies of long strings run in single instructions), and a call that still outlasts
// its time limit (long string comparisons) is stopped as if out of budget. The time is
// the run's own, as a run of data's text has it (platform/system/RunClock).
#include <cstddef>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/system/RunClock.h"

struct lua_State;
struct lua_Debug;
typedef int (*lua_CFunction)(lua_State* L);

namespace flash {

class LuaSandbox {
public:
    struct Limits {
        uint64_t instructions = 10'000'000;  // VM instructions a call
        size_t memoryBytes = 32u << 20;      // bytes the state may hold
        double seconds = 5.0;                // run time a call (sys::RunClock), caches filled
    };

    explicit LuaSandbox(Limits limits);
    ~LuaSandbox();
    LuaSandbox(const LuaSandbox&) = delete;
    LuaSandbox& operator=(const LuaSandbox&) = delete;

    // False (with `error`) when the state cannot be made.
    bool Open(std::string& error);
    bool IsOpen() const { return this->L != nullptr; }
    lua_State* State() const { return this->L; }

    using Duration = std::chrono::steady_clock::duration;
    static constexpr Duration NoTime = Duration::max();
    // Compiles and runs a text chunk named `chunkName` under a fresh budget. Compiling spends
    // from it: `priced` instructions before (what the parser meets, luaguard's
    // MeasureCompile), then a byte an instruction as the parser reads, the clock looked at.
    bool Run(const char* text, size_t size, const std::string& chunkName, std::string& error,
             uint64_t instructions = UINT64_MAX, Duration time = NoTime, uint64_t priced = 0);
    // Calls `fn` with `data` as a light userdata, protected and under a fresh budget (of
    // at most `instructions`, and at most `time` besides the limits' seconds); the stack is
    // left as it was. False with the error message otherwise.
    bool Call(lua_CFunction fn, void* data, std::string& error, uint64_t instructions = UINT64_MAX,
              Duration time = NoTime);

    // Takes `cost` instructions from the running call's budget; raises a Lua error when
    // it runs out (only from C functions the state is running).
    static void Charge(lua_State* L, uint64_t cost);
    // True when C work priced at `cost` instructions and taking about `time` fits what is
    // left of the running call's budget and time: work done in one piece is priced before it
    // runs, as nothing can stop it halfway.
    bool Affords(uint64_t cost, Duration time);
    // What is left of the running call's time.
    Duration TimeLeft() const { return this->clock.Left(); }
    // Ends the running call as out of time (only from C functions the state is running).
    [[noreturn]] static void StopAtTime(lua_State* L) { Stop(L, true); }
    // The sandbox that owns a state.
    static LuaSandbox* Of(lua_State* L);

    size_t MemoryInUse() const { return this->used; }
    // Asked before the state holds more than it was granted, a chunk (KeepChunk) at a time,
    // and told of what it gives back (negative): false refuses the memory, and the
    // allocation fails as at the state's own cap. The state gives all back when it closes.
    using Keeper = std::function<bool(int64_t bytes)>;
    void SetKeeper(Keeper keeper) { this->keeper = std::move(keeper); }
    static constexpr size_t KeepChunk = size_t(256) << 10;
    size_t MemoryGranted() const { return this->granted; }
    // The last Call ran out of instructions or time, or failed for want of memory: a failed
    // allocation ends the call (whatever pcall the movie runs) at its next instruction.
    bool WasOverBudget() const { return this->overBudget; }
    // The last Call was stopped at the `time` it was given, short of the limits' own.
    bool WasOverTime() const { return this->overTime; }
    // The last Call was stopped by its clock (its `time` or the limits' seconds), not by its
    // instructions or memory: its error says "time limit reached".
    bool WasOutOfTime() const { return this->outOfTime; }
    // Instructions the last Call or Run spent (its whole budget when it ran out, what it had
    // spent when its memory failed).
    uint64_t LastSpent() const { return this->memoryFailed ? this->spentAtFailure : this->budget - this->remaining; }
    // The time the last Call or Run took (sys::RunClock), and on the wall clock.
    Duration LastTime() const { return this->lastTime; }
    Duration LastWall() const { return this->lastWall; }

private:
    static void* Allocate(void* ud, void* ptr, size_t osize, size_t nsize);
    static void Hook(lua_State* L, lua_Debug* ar);
    // Ends the running call: by its clock (`timed`) or its instructions.
    [[noreturn]] static void Stop(lua_State* L, bool timed);
    // A refused allocation: ends the call going on (null, for the allocator to give back).
    void* EndCall();
    void* OutOfMemory();
    void StartBudget(uint64_t instructions, Duration time);
    // Instructions between two looks at the budget and the clock: fewer once the state
    // holds long strings, which one instruction may compare or copy whole.
    int HookStep() const;

    Limits limits;
    lua_State* L = nullptr;
    size_t used = 0;
    Keeper keeper;
    size_t granted = 0;  // of the keeper's, while there is one
    uint64_t budget = 0;  // of the call going on
    uint64_t remaining = 0;
    bool overBudget = false;
    bool overTime = false;
    bool outOfTime = false;
    bool memoryFailed = false;
    uint64_t spentAtFailure = 0;
    bool shortDeadline = false;  // the call's `time` ends before the limits' seconds
    size_t biggest = 0;  // the biggest block the state was given
    int armed = 1;  // the hook's count as last set
    sys::RunClock clock;  // of the call going on
    Duration lastTime{};
    Duration lastWall{};
};

}  // namespace flash
