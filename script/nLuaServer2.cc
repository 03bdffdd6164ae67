#include "script/nLuaServer2.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "kernel/nClass.h"
#include "kernel/nCmdProto.h"
#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nMemoryGuard.h"
#include "kernel/nObjectCount.h"
#include "kernel/nPersistServer.h"
#include "platform/luaguard/LuaGuards.h"
#include "platform/system/StopWatchdog.h"
#include "platform/system/Ticker.h"
#include "script/nLuaBinding.h"
#include "script/nLuaCompat.h"
#include "script/nLuaGlobals.h"

const nClassInfo nLuaServer2::classInfo = nClassInfo::Make<nLuaServer2>("nluaserver2", "nscriptserver");

int nLuaServer2::objTag = 0;
int nLuaServer2::cmdTag = 0;
std::string nLuaServer2::result;

namespace {
struct sigaction previousInt, previousTerm;

const char* const MemoryStop = "stopped: the game's memory passed its ceiling";

// The watch over long runs of the signals' target: a thread that, while such a run goes
// on, has its hook ask the window every quarter second.
sys::Ticker* watch = nullptr;
bool (*windowClosed)() = nullptr;
std::atomic<bool> askWindow{false};
std::atomic<int> targetRuns{0};

// Counts the runs of the signals' target while they go on.
struct TargetRun {
    explicit TargetRun(bool counts) : counts_(counts) {
        if (counts_) targetRuns++;
    }
    ~TargetRun() {
        if (counts_) targetRuns--;
    }
    bool counts_;
};
}  // namespace

nLuaServer2::nLuaServer2() {
    L = lua_newstate(Allocate, this);
    if (!L) nKernelServer::FatalError("nLuaServer2: cannot open the Lua interpreter\n");
    lua_atpanic(L, Panic);
    // Frame-wise collection with a young generation keeps per-frame pauses short.
    lua_gc(L, LUA_GCGEN, 0, 0);

    int obj = nLuaCompat::NewTag(L);
    int cmd = nLuaCompat::NewTag(L);
    if (objTag == 0) {
        objTag = obj;
        cmdTag = cmd;
    }

    // No io, os, package or debug library for any text: data's text left behind runs in
    // this same state, and our scripts reach files through the file server only.
    static const luaL_Reg libs[] = {
        {LUA_GNAME, luaopen_base},
        {LUA_STRLIBNAME, luaopen_string},
        {LUA_MATHLIBNAME, luaopen_math},
    };
    for (const luaL_Reg& lib : libs) {
        luaL_requiref(L, lib.name, lib.func, 1);
        lua_pop(L, 1);
    }
    // The table library for data's text only (the game's scripts never had it): loaded,
    // so that the guards below wrap it, but no global.
    luaL_requiref(L, LUA_TABLIBNAME, luaopen_table, 0);
    lua_pop(L, 1);
    // Base functions the old interpreter did not have: "load" would hide the
    // repository's command of that name when scripts call it bare; "loadfile" and the
    // plain "dofile" read around the file server (archives, the installation's bounds)
    // and take precompiled chunks. The start-up script gives "dofile" through the file
    // server.
    for (const char* name : {"load", "loadfile", "dofile"}) {
        lua_pushnil(L);
        lua_setglobal(L, name);
    }

    nLuaCompat::Open(L);
    nLuaBinding::Open(L);
    nLuaGlobals::Register(L, this);
    lua_pushinteger(L, cmdTag);
    lua_setglobal(L, "__tagval_ncmdobjtag");
    lua_pushinteger(L, objTag);
    lua_setglobal(L, "__tagval_nobjtag");

    // Before any script keeps a library function of its own ("format").
    luaguard::LuaGuards::Install(L, Charge, Charging);
    // What data's text reads: the base functions as Lua made them, before a script of ours
    // could replace one with a function of its own.
    data_.Make(L);
    lua_pushlightuserdata(L, this);
    lua_pushcclosure(L, DeclareEntryGlobal, 1);
    lua_setglobal(L, "dataentry");

    const char* res = nullptr;
    if (!RunScript("bin:init_scriptserver.bs", res)) {
        n_printf("nLuaServer2: could not run 'bin:init_scriptserver.bs'; objects are not bound\n");
    }
    lua_pushlightuserdata(L, this);
    lua_setglobal(L, "__scriptserver");
}

nLuaServer2::~nLuaServer2() {
    // A text result waiting as a value may be a string of this state.
    ResultText();
    if (stopState_ == L) CatchStopSignals(nullptr);
    // Closing first lets the values' finalizers unhook their references.
    lua_close(L);
    L = nullptr;
    // Only the server that made the variables releases them: a second server made
    // and deleted by a script leaves the first one's in place.
    if (nRoot* o = refKbyteCount.GetUnsafe(); o && ownsKbyteCount) o->Release();
    if (nRoot* o = refGcThreshold.GetUnsafe(); o && ownsGcThreshold) o->Release();
}

void nLuaServer2::Initialize() {
    ownsKbyteCount = MakeVariable("/sys/var/lua_kbyte_count", refKbyteCount);
    ownsGcThreshold = MakeVariable("/sys/var/lua_gc_threshold", refGcThreshold);
}

bool nLuaServer2::MakeVariable(const char* path, nRef<nRoot>& ref) {
    nKernelServer* ks = nKernelServer::ks;
    nRoot* existing = ks->Lookup(path);
    ref = existing ? existing : ks->NewNoFail("nenv", path);
    return !existing && ref.IsValid();
}

void* nLuaServer2::Allocate(void* ud, void* ptr, size_t osize, size_t nsize) {
    auto* self = static_cast<nLuaServer2*>(ud);
    // For a new block Lua passes a type code as osize, not a size.
    size_t old = ptr ? osize : 0;
    if (nsize == 0) {
        std::free(ptr);
        self->memoryUsed -= old;
        return nullptr;
    }
    if (nsize > old && self->memoryUsed - old + nsize > MemoryLimit) return nullptr;
    // Data's text keeps values in globals of its own across its runs: it grows the heap
    // only to its share, so that the game's own scripts keep theirs. Lua collects in full
    // and tries once more before the run gets its memory error.
    if (nsize > old && self->bounds_.Active() && self->memoryUsed - old + nsize > DataMemoryLimit) return nullptr;
    // A budgeted run pays for what it allocates: long strings are copied in single
    // instructions. The run ends at its next instruction, not in the middle of this.
    if (nsize > old && self->bounds_.Active() && self->bounds_.SpendAllocation(nsize - old)) {
        lua_sethook(self->L, Hook, LUA_MASKCOUNT, 1);
    } else if (nsize > self->biggest_ && self->bounds_.Active()) {
        // Looks come sooner from the next instruction on (StepNow).
        self->biggest_ = nsize;
        if (self->StepNow() < self->armed_) lua_sethook(self->L, Hook, LUA_MASKCOUNT, self->armed_ = 1);
    }
    void* p = std::realloc(ptr, nsize);
    if (p) self->memoryUsed = self->memoryUsed - old + nsize;
    return p;
}

