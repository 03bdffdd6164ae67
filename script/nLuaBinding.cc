#include "script/nLuaBinding.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <new>
#include <string_view>

#include "kernel/nArg.h"
#include "kernel/nClass.h"
#include "kernel/nCmd.h"
#include "kernel/nCmdProto.h"
#include "kernel/nKernelServer.h"
#include "kernel/nMath.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"
#include "kernel/nScriptServer.h"
#include "script/nLuaCompat.h"
#include "script/nLuaServer2.h"

namespace {
// One object value. The reference clears itself when the object dies, so a
// value held by a script never dangles.
// Each value starts with a word that says what it is: checked on every call, it costs
// one compare instead of a metatable lookup. Scripts cannot write into userdata, and the
// block size is checked too, so no other userdata passes for one of ours.
constexpr uint64_t kObjectWord = 0x6e4f424a45435431ull;   // "nOBJECT1"
constexpr uint64_t kCommandWord = 0x6e434f4d4d414e44ull;  // "nCOMMAND"

struct ObjectBox {
    uint64_t word = kObjectWord;
    nRef<nRoot> ref;
};

// One command value: the command and the object it was read from, so every
// value keeps acting on its own object.
struct CommandBox {
    uint64_t word = kCommandWord;
    nRef<nRoot> ref;
    nCmdProto* proto = nullptr;
};

const char* const kObjectCache = "nlua.objects";
// Registry and table keys: the metatable of object values' caches, and the cache's
// entry that names its object value.
char kCacheMeta;
char kCacheOwner;

// The userdata at `index` if it is a Box of ours.
template <class Box>
Box* TestTag(lua_State* L, int index, uint64_t word) {
    // A light userdata has an address too, but its length reads 0.
    void* p = lua_touserdata(L, index);
    if (!p || lua_rawlen(L, index) != sizeof(Box)) return nullptr;
    auto* box = static_cast<Box*>(p);
    return box->word == word ? box : nullptr;
}
}  // namespace

void nLuaBinding::PushFullName(lua_State* L, nRoot* obj) {
    std::string path = obj->GetFullName();
    lua_pushlstring(L, path.data(), path.size());
}

void nLuaBinding::Open(lua_State* L) {
    nLuaCompat::PushTagTable(L, nLuaServer2::objTag);
    lua_pushcfunction(L, ObjectGc);
    lua_setfield(L, -2, "__gc");
    lua_pushcfunction(L, ToStringMeta);
    lua_setfield(L, -2, "__tostring");
    lua_pop(L, 1);
    nLuaCompat::PushTagTable(L, nLuaServer2::cmdTag);
    lua_pushcfunction(L, CommandGc);
    lua_setfield(L, -2, "__gc");
    lua_pushcfunction(L, ToStringMeta);
    lua_setfield(L, -2, "__tostring");
    lua_pop(L, 1);

    lua_newtable(L);
    lua_pushcfunction(L, CacheMiss);
    lua_setfield(L, -2, "__index");
    lua_rawsetp(L, LUA_REGISTRYINDEX, &kCacheMeta);

    // Object values are cached by object address; weak values let them go.
    lua_newtable(L);
    lua_newtable(L);
    lua_pushstring(L, "v");
    lua_setfield(L, -2, "__mode");
    lua_setmetatable(L, -2);
    lua_setfield(L, LUA_REGISTRYINDEX, kObjectCache);
}

void nLuaBinding::PushObject(lua_State* L, nRoot* obj) {
    if (!obj) {
        lua_pushnil(L);
        return;
    }
    lua_getfield(L, LUA_REGISTRYINDEX, kObjectCache);
    if (lua_rawgetp(L, -1, obj) == LUA_TUSERDATA) {
        auto* box = static_cast<ObjectBox*>(lua_touserdata(L, -1));
        // The address may belong to a newer object than the cached value's.
        if (box->ref.GetUnsafe() == obj) {
            lua_remove(L, -2);
            return;
        }
    }
    lua_pop(L, 1);
    auto* box = new (lua_newuserdatauv(L, sizeof(ObjectBox), 1)) ObjectBox;
    box->ref = obj;
    int ud = lua_gettop(L);
    // The user value caches the object's command values by name, and the value's own
    // metatable reads that cache as its __index: `o.cmd` is then a plain table read,
    // with no call. A name not cached yet goes to the object tag's gettable method.
    lua_newtable(L);
    int cache = lua_gettop(L);
    lua_pushvalue(L, ud);
    lua_rawsetp(L, cache, &kCacheOwner);
    lua_rawgetp(L, LUA_REGISTRYINDEX, &kCacheMeta);
    lua_setmetatable(L, cache);
    lua_pushvalue(L, cache);
    lua_setiuservalue(L, ud, 1);
    // The other methods (__gc first of all, before the metatable is set) come from the
    // tag's table.
    lua_newtable(L);
    int meta = lua_gettop(L);
    nLuaCompat::PushTagTable(L, nLuaServer2::objTag);
    lua_pushnil(L);
    while (lua_next(L, -2)) {
        lua_pushvalue(L, -2);
        lua_insert(L, -2);
        lua_rawset(L, meta);
    }
    lua_pop(L, 1);
    lua_pushvalue(L, cache);
    lua_setfield(L, meta, "__index");
    nLuaCompat::AddTagMetatable(L, meta, nLuaServer2::objTag);
    lua_setmetatable(L, ud);
    lua_settop(L, ud);
    lua_pushvalue(L, -1);
    lua_rawsetp(L, -3, obj);
    lua_remove(L, -2);
}

