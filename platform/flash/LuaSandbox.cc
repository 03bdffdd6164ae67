#include "platform/flash/LuaSandbox.h"

#include "platform/luaguard/LuaGuards.h"

#include <lua5.4/lauxlib.h>
#include <lua5.4/lua.h>
#include <lua5.4/lualib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace flash {

namespace {

// Finalizers run with the instruction hook off, and weak keys make the collector's atomic
// step converge over their entries pass after pass (quadratic in a chain of them), where no
// hook looks: a movie's table gets a sealed copy of the metatable it names, checked by its
// own fields, so that neither can be added through __index or later through the metatable.
// getmetatable still answers the movie's own table.
constexpr char Sealed = 0;  // the registry's key of the set of sealed copies

int GuardedSetMetatable(lua_State* L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_argexpected(L, lua_type(L, 2) == LUA_TNIL || lua_type(L, 2) == LUA_TTABLE, 2, "nil or table");
    lua_settop(L, 2);
    lua_rawgetp(L, LUA_REGISTRYINDEX, &Sealed);  // 3: the sealed copies
    if (lua_getmetatable(L, 1)) {
        lua_pushvalue(L, -1);
        const bool ours = lua_rawget(L, 3) != LUA_TNIL;
        if (!ours && luaL_getmetafield(L, 1, "__metatable") != LUA_TNIL) {
            return luaL_error(L, "cannot change a protected metatable");
        }
        lua_settop(L, 3);
    }
    if (lua_type(L, 2) == LUA_TTABLE) {
        lua_pushliteral(L, "__gc");
        if (lua_rawget(L, 2) != LUA_TNIL) {
            return luaL_error(L, "finalizers (__gc) are not allowed in movies");
        }
        lua_pushliteral(L, "__mode");
        if (lua_rawget(L, 2) == LUA_TSTRING && std::strchr(lua_tostring(L, -1), 'k') != nullptr) {
            return luaL_error(L, "weak keys (__mode 'k') are not allowed in movies");
        }
        lua_settop(L, 3);
        lua_newtable(L);  // 4: the copy
        for (lua_pushnil(L); lua_next(L, 2) != 0;) {
            lua_pushvalue(L, -2);
            lua_insert(L, -2);
            lua_rawset(L, 4);
        }
        lua_pushliteral(L, "__metatable");
        if (lua_rawget(L, 4) == LUA_TNIL) {
            lua_pushliteral(L, "__metatable");
            lua_pushvalue(L, 2);
            lua_rawset(L, 4);
        }
        lua_pop(L, 1);
        lua_pushvalue(L, 4);
        lua_pushboolean(L, 1);
        lua_rawset(L, 3);
        lua_replace(L, 2);
    }
    lua_settop(L, 2);
    lua_setmetatable(L, 1);
    return 1;
}

// A full collection or a large step marks the whole state in one call: it is charged by the
// bytes the state holds. Switching the collector's mode or pace, or stopping it (then every
// allocation at the cap collects in full), is not a movie's to do.
int GuardedCollectGarbage(lua_State* L) {
    const char* option = luaL_optstring(L, 1, "collect");
    const bool full = std::strcmp(option, "collect") == 0 || std::strcmp(option, "step") == 0;
    if (!full && std::strcmp(option, "count") != 0 && std::strcmp(option, "isrunning") != 0) {
        return luaL_error(L, "collectgarbage('%s') is not allowed in movies", option);
    }
    if (full) {
        LuaSandbox::Charge(L, LuaSandbox::Of(L)->MemoryInUse() / luaguard::LuaGuards::AllocatedBytesAnInstruction);
    }
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

int OpenLibraries(lua_State* L) {
    const luaL_Reg libraries[] = {{LUA_GNAME, luaopen_base},       {LUA_STRLIBNAME, luaopen_string},
                                  {LUA_TABLIBNAME, luaopen_table}, {LUA_MATHLIBNAME, luaopen_math},
                                  {LUA_UTF8LIBNAME, luaopen_utf8}};
    for (const luaL_Reg& lib : libraries) {
        luaL_requiref(L, lib.name, lib.func, 1);
        lua_pop(L, 1);
    }
    // No files, no code from text at run time; print is the module's to give.
    for (const char* name : {"dofile", "loadfile", "load", "require", "print"}) {
        lua_pushnil(L);
        lua_setglobal(L, name);
    }
    luaguard::LuaGuards::Install(L, LuaSandbox::Charge, [](lua_State*) { return true; });
    lua_newtable(L);
    lua_newtable(L);
    lua_pushliteral(L, "k");
    lua_setfield(L, -2, "__mode");
    lua_setmetatable(L, -2);
    lua_rawsetp(L, LUA_REGISTRYINDEX, &Sealed);
    lua_pushcfunction(L, GuardedSetMetatable);
    lua_setglobal(L, "setmetatable");
    lua_getglobal(L, "collectgarbage");
    lua_pushcclosure(L, GuardedCollectGarbage, 1);
    lua_setglobal(L, "collectgarbage");
    return 0;
}

struct Chunk {
    const char* text;
    size_t size;
    const char* name;
    uint64_t priced;  // what the parser meets, charged before it starts
    size_t read = 0;
};

// The parser gets the text a piece at a time, each charged as it is read: a byte an
// instruction, and the clock looked at, so that compiling spends from the call like its run.
const char* ReadPiece(lua_State* L, void* data, size_t* size) {
    auto* chunk = static_cast<Chunk*>(data);
    const char* piece = luaguard::LuaGuards::NextPiece(chunk->text, chunk->size, chunk->read, size);
    if (piece) LuaSandbox::Charge(L, *size);
    return piece;
}

int RunChunk(lua_State* L) {
    auto* chunk = static_cast<Chunk*>(lua_touserdata(L, 1));
    LuaSandbox::Charge(L, chunk->priced);
    if (lua_load(L, ReadPiece, chunk, chunk->name, "t") != LUA_OK) return lua_error(L);
    lua_call(L, 0, 0);
    return 0;
}

// Instructions between two looks at the budget, and bytes of strings that the
// instructions between two looks may scan at most.
constexpr uint64_t Step = 1000;
constexpr uint64_t BytesBetweenLooks = uint64_t(16) << 20;
const char* const OutOfBudget = "instruction budget exhausted";
const char* const OutOfTime = "time limit reached";

}  // namespace

LuaSandbox::LuaSandbox(Limits limits) : limits(limits), budget(limits.instructions), remaining(limits.instructions) {}

LuaSandbox::~LuaSandbox() {
    if (this->L == nullptr) return;
    // Finalizers a movie left behind fail at their first instruction.
    this->remaining = 0;
    lua_sethook(this->L, Hook, LUA_MASKCOUNT, 1);
    lua_close(this->L);
    if (this->keeper && this->granted > 0) this->keeper(-int64_t(this->granted));
}

void* LuaSandbox::Allocate(void* ud, void* ptr, size_t osize, size_t nsize) {
    auto* self = static_cast<LuaSandbox*>(ud);
    if (ptr == nullptr) osize = 0;  // then osize names the kind of object
    if (nsize == 0) {
        std::free(ptr);
        self->used -= osize;
        // What the state no longer holds goes back, a chunk kept in hand.
        if (self->keeper && self->used + 2 * KeepChunk < self->granted) {
            const size_t back = (self->granted - self->used - KeepChunk) / KeepChunk * KeepChunk;
            self->granted -= back;
            self->keeper(-int64_t(back));
        }
        return nullptr;
    }
    if (nsize > osize) {
        if (nsize - osize > self->limits.memoryBytes - self->used) return self->OutOfMemory();
        if (self->keeper && self->used + (nsize - osize) > self->granted) {
            const size_t more = (self->used + (nsize - osize) - self->granted + KeepChunk - 1) / KeepChunk * KeepChunk;
            if (!self->keeper(int64_t(more))) return self->OutOfMemory();
            self->granted += more;
        }
        // Copies cost what they allocate; the hook raises the error at its next look.
        const uint64_t cost = (nsize - osize) / luaguard::LuaGuards::AllocatedBytesAnInstruction;
        if (cost >= self->remaining) return self->EndCall();
        self->remaining -= cost;
        if (nsize > self->biggest && self->L != nullptr) {
            self->biggest = nsize;
            // Looks come sooner from now on; the hook takes the new step at its next look.
            if (self->HookStep() < self->armed) lua_sethook(self->L, Hook, LUA_MASKCOUNT, self->armed = 1);
        }
    }
    void* block = std::realloc(ptr, nsize);
    if (block == nullptr) return self->OutOfMemory();
    self->used = self->used - osize + nsize;
    return block;
}

void* LuaSandbox::EndCall() {
    // Lua answers a failed allocation with a full collection, and an error that a pcall in
    // the movie may catch, again and again, each out of the hook's sight: the call ends at
    // its next instruction instead, and what it allocates until then fails at once.
    this->remaining = 0;
    if (this->L != nullptr && this->armed != 1) lua_sethook(this->L, Hook, LUA_MASKCOUNT, this->armed = 1);
    return nullptr;
}

void* LuaSandbox::OutOfMemory() {
    if (!this->memoryFailed) this->spentAtFailure = this->budget - this->remaining;
    this->memoryFailed = true;
    return EndCall();
}

bool LuaSandbox::Open(std::string& error) {
    if (this->L != nullptr) return true;
    this->L = lua_newstate(Allocate, this);
    if (this->L == nullptr) {
        error = "no memory for a Lua state";
        return false;
    }
    *static_cast<LuaSandbox**>(lua_getextraspace(this->L)) = this;
    if (!Call(OpenLibraries, nullptr, error)) {
        lua_close(this->L);
        this->L = nullptr;
        return false;
    }
    return true;
}

LuaSandbox* LuaSandbox::Of(lua_State* L) { return *static_cast<LuaSandbox**>(lua_getextraspace(L)); }

void LuaSandbox::StartBudget(uint64_t instructions, Duration time) {
    this->budget = std::min(instructions, this->limits.instructions);
    this->remaining = this->budget;
    const auto seconds = std::chrono::duration_cast<Duration>(std::chrono::duration<double>(this->limits.seconds));
    this->shortDeadline = time < seconds;
    this->clock.Start(std::min(time, seconds));
    this->armed = HookStep();
    lua_sethook(this->L, Hook, LUA_MASKCOUNT, this->armed);
}

int LuaSandbox::HookStep() const {
    // A look a millisecond or so apart even when every instruction compares two strings.
    const uint64_t byBlock = BytesBetweenLooks / std::max<size_t>(this->biggest, 1);
    return int(std::clamp<uint64_t>(std::min(this->budget, byBlock), 1, Step));
}

void LuaSandbox::Hook(lua_State* L, lua_Debug*) {
    LuaSandbox* self = Of(L);
    const auto ran = uint64_t(self->armed);
    if (self->remaining > ran && !self->clock.Passed()) {
        self->remaining -= ran;
        // Setting a hook walks the whole call stack: only when the step changes.
        if (const int next = self->HookStep(); next != self->armed) lua_sethook(L, Hook, LUA_MASKCOUNT, self->armed = next);
        return;
    }
    Stop(L, self->remaining > ran);
}

void LuaSandbox::Charge(lua_State* L, uint64_t cost) {
    LuaSandbox* self = Of(L);
    // C work looks at the clock as well: it runs between the hook's looks.
    if (cost < self->remaining && !self->clock.Passed()) {
        self->remaining -= cost;
        return;
    }
    Stop(L, cost < self->remaining);
}

void LuaSandbox::Stop(lua_State* L, bool timed) {
    LuaSandbox* self = Of(L);
    self->outOfTime = self->outOfTime || timed;
    self->overTime = self->overTime || (timed && self->shortDeadline);
    // Every instruction from here on fails as well, so a pcall in the movie cannot
    // swallow the end of its budget.
    self->remaining = 0;
    lua_sethook(L, Hook, LUA_MASKCOUNT, 1);
    luaL_error(L, "%s", timed ? OutOfTime : OutOfBudget);
    std::abort();  // luaL_error does not return
}

bool LuaSandbox::Affords(uint64_t cost, Duration time) {
    return cost < this->remaining && time < this->clock.Left();
}

bool LuaSandbox::Call(lua_CFunction fn, void* data, std::string& error, uint64_t instructions, Duration time) {
    this->lastTime = {};
    this->lastWall = {};
    if (this->L == nullptr) {
        error = "the movie has no Lua state";
        return false;
    }
    const int top = lua_gettop(this->L);
    StartBudget(instructions, time);
    this->overBudget = false;
    this->overTime = false;
    this->outOfTime = false;
    this->memoryFailed = false;
    lua_pushcfunction(this->L, fn);
    lua_pushlightuserdata(this->L, data);
    const int status = lua_pcall(this->L, 1, 0, 0);
    if (status != LUA_OK) {
        size_t length = 0;
        const char* message =
            lua_type(this->L, -1) == LUA_TSTRING ? lua_tolstring(this->L, -1, &length) : nullptr;
        if (message != nullptr) {
            error.assign(message, length);
        } else {
            error = status == LUA_ERRMEM ? "not enough memory" : "error object is not a string";
        }
        // The limit that ended the call, whatever a pcall of the movie's made of its error.
        if (this->memoryFailed) error = "not enough memory";
        else if (this->outOfTime) error = OutOfTime;
        else if (status == LUA_ERRMEM && this->remaining == 0) error = OutOfBudget;
    }
    if (this->remaining == 0 || status == LUA_ERRMEM || this->memoryFailed) this->overBudget = true;
    this->lastTime = this->clock.Elapsed();
    this->lastWall = std::max(this->clock.WallElapsed(), this->lastTime);
    lua_settop(this->L, top);
    return status == LUA_OK;
}

bool LuaSandbox::Run(const char* text, size_t size, const std::string& chunkName, std::string& error,
                     uint64_t instructions, Duration time, uint64_t priced) {
    Chunk chunk{text, size, chunkName.c_str(), priced};
    return Call(RunChunk, &chunk, error, instructions, time);
}

}  // namespace flash