int nLuaServer2::Panic(lua_State* L) {
    const char* msg = lua_tostring(L, -1);
    nKernelServer::FatalError("nLuaServer2: unprotected Lua error: %s\n", msg ? msg : "?");
    return 0;
}

int nLuaServer2::MessageHandler(lua_State* L) {
    const char* msg = lua_tostring(L, 1);
    if (!msg) msg = lua_pushfstring(L, "(error object is a %s value)", luaL_typename(L, 1));
    luaL_traceback(L, L, msg, 1);
    return 1;
}

void nLuaServer2::ReportError(const char* msg) {
    // A run inside RunCatching's text failed: the text failed with it.
    if (nestedError_ && nestedError_->empty()) {
        const std::string text = msg ? msg : "";
        *nestedError_ = text.substr(0, text.find('\n'));
        if (nestedError_->empty()) *nestedError_ = "a run inside the text failed";
    }
    // A script may take over error reporting, as the old interpreter allowed.
    lua_pushglobaltable(L);
    lua_pushstring(L, "_ERRORMESSAGE");
    if (lua_rawget(L, -2) == LUA_TFUNCTION) {
        lua_pushstring(L, msg);
        if (lua_pcall(L, 1, 0, 0) == LUA_OK) {
            lua_pop(L, 1);
            return;
        }
        n_printf("nLuaServer2: _ERRORMESSAGE failed: %s\n", lua_tostring(L, -1));
    }
    lua_pop(L, 2);
    n_printf("nLuaServer2: %s\n", msg);
}

nLuaServer2::OuterRun::OuterRun(const nLuaServer2& server)
    : trust(server.trust_),
      bounds(server.bounds_),
      started(sys::RunClock::ThreadTime()),
      begun(sys::RunClock::Wall()),
      objects(nObjectCount::Made()),
      bytes(nObjectCount::DataBytesMade()) {}

void nLuaServer2::OuterRun::Restore(nLuaServer2& server, bool resume) const {
    server.trust_ = trust;
    if (resume) {
        server.bounds_.Resume(bounds, sys::RunClock::ThreadTime() - started, sys::RunClock::Wall() - begun,
                              nObjectCount::Made() - objects,
                              nObjectCount::DataBytesMade() - bytes);
    }
    server.SetHook(trust != Trust::Full);
}

namespace {

// Data's text reaches the parser a piece at a time, and each piece looks at the run's bounds:
// a text whose compile takes longer than it was priced at stops at its time.
struct Pieces {
    const char* text;
    size_t size;
    size_t read;
    nLuaRunBounds* bounds;  // null: a trusted run
};

const char* ReadPiece(lua_State* L, void* data, size_t* size) {
    auto* pieces = static_cast<Pieces*>(data);
    const char* piece = luaguard::LuaGuards::NextPiece(pieces->text, pieces->size, pieces->read, size);
    if (const char* why = piece && pieces->bounds ? pieces->bounds->Spend(0) : nullptr) {
        lua_pushstring(L, why);
        lua_error(L);
    }
    return piece;
}

}  // namespace

bool nLuaServer2::RunChunk(const char* buf, size_t size, const char* chunkName, Trust mode, std::string* error,
                           bool dataText) {
    // Past the memory's ceiling data's text does not start (the guard logged it once).
    if (mode != Trust::Full && !nMemoryGuard::Allows()) {
        if (error) *error = MemoryStop;
        return false;
    }
    RunningGuard running(this);
    OriginScope origin(mode == Trust::Full ? Origin::Person : Origin::Data);
    DataTextScope textScope(dataText && mode == Trust::Line);
    TargetRun watched(L == stopState_);
    // A data file's budget is its own; a line's covers the lines it runs; a trusted run
    // inside either spends none of it.
    const OuterRun outer(*this);
    const Trust outerTrust = outer.trust;
    const bool continues = mode == Trust::Line && outerTrust == Trust::Line;
    // Within a frame a line spends from data's share, and so does a data file that a line loads.
    const bool framed = data_.Framed() && !continues &&
                        (mode == Trust::Line || (mode == Trust::Data && outerTrust == Trust::Line));
    const char* unstarted = nullptr;
    // The time a line may take within the frame, not counting runs nested in it that have
    // bounds of their own: an engine command costs far more than its call's instructions.
    const auto runTime = std::chrono::duration_cast<std::chrono::milliseconds>(data_.RunTime());
    if (mode == Trust::Data) bounds_.Start({DataBudget, DataTime, RunCommandBytes, RunObjects});
    else if (mode == Trust::Line && !continues) {
        if (framed) bounds_.Start({std::min(LineBudget, FrameBudget), runTime, RunCommandBytes, RunObjects});
        else bounds_.Start({LineBudget, LineTime, RunCommandBytes, RunObjects});
        passedFrame_ = false;
    }
    // Compiling is priced before it starts, by the text's bytes and what the parser meets in
    // it: thousands of short lines a frame cost their setting up and compiling, and a line
    // that takes longer to compile than the frame's time left is refused before it starts.
    luaguard::LuaGuards::CompileWork compile;
    if (mode != Trust::Full) compile = luaguard::LuaGuards::MeasureCompile(buf, size);
    const uint64_t compares = compile.compares / luaguard::LuaGuards::ComparesAnInstruction;
    if (framed) {
        unstarted = bounds_.Spend(uint64_t(InstructionsARun) + size + compares);
        if (!unstarted && luaguard::LuaGuards::CompileTime(compile) >= bounds_.TimeLeft()) {
            unstarted = "refused: compiling it takes longer than data's time left in the frame";
        }
    } else if (mode != Trust::Full) {
        unstarted = bounds_.Spend(compares);
    }
    else if (mode == Trust::Full) bounds_.Clear();
    trust_ = mode;
    if (mode != Trust::Full && !continues) biggest_ = 0;
    SetHook(mode != Trust::Full);
    auto restore = [&] { outer.Restore(*this, !continues); };

    int top = lua_gettop(L);
    lua_pushcfunction(L, MessageHandler);
    // Text only: a precompiled chunk could crash the interpreter.
    Pieces pieces{buf, size, 0, mode != Trust::Full && bounds_.Active() ? &bounds_ : nullptr};
    int status = unstarted ? LUA_ERRRUN : lua_load(L, ReadPiece, &pieces, chunkName, "t");
    if (unstarted) lua_pushstring(L, unstarted);
    if (status == LUA_OK && mode != Trust::Full) {
        // The chunk's only upvalue is its _ENV.
        if (mode == Trust::Data) PushDataEnv();
        else if (dataText) data_.PushEnv(L);
        else PushLineEnv();
        lua_setupvalue(L, -2, 1);
    }
    if (status == LUA_OK) status = lua_pcall(L, 0, 0, top + 1);
    if (!continues && bounds_.Active()) {
        // A single command may have made too much after the last look.
        if (const char* why = status == LUA_OK ? bounds_.Finish() : nullptr) {
            lua_pushstring(L, why);
            status = LUA_ERRRUN;
        }
        if (bounds_.DropsMade()) DropMade(bounds_.Run());
    }
    if (framed) {
        data_.Spent(bounds_.Spent(), sys::RunClock::ThreadTime() - outer.started);
        passedFrame_ = mode == Trust::Line && (bounds_.PassedInstructions() || bounds_.Elapsed() >= runTime);
    }
    restore();
    if (status != LUA_OK) {
        const char* msg = lua_tostring(L, -1);
        std::string text = msg ? msg : "unknown error";
        lua_settop(L, top);
        if (error) *error = text.substr(0, text.find('\n'));
        else ReportError(text.c_str());
        return false;
    }
    lua_settop(L, top);
    return true;
}

