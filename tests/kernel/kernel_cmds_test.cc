#include <gtest/gtest.h>

#include <string>

#include "KernelTestClasses.h"
#include "kernel/nCmd.h"
#include "kernel/nCmdProto.h"
#include "kernel/nKernelServer.h"
#include "kernel/nRoot.h"

namespace {

// Runs a command by name the way the script server does; returns the proto's outputs.
struct NameCall {
    bool ok = false;
    nArg out[nCmd::MaxArgs];
};

template <class Fill>
NameCall CallByName(nRoot* obj, const char* name, Fill fill) {
    NameCall r;
    nCmdProto* proto = obj->GetClass()->FindCmdByName(name);
    if (!proto) return r;
    nCmd* cmd = proto->NewCmd();
    fill(cmd);
    r.ok = obj->Dispatch(cmd);
    for (int i = 0; i < proto->GetNumOutArgs(); i++) r.out[i] = *cmd->Out();
    proto->RelCmd(cmd);
    return r;
}

NameCall CallByName(nRoot* obj, const char* name) {
    return CallByName(obj, name, [](nCmd*) {});
}

class CommandTest : public KernelTest {};

TEST(nIdTest, FirstCharacterInTheMostSignificantByte) {
    static_assert(nId("SNAM") == 0x534E414D);
    EXPECT_EQ(nId("ISA_"), 0x4953415Fu);
}

TEST(nCmdProtoTest, ParsesPrototypeTexts) {
    nCmdProto rel("s_getrelpath_o", nId("GRPH"), [](nRoot*, nCmd*) {});
    EXPECT_EQ(rel.GetNumOutArgs(), 1);
    EXPECT_EQ(rel.GetNumInArgs(), 1);
    nCmd* cmd = rel.NewCmd();
    EXPECT_EQ(cmd->GetArg(0)->GetType(), nArg::String);
    EXPECT_EQ(cmd->GetArg(1)->GetType(), nArg::Object);
    EXPECT_EQ(cmd->In(), cmd->GetArg(1));  // inputs follow the outputs
    rel.RelCmd(cmd);

    nCmdProto many("fff__gett__v", nId("GETT"), [](nRoot*, nCmd*) {});  // runs of '_' are one
    EXPECT_TRUE(many.IsValid());
    EXPECT_STREQ(many.GetName(), "gett");
    EXPECT_EQ(many.GetNumOutArgs(), 3);

    EXPECT_FALSE(nCmdProto("v_nothing", 1, nullptr).IsValid());
    EXPECT_FALSE(nCmdProto("v_bad_x", 1, nullptr).IsValid());
    EXPECT_FALSE(nCmdProto("v_toomany_iiiiiiiiiiiiiiiii", 1, nullptr).IsValid());
}

TEST(nArgTest, TextsAreOwnedCopies) {
    char text[] = "hello";
    nArg a;
    a.SetS(text);
    text[0] = 'j';
    EXPECT_STREQ(a.GetS(), "hello");
    nArg b = a;
    a.SetS(a.GetS());  // its own text
    EXPECT_STREQ(a.GetS(), "hello");
    a.SetI(3);
    EXPECT_EQ(a.GetType(), nArg::Int);  // the text is gone with its type
    EXPECT_EQ(a.GetI(), 3);
    EXPECT_STREQ(b.GetS(), "hello");
    b.SetS(nullptr);
    EXPECT_EQ(b.GetType(), nArg::String);
    EXPECT_EQ(b.GetS(), nullptr);
}

// A float set over a text frees the text (the leak check sees it otherwise); floats set
// over floats keep their type.
TEST(nArgTest, FloatsOverTextsAndFloats) {
    nArg a;
    a.SetS(std::string(60, 'x').c_str());
    a.SetF(1.5f);
    EXPECT_EQ(a.GetType(), nArg::Float);
    EXPECT_EQ(a.GetF(), 1.5f);
    a.SetF(-2.0f);
    EXPECT_EQ(a.GetF(), -2.0f);
    a.SetC("back to text");
    EXPECT_STREQ(a.GetC(), "back to text");
    a.SetF(0.25f);
    EXPECT_EQ(a.GetType(), nArg::Float);
    EXPECT_EQ(a.GetF(), 0.25f);
}

// Long texts are written over the old one when they fit: shrinking, growing past the
// room, own texts, copies and the switch to the other text type must all stay exact.
TEST(nArgTest, LongTextsWrittenOverEachOtherStayExact) {
    const std::string longer(60, 'x'), shorter = "a text of more than twenty-four bytes";
    nArg a;
    a.SetS(longer.c_str());
    const char* room = a.GetS();
    a.SetS(shorter.c_str());
    EXPECT_EQ(a.GetS(), room);
    EXPECT_EQ(std::string(a.GetS()), shorter);
    a.SetS(longer.c_str());
    EXPECT_EQ(std::string(a.GetS()), longer);
    a.SetS(a.GetS() + 10);  // the tail of its own text
    EXPECT_EQ(std::string(a.GetS()), longer.substr(10));
    const std::string grown(200, 'y');
    a.SetS(grown.c_str());
    EXPECT_EQ(std::string(a.GetS()), grown);
    nArg b;
    b.SetC(shorter.c_str());
    b = a;
    EXPECT_EQ(b.GetType(), nArg::String);
    EXPECT_NE(b.GetS(), a.GetS());
    EXPECT_EQ(std::string(b.GetS()), grown);
    a.SetC("short");
    EXPECT_EQ(a.GetType(), nArg::Code);
    EXPECT_STREQ(a.GetC(), "short");
    a.SetS(nullptr);
    EXPECT_EQ(a.GetS(), nullptr);
}

TEST_F(CommandTest, LookupsWalkUpTheClassChain) {
    nClass* leaf = kernel->FindClass("ntestleaf");
    nClass* plain = kernel->FindClass("ntestplain");
    // Own command, superclass command and nroot command by name.
    EXPECT_EQ(leaf->FindCmdByName("getall")->GetId(), nId("GALL"));
    EXPECT_EQ(leaf->FindCmdByName("getname")->GetId(), nId("GNAM"));
    EXPECT_EQ(leaf->FindCmdByName("nothing"), nullptr);
    // A class without commands uses its nearest superclass's id table.
    EXPECT_EQ(plain->GetFirstCmd(), nullptr);
    EXPECT_STREQ(plain->FindCmdById(nId("SALL"))->GetName(), "setall");
    EXPECT_STREQ(leaf->FindCmdById(nId("GTSZ"))->GetName(), "gettreesize");
    EXPECT_EQ(leaf->FindCmdById(nId("NONE")), nullptr);
    EXPECT_EQ(kernel->FindClass("nroot")->FindCmdById(nId("GDBL")), nullptr);
}

TEST_F(CommandTest, RootCommandsByName) {
    nRoot* a = kernel->New("ntestnode", "/usr/a");
    nRoot* b = kernel->New("nroot", "/usr/b");
    nRoot* c = kernel->New("ntestleaf", "/usr/b/c");

    auto str = [](nRoot* o, const char* cmd) { return std::string(CallByName(o, cmd).out[0].GetS()); };
    auto withS = [](nRoot* o, const char* cmd, const char* s) {
        return CallByName(o, cmd, [s](nCmd* k) { k->In()->SetS(s); });
    };

    EXPECT_EQ(str(c, "getclass"), "ntestleaf");
    EXPECT_TRUE(withS(c, "isa", "ntestnode").out[0].GetB());
    EXPECT_FALSE(withS(c, "isinstanceof", "ntestnode").out[0].GetB());
    EXPECT_EQ(withS(b, "find", "..").out[0].GetO(), a->GetParent());

    withS(c, "setname", "renamed");
    // Names a path cannot lead back to are refused.
    for (const char* bad : {"", ".", "..", "x/y"}) withS(c, "setname", bad);
    EXPECT_STREQ(c->GetName(), "renamed");
    NameCall rel = CallByName(a, "getrelpath", [c](nCmd* k) { k->In()->SetO(c); });
    EXPECT_STREQ(rel.out[0].GetS(), "../b/renamed");

    std::string cmds = str(c, "getcmds");
    EXPECT_EQ(cmds.rfind("i_getdouble_v ", 0), 0u);  // own commands first
    EXPECT_NE(cmds.find("v_setall_ifsob "), std::string::npos);
    EXPECT_NE(cmds.find("i_gettreesize_v "), std::string::npos);

    for (const char* name : {"/s/b", "/s/A", "/s/a"}) kernel->New("nroot", name);
    nRoot* s = kernel->Lookup("/s");
    CallByName(s, "sort");
    EXPECT_STREQ(s->GetHead()->GetName(), "A");
    EXPECT_STREQ(s->GetTail()->GetName(), "b");
}

TEST_F(CommandTest, CallByIdFromGameCode) {
    auto* node = static_cast<nTestNode*>(kernel->New("ntestnode", "/n"));
    nRoot* other = kernel->New("nroot", "/o");
    EXPECT_TRUE(node->Call(nId("SALL"), nullptr, 7, 2.5, "text", other, false));
    EXPECT_EQ(node->i, 7);
    EXPECT_FLOAT_EQ(node->f, 2.5f);
    EXPECT_EQ(node->o, other);
    // An int given for a float input is converted to the prototype's type.
    EXPECT_TRUE(node->Call(nId("SALL"), nullptr, 1, 3, nullptr, nullptr, true));
    EXPECT_EQ(node->i, -1);
    EXPECT_FLOAT_EQ(node->f, 3.0f);
    EXPECT_EQ(node->s, "");

    nArg outs[3];
    ASSERT_TRUE(node->Call(nId("GALL"), outs));
    EXPECT_FLOAT_EQ(outs[1].GetF(), 3.0f);

    // Unknown ids and wrong argument counts do nothing.
    EXPECT_FALSE(node->Call(nId("NONE"), nullptr));
    EXPECT_FALSE(node->Call(nId("SALL"), nullptr, 1));
    EXPECT_EQ(node->i, -1);
}

TEST_F(CommandTest, NestedCallsOfOneCommandGetPrivateCopies) {
    nRoot* node = kernel->New("ntestnode", "/n");
    nArg out;
    ASSERT_TRUE(node->Call(nId("NEST"), &out, 4));
    EXPECT_EQ(out.GetI(), 4 + 3 + 2 + 1);
    EXPECT_FALSE(node->GetClass()->FindCmdById(nId("NEST"))->IsTemplateBusy());
}

TEST_F(CommandTest, WrongInputTypesOrCountsNeverReachTheHandler) {
    auto* node = static_cast<nTestNode*>(kernel->New("ntestnode", "/n"));
    node->i = 42;
    nCmdProto* proto = node->GetClass()->FindCmdByName("setall");

    nCmd* cmd = proto->NewCmd();
    cmd->In()->SetS("not an int");  // slot 0 wants an int
    EXPECT_FALSE(cmd->CheckInputs());
    EXPECT_FALSE(node->Dispatch(cmd));
    proto->RelCmd(cmd);
    EXPECT_EQ(node->i, 42);

    cmd = proto->NewCmd();
    for (int k = 0; k < 6; k++) cmd->In()->SetI(1);  // one input too many
    EXPECT_FALSE(node->Dispatch(cmd));
    proto->RelCmd(cmd);
    EXPECT_EQ(node->i, 42);

    // A command of a class the object does not belong to is refused.
    nRoot* plain = kernel->New("nroot", "/plain");
    nCmdProto* foreign = kernel->FindClass("ntestleaf")->FindCmdByName("getdouble");
    cmd = foreign->NewCmd();
    EXPECT_FALSE(plain->Dispatch(cmd));
    foreign->RelCmd(cmd);
}

// Two classes whose ids collide: the subclass reuses its superclass's id.
class nTestClash : public nRoot {
public:
    static const nClassInfo classInfo;
};
const nCmdDef<nTestClash> clashCmds[] = {
    {"v_mine_v", "GNAM", [](nTestClash*, nCmd*) {}},
};
const nClassInfo nTestClash::classInfo = nClassInfo::Make<nTestClash>("ntestclash", "nroot", clashCmds);

// A prototype with a letter that names no argument type.
class nTestBadProto : public nRoot {
public:
    static const nClassInfo classInfo;
};
const nCmdDef<nTestBadProto> badProtoCmds[] = {
    {"v_broken_x", "BRKN", [](nTestBadProto*, nCmd*) {}},
};
const nClassInfo nTestBadProto::classInfo = nClassInfo::Make<nTestBadProto>("ntestbadproto", "nroot", badProtoCmds);

TEST(CommandDeathTest, BadRegistrationsStop) {
    EXPECT_EXIT(
        {
            nKernelServer k([](nKernelServer* ks) { ks->AddClass(nTestBadProto::classInfo); });
        },
        ::testing::ExitedWithCode(3), "malformed prototype 'v_broken_x' in class 'ntestbadproto'");
    EXPECT_EXIT(
        {
            nKernelServer k([](nKernelServer* ks) { ks->AddClass(nTestClash::classInfo); });
        },
        ::testing::ExitedWithCode(3),
        "Command id collission in class 'ntestclash'\ncmd '(getname|mine)' and cmd '(getname|mine)' both "
        "have id '0x474e414d'");
    EXPECT_EXIT(
        {
            nKernelServer k([](nKernelServer* ks) { ks->AddClass(nTestPlain::classInfo); });
        },
        ::testing::ExitedWithCode(3), "nKernelServer::AddClass\\(\\): Could not open super class 'ntestnode'");
}

}  // namespace