// __index of an object value's cache: asks the object tag's gettable method, which
// caches what it finds.
int nLuaBinding::CacheMiss(lua_State* L) {
    lua_settop(L, 2);
    lua_rawgetp(L, 1, &kCacheOwner);  // 3: the object value
    nLuaCompat::PushTagTable(L, nLuaServer2::objTag);
    int kind = lua_istable(L, -1) ? lua_getfield(L, -1, "__index") : LUA_TNIL;  // 5
    if (kind == LUA_TFUNCTION) {
        lua_pushvalue(L, 3);
        lua_pushvalue(L, 2);
        lua_call(L, 2, 1);
        return 1;
    }
    if (kind == LUA_TTABLE) {
        lua_pushvalue(L, 2);
        lua_gettable(L, -2);
        return 1;
    }
    lua_pushnil(L);
    return 1;
}

void nLuaBinding::PushCommand(lua_State* L, nRoot* obj, nCmdProto* proto) {
    auto* box = new (lua_newuserdatauv(L, sizeof(CommandBox), 0)) CommandBox;
    box->ref = obj;
    box->proto = proto;
    nLuaCompat::PushTagTable(L, nLuaServer2::cmdTag);
    lua_setmetatable(L, -2);
}

bool nLuaBinding::ToObject(lua_State* L, int index, nRoot*& obj) {
    auto* box = TestTag<ObjectBox>(L, index, kObjectWord);
    if (!box) return false;
    obj = box->ref.GetUnsafe();
    return true;
}

bool nLuaBinding::ToCommand(lua_State* L, int index, nRoot*& obj, nCmdProto*& proto) {
    auto* box = TestTag<CommandBox>(L, index, kCommandWord);
    if (!box) return false;
    obj = box->ref.GetUnsafe();
    proto = box->proto;
    return true;
}

// Scripts reach the finalizers through the metatables too, and may call them on
// any value or twice: only a value of the right tag is touched, and only by
// unhooking its reference, which is all its destructor would do.
int nLuaBinding::ObjectGc(lua_State* L) {
    if (auto* box = TestTag<ObjectBox>(L, 1, kObjectWord)) box->ref.Invalidate();
    return 0;
}

int nLuaBinding::CommandGc(lua_State* L) {
    if (auto* box = TestTag<CommandBox>(L, 1, kCommandWord)) box->ref.Invalidate();
    return 0;
}

int nLuaBinding::ToStringMeta(lua_State* L) {
    std::string text = UserdataText(L, 1);
    lua_pushlstring(L, text.data(), text.size());
    return 1;
}

std::string nLuaBinding::UserdataText(lua_State* L, int index) {
    nRoot* obj = nullptr;
    nCmdProto* proto = nullptr;
    if (ToObject(L, index, obj)) return obj ? obj->GetFullName() : std::string();
    if (ToCommand(L, index, obj, proto)) {
        return (obj ? obj->GetFullName() : std::string()) + "." + (proto ? proto->GetName() : "");
    }
    if (nLuaCompat::TagOf(L, index) == nLuaCompat::TagNone) return "Anonymous Userdata";
    return "Unknown Userdata";
}

