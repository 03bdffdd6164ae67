#include <cstring>
#include <string>

#include "kernel/nCmdProto.h"
#include "scene/nVariableServer.h"
#include "tests/scene/SceneFixture.h"

namespace {

using VariableServerTest = SceneFixture;

TEST_F(VariableServerTest, HandlesAreStableAndDeclarationsConsistent) {
    uint32_t spd = nId("SPED");
    int speed = variables->DeclareVariable("speed", spd);
    EXPECT_EQ(variables->DeclareVariable("speed", spd), speed);
    EXPECT_EQ(variables->GetVariableHandleByName("speed"), speed);
    EXPECT_EQ(variables->GetVariableHandleByFourCC(spd), speed);
    int time = variables->GetVariableHandleByName("time");
    EXPECT_NE(time, speed);
    EXPECT_EQ(variables->GetFourCC(time), 0u);
    int coded = variables->GetVariableHandleByFourCC(nId("CODE"));
    EXPECT_EQ(variables->GetVariableName(coded), nullptr);
    // Later declarations leave the earlier handles where they were.
    for (int i = 0; i < 40; i++) variables->GetVariableHandleByName(("v" + std::to_string(i)).c_str());
    EXPECT_EQ(variables->GetVariableHandleByName("speed"), speed);
    EXPECT_STREQ(variables->GetVariableName(time), "time");
    const char* name;
    uint32_t code;
    ASSERT_TRUE(variables->GetVariableInfo(speed, name, code));
    EXPECT_STREQ(name, "speed");
    EXPECT_EQ(code, spd);
    EXPECT_FALSE(variables->GetVariableInfo(999, name, code));
}

// Names come from what data sets up as well, and declarations never go: the table stays
// bounded, and those declared before keep their handles.
TEST_F(VariableServerTest, DeclarationsAreBoundedInNumberAndLength) {
    const int time = variables->GetVariableHandleByName("time");
    EXPECT_EQ(variables->GetVariableHandleByName(std::string(4096, 'x').c_str()), nVariableServer::NoHandle);
    EXPECT_TRUE(LogHas("longer than"));
    for (int i = variables->GetNumDeclarations(); i < nVariableServer::MaxDeclarations + 100; i++)
        variables->GetVariableHandleByName(("name" + std::to_string(i)).c_str());
    EXPECT_EQ(variables->GetNumDeclarations(), nVariableServer::MaxDeclarations);
    EXPECT_EQ(variables->GetVariableHandleByName("one more"), nVariableServer::NoHandle);
    EXPECT_EQ(variables->GetVariableHandleByName("time"), time);
    size_t lines = 0;
    for (size_t at = 0; (at = log.text.find("no new one", at)) != std::string::npos; at++) lines++;
    EXPECT_EQ(lines, 1u);
}

TEST_F(VariableServerTest, NameOnlyAndCodeOnlyDeclarationsNeverCollide) {
    // A declaration without code or without name must not match every other one that
    // lacks the same part.
    int a = variables->DeclareVariable("a", 0);
    int b = variables->DeclareVariable("b", 0);
    EXPECT_NE(a, b);
    int x = variables->DeclareVariable("", nId("XXXX"));
    int y = variables->DeclareVariable("", nId("YYYY"));
    EXPECT_NE(x, y);
    EXPECT_EQ(variables->DeclareVariable("a", 0), a);
    // A name-only declaration takes a code given later, and the code then finds it.
    EXPECT_EQ(variables->DeclareVariable("b", nId("BBBB")), b);
    EXPECT_EQ(variables->FindVariableByFourCC(nId("BBBB")), b);
    EXPECT_EQ(variables->DeclareVariable("ynamed", nId("YYYY")), y);
    EXPECT_STREQ(variables->GetVariableName(y), "ynamed");
    EXPECT_EQ(variables->DeclareVariable("", 0), -1);
}

TEST_F(VariableServerTest, ConflictingDeclarationStopsWithItsText) {
    variables->DeclareVariable("speed", nId("SPED"));
    variables->DeclareVariable("size", nId("SIZE"));
    EXPECT_EXIT(variables->DeclareVariable("speed", nId("FAST")), ::testing::ExitedWithCode(3),
                "Inconsistent variable declaration: 'speed'/'TSAF'!\nEither the name or the fourcc code is "
                "already used");
    EXPECT_EXIT(variables->DeclareVariable("speed", nId("SIZE")), ::testing::ExitedWithCode(3),
                "'speed'/'EZIS'");
    EXPECT_EXIT(variables->DeclareVariable("other", nId("SPED")), ::testing::ExitedWithCode(3), "'other'/'DEPS'");
}

TEST_F(VariableServerTest, GlobalContextReplacesValuesAndOwnsTexts) {
    int speed = variables->GetVariableHandleByName("speed");
    int name = variables->GetVariableHandleByName("name");
    variables->SetFloatVariable(speed, 1.0f);
    variables->SetFloatVariable(speed, 2.5f);
    EXPECT_EQ(variables->GetNumGlobalVariables(), 1);
    EXPECT_FLOAT_EQ(variables->GetGlobalVariable(speed)->GetF(), 2.5f);
    std::string text = "first";
    variables->SetStringVariable(name, text.c_str());
    text = "gone";
    EXPECT_STREQ(variables->GetGlobalVariable(name)->GetS(), "first");
    // A type change frees the text; copies own theirs.
    nVariable copy = *variables->GetGlobalVariable(name);
    variables->SetIntVariable(name, 7);
    EXPECT_EQ(variables->GetGlobalVariable(name)->GetI(), 7);
    EXPECT_STREQ(copy.GetS(), "first");
    const float v[4] = {1, 2, 3, 4};
    variables->SetVector4Variable(speed, v);
    EXPECT_EQ(variables->GetGlobalVariable(speed)->GetType(), nVariable::Vector4);
    EXPECT_FLOAT_EQ(variables->GetGlobalVariable(speed)->GetV4()[3], 4.0f);
    EXPECT_EQ(variables->GetNumGlobalVariables(), 2);
    EXPECT_EQ(variables->GetGlobalVariable(999), nullptr);
}

// Texts are written over the old one when they fit; a copy owns its own text, and a
// variable that changes type lets its text go.
TEST_F(VariableServerTest, TextValuesReuseTheirRoomAndStayExact) {
    nVariable a;
    a.SetS("a rather long text value");
    const char* room = a.GetS();
    a.SetS("shorter");
    EXPECT_EQ(a.GetS(), room);
    EXPECT_STREQ(a.GetS(), "shorter");
    a.SetS(a.GetS() + 2);
    EXPECT_STREQ(a.GetS(), "orter");
    const std::string grown(100, 'z');
    a.SetS(grown.c_str());
    EXPECT_EQ(a.GetS(), grown);
    nVariable b;
    b.SetS("x");
    b = a;
    EXPECT_NE(b.GetS(), a.GetS());
    EXPECT_EQ(b.GetS(), grown);
    b.SetI(7);
    EXPECT_EQ(b.GetS(), nullptr);
    EXPECT_EQ(b.GetI(), 7);
    b.SetS(nullptr);
    EXPECT_STREQ(b.GetS(), "");
    EXPECT_EQ(a.GetS(), grown);
}

}  // namespace
