#include "script/nDataText.h"

#include <lua.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "kernel/nKernelServer.h"
#include "platform/system/RunClock.h"
#include "script/nLuaGlobals.h"
#include "script/nLuaServer2.h"

// ---- what data's text reads

namespace {

// Registry key of the views, weak by the table they show.
char kViews;

int ViewIndex(lua_State* L);
int ViewNewIndex(lua_State* L) {
    return luaL_error(L, "'%s' is in a table that this line may only read",
                      lua_type(L, 2) == LUA_TSTRING ? lua_tostring(L, 2) : "?");
}
int ViewLen(lua_State* L) {
    lua_len(L, lua_upvalueindex(1));
    return 1;
}

}  // namespace

void nDataText::PushView(lua_State* L, int index) {
    index = lua_absindex(L, index);
    if (lua_rawgetp(L, LUA_REGISTRYINDEX, &kViews) != LUA_TTABLE) {
        lua_pop(L, 1);
        lua_newtable(L);
        lua_newtable(L);
        lua_pushstring(L, "k");
        lua_setfield(L, -2, "__mode");
        lua_setmetatable(L, -2);
        lua_pushvalue(L, -1);
        lua_rawsetp(L, LUA_REGISTRYINDEX, &kViews);
    }
    lua_pushvalue(L, index);
    if (lua_rawget(L, -2) == LUA_TTABLE) {
        lua_remove(L, -2);
        return;
    }
    lua_pop(L, 1);
    lua_newtable(L);
    lua_newtable(L);
    const lua_CFunction shown[] = {ViewIndex, ViewLen};
    const char* const names[] = {"__index", "__len"};
    for (int i = 0; i < 2; i++) {
        lua_pushvalue(L, index);
        lua_pushcclosure(L, shown[i], 1);
        lua_setfield(L, -2, names[i]);
    }
    lua_pushvalue(L, index);
    lua_pushcclosure(L, [](lua_State* L) {
        // pairs over a view: the shown table's entries, tables among them as views.
        lua_pushvalue(L, lua_upvalueindex(1));
        lua_pushcclosure(L, [](lua_State* L) {
            lua_settop(L, 2);
            if (!lua_next(L, lua_upvalueindex(1))) return 0;
            if (lua_type(L, -1) == LUA_TTABLE) {
                nDataText::PushView(L, -1);
                lua_replace(L, -2);
            }
            return 2;
        }, 1);
        lua_pushvalue(L, 1);
        lua_pushnil(L);
        return 3;
    }, 1);
    lua_setfield(L, -2, "__pairs");
    lua_pushcfunction(L, ViewNewIndex);
    lua_setfield(L, -2, "__newindex");
    lua_pushboolean(L, 0);
    lua_setfield(L, -2, "__metatable");
    lua_setmetatable(L, -2);
    lua_pushvalue(L, index);
    lua_pushvalue(L, -2);
    lua_rawset(L, -4);
    lua_remove(L, -2);
}

namespace {

int ViewIndex(lua_State* L) {
    lua_settop(L, 2);
    lua_gettable(L, lua_upvalueindex(1));
    if (lua_type(L, -1) == LUA_TTABLE) nDataText::PushView(L, -1);
    return 1;
}

}  // namespace

namespace {

// A name or value of data's, shown on one line and cut short.
void Shown(char* out, size_t size, const char* text, size_t length) {
    size_t used = 0;
    for (size_t i = 0; i < length && used + 4 < size; i++) {
        const unsigned char c = (unsigned char)text[i];
        out[used++] = c < 0x20 || c == 0x7f ? '?' : char(c);
    }
    if (used < length && used + 3 < size) {
        std::memcpy(out + used, "...", 3);
        used += 3;
    }
    out[used] = 0;
}

}  // namespace

void nDataText::ShownKey(lua_State* L, int index, char* out, size_t size) {
    if (lua_type(L, index) == LUA_TSTRING) {
        size_t length = 0;
        const char* text = lua_tolstring(L, index, &length);
        Shown(out, size, text, std::min<size_t>(length, 60));
        if (length > 60) std::snprintf(out + std::strlen(out), size - std::strlen(out), "...");
    } else if (lua_type(L, index) == LUA_TNUMBER || lua_type(L, index) == LUA_TBOOLEAN) {
        lua_pushvalue(L, index);
        const char* text = lua_type(L, -1) == LUA_TBOOLEAN ? (lua_toboolean(L, -1) ? "true" : "false")
                                                            : lua_tostring(L, -1);
        std::snprintf(out, size, "%s", text ? text : "?");
        lua_pop(L, 1);
    } else {
        std::snprintf(out, size, "a %s value", luaL_typename(L, index));
    }
}