void nLuaServer2::DropMade(uint32_t run) {
    // The objects the run made that live: the topmost of each subtree goes, its children
    // with it. They are gathered first, as a release may take others along.
    std::vector<std::unique_ptr<nRef<nRoot>>> made;
    std::vector<nRoot*> walk{nKernelServer::ks->GetRoot()};
    while (!walk.empty()) {
        nRoot* o = walk.back();
        walk.pop_back();
        for (nRoot* c = o ? o->GetHead() : nullptr; c; c = c->GetSucc()) {
            if (c->GetDataRun() == run) made.push_back(std::make_unique<nRef<nRoot>>(c));
            else walk.push_back(c);
        }
    }
    for (const auto& ref : made) {
        nRoot* o = ref->GetUnsafe();
        if (o && !HoldsRunningServer(o)) o->Release();
    }
}

bool nLuaServer2::RefuseInData(const std::string& what) {
    if (refusal_.empty()) refusal_ = what;
    n_printf("nLuaServer2: refused while a data file loads: %s\n", what.c_str());
    return false;
}

bool nLuaServer2::Run(const char* text, const char*& res) { return RunText(text, res, nullptr); }

bool nLuaServer2::RunCatching(const char* text, const char*& res, std::string& error) {
    error.clear();
    // A run nested in the text (a scriptlet it runs, a handler it fires) that fails is logged
    // as ever, and fails the text too: the caller shows the first such error.
    std::string nested;
    std::string* outer = std::exchange(nestedError_, &nested);
    bool ok = RunText(text, res, &error);
    nestedError_ = outer;
    if (ok && !nested.empty()) {
        ok = false;
        error = nested;
    }
    if (!ok && error.empty()) error = "the text was refused";
    return ok;
}

bool nLuaServer2::RunText(const char* text, const char*& res, std::string* error) {
    if (trust_ == Trust::Data) {
        res = "";
        return RefuseInData("running script text");
    }
    // The text may be the last result itself (a console running it again).
    std::string copy;
    std::less_equal<const char*> le;
    if (text && le(result.data(), text) && le(text, result.data() + result.size())) {
        copy = text;
        text = copy.c_str();
    }
    ClearResult();
    bool ok = text && RunChunk(text, std::strlen(text), text, TextTrust(), error);
    if (!ok) ClearResult();
    res = ResultText().c_str();
    return ok;
}

bool nLuaServer2::RunLine(const char* text, const char*& res) { return RunBudgetedLine(text, false, res); }

bool nLuaServer2::RunDataText(const char* text, const char*& res) { return RunBudgetedLine(text, true, res); }

bool nLuaServer2::RunBudgetedLine(const char* text, bool dataText, const char*& res) {
    if (trust_ == Trust::Data) {
        res = "";
        return RefuseInData("running script text");
    }
    std::string copy = text ? text : "";
    ClearResult();
    // Only a line of its own can pass the frame's share: one inside another spends from it.
    passedFrame_ = false;
    if (text && trust_ == Trust::Full && DataWaits()) {
        // This frame's share is spent: the line runs in a later frame, where it would have.
        res = "";
        if (waiting_.size() >= MaxWaiting || waitingBytes_ + copy.size() > MaxWaitingBytes) {
            if (!waitingFullLogged_) {
                n_printf("nLuaServer2: a line of data's text refused: %zu lines wait for later frames already\n",
                         waiting_.size());
            }
            waitingFullLogged_ = true;
            return false;
        }
        waitingBytes_ += copy.size();
        waiting_.push_back({std::move(copy), nRef<nRoot>(nKernelServer::ks->GetCwd()), dataText});
        return true;
    }
    bool ok = text && RunChunk(copy.data(), copy.size(), copy.c_str(), Trust::Line, nullptr, dataText);
    if (!ok) ClearResult();
    res = ResultText().c_str();
    return ok;
}

const char* nLuaServer2::RunBuffer(const char* buf, size_t size, const char* chunkName) {
    ClearResult();
    if (trust_ == Trust::Data) RefuseInData("running script text");
    else if (!RunChunk(buf, size, chunkName, TextTrust())) ClearResult();
    return ResultText().c_str();
}

bool nLuaServer2::RunScript(const char* fileName, const char*& res) {
    res = "";
    if (trust_ == Trust::Data) {
        return RefuseInData(std::string("running the script '") + (fileName ? fileName : "") + "'");
    }
    // Data's text runs a script file only from inside the installation, and as data.
    return RunFile(fileName, trust_ == Trust::Line ? Trust::Line : Trust::Full, res);
}

bool nLuaServer2::RunMapFile(const char* fileName, Origin origin, const char*& res) {
    res = "";
    if (trust_ == Trust::Data) {
        return RefuseInData(std::string("running the map '") + (fileName ? fileName : "") + "'");
    }
    return RunFile(fileName, origin == Origin::Person ? Trust::Full : Trust::Line, res);
}

bool nLuaServer2::RunFile(const char* fileName, Trust mode, const char*& res) {
    std::string text;
    bool read = false;
    {
        // Data's map is read as data reads: from inside the installation only.
        OriginScope origin(mode == Trust::Full ? Origin::Person : Origin::Data);
        read = fileName && GetFileServer()->ReadFile(fileName, text);
    }
    if (!read) {
        n_printf("nLuaServer2: cannot read script '%s'\n", fileName ? fileName : "(null)");
        return false;
    }
    // "@name" makes error messages name the file and line.
    std::string chunkName = std::string("@") + fileName;
    ClearResult();
    bool ok = RunChunk(text.data(), text.size(), chunkName.c_str(), mode);
    if (!ok) ClearResult();
    res = ResultText().c_str();
    return ok;
}

