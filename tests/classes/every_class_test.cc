// Every class that the folders' package functions register: an instance is made, each
// of its own commands is called with the empty value of every input (the checked build
// stops at a handler that reads or writes another type than its prototype, or misses a
// slot), then the instance is saved, loaded back and cloned, and the three saved texts
// must agree. A SaveCmds that fills a command against its prototype fails here. Then each
// class's setters are called with edge values (the ends of the int range, infinities, NaN,
// the largest floats, empty, long and quoted texts, the object itself and its parent), and
// what it saves must load back and save the same again; each class that draws is then
// drawn on the OpenGL device after them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gfx/nGfxServer.h"
#include "kernel/nCmd.h"
#include "kernel/nCmdProto.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"
#include "kernel/nScriptServer.h"
#include "logic/nChatServer.h"
#include "logic/nLogicSprite.h"
#include "scene/nSceneGraph2.h"
#include "scene/nVisNode.h"
#include "tests/platform/SdlTestEnvironment.h"
#include "tests/scene/ShadowCubeN3d.h"

void AllPackages(nKernelServer* ks);

namespace {

namespace fs = std::filesystem;

// Commands not called with empty inputs. Keep it short; every entry says why.
struct SkipEntry {
    const char* className;
    const char* command;  // null: the whole class is not made
    const char* reason;
};
// An entry looks like {"nfooserver", "quit", "ends the process"}.
const std::vector<SkipEntry> kSkip = {
    {"nbaseobserver", "opendisplay", "opens the display through the graphics server, which this kernel lacks (fatal)"},
    {"nbaseobserver", "incloading", "draws a frame through the graphics server, which this kernel lacks (fatal)"},
    {"nlogiccsprite", "preload", "builds its tiles' textures through the graphics server, which this kernel lacks (fatal)"},
    // Only one camera is current: a clone loading "setcurrent" takes it from the original.
    {"nlogiccamera", "setcurrent", "makes the camera the one current camera, which a clone then takes over"},
    {"nlogicobservercamera", "setcurrent", "makes the camera the one current camera, which a clone then takes over"},
    {"nlogicpersoncamera", "setcurrent", "makes the camera the one current camera, which a clone then takes over"},
};

const SkipEntry* FindSkip(const char* className, const char* command) {
    for (const SkipEntry& s : kSkip) {
        if (std::strcmp(s.className, className) != 0) continue;
        if (!s.command || (command && std::strcmp(s.command, command) == 0)) return &s;
    }
    return nullptr;
}

class KeepLog : public nLogHandler {
public:
    void Print(const char* fmt, va_list args) override { Add(fmt, args); }
    void Message(const char* fmt, va_list args) override { Add(fmt, args); }
    void Error(const char* fmt, va_list args) override { Add(fmt, args); }
    std::string text;

private:
    void Add(const char* fmt, va_list args) {
        char buf[4096];
        std::vsnprintf(buf, sizeof(buf), fmt, args);
        text += buf;
        std::fputs(buf, stderr);  // a fatal stop explains itself
    }
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// One round of values for every input of every setter: edge values, and plain fractions
// that a conversion on the way (degrees to radians and back) must not change.
struct EdgeValues {
    int32_t i;
    float f;
    const char* s;
    bool b;
    int o;  // 0 null, 1 the object itself, 2 its parent
};

std::vector<EdgeValues> EdgeRounds() {
    static const std::string longText(10000, 'x');
    return {
        {INT32_MIN, -INFINITY, "", false, 0},
        {INT32_MAX, INFINITY, longText.c_str(), true, 1},
        {-1, NAN, "a \"b\"\n\\c'", true, 2},
        {65536, -FLT_MAX, ".", false, 1},
        {0, FLT_MAX, "..", true, 2},
        {1, -0.0f, "/", true, 0},
        {7, 33.37f, "abc", true, 0},
        {-3, -0.123456789f, "a b", false, 0},
    };
}

class EveryClassTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::path(testing::TempDir()) / ("bw_classes_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        // Commands that save by object name write into the current folder.
        oldCwd = fs::current_path();
        fs::current_path(dir);
        kernel = new nKernelServer(AllPackages);
        kernel->SetLogHandler(&log);
        const char* src = std::getenv("BW_SOURCE_DIR");
        ASSERT_NE(src, nullptr);
        kernel->GetFileServer<nFileServer2>()->SetAssign("bin", (std::string(src) + "/data/bin/win32/").c_str());
        ASSERT_NE(kernel->NewNoFail("nluaserver2", "/sys/servers/script"), nullptr);
        // Collision and physics logic nodes bind their collide contexts and make their body
        // as they are made, and cameras answer through the camera server: those must stand.
        ASSERT_NE(kernel->NewNoFail("ncollideserver2", "/sys/servers/collide2"), nullptr);
        ASSERT_NE(kernel->NewNoFail("nodephysikserver", "/sys/servers/physik"), nullptr);
        ASSERT_NE(kernel->NewNoFail("ncameraserver", "/sys/servers/camera"), nullptr);
        // Buttons make their "action" handler through the event server as they are made.
        ASSERT_NE(kernel->NewNoFail("nlogiceventserver", "/sys/servers/event"), nullptr);
    }
    void TearDown() override {
        delete kernel;
        fs::current_path(oldCwd);
        fs::remove_all(dir);
    }

