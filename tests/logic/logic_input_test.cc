#include <gtest/gtest.h>

#include <functional>

#include "input/nInputEvent.h"
#include "input/nInputPackage.h"
#include "input/nInputServer.h"
#include "logic/nLogicInput.h"
#include "logic/nLogicInputServer.h"
#include "kernel/nScriptServer.h"
#include "scene/nScenePackage.h"
#include "tests/logic/LogicFixture.h"

namespace {

constexpr int Space = 13;

// A logic node whose own Trigger leaves a "T" in the script global `seq`, so that tests
// see where the input lines ran relative to it.
class nTriggerProbe : public nLogicNode {
public:
    static const nClassInfo classInfo;
    bool Trigger(nLogicGraph* graph) override {
        auto* script = static_cast<nScriptServer*>(nKernelServer::ks->Lookup("/sys/servers/script"));
        const char* result = nullptr;
        script->Run("seq = (seq or '') .. 'T'", result);
        return nLogicNode::Trigger(graph);
    }
};
const nClassInfo nTriggerProbe::classInfo = nClassInfo::Make<nTriggerProbe>("ntriggerprobe", "nlogicnode");

class LogicInputTest : public nLogicFixture {
protected:
    void SetUp() override {
        nLogicFixture::SetUp();
        nInputPackage(kernel);
        nScenePackage(kernel);
        kernel->AddClass(nTriggerProbe::classInfo);
        kernel->New("nchannelserver", "/sys/servers/channel");
        kernel->New("nlogiceventserver", "/sys/servers/event");
        input = static_cast<nInputServer*>(kernel->New("ninputserver", "/sys/servers/input"));
        server = static_cast<nLogicInputServer*>(kernel->New("nlogicinputserver", "/sys/servers/logicinput"));
        root = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/lg"));
        parent = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/lg/p"));
        ASSERT_TRUE(input && server && root && parent);
    }
    nLogicInput* Node(const char* path) { return static_cast<nLogicInput*>(kernel->New("nlogicinput", path)); }
    void Post(int type, int dev, int number, int x = 0, int y = 0) {
        nInputEvent* e = input->NewEvent();
        e->type = type;
        e->deviceId = dev;
        e->number = number;
        e->x = x;
        e->y = y;
        input->PostEvent(e);
    }
    // One frame as the observer runs it.
    void Frame() {
        time += 0.1;
        input->Trigger(time);
        root->Trigger(nullptr);
        input->FlushEvents();
    }
    double time = 0.0;
    nInputServer* input = nullptr;
    nLogicInputServer* server = nullptr;
    nLogicNode* root = nullptr;
    nLogicNode* parent = nullptr;
};

TEST_F(LogicInputTest, FocusGroupsKeepAtMostOneFlag) {
    nLogicInput* a = Node("/lg/p/a");
    nLogicInput* b = Node("/lg/p/b");
    EXPECT_EQ(a->GetGroup(), "default");
    EXPECT_FALSE(a->GetFocus());
    ASSERT_TRUE(Run("obj('/lg/p/a').setgroup('menu'); obj('/lg/p/b').setgroup('menu')"));
    ASSERT_TRUE(Run("obj('/lg/p/a').setfocus(true)"));
    EXPECT_TRUE(a->GetFocus());
    ASSERT_TRUE(Run("obj('/lg/p/b').setfocus(true)"));
    EXPECT_FALSE(a->GetFocus());
    EXPECT_TRUE(b->GetFocus());
    ASSERT_TRUE(Run("obj('/lg/p/a').setfocus(false)"));
    EXPECT_FALSE(a->GetFocus());
    EXPECT_FALSE(b->GetFocus());
    b->SetFocus(true);
    ASSERT_TRUE(Run("obj('/sys/servers/logicinput').setgroupfocus('menu', false)"));
    EXPECT_FALSE(b->GetFocus());
    EXPECT_FALSE(server->GetGroupFocus("menu"));
    a->SetFocus(true);
    EXPECT_TRUE(a->GetFocus());
    EXPECT_TRUE(server->GetGroupFocus("menu"));
    // Changing group loses the focus; the emptied group goes.
    a->SetGroup("game");
    EXPECT_FALSE(a->GetFocus());
    b->SetGroup("game");
    EXPECT_EQ(server->FindGroup("menu"), nullptr);
    EXPECT_FALSE(server->SetGroupFocus("nothere", true));
    EXPECT_TRUE(LogHas("nothere"));
}

TEST_F(LogicInputTest, BoundLinesRunWhileFocusedAndStateActive) {
    ASSERT_TRUE(input->Map("keyb0:space.down", "jump"));
    nLogicInput* a = Node("/lg/p/a");
    a->AddInput("jump", "n = (n or 0) + 1");
    a->AddInput("jump", "n = 100");
    EXPECT_EQ(a->GetInput("jump"), "n = (n or 0) + 1");
    EXPECT_EQ(a->GetInput("none"), "");
    Post(N_INPUT_KEY_DOWN, N_INPUT_DEV_KEYBOARD, Space);
    Frame();
    EXPECT_EQ(Global("n"), "nil");  // no focus
    Post(N_INPUT_KEY_UP, N_INPUT_DEV_KEYBOARD, Space);
    Frame();
    a->SetFocus(true);
    nRoot* cwd = kernel->GetCwd();
    Post(N_INPUT_KEY_DOWN, N_INPUT_DEV_KEYBOARD, Space);
    Frame();
    EXPECT_EQ(Global("n"), "1") << log.text;
    EXPECT_EQ(kernel->GetCwd(), cwd);
    Frame();
    EXPECT_EQ(Global("n"), "1");  // one press, one run
    Post(N_INPUT_MOUSE_MOVE, N_INPUT_DEV_MOUSE, 0, 3, 4);
    Post(N_INPUT_MOUSE_MOVE, N_INPUT_DEV_MOUSE, 0, 30, 40);
    Frame();
    Frame();
    EXPECT_EQ(a->GetMouseX(), 30);
    EXPECT_EQ(a->GetMouseY(), 40);
}

// A button's event carries the pointer's place: a press in the frame of a move counts where
// it came, also when the pointer moves on within that frame; without a press the press's
// place is the pointer's.
TEST_F(LogicInputTest, AButtonsEventPlacesThePointerAndAPressCountsWhereItCame) {
    nLogicInput* a = Node("/lg/p/a");
    Post(N_INPUT_MOUSE_MOVE, N_INPUT_DEV_MOUSE, 0, 3, 4);
    Post(N_INPUT_BUTTON_DOWN, N_INPUT_DEV_MOUSE, 0, 30, 40);
    Post(N_INPUT_MOUSE_MOVE, N_INPUT_DEV_MOUSE, 0, 50, 60);
    Frame();
    EXPECT_EQ(std::pair(a->GetMouseX(), a->GetMouseY()), std::pair(50, 60));
    EXPECT_EQ(std::pair(a->GetPressX(), a->GetPressY()), std::pair(30, 40));
    Post(N_INPUT_BUTTON_UP, N_INPUT_DEV_MOUSE, 0, 70, 80);
    Frame();
    EXPECT_EQ(std::pair(a->GetMouseX(), a->GetMouseY()), std::pair(70, 80));
    EXPECT_EQ(std::pair(a->GetPressX(), a->GetPressY()), std::pair(70, 80));
}

TEST_F(LogicInputTest, LinesMayReleaseTheirNode) {
    ASSERT_TRUE(input->Map("keyb0:space.down", "jump"));
    nLogicInput* a = Node("/lg/p/a");
    a->AddInput("jump", "obj('/lg/p/a').removeinput('jump'); delete('/lg/p/a')");
    a->AddInput("jump2", "x = 1");
    a->SetFocus(true);
    Post(N_INPUT_KEY_DOWN, N_INPUT_DEV_KEYBOARD, Space);
    Frame();
    EXPECT_EQ(Lookup("/lg/p/a"), nullptr);
    Frame();
}

TEST_F(LogicInputTest, ServerReleasedFirstLeavesNodesUnlinked) {
    nLogicInput* a = Node("/lg/p/a");
    a->SetFocus(true);
    server->Release();
    EXPECT_FALSE(a->GetFocus());
    a->Release();
}

TEST_F(LogicInputTest, HeldStatesRunEveryFrameInBindingOrderBeforeTheParentsTrigger) {
    ASSERT_TRUE(input->Map("keyb0:space.pressed", "zeta"));
    ASSERT_TRUE(input->Map("keyb0:space.pressed", "alpha"));
    kernel->New("ntriggerprobe", "/lg/probe");
    nLogicInput* a = Node("/lg/probe/a");
    a->RemoveInput("none");  // no entries yet: nothing changes
    EXPECT_EQ(a->GetNumInputs(), 0);
    a->AddInput("zeta", "seq = (seq or '') .. 'z'");
    a->AddInput("alpha", "seq = (seq or '') .. 'a'");
    a->SetFocus(true);
    Post(N_INPUT_KEY_DOWN, N_INPUT_DEV_KEYBOARD, Space);
    Frame();
    Frame();
    EXPECT_EQ(Global("seq"), "zaTzaT") << log.text;
    Post(N_INPUT_KEY_UP, N_INPUT_DEV_KEYBOARD, Space);
    Frame();
    Frame();
    EXPECT_EQ(Global("seq"), "zaTzaTTT");
    // Released, the node leaves its parent's input list.
    a->Release();
    Post(N_INPUT_KEY_DOWN, N_INPUT_DEV_KEYBOARD, Space);
    Frame();
    EXPECT_EQ(Global("seq"), "zaTzaTTTT");

    // Under a parent that is no logic node the node is logged and never served.
    kernel->New("nroot", "/plain");
    Node("/plain/c");
    EXPECT_TRUE(LogHas("has no logic node as parent"));
}

// Lines change the entries, the group and the tree while their node runs them.
TEST_F(LogicInputTest, LinesMayRebindRegroupAndReleaseTheirSurroundings) {
    ASSERT_TRUE(input->Map("keyb0:space.pressed", "first"));
    ASSERT_TRUE(input->Map("keyb0:space.pressed", "second"));
    ASSERT_TRUE(input->Map("keyb0:space.pressed", "late"));
    struct Case {
        const char* line;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"obj('/lg/p/a').addinput('late', 'late = (late or 0) + 1')",
         [&] {  // the new entry waits for the next frame
             EXPECT_EQ(Global("late"), "1");
             EXPECT_EQ(Global("second"), "2");
         }},
        {"obj('/lg/p/a').removeinput('second')",
         [&] { EXPECT_EQ(Global("second"), "nil"); }},
        {"obj('/lg/p/a').setgroup('other')",
         [&] {  // the run goes on, the next frame has no focus
             EXPECT_EQ(Global("second"), "1");
             EXPECT_EQ(static_cast<nLogicInput*>(Lookup("/lg/p/a"))->GetGroup(), "other");
         }},
        {"delete('/lg/p/b')",
         [&] {
             EXPECT_EQ(Global("bran"), "nil");
             EXPECT_EQ(Lookup("/lg/p/b"), nullptr);
         }},
        {"delete('/lg/p')",
         [&] {
             EXPECT_EQ(Global("second"), "nil");
             EXPECT_EQ(Lookup("/lg/p"), nullptr);
         }},
        {"delete('/lg/p/sib')",
         [&] { EXPECT_EQ(Global("second"), "2"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_TRUE(Run("late, second, bran = nil, nil, nil"));
        if (!Lookup("/lg/p")) kernel->New("nlogicnode", "/lg/p");
        nLogicInput* a = Node("/lg/p/a");
        kernel->New("nlogicnode", "/lg/p/sib");
        nLogicInput* b = Node("/lg/p/b");
        a->AddInput("first", c.line);
        a->AddInput("second", "second = (second or 0) + 1");
        a->SetFocus(true);
        b->SetGroup("g2");
        b->SetFocus(true);
        b->AddInput("first", "bran = 1");
        ASSERT_TRUE(Run("bran = nil"));
        Post(N_INPUT_KEY_DOWN, N_INPUT_DEV_KEYBOARD, Space);
        Frame();
        Frame();
        c.check();
        Post(N_INPUT_KEY_UP, N_INPUT_DEV_KEYBOARD, Space);
        Frame();
        kernel->Lookup("/lg")->Release();
        root = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/lg"));
    }
}

TEST_F(LogicInputTest, SavesGroupThenFocusThenEntriesAndLoadsTheGoldenFileBack) {
    nLogicInput* a = Node("/lg/p/a");
    a->AddInput("jump", "obj('/hero').jump()");
    a->AddInput("duck", "duck = 'ja'");
    a->SetGroup("menu");
    a->SetFocus(true);
    ASSERT_TRUE(a->SaveAs(Path("a").c_str()));
    const std::string golden = SourceDir() + "/tests/logic/golden/logicinput_a.n";
    EXPECT_EQ(Slurp(Path("a.n")), Slurp(golden));

    a->Release();
    kernel->SetCwd(parent);
    auto* back = static_cast<nLogicInput*>(kernel->Load(golden.c_str()));
    ASSERT_NE(back, nullptr) << log.text;
    EXPECT_EQ(back->GetGroup(), "menu");
    EXPECT_TRUE(back->GetFocus());
    EXPECT_TRUE(server->GetGroupFocus("menu"));
    EXPECT_EQ(back->GetNumInputs(), 2);
    EXPECT_EQ(back->GetInput("jump"), "obj('/hero').jump()");
    EXPECT_EQ(back->GetInput("duck"), "duck = 'ja'");
}

}  // namespace