const char* nLuaBinding::ToPath(lua_State* L, int index) {
    index = lua_absindex(L, index);
    if (lua_type(L, index) == LUA_TSTRING || lua_type(L, index) == LUA_TNUMBER) {
        return lua_tostring(L, index);
    }
    nRoot* obj = nullptr;
    nCmdProto* proto = nullptr;
    if (ToObject(L, index, obj)) {
        // A dead object has no path and so finds nothing.
        if (obj) PushFullName(L, obj);
        else lua_pushstring(L, "");
    } else if (ToCommand(L, index, obj, proto)) {
        lua_pushstring(L, "can't convert command/object pair to string!");
    } else if (lua_type(L, index) == LUA_TUSERDATA || lua_type(L, index) == LUA_TLIGHTUSERDATA) {
        lua_pushstring(L, nLuaCompat::TagOf(L, index) == nLuaCompat::TagNone ? "Anonymous Userdata"
                                                                            : "unknown userdata");
    } else {
        lua_pushstring(L, "could not convert to string!");
    }
    lua_replace(L, index);
    return lua_tostring(L, index);
}

bool nLuaBinding::FillInputs(lua_State* L, int first, int count, nCmd* cmd, std::string& why) {
    for (int i = 0; i < count; i++) {
        int idx = first + i;
        nArg* arg = cmd->In();
        nArg::Type type = cmd->GetProto()->GetInType(i);
        char buf[96];
        switch (type) {
        case nArg::Int: {
            if (!lua_isnumber(L, idx)) break;
            int32_t v;
            if (lua_isinteger(L, idx)) {
                lua_Integer n = lua_tointeger(L, idx);
                v = n > INT32_MAX ? INT32_MAX : n < INT32_MIN ? INT32_MIN : int32_t(n);
            } else {
                double d = std::trunc(lua_tonumber(L, idx));
                v = n_saturate_int(d);
            }
            arg->SetI(v);
            continue;
        }
        case nArg::Float:
            if (!lua_isnumber(L, idx)) break;
            arg->SetF(static_cast<float>(lua_tonumber(L, idx)));
            continue;
        case nArg::String:
            if (!lua_isstring(L, idx)) break;
            arg->SetS(lua_tostring(L, idx));
            continue;
        case nArg::Code:
            if (!lua_isstring(L, idx)) break;
            arg->SetC(lua_tostring(L, idx));
            continue;
        case nArg::Bool:
            arg->SetB(lua_toboolean(L, idx) != 0);
            continue;
        case nArg::Object: {
            nRoot* obj = nullptr;
            if (lua_isnil(L, idx)) {
                arg->SetO(nullptr);
                continue;
            }
            if (ToObject(L, idx, obj)) {
                if (!obj) {
                    std::snprintf(buf, sizeof(buf), "argument %d is an object that no longer exists", i + 1);
                    why = buf;
                    return false;
                }
                arg->SetO(obj);
                continue;
            }
            if (lua_type(L, idx) == LUA_TSTRING) {
                // Saved scripts name objects by path.
                obj = nKernelServer::ks->Lookup(lua_tostring(L, idx));
                if (!obj) {
                    why = std::string("argument ") + std::to_string(i + 1) + ": no object at '" +
                          lua_tostring(L, idx) + "'";
                    return false;
                }
                arg->SetO(obj);
                continue;
            }
            break;
        }
        default:
            break;
        }
        std::snprintf(buf, sizeof(buf), "argument %d: %s does not fit type '%c'", i + 1,
                      luaL_typename(L, idx), nArg::LetterOfType(type));
        why = buf;
        return false;
    }
    return true;
}