    // Saves `obj` as dir/<file>.n; the text, or "<not saved>".
    std::string SaveText(nRoot* obj, const std::string& file) {
        std::string path = (dir / file).string();
        if (!obj->SaveAs(path.c_str())) return "<not saved>";
        return Slurp(path + ".n");
    }

    // Calls each command of `ref` (its own and those it inherits, base class first) whose
    // name starts with `prefix` and that has inputs, every input given the round's value;
    // servers keep their names.
    void CallSetters(nRef<nRoot>& ref, nRoot* home, const EdgeValues& v, const char* prefix, bool keepName = false) {
        if (!ref.IsValid()) return;
        const std::string name = ref->GetClass()->GetName();
        std::vector<nCmdProto*> setters;
        for (nClass* c = ref->GetClass(); c; c = c->GetSuperClass()) {
            std::vector<nCmdProto*> own;
            for (nCmdProto* proto = c->GetFirstCmd(); proto; proto = proto->GetNextCmd()) own.push_back(proto);
            setters.insert(setters.begin(), own.begin(), own.end());
        }
        for (nCmdProto* proto : setters) {
            if (!ref.IsValid()) break;
            const char* cmdName = proto->GetName();
            if (std::strncmp(cmdName, prefix, std::strlen(prefix)) != 0 || proto->GetNumInArgs() == 0) continue;
            if (FindSkip(name.c_str(), cmdName) || (keepName && std::strcmp(cmdName, "setname") == 0)) continue;
            nCmd* cmd = proto->NewCmd();
            for (int a = 0; a < proto->GetNumInArgs(); a++) {
                nArg* arg = cmd->In();
                switch (arg->GetType()) {
                    case nArg::Int: arg->SetI(v.i); break;
                    case nArg::Float: arg->SetF(v.f); break;
                    case nArg::String: arg->SetS(v.s); break;
                    case nArg::Code: arg->SetC(v.s); break;
                    case nArg::Bool: arg->SetB(v.b); break;
                    case nArg::Object: arg->SetO(v.o == 1 ? ref.Get() : v.o == 2 ? home : nullptr); break;
                    default: break;
                }
            }
            cmd->Rewind();
            ref->Dispatch(cmd);
            proto->RelCmd(cmd);
            kernel->SetCwd(home);
        }
    }

    // The servers the start-up makes, which setters given real values reach; a missing
    // one would be the fatal "Aborting.".
    void MakeServers() {
        const char* const servers[][2] = {
            {"nd3d8server", "/sys/servers/gfx"},          {"nlogic2dserver", "/sys/servers/gfx2d"},
            {"ndi8server", "/sys/servers/input"},         {"nscenegraph2", "/sys/servers/sgraph2"},
            {"nsbufshadowserver", "/sys/servers/shadow"}, {"nvariableserver", "/sys/servers/variable"},
            {"nchannelserver", "/sys/servers/channel"},   {"nmathserver", "/sys/servers/math"},
            {"nparticleserver", "/sys/servers/particle"}, {"ndsoundserver2", "/sys/servers/audio"},
            {"nanimserver", "/sys/servers/anim"},         {"ncharacterserver", "/sys/servers/character"},
            {"nspecialfxserver", "/sys/servers/specialfx"}, {"ncollideserver", "/sys/servers/collide"},
            {"nenvelopeserver", "/sys/servers/envelope"}, {"nlogicgraph", "/sys/servers/lgraph"},
            {"nchatserver", "/sys/servers/chat"},
        };
        for (const auto& row : servers) ASSERT_NE(kernel->NewNoFail(row[0], row[1]), nullptr) << row[0];
    }