namespace {

// What a global of data's text that is not open to it reads as: itself, whatever it is
// called with or asked for, so that the text goes on after the one refusal.
int RefusedNothing(lua_State*) { return 0; }
int RefusedSelf(lua_State* L) {
    lua_pushvalue(L, lua_upvalueindex(1));
    return 1;
}

// Data's globals fall back to the pure table, then to the declared entries; anything
// else is refused. Upvalues: those two tables and the refused value.
int DataTextIndex(lua_State* L) {
    lua_settop(L, 2);
    if (lua_type(L, 2) == LUA_TSTRING) {
        lua_pushvalue(L, 2);
        if (lua_rawget(L, lua_upvalueindex(1)) != LUA_TNIL) return 1;
        lua_pop(L, 1);
        lua_pushvalue(L, 2);
        if (lua_rawget(L, lua_upvalueindex(2)) != LUA_TNIL) return 1;
        lua_pop(L, 1);
    }
    // A loop of refusals stays bounded, its log lines too.
    nLuaServer2::Charge(L, uint64_t(nDataText::InstructionsARefusal));
    char name[80];
    nDataText::ShownKey(L, 2, name, sizeof(name));
    n_printf("refused to script text that data brought: the global '%s', neither a pure function, print nor a "
             "declared entry\n",
             name);
    lua_pushvalue(L, lua_upvalueindex(3));
    // Once a run: the run's own globals keep the refused value under that name.
    if (!lua_isnil(L, 2) && !(lua_type(L, 2) == LUA_TNUMBER && lua_tonumber(L, 2) != lua_tonumber(L, 2))) {
        lua_pushvalue(L, 2);
        lua_pushvalue(L, -2);
        lua_rawset(L, 1);
    }
    return 1;
}

}  // namespace