bool nLuaServer2::RunDataFile(const char* fileName, nRoot* root, const char*& res) {
    res = "";
    if (!fileName || !root) {
        n_printf("nLuaServer2: a data file needs a name and an object to load into\n");
        return false;
    }
    if (trust_ == Trust::Data) return RefuseInData(std::string("loading '") + fileName + "'");
    // The size is known before anything is read: a huge file costs nothing.
    std::string text;
    nFile* file = GetFileServer()->NewFileObject();
    if (!file->Open(fileName, "r")) {
        delete file;
        n_printf("nLuaServer2: cannot read '%s'\n", fileName);
        return false;
    }
    const size_t size = file->GetSize();
    bool read = size <= MaxDataFileSize;
    if (read) {
        text.resize(size);
        read = file->Read(text.data(), size) == size;
    }
    file->Close();
    delete file;
    if (size > MaxDataFileSize) {
        n_printf("nLuaServer2: '%s' refused: %zu bytes, more than the %zu a data file may have\n", fileName, size,
                 MaxDataFileSize);
        return false;
    }
    if (!read) {
        n_printf("nLuaServer2: cannot read '%s'\n", fileName);
        return false;
    }
    nRef<nRoot> outerRoot(dataRoot_.GetUnsafe());
    dataRoot_.Set(root);
    refusal_.clear();
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(root);
    std::string error;
    const std::string chunkName = std::string("@") + fileName;
    ClearResult();
    bool ok = RunChunk(text.data(), text.size(), chunkName.c_str(), Trust::Data, &error);
    ks->SetLookupFence(nullptr);
    ks->PopCwd();
    dataRoot_.Set(outerRoot.GetUnsafe());
    if (!refusal_.empty()) error = refusal_;
    refusal_.clear();
    if (ok && error.empty()) {
        res = ResultText().c_str();
        return true;
    }
    ClearResult();
    n_printf("nLuaServer2: '%s' refused: %s\n", fileName, error.c_str());
    return false;
}

void nLuaServer2::Enqueue(const char* text) {
    if (!text) return;
    if (trust_ == Trust::Data) {
        RefuseInData("queueing script text");
        return;
    }
    std::string& queue = trust_ == Trust::Line ? pendingLines : pending;
    queue += text;
    queue += '\n';
}

bool nLuaServer2::DataWaits() const { return data_.Waits(); }

bool nLuaServer2::TimerWaits(uint32_t lastRan) { return data_.TimerWaits(lastRan); }

uint64_t nLuaServer2::ForeignShare(sys::ForeignCall call, sys::ForeignTurn& turn) {
    if (trust_ != Trust::Full && bounds_.Active()) {
        return uint64_t(std::max(0LL, std::min(bounds_.InstructionsLeft(), FrameBudget)));
    }
    return data_.ForeignShare(call, turn);
}

std::chrono::steady_clock::duration nLuaServer2::ForeignTime(sys::ForeignCall call, const sys::ForeignTurn& turn) const {
    if (trust_ != Trust::Full && bounds_.Active()) return bounds_.TimeLeft();
    return data_.ForeignTime(call, turn);
}

void nLuaServer2::ForeignSpent(uint64_t instructions, std::chrono::steady_clock::duration taken,
                               std::chrono::steady_clock::duration /*wall: not data's share's*/, sys::ForeignTurn& turn) {
    const uint64_t cost = instructions + InstructionsACommand;
    if (trust_ != Trust::Full && bounds_.Active()) {
        // The run's account reaches the frame's when the run ends.
        bounds_.Spend(cost);
    } else if (data_.Framed()) {
        data_.Spent((long long)std::min<uint64_t>(cost, uint64_t(LLONG_MAX / 2)), taken);
        data_.SpentReserve(instructions, taken, turn);
        data_.SpentAtStart(taken, turn);
    } else {
        data_.SpentAtStart(taken, turn);
    }
}

void nLuaServer2::RunWaiting() {
    std::vector<Waiting> lines;
    lines.swap(waiting_);
    waitingBytes_ = 0;
    size_t next = 0;
    for (; next < lines.size() && !DataWaits(); next++) {
        nRoot* cwd = lines[next].cwd.GetUnsafe();
        if (!cwd) {
            n_printf("nLuaServer2: a waiting line of data's text dropped: its current object is gone\n");
            continue;
        }
        nKernelServer::ks->PushCwd(cwd);
        const char* res = nullptr;
        RunBudgetedLine(lines[next].text.c_str(), lines[next].dataText, res);
        nKernelServer::ks->PopCwd();
    }
    // What did not fit waits on, ahead of lines that waited meanwhile.
    lines.erase(lines.begin(), lines.begin() + std::ptrdiff_t(next));
    for (Waiting& w : waiting_) lines.push_back(std::move(w));
    waiting_.swap(lines);
    for (const Waiting& w : waiting_) waitingBytes_ += w.text.size();
    if (waiting_.empty()) waitingFullLogged_ = false;
}

bool nLuaServer2::Trigger() {
    // A new frame, with a new share for data's text.
    data_.BeginFrame();
    PersonInputAged();
    if (!waiting_.empty()) RunWaiting();
    if (!pending.empty()) {
        // Text queued while this runs stays for the next frame.
        std::string chunk;
        chunk.swap(pending);
        const char* res = nullptr;
        Run(chunk.c_str(), res);
    }
    if (!pendingLines.empty()) {
        std::string chunk;
        chunk.swap(pendingLines);
        const char* res = nullptr;
        RunLine(chunk.c_str(), res);
    }
    PublishMemory();
    if (stopRequested_) AnswerStop();
    return nScriptServer::Trigger();
}

void nLuaServer2::AnswerStop() {
    if (!stopRequested_) return;
    stopRequested_ = 0;
    sys::StopWatchdog::Answered();
    SetHook(trust_ != Trust::Full);
    SetQuitRequested(true);
}

// ---- budgets and stop signals

volatile std::sig_atomic_t nLuaServer2::stopRequested_ = 0;
lua_State* volatile nLuaServer2::stopState_ = nullptr;


void nLuaServer2::SetHook(bool budgeted) {
    // A stop asked for keeps its hook: every run ends at once.
    if (stopRequested_) lua_sethook(L, Hook, LUA_MASKCOUNT, 1);
    else if (budgeted) lua_sethook(L, Hook, LUA_MASKCOUNT, armed_ = StepNow());
    else lua_sethook(L, nullptr, 0, 0);
}

int nLuaServer2::StepNow() const {
    // Between two looks the instructions scan at most BytesBetweenLooks, were each to
    // compare or copy the run's biggest block whole.
    return int(std::clamp<uint64_t>(BytesBetweenLooks / std::max<size_t>(biggest_, 1), 1, HookStep));
}

nLuaServer2* nLuaServer2::Of(lua_State* L) {
    void* ud = nullptr;
    lua_getallocf(L, &ud);
    return static_cast<nLuaServer2*>(ud);
}

