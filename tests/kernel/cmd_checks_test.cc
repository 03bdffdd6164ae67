// The command table checking itself: rows bound to member functions, the checks after
// every handler, Put for SaveCmds, and the warning for commands named like Lua globals.
#include <gtest/gtest.h>

#include <string>

#include "KernelTestClasses.h"
#include "kernel/nCmd.h"
#include "kernel/nCmdProto.h"
#include "kernel/nCmdVector.h"
#include "kernel/nKernelServer.h"
#include "tests/kernel/TestLog.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRoot.h"

namespace {

enum class Mode { Slow = 0, Fast = 2 };

class nTestBound : public nRoot {
public:
    static const nClassInfo classInfo;
    bool SaveCmds(nPersistServer* ps) override;

    void SetSpeed(float s) { speed = s; }
    float GetSpeed() const { return speed; }
    void SetMode(Mode m) { mode = m; }
    Mode GetMode() const { return mode; }
    void SetLabel(const char* text) { label = text ? text : "(null)"; }
    std::string GetLabel() const { return label; }
    bool Link(nTestNode* node, int weight) {
        linked = node;
        return weight > 0 && node;
    }

    float speed = 0.0f;
    Mode mode = Mode::Slow;
    std::string label;
    nTestNode* linked = nullptr;
    // What SaveCmds hands over: right, or with a value of another type or count.
    int saveFault = 0;
};

const nCmdDef<nTestBound> boundCmds[] = {
    Bind<&nTestBound::SetSpeed>("v_setspeed_f", "SSPD"),
    Bind<&nTestBound::GetSpeed>("f_getspeed_v", "GSPD"),
    Bind<&nTestBound::SetMode>("v_setmode_i", "SMOD"),
    Bind<&nTestBound::GetMode>("i_getmode_v", "GMOD"),
    Bind<&nTestBound::SetLabel>("v_setlabel_c", "SLBL"),  // a code text takes const char* too
    Bind<&nTestBound::GetLabel>("s_getlabel_v", "GLBL"),
    Bind<&nTestBound::Link>("b_link_oi", "LINK"),
    Bind<&nRoot::GetTreeSize>("i_treesize_v", "TRSZ"),  // a base class's function
    // Faulty handlers: each breaks one rule the checks enforce.
    {"f_wrongout_v", "WOUT", [](nTestBound*, nCmd* c) { c->Out()->SetI(1); }},
    {"v_wrongin_i", "WIN_", [](nTestBound* self, nCmd* c) { self->speed = c->In()->GetF(); }},
    {"i_noout_v", "NOUT", [](nTestBound*, nCmd*) {}},
    {"v_noin_ii", "NOIN", [](nTestBound* self, nCmd* c) { self->speed = float(c->In()->GetI()); }},
};
const nClassInfo nTestBound::classInfo = nClassInfo::Make<nTestBound>("ntestbound", "nroot", boundCmds);

bool nTestBound::SaveCmds(nPersistServer* ps) {
    if (!nRoot::SaveCmds(ps)) return false;
    switch (saveFault) {
        case 1: return ps->Put(this, nId("SSPD"), 3);              // an int for an 'f'
        case 2: return ps->Put(this, nId("SSPD"), speed, speed);   // one value too many
        case 3: return ps->Put(this, nId("NONE"), speed);          // no such command
        default:
            return ps->Put(this, nId("SSPD"), speed) && ps->Put(this, nId("SMOD"), mode) &&
                   ps->Put(this, nId("SLBL"), label.c_str()) && ps->Put(this, nId("LINK"), linked, 1);
    }
}

// Prototype texts against C++ signatures, at compile time.
static_assert(nCmdBindDetail::Matches("v_setspeed_f", 'v', "f"));
static_assert(nCmdBindDetail::Matches("f__getspeed__v", 'f', ""));
static_assert(nCmdBindDetail::Matches("b_link_oi", 'b', "oi"));
static_assert(nCmdBindDetail::Matches("s_name_c", 's', "s"));
static_assert(!nCmdBindDetail::Matches("v_setspeed_i", 'v', "f"));
static_assert(!nCmdBindDetail::Matches("v_setspeed_ff", 'v', "f"));
static_assert(!nCmdBindDetail::Matches("f_setspeed_f", 'v', "f"));
static_assert(!nCmdBindDetail::Matches("ff_get_v", 'f', ""));
static_assert(!nCmdBindDetail::Matches("v_setspeed", 'v', "f"));

void BoundPackage(nKernelServer* ks) {
    TestPackage(ks);
    ks->AddClass(nTestBound::classInfo);
}

class CmdCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        kernel = new nKernelServer(BoundPackage);
        kernel->SetLogHandler(&log);
        obj = static_cast<nTestBound*>(kernel->New("ntestbound", "/b"));
    }
    void TearDown() override { delete kernel; }
    nTestLog log;
    nKernelServer* kernel = nullptr;
    nTestBound* obj = nullptr;
};

