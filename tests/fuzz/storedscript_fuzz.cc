// Feeds any bytes as a save game, then lets what it left behind run as the game would: the
// loaded stores join "/usr/persist", their texts run as a diver's stored action does, the
// logic tree's frames fire their timers and events, and the mixers, readers and
// interpolators it holds are computed as a frame draws them. A call that data set up
// there runs as data's, whoever makes it: a probe class aborts when its commands run with
// the person's origin, which no code of this run gives them. Data's text must never write a
// file (the only file is the input in the temporary "save:"), change an assign or the
// current folder, reach a name closed to it, or take objects outside the trees it may use;
// nor change the engine (the clock, the servers), make a server, keep more objects or bytes
// than data may keep, or take more than its ceiling of a frame's time. Data's text reaches
// only Lua's pure functions, print and the declared entries: anything the engine is asked for
// while it runs outside an entry's own run ends the pass, and an entry runs at most once a
// frame, only with the values it takes.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "anim/nAnimPackage.h"
#include "kernel/nCmd.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nClass.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "kernel/nObjectCount.h"
#include "kernel/nTimeServer.h"
#include "logic/nLogicEventServer.h"
#include "logic/nLogicNode.h"
#include "logic/nLogicPackage.h"
#include "logic/nPersist.h"
#include "scene/nChannelServer.h"
#include "scene/nScenePackage.h"
#include "scene/nVisNode.h"
#include "script/nLuaServer2.h"
#include "script/nScriptPackage.h"
#include "script/nScriptlet.h"