int nLuaServer2::OverBounds(lua_State* L, const char* why) {
    // From here every instruction fails, so a pcall cannot catch the end and go on.
    lua_sethook(L, Hook, LUA_MASKCOUNT, 1);
    return luaL_error(L, "%s", why);
}

void nLuaServer2::Hook(lua_State* L, lua_Debug*) {
    nLuaServer2* self = Of(L);
    // The watch makes the hook come at the next instruction: not a whole step ran since
    // the last look, and none is charged.
    const bool watched = askWindow.exchange(false);
    if (watched && windowClosed && windowClosed()) {
        stopRequested_ = 1;
        sys::StopWatchdog::Requested();
    }
    if (stopRequested_) OverBounds(L, "stopped: the program is ending");
    if (!self->bounds_.Active()) {
        // Only the watch set this hook: a trusted run has no budget.
        lua_sethook(L, nullptr, 0, 0);
        return;
    }
    if (const char* why = self->bounds_.Spend(watched ? 1 : uint64_t(self->armed_))) OverBounds(L, why);
    if (!nMemoryGuard::Allows()) OverBounds(L, MemoryStop);
    // The next step from now, as long as the run's blocks allow. Setting a hook walks the
    // whole call stack: only when the count changes.
    if (const int next = self->StepNow(); watched || next != self->armed_) {
        lua_sethook(L, Hook, LUA_MASKCOUNT, self->armed_ = next);
    }
}

bool nLuaServer2::Charging(lua_State* L) {
    nLuaServer2* self = Of(L);
    return self->bounds_.Active() || (stopRequested_ && self->L == stopState_);
}

void nLuaServer2::Charge(lua_State* L, uint64_t cost) {
    nLuaServer2* self = Of(L);
    // Long C work runs between the hook's looks: it answers a stop too.
    if (stopRequested_ && self->L == stopState_) OverBounds(L, "stopped: the program is ending");
    if (!self->bounds_.Active()) return;
    if (const char* why = self->bounds_.Spend(cost)) OverBounds(L, why);
}

void nLuaServer2::ChargeCommand(lua_State* L, int first, int count) {
    nLuaServer2* self = Of(L);
    if (!self->bounds_.Active()) return;
    uint64_t bytes = 0;
    for (int i = first; i < first + count; i++) {
        if (lua_type(L, i) == LUA_TSTRING) bytes += lua_rawlen(L, i);
    }
    const char* why = self->bounds_.Spend(InstructionsACommand);
    if (!why) why = self->bounds_.SpendCommand(bytes);
    if (why) OverBounds(L, why);
}

void nLuaServer2::ChargePaths(lua_State* L, int count, bool makes) {
    nLuaServer2* self = Of(L);
    if (!self->bounds_.Active()) return;
    uint64_t bytes = 0, components = 0;
    for (int i = 1; i <= count; i++) {
        if (lua_type(L, i) != LUA_TSTRING) continue;
        size_t length = 0;
        const char* path = lua_tolstring(L, i, &length);
        bytes += length;
        components += 1 + uint64_t(std::count(path, path + length, '/'));
    }
    const char* why = self->bounds_.Spend(1 + bytes);
    if (!why && makes) why = self->bounds_.SpendObjects(components);
    if (why) OverBounds(L, why);
}

void nLuaServer2::OnStopSignal(int sig) {
    if (!stopState_) {
        // The script server is gone (the shutdown released it): nothing carries the stop
        // to a main loop, and no watch ends a shutdown that hangs. The stop ends it here.
        static const char message[] = "a stop signal came after the script server ended; the program ends\n";
        (void)!write(STDERR_FILENO, message, sizeof(message) - 1);
        _exit(128 + sig);
    }
    const int savedErrno = errno;
    stopRequested_ = 1;
    sys::StopWatchdog::Requested(sig);
    // lua_sethook may be called from a signal handler.
    if (lua_State* state = stopState_) lua_sethook(state, Hook, LUA_MASKCOUNT, 1);
    const struct sigaction& previous = sig == SIGINT ? previousInt : previousTerm;
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction) previous.sa_sigaction(sig, nullptr, nullptr);
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN && previous.sa_handler) {
        previous.sa_handler(sig);
    }
    // SDL's handler puts itself back in place when called, and resets the signal to its
    // default once video closes: a later signal would then pass us by or kill the game
    // mid-shutdown. This handler stays.
    struct sigaction again = {};
    again.sa_handler = OnStopSignal;
    sigemptyset(&again.sa_mask);
    again.sa_flags = SA_RESTART;
    sigaction(sig, &again, nullptr);
    errno = savedErrno;
}

void nLuaServer2::StartWatch() {
    if (watch) return;
    watch = new sys::Ticker(std::chrono::milliseconds(250), [] {
        lua_State* state = stopState_;
        if (!state || targetRuns == 0) return;
        askWindow = true;
        // Set from outside the running thread, as a signal handler may. The hook comes at
        // the next instruction: a count set anew would put off a budgeted run's next look,
        // and a run whose steps outlast the tick would never be looked at.
        lua_sethook(state, Hook, LUA_MASKCOUNT, 1);
    });
}

void nLuaServer2::StopWatch() {
    delete watch;
    watch = nullptr;
}

void nLuaServer2::CatchStopSignals(nLuaServer2* server, bool (*closed)()) {
    StopWatch();
    stopState_ = server ? server->L : nullptr;
    windowClosed = server ? closed : nullptr;
    if (server && closed) StartWatch();
    if (server) sys::StopWatchdog::Start();
    else sys::StopWatchdog::Stop();
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    struct sigaction current = {};
    // Installed once: the previous handler is the one from before us.
    if (sigaction(SIGINT, nullptr, &current) == 0 && current.sa_handler != OnStopSignal) {
        sigaction(SIGINT, &action, &previousInt);
    }
    if (sigaction(SIGTERM, nullptr, &current) == 0 && current.sa_handler != OnStopSignal) {
        sigaction(SIGTERM, &action, &previousTerm);
    }
}

// ---- the environments of data files and lines

nLuaServer2* nLuaServer2::UpServer(lua_State* L) {
    return static_cast<nLuaServer2*>(lua_touserdata(L, lua_upvalueindex(1)));
}

int nLuaServer2::DataDepth(const nRoot* obj) const {
    const nRoot* root = dataRoot_.GetUnsafe();
    int depth = 0;
    for (const nRoot* o = obj; root && o && depth <= MaxDataDepth; o = o->GetParent(), depth++) {
        if (o == root) return depth;
    }
    return -1;
}


void nLuaServer2::PushDataEnv() {
    lua_newtable(L);
    const luaL_Reg fns[] = {{"new", DataNew}, {"sel", DataSel}, {"up", DataUp}};
    for (const luaL_Reg& f : fns) {
        lua_pushlightuserdata(L, this);
        lua_pushcclosure(L, f.func, 1);
        lua_setfield(L, -2, f.name);
    }
    lua_newtable(L);
    lua_pushlightuserdata(L, this);
    lua_pushcclosure(L, DataIndex, 1);
    lua_setfield(L, -2, "__index");
    lua_pushcfunction(L, DataNewIndex);
    lua_setfield(L, -2, "__newindex");
    lua_pushboolean(L, 0);
    lua_setfield(L, -2, "__metatable");
    lua_setmetatable(L, -2);
}

