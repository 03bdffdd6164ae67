#pragma once
// Charges for the C functions of Lua's string, table and utf8 libraries that work in C
// without running a VM instruction (patterns that backtrack, copies, sorts, long loops),
// so an instruction budget bounds them too. Each is wrapped in place in its library table,
// which for strings is also the string metatable's __index: ("x"):find(p) is guarded as
// string.find is. The iterator that string.gmatch makes is guarded as well: each of its
// calls scans the subject again. A call is charged before its work by what it may scan or
// make (a pattern by its worst case, string.rep by its result), and after it by the bytes
// of the strings it gives back. The state's owner decides what a charge means (a movie's
// budget, a data run's budget, nothing for a trusted run), and whether a run is charged at
// all: an uncharged run calls the library at once.
#include <chrono>
#include <cstddef>
#include <cstdint>

struct lua_State;

namespace luaguard {

class LuaGuards {
public:
    // Takes `cost` instructions from the running budget or raises a Lua error. It is
    // called from C functions the state runs and may look at the clock.
    using Charge = void (*)(lua_State* L, uint64_t cost);
    // True while the running text is charged (or must answer a stop at its next charge).
    using Charging = bool (*)(lua_State* L);

    // Bytes of C work over a string (a case change, a copy, a scan) that cost one
    // instruction, and bytes allocated that do.
    static constexpr uint64_t BytesAnInstruction = 16;
    static constexpr uint64_t AllocatedBytesAnInstruction = 64;
    // What one step of the pattern matcher costs, in instructions.
    static constexpr uint64_t InstructionsAStep = 4;

    // Wraps the functions of those libraries that the state has opened (package.loaded's
    // entries); libraries it lacks are skipped. Call it once, before any script copies a
    // library function into a variable of its own.
    static void Install(lua_State* L, Charge charge, Charging charging);

    // The worst-case steps of matching `pattern` against a subject of `subject` bytes:
    // backtracking costs up to subject^(quantifiers + 1).
    static uint64_t PatternCost(size_t subject, const char* pattern, size_t length, bool plain);

    // What Lua's parser meets in a text besides its bytes: it compares each new label or
    // jump (goto, break) with those before it in its function, up to 32,767 a function.
    // Function bounds are not followed: all of the text's count as one function's, which
    // prices a text of ours at nothing and one made of many-label functions high. Strings
    // and comments are skipped.
    struct CompileWork {
        uint64_t bytes = 0;
        uint64_t compares = 0;
    };
    static CompileWork MeasureCompile(const char* text, size_t size);
    // Compares of the parser that cost one instruction (a compile's bytes cost one each).
    static constexpr uint64_t ComparesAnInstruction = 16;
    // What compiling is taken to take (a busy machine's times, with room): a byte, a compare.
    static constexpr std::chrono::nanoseconds CompileTimeAByte{60};
    static constexpr std::chrono::nanoseconds CompileTimeACompare{4};
    // The time of `work` at those prices, kept from overflowing far past any frame's.
    static std::chrono::nanoseconds CompileTime(const CompileWork& work, std::chrono::nanoseconds aByte = CompileTimeAByte,
                                                std::chrono::nanoseconds aCompare = CompileTimeACompare);
    // Bytes the parser is handed at a time, each piece charged as it is read: a text
    // mispriced before it ran is still stopped at its time within a few milliseconds.
    static constexpr size_t CompilePiece = 256;
    // The piece of `text` after the `read` bytes handed out so far (`read` moves past it) and
    // its size in `piece`; null at the text's end. For the readers that charge each piece.
    static const char* NextPiece(const char* text, size_t size, size_t& read, size_t* piece);
};

}  // namespace luaguard