namespace {
namespace fs = std::filesystem;

class nSilentLog : public nLogHandler {};

// A name closed to data's text, in the person's globals (none of which data's text sees):
// reaching it ends the run.
int Trap(lua_State*) { std::abort(); }

// A visual node that only data's text drives here: a value setter, a getter and a command
// without a value, each ending the run when it runs with the person's origin.
class nFuzzProbe : public nVisNode {
public:
    static const nClassInfo classInfo;
};
void AsDataOnly(nFuzzProbe*, nCmd* c) {
    if (!nScriptServer::DataRunning()) std::abort();
    for (int i = 0; i < c->GetProto()->GetNumInArgs(); i++) (void)c->In()->GetF();
    for (int i = 0; i < c->GetProto()->GetNumOutArgs(); i++) c->Out()->SetF(0.0f);
}
const nCmdDef<nFuzzProbe> probeCmds[] = {
    {"v_probe_f", "PRB1", AsDataOnly},
    {"v_probe3_fff", "PRB3", AsDataOnly},
    {"fff_getprobe_v", "GPRB", AsDataOnly},
    {"v_poke_v", "POKE", AsDataOnly},
};
const nClassInfo nFuzzProbe::classInfo = nClassInfo::Make<nFuzzProbe>("nfuzzprobe", "nvisnode", probeCmds);

// Computes every mixer, reader and interpolator below `o` as a drawn frame does (without a
// scene graph: their weights and channels read zero).
void Draw(nRoot* o) {
    for (const char* cls : {"nmixer", "nhypermixer2", "nchnreader", "nipol", "ncurvearraynode"}) {
        if (o->IsA(cls)) {
            static_cast<nVisNode*>(o)->Compute(nullptr);
            break;
        }
    }
    nRef<nRoot> alive(o);
    for (nRoot* c = o->GetHead(); c && alive.IsValid();) {
        nRef<nRoot> next(c->GetSucc());
        Draw(c);
        c = next.GetUnsafe();
    }
}

int Count(nRoot* o) {
    int n = 1;
    for (nRoot* c = o->GetHead(); c; c = c->GetSucc()) n += Count(c);
    return n;
}

// A server made outside "/sys" (data makes none).
bool MadeServer(nRoot* o) {
    if (o->GetClass()->IsServerKind()) return true;
    for (nRoot* c = o->GetHead(); c; c = c->GetSucc()) {
        if (MadeServer(c)) return true;
    }
    return false;
}

// Runs every store text and scriptlet below `o` as the game runs stored texts.
void RunStored(nScriptServer* script, nRoot* o) {
    const char* result = nullptr;
    if (o->IsA("npersist")) {
        for (nPersistVar* v = static_cast<nPersist*>(o)->GetFirstVar(); v; v = v->GetSucc()) {
            if (v->Get().GetType() == nVariable::String) script->RunStored(v->Get().GetS(), v->origin, result);
        }
    }
    if (o->IsA("nscriptlet")) static_cast<nScriptlet*>(o)->RunScriptlet();
    nRef<nRoot> alive(o);
    for (nRoot* c = o->GetHead(); c && alive.IsValid();) {
        nRef<nRoot> next(c->GetSucc());
        RunStored(script, c);
        c = next.GetUnsafe();
    }
}

// What data's text made where a test world keeps its fixed objects goes after each input.
void Prune(nKernelServer* ks, const std::map<std::string, std::set<std::string>>& kept) {
    for (const auto& [path, names] : kept) {
        nRoot* dir = ks->Lookup(path.c_str());
        for (nRoot* c = dir ? dir->GetHead() : nullptr; c;) {
            nRoot* next = c->GetSucc();
            if (!names.count(c->GetName() ? c->GetName() : "")) c->Release();
            c = next;
        }
    }
}

struct World {
    std::map<std::string, std::set<std::string>> kept;
    nKernelServer* ks = nullptr;
    nLuaServer2* script = nullptr;
    nChannelServer* channels = nullptr;
    nLogicEventServer* events = nullptr;
    int frameTime = -1;
    fs::path top;
    std::string home, save, cwd;
};

World& Make() {
    static World w;
    w.top = fs::path("/tmp") / ("bw_storedscript_fuzz_" + std::to_string(getpid()));
    fs::create_directories(w.top / "save");
    w.ks = new nKernelServer([](nKernelServer* s) {
        nKernelPackage(s);
        nScriptPackage(s);
        nScenePackage(s);
        nAnimPackage(s);
        nLogicPackage(s);
        s->AddClass(nFuzzProbe::classInfo);
    });
    // A bound a short input can pass: what data keeps on any object must stay below it.
    nObjectCount::SetLiveBytesBound(16 << 20);
    static nSilentLog silent;
    w.ks->SetLogHandler(&silent);
    auto* files = w.ks->GetFileServer<nFileServer2>();
    // The source folder by its full path: __FILE__ is relative to the build folder, which
    // is not where the pass runs, and the start-up script that binds objects lives there.
    const std::string src = BW_SOURCE_DIR;
    files->SetAssign("bin", (src + "/data/bin/win32/").c_str());
    files->SetAssign("home", (w.top.string() + "/").c_str());
    files->SetAssign("save", (w.top.string() + "/save/").c_str());
    w.home = files->GetAssign("home");
    w.save = files->GetAssign("save");
    w.cwd = files->GetCwd();
    w.script = static_cast<nLuaServer2*>(w.ks->New("nluaserver2", "/sys/servers/script"));
    w.channels = static_cast<nChannelServer*>(w.ks->New("nchannelserver", "/sys/servers/channel"));
    w.events = static_cast<nLogicEventServer*>(w.ks->New("nlogiceventserver", "/sys/servers/event"));
    w.frameTime = w.channels->GenChannel("frametime");
    w.ks->New("nlogicnode", "/usr/logic");
    w.ks->New("nroot", "/usr/persist");
    for (const char* path : {"/", "/sys", "/sys/servers", "/sys/share", "/usr"}) {
        for (nRoot* c = w.ks->Lookup(path)->GetHead(); c; c = c->GetSucc()) w.kept[path].insert(c->GetName());
    }
    // The game's declared entry: the person's function counts its runs and reaches the
    // engine as the person (which is no breach), refusing any value but those declared.
    const char* result = nullptr;
    if (!w.script->Run("fuzz_entry_runs = 0 local getobj = obj function fuzzentry(v) "
                       "if v ~= 'a' and v ~= 'b' then fuzz_entry_bad = true return end "
                       "fuzz_entry_runs = fuzz_entry_runs + 1 getobj('/usr/logic').getname() end "
                       "dataentry('fuzzentry', {{'a', 'b'}})",
                       result)) {
        std::abort();
    }
    lua_State* L = w.script->GetState();
    for (const char* name : {"io", "os", "require", "package", "debug", "loadfile", "load", "get", "cd", "ls",
                             "pwd", "getfilename", "getmetatable", "setmetatable", "rawget", "rawset", "rawequal",
                             "rawlen", "collectgarbage", "settagmethod", "gettagmethod", "newtag", "settag",
                             // The game's own globals: data's text has its own print and reaches no
                             // object.
                             "obj", "sel", "new", "delete", "move", "up", "exists", "exit", "execbuf", "dofile",
                             "print", "dataentry", "mangle", "greset", "format"}) {
        lua_pushcfunction(L, Trap);
        lua_setglobal(L, name);
    }
    return w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World& w = Make();
    nKernelServer* ks = w.ks;
    const fs::path input = w.top / "save" / "fuzz.n";
    if (FILE* f = std::fopen(input.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    nRoot* persist = ks->Lookup("/usr/persist");
    const int outside = Count(ks->GetRoot()) - Count(persist);
    const uint64_t breaches = nScriptServer::DataTextBreaches();
    lua_State* L = w.script->GetState();
    auto entryRuns = [&] {
        lua_getglobal(L, "fuzz_entry_runs");
        const lua_Integer runs = lua_tointeger(L, -1);
        lua_pop(L, 1);
        return runs;
    };
    const lua_Integer runsBefore = entryRuns();
    // As a quick load does: into a scratch object, then into the persist tree.
    nRoot* scratch = ks->NewUnnamed("nroot");
    const char* result = nullptr;
    if (w.script->RunDataFile("save:fuzz.n", scratch, result)) {
        while (nRoot* child = scratch->GetHead()) {
            child->Remove();
            persist->AddTail(child);
        }
    }
    scratch->Release();
    for (int frame = 0; frame < 3; frame++) {
        RunStored(w.script, persist);
        Draw(persist);
        w.channels->SetChannel1f(w.frameTime, 0.5f);
        w.events->Trigger();
        if (nRoot* logic = ks->Lookup("/usr/logic")) static_cast<nLogicNode*>(logic)->Trigger(nullptr);
        // Whatever the input left, data's text keeps to its share of the frame.
        if (w.script->FrameSpent() > nLuaServer2::FrameCeiling) std::abort();
        w.script->Trigger();
    }
    // Nothing beyond the declared interface was reached; the entry ran once a frame at most
    // (three frames, and what ran before the first), only with its values.
    if (nScriptServer::DataTextBreaches() != breaches || nScriptServer::DataTextRunning()) std::abort();
    if (entryRuns() > runsBefore + 4) std::abort();
    lua_getglobal(L, "fuzz_entry_bad");
    if (lua_toboolean(L, -1)) std::abort();
    lua_pop(L, 1);
    // Nothing written, nothing moved, nothing outside the persist tree gone or added
    // (data's text may make objects, but only the persist tree keeps what it takes in).
    for (const auto& e : fs::recursive_directory_iterator(w.top)) {
        if (e.path() != input && e.path() != w.top / "save") std::abort();
    }
    auto* files = ks->GetFileServer<nFileServer2>();
    if (files->GetBytesWritten() != 0 || w.home != files->GetAssign("home") || w.save != files->GetAssign("save") ||
        w.cwd != files->GetCwd() || ks->Lookup("/sys/servers/script") != w.script) {
        std::abort();
    }
    if (Count(ks->GetRoot()) - Count(ks->Lookup("/usr/persist")) < outside) std::abort();
    // The engine is the person's: its clock runs as it did, no server was added or made.
    nTimeServer* time = ks->GetTimeServer();
    if (time->GetTimeScale() != 1.0f || time->GetWaitDeltaT() != 0.0 || time->GetLockDeltaT() != 0.0) std::abort();
    std::set<std::string> servers;
    for (nRoot* c = ks->Lookup("/sys/servers")->GetHead(); c; c = c->GetSucc()) servers.insert(c->GetName());
    if (servers != w.kept["/sys/servers"] || ks->Lookup("/sys")->GetHead() == nullptr) std::abort();
    if (MadeServer(ks->Lookup("/usr"))) std::abort();
    if (nObjectCount::DataLive() > nLuaRunBounds::LiveObjects) std::abort();
    // Nor keep more bytes than it may, on objects of its own or of the game's.
    if (nObjectCount::DataLiveBytes() > nObjectCount::LiveBytesBound()) std::abort();
    while (nRoot* child = ks->Lookup("/usr/persist")->GetHead()) child->Release();
    if (nRoot* logic = ks->Lookup("/usr/logic")) {
        while (nRoot* child = logic->GetHead()) child->Release();
    }
    Prune(ks, w.kept);
    ks->SetCwd(nullptr);
    return 0;
}