int nLuaServer2::DataNew(lua_State* L) {
    nLuaServer2* self = UpServer(L);
    if (lua_gettop(L) != 2 || lua_type(L, 1) != LUA_TSTRING || lua_type(L, 2) != LUA_TSTRING) {
        return luaL_error(L, "'new' without a class name and an object name");
    }
    // Lua's errors jump past C++ destructors: nothing here owns memory while one may be
    // raised. The texts stay on the stack until the return.
    const char* cls = lua_tostring(L, 1);
    const char* name = lua_tostring(L, 2);
    nKernelServer* ks = nKernelServer::ks;
    const int depth = self->DataDepth(ks->GetCwd());
    if (depth < 0) return luaL_error(L, "making an object outside the loaded objects");
    // Each level deeper makes every walk up to the root longer: a chain is quadratic.
    if (depth >= MaxDataDepth) return luaL_error(L, "making an object more than %d levels deep", MaxDataDepth);
    ChargeCommand(L, 1, 2);
    if (!*name || !strcmp(name, ".") || !strcmp(name, "..") || strchr(name, '/')) {
        return luaL_error(L, "making the object '%s' (a path, not a name)", name);
    }
    nClass* c = ks->FindClass(cls);
    if (c && c->IsServerKind()) return luaL_error(L, "making an object of class '%s'", cls);
    // A store the game builds a level object from gives that object its name.
    if (!MayNameIn(ks->GetCwd(), name, false)) {
        return luaL_error(L, "naming an object with other than letters, digits, '_', '-' and '.'");
    }
    nRoot* obj = ks->NewNoFail(cls, name);
    if (!obj) {
        n_printf("nLuaServer2: 'new': could not create '%s' of class '%s'\n", name, cls);
        lua_settop(L, 0);
        return 0;
    }
    lua_settop(L, 0);
    nLuaBinding::PushFullName(L, obj);
    return 1;
}

int nLuaServer2::DataSel(lua_State* L) {
    nLuaServer2* self = UpServer(L);
    if (lua_gettop(L) != 1 || lua_type(L, 1) != LUA_TSTRING) return luaL_error(L, "'sel' without a path");
    ChargePaths(L, 1, false);
    const char* path = lua_tostring(L, 1);  // no C++ object lives across a Lua error
    nKernelServer* ks = nKernelServer::ks;
    nRoot* obj = ks->Lookup(path);
    if (obj && !self->InsideDataRoot(obj)) return luaL_error(L, "selecting '%s', outside the loaded objects", path);
    if (!obj) {
        n_printf("nLuaServer2: 'sel': no object at '%s'\n", path);
        lua_settop(L, 0);
        return 0;
    }
    lua_settop(L, 0);
    ks->SetCwd(obj);
    nLuaBinding::PushFullName(L, obj);
    return 1;
}

int nLuaServer2::DataUp(lua_State* L) {
    nLuaServer2* self = UpServer(L);
    nKernelServer* ks = nKernelServer::ks;
    nRoot* cwd = ks->GetCwd();
    if (!cwd || cwd == self->dataRoot_.GetUnsafe() || !self->InsideDataRoot(cwd)) {
        return luaL_error(L, "'up' above the loaded objects");
    }
    ks->SetCwd(cwd->GetParent());
    lua_settop(L, 0);
    nLuaBinding::PushFullName(L, cwd->GetParent());
    return 1;
}

int nLuaServer2::DataIndex(lua_State* L) {
    nLuaServer2* self = UpServer(L);
    const char* name = lua_type(L, 2) == LUA_TSTRING ? lua_tostring(L, 2) : "?";
    nRoot* cwd = nKernelServer::ks->GetCwd();
    if (!self->InsideDataRoot(cwd)) return luaL_error(L, "'%s' outside the loaded objects", name);
    nCmdProto* proto = cwd->GetClass()->FindCmdByName(name);
    if (!proto) return luaL_error(L, "'%s', which is no command of class '%s'", name, cwd->GetClass()->GetName());
    if (proto->GetNumOutArgs() > 0) return luaL_error(L, "the command '%s', which gives values back", name);
    lua_pushlightuserdata(L, self);
    nLuaBinding::PushCommand(L, cwd, proto);
    lua_pushcclosure(L, DataCall, 2);
    return 1;
}

int nLuaServer2::DataCall(lua_State* L) {
    nLuaServer2* self = UpServer(L);
    nRoot* obj = nullptr;
    nCmdProto* proto = nullptr;
    nLuaBinding::ToCommand(L, lua_upvalueindex(2), obj, proto);
    if (obj && !self->InsideDataRoot(obj)) return luaL_error(L, "a command of an object now outside the loaded objects");
    if (obj && proto) {
        // An object argument names an object the command may change.
        const int count = std::min(lua_gettop(L), proto->GetNumInArgs());
        for (int i = 0; i < count; i++) {
            if (proto->GetInType(i) != nArg::Object || lua_isnil(L, i + 1)) continue;
            if (lua_type(L, i + 1) == LUA_TSTRING) Charge(L, 1 + lua_rawlen(L, i + 1));  // the walk
            nRoot* target = nKernelServer::ks->Lookup(nLuaBinding::ToPath(L, i + 1));
            if (target && !self->InsideDataRoot(target)) {
                lua_pushstring(L, target->GetFullName().c_str());  // the name's text dies here, not in the jump
                return luaL_error(L, "'%s' on '%s', outside the loaded objects", proto->GetName(), lua_tostring(L, -1));
            }
        }
    }
    lua_pushvalue(L, lua_upvalueindex(2));
    lua_insert(L, 1);
    // Names the command takes as text (a diver to insert, a target) find only the loaded
    // objects, the game's templates and the servers (which handlers look up themselves).
    // RunDataFile lifts the fence too, should a memory error jump out of the call.
    nKernelServer* ks = nKernelServer::ks;
    ks->SetLookupFence(self->dataRoot_.GetUnsafe(), ks->Lookup("/usr/prototypes"), ks->Lookup("/sys"));
    const int results = nLuaBinding::TagFunction(L);
    ks->SetLookupFence(nullptr);
    return results;
}

int nLuaServer2::DataNewIndex(lua_State* L) {
    return luaL_error(L, "setting the global '%s'", lua_type(L, 2) == LUA_TSTRING ? lua_tostring(L, 2) : "?");
}