void nDataText::Make(lua_State* L) {
    lua_newtable(L);
    const int pure = lua_gettop(L);
    for (const char* name : PureNames) {
        lua_getglobal(L, name);
        lua_setfield(L, pure, name);
    }
    lua_pushcfunction(L, nLuaGlobals::Print);
    lua_setfield(L, pure, "print");
    // Copies of the libraries as they are now, shown read-only: a script of ours that adds to
    // a library later does not add to what data reads.
    luaL_getsubtable(L, LUA_REGISTRYINDEX, LUA_LOADED_TABLE);
    for (const char* lib : {LUA_STRLIBNAME, LUA_MATHLIBNAME, LUA_TABLIBNAME}) {
        lua_newtable(L);
        if (lua_getfield(L, -2, lib) == LUA_TTABLE) {
            lua_pushnil(L);
            while (lua_next(L, -2)) {
                lua_pushvalue(L, -2);
                lua_insert(L, -2);
                lua_rawset(L, -5);
            }
        }
        lua_pop(L, 1);
        PushView(L, -1);
        lua_setfield(L, pure, lib);
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
    pureRef_ = luaL_ref(L, LUA_REGISTRYINDEX);

    lua_newtable(L);
    entriesRef_ = luaL_ref(L, LUA_REGISTRYINDEX);

    // The metatable of each run's globals: reads fall back to the pure table, then to the
    // declared entries, then to the refusal.
    lua_newtable(L);
    lua_rawgeti(L, LUA_REGISTRYINDEX, pureRef_);
    lua_rawgeti(L, LUA_REGISTRYINDEX, entriesRef_);
    lua_newuserdatauv(L, 0, 0);
    lua_newtable(L);
    lua_pushcfunction(L, RefusedNothing);
    lua_setfield(L, -2, "__newindex");
    for (const char* event : {"__index", "__call"}) {
        lua_pushvalue(L, -2);
        lua_pushcclosure(L, RefusedSelf, 1);
        lua_setfield(L, -2, event);
    }
    lua_pushboolean(L, 0);
    lua_setfield(L, -2, "__metatable");
    lua_setmetatable(L, -2);
    lua_pushcclosure(L, DataTextIndex, 3);
    lua_setfield(L, -2, "__index");
    lua_pushboolean(L, 0);
    lua_setfield(L, -2, "__metatable");
    metaRef_ = luaL_ref(L, LUA_REGISTRYINDEX);
}

void nDataText::PushEnv(lua_State* L) const {
    // The run's own globals: what it sets is gone when it ends, and no person's text sees it.
    lua_createtable(L, 0, 4);
    lua_rawgeti(L, LUA_REGISTRYINDEX, metaRef_);
    lua_setmetatable(L, -2);
}

// ---- the frame's share

void nDataText::BeginFrame() {
    const Clock::duration now = sys::RunClock::ProcessorTime();
    if (framed_) {
        // The game's own part of the last frame, by the processor time it took beside data's: a
        // machine that holds the game off its core makes it no longer. A frame that loaded a
        // level counts as a long one.
        const Clock::duration plain = std::min<Clock::duration>(now - begun_ - time_, LongestFrame);
        if (plain >= ShortestFrame) plain_ += (plain - plain_) / 8;
    }
    begun_ = now;
    framed_ = true;
    frame_++;
    turn_ = nextTurn_;
    nextTurn_ = UINT32_MAX;
    spent_ = 0;
    time_ = {};
}

nDataText::Clock::duration nDataText::TimeShare() const {
    return std::clamp<Clock::duration>(plain_ / FrameParts, MinTimeShare, MaxTimeShare);
}

nDataText::Clock::duration nDataText::RunTime() const {
    // A run that began within the share may take the frame's data to twice the share.
    return std::max<Clock::duration>(2 * TimeShare() - time_, std::chrono::milliseconds(1));
}

bool nDataText::Waits() const { return framed_ && (spent_ >= FrameBudget || time_ >= TimeShare()); }

bool nDataText::TimerWaits(uint32_t lastRan) {
    if (!framed_ || (!Waits() && lastRan <= turn_)) return false;
    nextTurn_ = std::min(nextTurn_, lastRan);
    return true;
}

uint64_t nDataText::ForeignShare(sys::ForeignCall call, sys::ForeignTurn& turn) {
    turn.inReserve = false;
    // Before the first frame all of a movie's calls share its start window; once that is
    // spent they wait for the first frame.
    turn.atStart = !framed_ && call != sys::ForeignCall::Read;
    turn.beforeFirstFrame = !framed_;
    if (turn.atStart) return turn.startTaken < LoadTime ? UINT64_MAX : 0;
    if (!framed_ || call == sys::ForeignCall::Read) return UINT64_MAX;
    if (turn.frame != frame_) {
        turn.frame = frame_;
        turn.reserveTaken = {};
        turn.reserveInstructions = 0;
    }
    // The game's own movie takes the whole frame it starts in as its start window, as one
    // before the first frame takes the loading screen: a display that starts with a level
    // hears its values and draws in the level's first picture, whatever else spent the share.
    if (turn.shipped && (call == sys::ForeignCall::Load || turn.startFrame == frame_)) {
        if (turn.startFrame != frame_) {
            turn.startFrame = frame_;
            turn.startTaken = {};
        }
        if (turn.startTaken < LoadTime) {
            turn.atStart = true;
            turn.lastRan = frame_;
            return UINT64_MAX;
        }
    }
    // A turn taken in this frame stays open for the rest of it: a display whose handler heard
    // a value still draws in that frame.
    const bool open = !Waits() && (turn.lastRan <= turn_ || turn.lastRan == frame_);
    // An event runs in the share while its turn is open there, else from its caller's
    // reserve while that lasts; the reserve's time is all such a call may take.
    if (call == sys::ForeignCall::Event && !open && turn.reserveTaken < EventReserve &&
        turn.reserveInstructions < EventReserveInstructions) {
        turn.inReserve = true;
        return FrameBudget;
    }
    if (!open) {
        TimerWaits(turn.lastRan);  // keeps its place for a later frame
        return 0;
    }
    turn.lastRan = frame_;
    // A movie's start gets what it gets before the first frame, whenever it loads: a movie
    // that starts at the game's start starts at a load inside a frame as well.
    return call == sys::ForeignCall::Load ? UINT64_MAX : FrameBudget;
}

nDataText::Clock::duration nDataText::ForeignTime(sys::ForeignCall call, const sys::ForeignTurn& turn) const {
    if (turn.atStart || (!framed_ && call != sys::ForeignCall::Read)) {
        return std::max<Clock::duration>(LoadTime - turn.startTaken, {});
    }
    if (call == sys::ForeignCall::Load) return LoadTime;
    if (!framed_ || call == sys::ForeignCall::Read) return Clock::duration::max();
    return turn.inReserve ? EventReserve - turn.reserveTaken : RunTime();
}

void nDataText::SpentReserve(uint64_t instructions, Clock::duration taken, sys::ForeignTurn& turn) const {
    if (!turn.inReserve || turn.frame != frame_) return;
    turn.reserveTaken += taken;
    turn.reserveInstructions += instructions;
}

void nDataText::SpentAtStart(Clock::duration taken, sys::ForeignTurn& turn) const {
    if (!framed_ || turn.atStart) turn.startTaken += taken;
}

void nDataText::Spent(long long instructions, Clock::duration taken) {
    spent_ += std::min(instructions, FrameCeiling * 1000);
    time_ += taken;
}