TEST_F(CmdCheckTest, BoundRowsReadInputsInOrderAndWriteTheResult) {
    nArg out;
    ASSERT_TRUE(obj->Call(nId("SSPD"), nullptr, 2.5f));
    ASSERT_TRUE(obj->Call(nId("GSPD"), &out));
    EXPECT_FLOAT_EQ(out.GetF(), 2.5f);
    ASSERT_TRUE(obj->Call(nId("SMOD"), nullptr, 2));
    EXPECT_EQ(obj->mode, Mode::Fast);
    ASSERT_TRUE(obj->Call(nId("GMOD"), &out));
    EXPECT_EQ(out.GetI(), 2);
    ASSERT_TRUE(obj->Call(nId("SLBL"), nullptr, "tag"));
    ASSERT_TRUE(obj->Call(nId("GLBL"), &out));
    EXPECT_STREQ(out.GetS(), "tag");
    ASSERT_TRUE(obj->Call(nId("TRSZ"), &out));
    EXPECT_EQ(out.GetI(), obj->GetTreeSize());

    // A text result is lent by the call, but what a caller keeps is its own copy.
    nArg name;
    ASSERT_TRUE(obj->Call(nId("GNAM"), &name));
    ASSERT_TRUE(obj->Rename("a_name_longer_than_the_inline_buffer"));
    EXPECT_STREQ(name.GetS(), "b");
    ASSERT_TRUE(obj->Call(nId("GNAM"), &name));
    nArg kept = name;
    ASSERT_TRUE(obj->Rename("b"));
    EXPECT_STREQ(kept.GetS(), "a_name_longer_than_the_inline_buffer");
    kept.SetS(kept.GetS());
    EXPECT_STREQ(kept.GetS(), "a_name_longer_than_the_inline_buffer");

    // An object parameter of a subclass type receives objects of that class only.
    nRoot* node = kernel->New("ntestnode", "/n");
    ASSERT_TRUE(obj->Call(nId("LINK"), &out, node, 3));
    EXPECT_EQ(obj->linked, node);
    EXPECT_TRUE(out.GetB());
    nRoot* plain = kernel->New("nroot", "/p");
    ASSERT_TRUE(obj->Call(nId("LINK"), &out, plain, 3));
    EXPECT_EQ(obj->linked, nullptr);
    EXPECT_FALSE(out.GetB());
}

TEST_F(CmdCheckTest, PutFillsSaveCommandsAgainstTheirPrototype) {
    nRoot* node = kernel->New("ntestnode", "/n");
    obj->speed = 1.5f;
    obj->mode = Mode::Fast;
    obj->label = "x";
    obj->linked = static_cast<nTestNode*>(node);
    kernel->SetCwd(kernel->New("nroot", "/copies"));
    auto* copy = static_cast<nTestBound*>(obj->Clone("good"));
    ASSERT_NE(copy, nullptr) << log.text;
    EXPECT_FLOAT_EQ(copy->speed, 1.5f);
    EXPECT_EQ(copy->mode, Mode::Fast);
    EXPECT_EQ(copy->label, "x");
    EXPECT_EQ(copy->linked, node);

    // Values that do not fit: logged, the clone fails and leaves nothing.
    for (int fault : {1, 2, 3}) {
        SCOPED_TRACE(fault);
        obj->saveFault = fault;
        log.text.clear();
        EXPECT_EQ(obj->Clone("bad"), nullptr);
        EXPECT_EQ(kernel->Lookup("/copies/bad"), nullptr);
        EXPECT_NE(log.text.find(fault == 3 ? "no command with id" : "saves 'v_setspeed_f' with"), std::string::npos)
            << log.text;
    }
}

class nTestGlobalName : public nRoot {
public:
    static const nClassInfo classInfo;
};
const nCmdDef<nTestGlobalName> globalNameCmds[] = {
    {"v_print_v", "PRNT", [](nTestGlobalName*, nCmd*) {}},
    {"v_load_s", "LOAD", [](nTestGlobalName*, nCmd* c) { c->In(); }},  // "load" is no global in our interpreter
};
const nClassInfo nTestGlobalName::classInfo =
    nClassInfo::Make<nTestGlobalName>("ntestglobalname", "nroot", globalNameCmds);