bool nLuaServer2::IsClosedToLines(const char* name) {
    static const char* const closed[] = {
        "io", "os", "load", "loadfile", "require", "package", "debug", "_G", "get",
        "cd", "ls", "pwd", "getfilename", "getmetatable", "setmetatable", "rawget", "rawset", "rawequal",
        "rawlen", "collectgarbage", "newtag", "tag", "settag", "settagmethod", "gettagmethod",
        "__tag_function", "__tag_getglobal", "__tag_gettable", "__scriptserver",
    };
    for (const char* c : closed) {
        if (std::strcmp(c, name) == 0) return true;
    }
    return false;
}

// Data's text reads the game's globals but never changes what a person's text sees: the
// globals it sets go into a table of its own, so a function a start script defined cannot be
// replaced by one that then runs with the start script's reach, and the tables it reads come
// as read-only views (a line cannot put its own function into the string library).
void nLuaServer2::PushLineEnv() {
    if (lineEnvRef_ != LUA_NOREF) {
        lua_rawgeti(L, LUA_REGISTRYINDEX, lineEnvRef_);
        return;
    }
    lua_newtable(L);
    lua_newtable(L);
    lua_newtable(L);  // data's own globals, shared by every line and stored text
    lua_pushvalue(L, -1);
    lua_pushcclosure(L, LineIndex, 1);
    lua_setfield(L, -3, "__index");
    lua_pushcclosure(L, LineNewIndex, 1);
    lua_setfield(L, -2, "__newindex");
    lua_pushboolean(L, 0);
    lua_setfield(L, -2, "__metatable");
    lua_setmetatable(L, -2);
    lua_pushvalue(L, -1);
    lineEnvRef_ = luaL_ref(L, LUA_REGISTRYINDEX);
}

// Raises the error for a global name closed to lines (the key at index 2).
static void RefuseClosedName(lua_State* L) {
    if (lua_type(L, 2) == LUA_TSTRING && nLuaServer2::IsClosedToLines(lua_tostring(L, 2))) {
        luaL_error(L, "'%s' is not open to this line", lua_tostring(L, 2));
    }
}

int nLuaServer2::LineIndex(lua_State* L) {
    RefuseClosedName(L);
    lua_settop(L, 2);
    lua_pushvalue(L, 2);
    if (lua_rawget(L, lua_upvalueindex(1)) != LUA_TNIL) return 1;
    lua_pop(L, 1);
    // The globals' own lookup finds the current object's commands too.
    lua_pushglobaltable(L);
    lua_pushvalue(L, 2);
    lua_gettable(L, -2);
    if (lua_type(L, -1) == LUA_TTABLE) nDataText::PushView(L, -1);
    return 1;
}

int nLuaServer2::LineNewIndex(lua_State* L) {
    RefuseClosedName(L);
    lua_settop(L, 3);
    lua_rawset(L, lua_upvalueindex(1));
    return 0;
}

// ---- data's text: the declared entries

namespace {
const char* const EntryTypes[] = {"string", "number", "boolean"};
}  // namespace

int nLuaServer2::DeclareEntryGlobal(lua_State* L) {
    UpServer(L)->DeclareDataEntry(1, 2, lua_isnoneornil(L, 3) ? 0 : 3);
    return 0;
}

bool nLuaServer2::DeclareDataEntry(int nameIndex, int valuesIndex, int whenIndex) {
    nameIndex = lua_absindex(L, nameIndex);
    valuesIndex = lua_absindex(L, valuesIndex);
    if (trust_ != Trust::Full || DataRunning()) {
        n_printf("refused to script text that data brought: 'dataentry', which only the game's own scripts call\n");
        return false;
    }
    const char* when = whenIndex ? lua_tostring(L, whenIndex) : nullptr;
    if (whenIndex && (!when || std::strcmp(when, "input") != 0)) {
        n_printf("nLuaServer2: 'dataentry': its third value may only be 'input' (the entry answers the person's "
                 "key or click)\n");
        return false;
    }
    const char* name = lua_type(L, nameIndex) == LUA_TSTRING ? lua_tostring(L, nameIndex) : nullptr;
    bool named = name && *name && std::strlen(name) <= 60 && !(*name >= '0' && *name <= '9');
    for (const char* c = name; named && *c; c++) {
        named = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') || *c == '_';
    }
    if (named) {
        lua_rawgeti(L, LUA_REGISTRYINDEX, data_.PureRef());
        named = lua_getfield(L, -1, name) == LUA_TNIL;
        lua_pop(L, 2);
    }
    if (!named) {
        n_printf("nLuaServer2: 'dataentry': the entry needs a name of letters, digits and '_' that no pure "
                 "function has\n");
        return false;
    }
    if (lua_type(L, valuesIndex) != LUA_TTABLE) {
        n_printf("nLuaServer2: 'dataentry': '%s' needs a table of the values it takes\n", name);
        return false;
    }
    const lua_Integer count = lua_Integer(lua_rawlen(L, valuesIndex));
    if (count > MaxEntryValues) {
        n_printf("nLuaServer2: 'dataentry': '%s' takes at most %d values\n", name, MaxEntryValues);
        return false;
    }
    // A copy: the declaration holds whatever the table held when it was made.
    const int top = lua_gettop(L);
    lua_createtable(L, int(count), 0);
    for (lua_Integer i = 1; i <= count; i++) {
        const int kind = lua_rawgeti(L, valuesIndex, i);
        bool ok = false;
        if (kind == LUA_TSTRING) {
            for (const char* t : EntryTypes) ok = ok || std::strcmp(lua_tostring(L, -1), t) == 0;
        } else if (kind == LUA_TTABLE) {
            const lua_Integer allowed = lua_Integer(lua_rawlen(L, -1));
            ok = allowed > 0 && allowed <= 256;
            lua_createtable(L, int(allowed), 0);
            for (lua_Integer j = 1; ok && j <= allowed; j++) {
                const int t = lua_rawgeti(L, -2, j);
                ok = t == LUA_TSTRING || t == LUA_TNUMBER || t == LUA_TBOOLEAN;
                lua_rawseti(L, -2, j);
            }
            lua_remove(L, -2);
        }
        if (!ok) {
            n_printf("nLuaServer2: 'dataentry': value %d of '%s' is neither a type name (string, number, "
                     "boolean) nor a list of up to 256 values\n",
                     int(i), name);
            lua_settop(L, top);
            return false;
        }
        lua_rawseti(L, -2, i);
    }
    size_t index = 0;
    while (index < entries_.size() && entries_[index].name != name) index++;
    if (index == entries_.size()) {
        if (entries_.size() >= MaxDataEntries) {
            n_printf("nLuaServer2: 'dataentry': '%s' refused: %zu entries are declared already\n", name,
                     entries_.size());
            lua_settop(L, top);
            return false;
        }
        entries_.push_back({name, LUA_NOREF, 0, false});
    }
    entries_[index].answersInput = when != nullptr;
    luaL_unref(L, LUA_REGISTRYINDEX, entries_[index].valuesRef);
    entries_[index].valuesRef = luaL_ref(L, LUA_REGISTRYINDEX);
    lua_rawgeti(L, LUA_REGISTRYINDEX, data_.EntriesRef());
    lua_pushlightuserdata(L, this);
    lua_pushinteger(L, lua_Integer(index));
    lua_pushcclosure(L, EntryCall, 2);
    lua_setfield(L, -2, name);
    lua_settop(L, top);
    return true;
}

