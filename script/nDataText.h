#pragma once
// What data's text (a movie's line and code, a store's action, a saved timer's or event's
// text) may reach and what it may cost; the script server runs it.
//
// Reach: an environment of its own per run that reads Lua's pure base functions
// (PureNames), "print", read-only views of the string, math and table libraries and the
// entries that the game's scripts declared; any other global is refused with one log line.
//
// Cost: every VM instruction, and every C call of those libraries by the bytes it scans or
// makes (platform/luaguard: a pattern call by its worst case over what it may scan, each
// call of a gmatch iterator included; string.rep by its result before it is made;
// table.concat, string.format, gsub and the rest by their arguments before and the strings
// they give back after; table.sort by its comparisons; tonumber by its text), at
// luaguard::LuaGuards::BytesAnInstruction bytes an instruction; memory at
// AllocatedBytesAnInstruction bytes an instruction. Each charge looks at the run's clock,
// so a run's time limit fires at its time however few instructions it runs, and the hook
// looks more often once the run holds long strings (one instruction compares them whole).
// The person's own text (start scripts, console, tools, macros) is not charged.
//
// The frame's share: all of data's text in a frame, together, may spend FrameBudget
// instructions and a share of the frame's time (TimeShare, a sixth of the frame that the
// game takes without data's text, within MinTimeShare..MaxTimeShare). Once the share is
// spent, what comes waits for a later frame; a run that began within it may go on to twice
// the share (RunTime), then it is stopped: the game keeps 3 / 4 of its frames a second.
// Text that is stopped so again and again never fits: a timer is stopped
// (logic/nLogicNode), and so is a movie, whose picture stays as last drawn
// (platform/flash/MovieModule). A movie's start, draws and event handlers all spend from the
// share and take turns in it; each movie's events have a small reserve a frame besides, so
// that the game's own displays always hear their values at once. Data's time is the time its runs took on the game's thread
// less the machine's holding that thread off its core (platform/system/RunClock), so a loaded
// machine stops no text that a quiet one runs. The game's own part of a frame is the
// processor time the game's thread took in it beside data's (sys::RunClock::ProcessorTime):
// the machine's holding the game or data off the core gives data no larger share.
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "platform/system/ForeignTurn.h"

struct lua_State;

class nDataText {
public:
    using Clock = std::chrono::steady_clock;

    // Lua's base functions that data's text has: none reaches an object, a file, a
    // metatable or the collector.
    static constexpr const char* PureNames[] = {
        "type", "tostring", "tonumber", "pairs", "ipairs", "next", "select", "assert", "error", "pcall", "xpcall",
    };

    // Builds the table of what data's text reads (the pure functions and library views) from
    // the state's globals and libraries as they are now, and the table of declared entries.
    void Make(lua_State* L);
    // Pushes a fresh environment for one run of data's text.
    void PushEnv(lua_State* L) const;
    // The registry references of the pure table and of the entries' wrappers by name.
    int PureRef() const { return pureRef_; }
    int EntriesRef() const { return entriesRef_; }

    // Pushes the read-only view of the table at `index` (one per table, kept weakly).
    static void PushView(lua_State* L, int index);
    // The value at `index` as a log line shows it: on one line and cut short.
    static void ShownKey(lua_State* L, int index, char* out, size_t size);

    // What a global refused to data's text costs it (its log line): a run that asks for new
    // names in a loop logs no more than a thousand of them with a frame's share.
    static constexpr long long InstructionsARefusal = 1'000;

    // ---- the frame's share

    static constexpr long long FrameBudget = 1'000'000;
    static constexpr long long FrameCeiling = 2 * FrameBudget;
    // A short frame's share stays above what the shipped movies' draws take in it, and a
    // run stopped at twice the share still leaves 0.6 of a frame that takes 15 ms.
    static constexpr int FrameParts = 6;
    static constexpr std::chrono::milliseconds MinTimeShare{3};
    static constexpr std::chrono::milliseconds MaxTimeShare{40};
    // The frame assumed until frames were measured, and the shortest and longest that
    // count: frames that draw nothing (a server's own loop, tests) leave the estimate.
    static constexpr std::chrono::milliseconds AssumedFrame{33};
    static constexpr std::chrono::milliseconds ShortestFrame{1};
    static constexpr std::chrono::milliseconds LongestFrame{250};