    KeepLog log;
    nKernelServer* kernel = nullptr;
    fs::path dir;
    fs::path oldCwd;
};

TEST_F(EveryClassTest, EachClassRunsItsCommandsAndSavesLoadsAndClonesAlike) {
    std::vector<std::string> names;
    for (nClass* c = kernel->GetFirstClass(); c; c = c->GetSucc()) names.push_back(c->GetName());
    ASSERT_GT(names.size(), 10u);

    int made = 0;
    for (const std::string& name : names) {
        SCOPED_TRACE("class " + name);
        const SkipEntry* skipClass = FindSkip(name.c_str(), nullptr);
        if (skipClass && !skipClass->command) continue;
        nRoot* home = kernel->New("nroot", "/test");
        kernel->SetCwd(home);
        nRef<nRoot> ref(kernel->NewNoFail(name.c_str(), name.c_str()));
        if (!ref.IsValid()) continue;  // abstract
        made++;

        nClass* cls = ref->GetClass();
        for (nCmdProto* proto = cls->GetFirstCmd(); proto && ref.IsValid(); proto = proto->GetNextCmd()) {
            if (FindSkip(name.c_str(), proto->GetName())) continue;
            SCOPED_TRACE(proto->GetProtoText());
            // The empty value of every input: 0, 0.0, false, null text, null object.
            nCmd* cmd = proto->NewCmd();
            EXPECT_TRUE(ref->Dispatch(cmd));
            proto->RelCmd(cmd);
            kernel->SetCwd(home);
        }
        // A command may have deleted the instance; the save needs a fresh one then.
        if (!ref.IsValid()) ref = kernel->NewNoFail(name.c_str(), name.c_str());
        ASSERT_TRUE(ref.IsValid());
        nRoot* obj = ref.Get();

        std::string saved = SaveText(obj, "a_" + name);
        ASSERT_NE(saved, "<not saved>") << log.text;

        kernel->SetCwd(kernel->New("nroot", "/loaded"));
        nRoot* loaded = kernel->Load((dir / ("a_" + name + ".n")).string().c_str());
        ASSERT_NE(loaded, nullptr) << log.text;
        EXPECT_EQ(loaded->GetClass(), cls);
        EXPECT_EQ(SaveText(loaded, "b_" + name), saved) << "saved, loaded and saved again";

        kernel->SetCwd(kernel->New("nroot", "/clones"));
        nRoot* copy = obj->Clone(name.c_str());
        ASSERT_NE(copy, nullptr) << log.text;
        EXPECT_EQ(copy->GetClass(), cls);
        EXPECT_EQ(SaveText(copy, "c_" + name), saved) << "cloned and saved";

        kernel->SetCwd(nullptr);
        for (const char* path : {"/test", "/loaded", "/clones"}) {
            if (nRoot* o = kernel->Lookup(path)) o->Release();
        }
    }
    EXPECT_GT(made, 10);
}

TEST_F(EveryClassTest, SettersGivenEdgeValuesSaveWhatLoadsBackTheSame) {
    const std::vector<EdgeValues> rounds = EdgeRounds();
    MakeServers();
    // A second server shares the first one's folders under /sys/share and takes them when
    // it goes: the server classes and their relatives are left to the test above.
    auto serverKin = [&](nClass* c) {
        for (nRoot* s = kernel->Lookup("/sys/servers")->GetHead(); s; s = s->GetSucc()) {
            nClass* sc = s->GetClass();
            if (c->IsA(sc) || (sc->IsA(c) && c->GetSuperClass())) return true;
        }
        return false;
    };
    std::vector<std::string> names;
    for (nClass* c = kernel->GetFirstClass(); c; c = c->GetSucc()) {
        if (!serverKin(c)) names.push_back(c->GetName());
    }

    for (const std::string& name : names) {
        const SkipEntry* skipClass = FindSkip(name.c_str(), nullptr);
        if (skipClass && !skipClass->command) continue;
        for (size_t r = 0; r < rounds.size(); r++) {
            SCOPED_TRACE("class " + name + ", round " + std::to_string(r));
            const EdgeValues& v = rounds[r];
            nRoot* home = kernel->New("nroot", "/test");
            kernel->SetCwd(home);
            nRef<nRoot> ref(kernel->NewNoFail(name.c_str(), name.c_str()));
            if (!ref.IsValid()) {
                home->Release();
                break;  // abstract
            }
            CallSetters(ref, home, v, "set");
            if (ref.IsValid()) {
                std::string saved = SaveText(ref.Get(), "a_" + name);
                ASSERT_NE(saved, "<not saved>") << log.text;
                kernel->SetCwd(kernel->New("nroot", "/loaded"));
                nRoot* loaded = kernel->Load((dir / ("a_" + name + ".n")).string().c_str());
                ASSERT_NE(loaded, nullptr) << log.text;
                EXPECT_EQ(SaveText(loaded, "b_" + name), saved) << "saved, loaded and saved again";
            }
            kernel->SetCwd(nullptr);
            for (const char* path : {"/test", "/loaded"}) {
                if (nRoot* o = kernel->Lookup(path)) o->Release();
            }
        }
    }
}

// Every class that draws (the scene's visuals, the 2D sprites, buttons, picture sprites
// and Flash nodes) and the servers' colours (chat, stencil shadow) given each round of
// edge values, then drawn for two frames on the OpenGL device: a colour, size or position
// turned into an integer without a clamp stops the sanitizer build here. The visuals
// stand on a lit stage with a shadow-casting cube; lens flares are given flares first.
TEST_F(EveryClassTest, VisualClassesDrawFramesOnTheDeviceAfterEdgeValues) {
    bwtest::LoadSdlVideo();
    MakeServers();
    ASSERT_FALSE(HasFatalFailure());
    auto* gfx = static_cast<nGfxServer*>(kernel->Lookup("/sys/servers/gfx"));
    ASSERT_TRUE(gfx->SetDisplayMode("w(64)-h(64)-zbuf(16)"));
    ASSERT_TRUE(gfx->OpenDisplay());
    auto* sg = static_cast<nSceneGraph2*>(kernel->Lookup("/sys/servers/sgraph2"));
    auto* script = static_cast<nScriptServer*>(kernel->Lookup("/sys/servers/script"));
    const std::string cube = (dir / "cube.n3d").string();
    {
        std::ofstream out(cube, std::ios::binary);
        out << ShadowCubeN3d();
    }
    nClass* visual = kernel->FindClass("nvisnode");
    nClass* sprite = kernel->FindClass("nlogicsprite");
    ASSERT_NE(visual, nullptr);
    ASSERT_NE(sprite, nullptr);
    std::vector<std::string> names;
    for (nClass* c = kernel->GetFirstClass(); c; c = c->GetSucc()) {
        if ((c->IsA(visual) || c->IsA(sprite)) && !FindSkip(c->GetName(), nullptr)) names.push_back(c->GetName());
    }
    ASSERT_GT(names.size(), 20u);
    nRef<nRoot> chat(kernel->Lookup("/sys/servers/chat"));
    nRef<nRoot> shadow(kernel->Lookup("/sys/servers/shadow"));

    auto frames = [&](nRoot* stage, nRoot* drawn2d) {
        for (int i = 0; i < 2; i++) {
            ASSERT_TRUE(gfx->BeginScene());
            sg->BeginScene(matrix44());
            sg->SetRenderContext(0);
            static_cast<nVisNode*>(stage)->Attach(sg);
            sg->EndScene(true);
            if (drawn2d) static_cast<nLogicSprite*>(drawn2d)->Render();
            static_cast<nChatServer*>(chat.Get())->Render();
            gfx->EndScene();
        }
    };
    const std::vector<EdgeValues> rounds = EdgeRounds();
    int drawn = 0;
    for (const std::string& name : names) {
        for (size_t r = 0; r < rounds.size(); r++) {
            SCOPED_TRACE("class " + name + ", round " + std::to_string(r));
            const EdgeValues& v = rounds[r];
            const char* result = nullptr;
            ASSERT_TRUE(script->Run(("new('n3dnode', '/test'); sel('/test'); new('n3dnode', 'sun'); sel('sun'); "
                                     "ry(-45); new('nlightnode', 'l'); sel('l'); settype('directional'); "
                                     "setcastshadows(true); sel('/test'); new('n3dnode', 'cube'); sel('cube'); "
                                     "txyz(-0.3, 0, -0.4); new('nmeshnode', 'mesh'); sel('mesh'); "
                                     "setcastshadow(true); setfilename('" + cube + "'); sel('/')").c_str(), result))
                << log.text;
            nRoot* home = kernel->Lookup("/test");
            kernel->SetCwd(home);
            nRef<nRoot> ref(kernel->NewNoFail(name.c_str(), name.c_str()));
            if (!ref.IsValid()) {
                home->Release();
                break;  // abstract
            }
            if (name == "nlenseflare") {
                ASSERT_TRUE(script->Run(("sel('/test/" + name + "'); beginflares(2); endflares(); sel('/')").c_str(),
                                        result));
            }
            CallSetters(ref, home, v, "set");
            CallSetters(chat, home, v, "set", true);
            CallSetters(chat, home, v, "add", true);
            CallSetters(shadow, home, v, "set", true);
            ASSERT_TRUE(script->Run("sel('/sys/servers/chat'); open(); setinput(true); "
                                    "sel('/sys/servers/shadow'); setcastshadows(true); sel('/')", result));
            kernel->SetCwd(nullptr);
            frames(home, ref.IsValid() && ref->IsA("nlogicsprite") ? ref.Get() : nullptr);
            ASSERT_FALSE(HasFatalFailure());
            drawn++;
            if (nRoot* o = kernel->Lookup("/test")) o->Release();
        }
    }
    EXPECT_GT(drawn, 100);
}

}  // namespace