namespace {
// The result text of one output.
void AppendText(const nArg* arg, nArg::Type type, std::string& resultText) {
    switch (type) {
    case nArg::Int: {
        char buf[16];
        auto end = std::to_chars(buf, buf + sizeof(buf), arg->GetI()).ptr;
        resultText.append(buf, end);
        break;
    }
    case nArg::Float: {
        char buf[512];
        std::snprintf(buf, sizeof(buf), "%f", double(arg->GetF()));
        resultText += buf;
        break;
    }
    case nArg::String:
    case nArg::Code:
        if (const char* s = arg->GetS()) resultText.append(s, strnlen(s, 4094));
        else resultText += "nil";
        break;
    case nArg::Bool:
        resultText += arg->GetB() ? "true" : "false";
        break;
    case nArg::Object:
        if (nRoot* obj = arg->GetO()) resultText += obj->GetFullName();
        break;
    default:
        resultText += "<void>";
        break;
    }
}

// Pushes one output and appends its result text; false for a slot of no type (nothing
// pushed).
inline bool PushArg(lua_State* L, const nArg* arg, nArg::Type type, std::string& resultText) {
    switch (type) {
    case nArg::Int:
        lua_pushinteger(L, arg->GetI());
        break;
    case nArg::Float:
        lua_pushnumber(L, arg->GetF());
        break;
    case nArg::String:
    case nArg::Code:
        if (const char* s = arg->GetS()) lua_pushstring(L, s);
        else lua_pushnil(L);
        break;
    case nArg::Bool:
        if (arg->GetB()) lua_pushinteger(L, 1);
        else lua_pushnil(L);
        break;
    case nArg::Object: {
        // The path is made once for the value and the text.
        std::string path = arg->GetO() ? arg->GetO()->GetFullName() : std::string();
        lua_pushlstring(L, path.data(), path.size());
        resultText += path;
        return true;
    }
    default:
        AppendText(arg, type, resultText);
        return false;
    }
    AppendText(arg, type, resultText);
    return true;
}

// The one result of the last getter call, kept as a value until its text is read
// (SettleResult): most results are never read as text, and writing it took longer
// than the rest of the call. A text result is the Lua string the call pushed, kept
// alive by a registry entry of its state.
struct PendingResult {
    bool active = false;
    nArg::Type type = nArg::Void;
    int32_t i = 0;
    float f = 0.0f;
    bool b = false;
    const char* text = nullptr;
} pending;

// Registry key of the kept string, and the text of the string it holds. A getter called
// again and again gives the same string each time (Lua interns short strings), which
// is then kept already: comparing addresses is enough, as no other string can live at
// the address of one that is kept alive.
char kResultAnchor;
const char* anchoredText = nullptr;

// Pushes a getter's text result (nil for null) and leaves it as the waiting result.
inline void PushPendingText(lua_State* L, const char* s) {
    pending.active = true;
    pending.type = nArg::String;
    if (!s) {
        pending.text = nullptr;
        lua_pushnil(L);
        return;
    }
    pending.text = lua_pushstring(L, s);
    if (pending.text != anchoredText) {
        lua_pushvalue(L, -1);
        lua_rawsetp(L, LUA_REGISTRYINDEX, &kResultAnchor);
        anchoredText = pending.text;
    }
}
}  // namespace

void nLuaBinding::SettleResult(std::string& resultText) {
    // Also called before a state closes: its strings' addresses may come back in another.
    anchoredText = nullptr;
    if (!pending.active) return;
    pending.active = false;
    resultText.clear();
    nArg arg;
    switch (pending.type) {
    case nArg::Int: arg.SetI(pending.i); break;
    case nArg::Float: arg.SetF(pending.f); break;
    case nArg::Bool: arg.SetB(pending.b); break;
    case nArg::String:
    case nArg::Code: arg.BorrowS(pending.text); break;
    default: break;
    }
    AppendText(&arg, pending.type, resultText);
}

void nLuaBinding::DropResult() { pending.active = false; }

int nLuaBinding::PushOutputs(lua_State* L, nCmd* cmd, std::string& resultText) {
    pending.active = false;
    resultText.clear();
    // The outputs go above whatever is on the stack: a C function returns its top values,
    // and always has room for LUA_MINSTACK (20) more, more than MaxArgs.
    int numOut = cmd->GetNumOutArgs();
    int pushed = 0;
    for (int i = 0; i < numOut; i++) {
        if (i > 0) resultText += ' ';
        if (PushArg(L, cmd->GetArg(i), cmd->GetProto()->GetOutType(i), resultText)) pushed++;
    }
    return pushed;
}

int nLuaBinding::TagGettable(lua_State* L) {
    nRoot* obj = nullptr;
    if (lua_gettop(L) != 2 || !ToObject(L, 1, obj) || lua_type(L, 2) != LUA_TSTRING) {
        lua_settop(L, 0);
        return 0;
    }
    if (!obj) {
        // Any command of a dead object is a silent no-op, and the rest of the chunk
        // runs: a value that does nothing when called, not nil.
        lua_settop(L, 0);
        PushCommand(L, nullptr, nullptr);
        return 1;
    }
    // Command values are kept per object value, so a call in a loop does not
    // make a new value each time.
    if (lua_getiuservalue(L, 1, 1) != LUA_TTABLE) {
        lua_pop(L, 1);
        lua_newtable(L);
        lua_pushvalue(L, -1);
        lua_setiuservalue(L, 1, 1);
    }
    lua_pushvalue(L, 2);
    if (lua_rawget(L, 3) == LUA_TUSERDATA) return 1;
    lua_pop(L, 1);
    nCmdProto* proto = obj->GetClass()->FindCmdByName(lua_tostring(L, 2));
    if (!proto) {
        lua_settop(L, 0);
        return 0;
    }
    PushCommand(L, obj, proto);
    lua_pushvalue(L, 2);
    lua_pushvalue(L, -2);
    lua_rawset(L, 3);
    return 1;
}