int nLuaServer2::EntryCall(lua_State* L) {
    nLuaServer2* self = UpServer(L);
    // A call costs what a command call does; nothing here is held while this may raise.
    ChargeCommand(L, 1, lua_gettop(L));
    const size_t index = size_t(lua_tointeger(L, lua_upvalueindex(2)));
    if (index >= self->entries_.size()) return 0;
    const int count = lua_gettop(L);
    // The name on the stack: a declaration made while the entry runs may move the list.
    lua_pushstring(L, self->entries_[index].name.c_str());
    const char* name = lua_tostring(L, -1);
    lua_rawgeti(L, LUA_REGISTRYINDEX, self->entries_[index].valuesRef);
    const int values = lua_gettop(L);
    const int wanted = int(lua_rawlen(L, values));
    if (count != wanted) {
        n_printf("refused to script text that data brought: '%s' takes %d value(s), got %d\n", name, wanted, count);
        lua_settop(L, 0);
        return 0;
    }
    for (int i = 1; i <= count; i++) {
        bool ok = false;
        if (lua_rawgeti(L, values, i) == LUA_TSTRING) {
            ok = std::strcmp(lua_tostring(L, -1), lua_typename(L, lua_type(L, i))) == 0;
        } else {
            const lua_Integer allowed = lua_Integer(lua_rawlen(L, -1));
            for (lua_Integer j = 1; !ok && j <= allowed; j++) {
                lua_rawgeti(L, -1, j);
                ok = lua_rawequal(L, -1, i);
                lua_pop(L, 1);
            }
        }
        lua_pop(L, 1);
        if (!ok) {
            char shown[80];
            nDataText::ShownKey(L, i, shown, sizeof(shown));
            n_printf("refused to script text that data brought: '%s' does not take '%s' as its value %d\n", name,
                     shown, i);
            lua_settop(L, 0);
            return 0;
        }
    }
    // Once a frame, as a person's click or key would (once frames began: before, as the
    // frame's share, runs keep only their own budgets).
    DataEntry& entry = self->entries_[index];
    if (self->data_.Framed() && entry.ranInFrame == self->data_.Frame() + 1) {
        n_printf("refused to script text that data brought: '%s' ran in this frame already\n", name);
        lua_settop(L, 0);
        return 0;
    }
    // An entry that answers the person's key or click runs only right after one, as the
    // click would: a movie cannot choose "Beenden" on its own at every start.
    if (self->data_.Framed() && entry.answersInput && FramesSincePersonInput() > InputAnswerFrames) {
        n_printf("refused to script text that data brought: '%s' answers the person's key or click, and none came\n",
                 name);
        lua_settop(L, 0);
        return 0;
    }
    entry.ranInFrame = self->data_.Frame() + 1;
    // The game's own function of that name, as a start script defined it.
    lua_pushglobaltable(L);
    lua_pushvalue(L, values - 1);
    if (lua_rawget(L, -2) != LUA_TFUNCTION) {
        n_printf("nLuaServer2: the declared entry '%s' has no function of the game's: nothing runs\n", name);
        lua_settop(L, 0);
        return 0;
    }
    for (int i = 1; i <= count; i++) lua_pushvalue(L, i);
    self->CallAsPerson(count, name);
    lua_settop(L, 0);
    return 0;
}

bool nLuaServer2::CallAsPerson(int count, const char* what) {
    // As RunChunk runs a start script inside a budgeted run: the budgets are the outer run's
    // again afterwards, without what this took.
    const int function = lua_gettop(L) - count;
    lua_pushcfunction(L, MessageHandler);
    lua_insert(L, function);
    int status = LUA_OK;
    {
        RunningGuard running(this);
        OriginScope origin(Origin::Person);
        DataTextScope textScope(false);
        TargetRun watched(L == stopState_);
        const OuterRun outer(*this);
        bounds_.Clear();
        trust_ = Trust::Full;
        SetHook(false);
        status = lua_pcall(L, count, 0, function);
        outer.Restore(*this, true);
    }
    if (status != LUA_OK) {
        const char* msg = lua_tostring(L, -1);
        std::string text = std::string(what) + ": " + (msg ? msg : "unknown error");
        lua_settop(L, function - 1);
        ReportError(text.c_str());
        return false;
    }
    lua_settop(L, function - 1);
    return true;
}

void nLuaServer2::PublishMemory() {
    // A script may have deleted the variables; they come back rather than
    // ending the program.
    if (!refKbyteCount.IsValid()) ownsKbyteCount = MakeVariable("/sys/var/lua_kbyte_count", refKbyteCount);
    if (!refGcThreshold.IsValid()) ownsGcThreshold = MakeVariable("/sys/var/lua_gc_threshold", refGcThreshold);
    int kb = lua_gc(L, LUA_GCCOUNT, 0);
    if (nRoot* env = refKbyteCount.GetUnsafe()) env->Call(nId("SETI"), nullptr, kb);
    if (nRoot* env = refGcThreshold.GetUnsafe()) env->Call(nId("SETI"), nullptr, gcThreshold);
    // The old collector ran as soon as use reached the threshold and then
    // doubled it; a step of the generational collector stands in for that.
    gcThreshold = GcThresholdKb;
    if (kb >= gcThreshold) {
        lua_gc(L, LUA_GCSTEP, 0);
        int after = lua_gc(L, LUA_GCCOUNT, 0);
        gcThreshold = 2 * after > GcThresholdKb ? 2 * after : GcThresholdKb;
    }
}

char* nLuaServer2::Prompt(char* buf, int size) {
    if (!buf || size <= 0) return buf;
    std::string text;
    nRoot* cwd = nKernelServer::ks->GetCwd();
    if (cwd) {
        text = cwd->GetFullName();
        if (text.size() > 20) text = "..." + text.substr(text.size() - 16);
    } else {
        text = "[void]";
    }
    text += ":>";
    std::snprintf(buf, size_t(size), "%s", text.c_str());
    return buf;
}

nFileServer2* nLuaServer2::GetFileServer() {
    nFileServer2* fs = nKernelServer::ks->GetFileServer<nFileServer2>();
    if (!fs) nKernelServer::FatalError("Aborting.");
    return fs;
}

std::string nLuaServer2::ManglePath(const char* path) {
    return GetFileServer()->ManglePath(path);
}

nRoot* nLuaServer2::LoadObject(const char* fileName) { return nKernelServer::ks->Load(fileName); }