TEST_F(CmdCheckTest, CommandsNamedLikeLuaGlobalsAreReported) {
    log.text.clear();
    kernel->AddClass(nTestGlobalName::classInfo);
    EXPECT_NE(log.text.find("'v_print_v' of class 'ntestglobalname' has the name of a Lua global"), std::string::npos);
    EXPECT_EQ(log.text.find("v_load_s"), std::string::npos);
}

// Commands of float inputs, which animations send through the float setter of their row.
class nTestFloats : public nRoot {
public:
    static const nClassInfo classInfo;
    void SetRange(float lo, double hi) { range = {lo, float(hi), range.z + 1.0f}; }
    void SetSpot(const vector3& v) { spot = v; }
    float Half(float f) const { return f * 0.5f; }
    void SetCount(int) {}
    vector3 range, spot;
};
const nCmdDef<nTestFloats> floatCmds[] = {
    Bind<&nTestFloats::SetRange>("v_setrange_ff", "SRNG"),
    BindVector3<&nTestFloats::SetSpot>("v_setspot_fff", "SSPT"),
    Bind<&nTestFloats::Half>("f_half_f", "HALF"),
    {"v_scale_f", "SCAL", [](nTestFloats* self, nCmd* c) { self->Half(c->In()->GetF()); }},
    // A setter handed in for a prototype that takes no floats: never installed.
    {"v_setint_i", nId("SINT"), [](nTestFloats* self, nCmd* c) { self->SetCount(c->In()->GetI()); },
     [](nRoot* obj, const float* in) { static_cast<nTestFloats*>(obj)->SetCount(int(in[0])); }},
};
const nClassInfo nTestFloats::classInfo = nClassInfo::Make<nTestFloats>("ntestfloats", "nroot", floatCmds);

TEST_F(CmdCheckTest, FloatRowsHaveASetterThatDoesWhatTheirCommandDoes) {
    kernel->AddClass(nTestFloats::classInfo);
    auto* byCmd = static_cast<nTestFloats*>(kernel->New("ntestfloats", "/f1"));
    auto* bySetter = static_cast<nTestFloats*>(kernel->New("ntestfloats", "/f2"));
    nClass* cls = kernel->FindClass("ntestfloats");
    const float in[4] = {1.5f, -2.0f, 3.25f, 9.0f};
    ASSERT_TRUE(byCmd->Call(nId("SRNG"), nullptr, 1.5f, -2.0f));
    ASSERT_TRUE(byCmd->Call(nId("SSPT"), nullptr, 1.5f, -2.0f, 3.25f));
    for (const char* name : {"setrange", "setspot"}) {
        nCmdProto::FloatSetter set = cls->FindCmdByName(name)->GetFloatSetter();
        ASSERT_NE(set, nullptr) << name;
        set(bySetter, in);
    }
    for (nTestFloats* f : {byCmd, bySetter}) {
        EXPECT_EQ(f->range, vector3(1.5f, -2.0f, 1.0f));  // called once, with its own inputs
        EXPECT_EQ(f->spot, vector3(1.5f, -2.0f, 3.25f));
    }
    // Rows with a result, inputs of another type or a handler of their own keep to the
    // command, even when a setter was handed in.
    for (const char* name : {"half", "scale", "setint", "getname"})
        EXPECT_EQ(cls->FindCmdByName(name)->GetFloatSetter(), nullptr) << name;
}

#ifdef N_CMD_CHECKS
// The checked build stops at the first handler that breaks its prototype, naming the
// class, the command and the slot.
TEST(CmdCheckDeathTest, HandlersThatBreakTheirPrototypeStop) {
    auto run = [](uint32_t id, auto... inputs) {
        nKernelServer k(BoundPackage);
        k.New("ntestbound", "/b")->Call(id, nullptr, inputs...);
    };
    EXPECT_EXIT(run(nId("WOUT")), ::testing::ExitedWithCode(3),
                "class 'ntestbound', command 'f_wrongout_v', output of another type than its letter, output 1");
    EXPECT_EXIT(run(nId("WIN_"), 1), ::testing::ExitedWithCode(3),
                "'f' read from a value of type 'i' \\(class 'ntestbound', command 'v_wrongin_i', input 1\\)");
    EXPECT_EXIT(run(nId("NOUT")), ::testing::ExitedWithCode(3),
                "command 'i_noout_v', handler did not write every output");
    EXPECT_EXIT(run(nId("NOIN"), 1, 2), ::testing::ExitedWithCode(3),
                "command 'v_noin_ii', handler did not read every input, read 1");
}
#endif

}  // namespace