int nLuaBinding::TagGetglobal(lua_State* L) {
    if (lua_gettop(L) < 1) return 0;
    lua_settop(L, 1);
    nRoot* cwd = nKernelServer::ks->GetCwd();
    if (cwd && lua_type(L, 1) == LUA_TSTRING) {
        nCmdProto* proto = cwd->GetClass()->FindCmdByName(lua_tostring(L, 1));
        if (proto) {
            PushCommand(L, cwd, proto);
            return 1;
        }
    }
    // Raw reads: this function is the globals' own lookup hook.
    lua_pushglobaltable(L);
    lua_pushstring(L, "_system");
    if (lua_rawget(L, -2) != LUA_TTABLE) {
        lua_pushnil(L);
        return 1;
    }
    lua_pushvalue(L, 1);
    lua_rawget(L, -2);
    return 1;
}

bool nLuaBinding::ChargeKeptTexts(lua_State* L, nRoot* obj, const nCmdProto* proto, int numArgs) {
    // Setters that charge what they keep themselves, by the class that declares them.
    static const std::pair<const char*, const char*> selfCharged[] = {
        {"npersist", "v_sets_ss"}, {"nenv", "v_sets_s"}, {"nlogicnode", "v_addtimer_ssffs"},
        {"nbwaction", "v_setscript_ifs"}, {"nscriptlet", "v_setscript_s"},
        {"ncurvearraynode", "v_setbundlecurve_iss"}, {"nchnsplitter", "v_setkey_ifs"}, {"nchnsplitter", "v_addkey_fs"},
    };
    for (const auto& [cls, text] : selfCharged) {
        if (std::strcmp(proto->GetProtoText(), text) == 0 && obj->IsA(cls)) return true;
    }
    uint64_t bytes = 0;
    for (int i = 0; i < numArgs; i++) {
        const nArg::Type type = proto->GetInType(i);
        if ((type == nArg::String || type == nArg::Code) && lua_type(L, 2 + i) == LUA_TSTRING) bytes += lua_rawlen(L, 2 + i);
    }
    if (!bytes && !obj->HasDataTexts()) return true;
    // A setter whose first text names what it sets keeps one text a name, and one whose
    // first values are whole numbers keeps one for each (a table's entry at an index).
    uint64_t key = uint64_t(proto->GetId()) << 32;
    if (numArgs >= 2 && proto->GetInType(0) == nArg::String && lua_type(L, 2) == LUA_TSTRING) {
        size_t length = 0;
        const char* name = lua_tolstring(L, 2, &length);
        key ^= uint64_t(std::hash<std::string_view>{}(std::string_view(name, length)));
    }
    for (int i = 0; i + 1 < numArgs && proto->GetInType(i) == nArg::Int && lua_type(L, 2 + i) == LUA_TNUMBER; i++) {
        // Two numbers that name one index only count twice, never too little.
        const uint64_t h = lua_isinteger(L, 2 + i) ? uint64_t(std::hash<lua_Integer>{}(lua_tointeger(L, 2 + i)))
                                                   : uint64_t(std::hash<lua_Number>{}(lua_tonumber(L, 2 + i)));
        key = (key ^ h) * 0x100000001b3ull;
    }
    return obj->ChargeDataTexts(proto, key, bytes);
}

