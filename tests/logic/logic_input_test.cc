#include <gtest/gtest.h>

#include "input/nInputEvent.h"
#include "input/nInputPackage.h"
#include "input/nInputServer.h"
#include "logic/nLogicInput.h"
#include "logic/nLogicInputServer.h"
#include "scene/nScenePackage.h"
#include "tests/logic/LogicFixture.h"

namespace {

constexpr int Space = 13;

class LogicInputTest : public nLogicFixture {
protected:
    void SetUp() override {
        nLogicFixture::SetUp();
        nInputPackage(kernel);
        nScenePackage(kernel);
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

}  // namespace