    // A new frame: measures the last one and gives data a new share.
    void BeginFrame();
    bool Framed() const { return framed_; }
    uint32_t Frame() const { return frame_; }
    // True once this frame's share is spent.
    bool Waits() const;
    // Data's timers and draws take turns: true when one that last ran in frame `lastRan`
    // waits for a later frame (the share is spent, or others waited longer).
    bool TimerWaits(uint32_t lastRan);
    // What a call of data's code outside the server (a movie's) may take now, when no run of
    // data's text is going on (see nScriptServer::ForeignShare). Loads, draws and events all
    // spend from the frame's share and take turns in it by the frame they last ran in; an
    // event whose turn is not open there runs from its caller's small reserve while that
    // lasts: a movie's events that answer the game's values a few times a frame never wait,
    // while one that takes more waits for a later frame and its turn. A movie's start may
    // take LoadTime and its module's own instructions, before the first frame (the start's
    // loading screen) and in its turn inside a frame alike: a movie gets one verdict whenever
    // it loads, and a loose movie's compile or top level holds the game no longer than the
    // widest frame would. Before the first frame all of a movie's calls, its top level, the
    // values the game sets and the draws it asks for, take LoadTime together; past that they
    // wait for the first frame. The game's own movie (sys::ForeignTurn::shipped) takes the
    // frame it starts in as such a window: all its calls in that frame take LoadTime together,
    // and never wait for the share; past that they go by the share.
    uint64_t ForeignShare(sys::ForeignCall call, sys::ForeignTurn& turn);
    // The time such a call may take: what is left of the frame's (RunTime), for an event
    // from the reserve what is left of that, before the first frame what is left of the
    // caller's start window.
    Clock::duration ForeignTime(sys::ForeignCall call, const sys::ForeignTurn& turn) const;
    // Adds what a call in its caller's start window took to that window.
    void SpentAtStart(Clock::duration taken, sys::ForeignTurn& turn) const;
    // Adds what an event from the reserve took to its caller's reserve.
    void SpentReserve(uint64_t instructions, Clock::duration taken, sys::ForeignTurn& turn) const;
    // Each caller's reserve a frame for its events: a shipped heads-up display's value
    // handlers take a few microseconds each.
    static constexpr std::chrono::microseconds EventReserve{1'000};
    static constexpr uint64_t EventReserveInstructions = 50'000;
    // The time a movie's start may take whenever it loads, and all its calls before the first
    // frame together: what the widest frame gives.
    static constexpr Clock::duration LoadTime = 2 * std::chrono::duration_cast<Clock::duration>(MaxTimeShare);
    // The share of the frame's time, and the time a run that begins now may take.
    Clock::duration TimeShare() const;
    Clock::duration RunTime() const;
    // What a run or call of data's that ran in this frame spent (`taken`: by sys::RunClock).
    void Spent(long long instructions, Clock::duration taken);
    long long FrameSpent() const { return spent_; }

private:
    int pureRef_ = -2;  // LUA_NOREF
    int metaRef_ = -2;
    int entriesRef_ = -2;

    bool framed_ = false;  // a frame has begun
    uint32_t frame_ = 0;
    // Timers that ran after this frame (of data's) wait for those that waited; the next
    // frame's turn is the oldest last run among the timers that wait in this one.
    uint32_t turn_ = UINT32_MAX;
    uint32_t nextTurn_ = UINT32_MAX;
    long long spent_ = 0;
    Clock::duration time_{};
    Clock::duration begun_{};  // the thread's processor time when the frame began
    // The game's frame without data's text, by processor time, averaged over the last frames.
    Clock::duration plain_ = AssumedFrame;
};