int nLuaBinding::TagFunction(lua_State* L) {
    // This runs for every command call from a script: the tag test, the reset and the
    // dispatch are done here inline rather than through the general helpers.
    const int top = lua_gettop(L);
    auto* box = top >= 1 ? TestTag<CommandBox>(L, 1, kCommandWord) : nullptr;
    // A command of an object that has died does nothing.
    nRoot* obj = box ? box->ref.GetUnsafe() : nullptr;
    if (!obj) {
        lua_settop(L, 0);
        return 0;
    }
    nCmdProto* proto = box->proto;
    const int numArgs = top - 1;
    if (numArgs != proto->GetNumInArgs()) {
        n_printf("nLuaServer2: '%s' of class '%s' takes %d argument(s), got %d\n", proto->GetName(),
                 obj->GetClass()->GetName(), proto->GetNumInArgs(), numArgs);
        lua_settop(L, 0);
        return 0;
    }
    // Data's text reaches the engine only through the commands its classes open to it.
    if (!nScriptServer::MayCall(obj, proto)) {
        lua_settop(L, 0);
        return 0;
    }
    // A run from data pays for what the command may keep; raised before anything is held.
    nLuaServer2::ChargeCommand(L, 2, numArgs);
    // What data hands a setter, the object may keep beyond the run: charged to data while
    // it lives.
    if (proto->GetNumOutArgs() == 0 && (nScriptServer::DataRunning() || obj->HasDataTexts()) &&
        !ChargeKeptTexts(L, obj, proto, numArgs)) {
        lua_settop(L, 0);
        return 0;
    }
    // A handler that throws (most often an allocation it could not make) fails its call,
    // never the game. It may have released the object: only the class name is kept.
    const char* className = obj->GetClass()->GetName();
    auto failed = [&](const std::exception& e) {
        n_printf("nLuaServer2: '%s' of class '%s' failed: %s\n", proto->GetName(), className, e.what());
        lua_settop(L, 0);
        return 0;
    };
    // A getter (no input, one result of a number, bool or text type) needs no command at
    // all: it writes its result into a value here, pushed as PushOutputs would, and the
    // result text waits until it is read. One that returns a kept text gives it directly.
    if (nCmdProto::TextGetter getText = proto->GetTextGetter()) {
        const char* text;
        try {
            text = getText(obj);
        } catch (const std::exception& e) {
            return failed(e);
        }
        PushPendingText(L, text);
        return 1;
    }
    if (nCmdProto::Getter get = proto->GetGetter()) {
        nArg out;
        const nArg::Type type = proto->GetOutType(0);
        out.SetType(type);
        try {
            get(obj, &out);
        } catch (const std::exception& e) {
            return failed(e);
        }
        pending.active = true;
        pending.type = type;
        switch (type) {
        case nArg::Int:
            pending.i = out.GetI();
            lua_pushinteger(L, pending.i);
            return 1;
        case nArg::Float:
            pending.f = out.GetF();
            lua_pushnumber(L, pending.f);
            return 1;
        case nArg::Bool:
            pending.b = out.GetB();
            if (pending.b) lua_pushinteger(L, 1);
            else lua_pushnil(L);
            return 1;
        case nArg::String:
        case nArg::Code:
            PushPendingText(L, out.GetS());
            return 1;
        default:
            pending.active = false;
            nLuaServer2::result.clear();
            return 0;
        }
    }
    // The template, unless a nested call of the same command holds it. Its inputs are
    // all filled below, so only the outputs go back to their empty values.
    nCmd* cmd = proto->TakeTemplate();
    const bool isTemplate = cmd != nullptr;
    if (isTemplate) {
        const int numOut = proto->GetNumOutArgs();
        for (int i = 0; i < numOut; i++) cmd->GetArg(i)->SetType(proto->GetOutType(i));
        cmd->Rewind();
    } else {
        cmd = proto->NewCmd();
    }
    if (numArgs > 0) {
        std::string why;
        if (!FillInputs(L, 2, numArgs, cmd, why)) {
            if (isTemplate) proto->ReleaseTemplate();
            else proto->RelCmd(cmd);
            n_printf("nLuaServer2: '%s' of class '%s': %s\n", proto->GetName(), obj->GetClass()->GetName(),
                     why.c_str());
            lua_settop(L, 0);
            return 0;
        }
    }
    // The command came from the object's class and FillInputs gave every input its type.
    try {
#ifdef N_CMD_CHECKS
        obj->DispatchFilled(cmd);
#else
        cmd->Rewind();
        proto->Call(obj, cmd);
#endif
    } catch (const std::exception& e) {
        if (isTemplate) proto->ReleaseTemplate();
        else proto->RelCmd(cmd);
        return failed(e);
    }
    int pushed = PushOutputs(L, cmd, nLuaServer2::result);
    if (isTemplate) proto->ReleaseTemplate();
    else proto->RelCmd(cmd);
    return pushed;
}

int nLuaBinding::GetStringVal(lua_State* L) {
    int n = lua_gettop(L);
    if (n < 1 || n > 2 || (lua_type(L, n) != LUA_TUSERDATA && lua_type(L, n) != LUA_TLIGHTUSERDATA)) {
        n_printf("nLuaServer2: '__getstringval' takes one or two values, the last a userdata\n");
        lua_settop(L, 0);
        return 0;
    }
    std::string text = UserdataText(L, n);
    lua_settop(L, 0);
    lua_pushlstring(L, text.data(), text.size());
    return 1;
}
