// Buttons on the OpenGL device driven by injected mouse events through the frame's phases
// (events, input, logic root, 2D logic server, traversal, visual pass, input flush): their
// states, sounds and "action", hit edges and scaling, alpha test, bad state indices and
// their saved form.
#include <lua.hpp>

#include <cstdlib>
#include <string>
#include <vector>

#include "input/nInputPackage.h"
#include "input/nInputServer.h"
#include "logic/nLogic2DServer.h"
#include "logic/nLogicButton.h"
#include "logic/nLogicEventServer.h"
#include "logic/nModVisualizerState.h"
#include "logic/nVariableContext.h"
#include "scene/nVariableServer.h"
#include "tests/gfx/ImageBytes.h"
#include "tests/input/PostMouse.h"
#include "tests/logic/SpriteFixture.h"

namespace {

// Three states side by side on the texture: normal, over and pressed; a fourth hides.
const char* const ButtonScript =
    "new('nlogicbutton', '/usr/logic/%s'); sel('/usr/logic/%s');"
    " beginstates(4);"
    " setstate(0, 100, 50, 200, 100, 0, 0, 0.25, 1);"
    " setstate(1, 100, 50, 200, 100, 0.25, 0, 0.5, 1);"
    " setstate(2, 102, 52, 200, 100, 0.5, 0, 0.75, 1);"
    " setstate(3, 100, 50, 200, 100, -1, -1, -1, -1);"
    " endstates(); setnormalstate(0); setoverstate(1); setpressedstate(2); switchstate(0); sel('/')";

class ButtonTest : public SpriteFixture {
protected:
    void SetUp() override {
        SpriteFixture::SetUp();
        nInputPackage(kernel);
        events = static_cast<nLogicEventServer*>(kernel->New("nlogiceventserver", "/sys/servers/event"));
        input = static_cast<nInputServer*>(kernel->New("ninputserver", "/sys/servers/input"));
        gfx2d = static_cast<nLogic2DServer*>(kernel->New("nlogic2dserver", "/sys/servers/gfx2d"));
        Open(800, 600);
        nLogicButton::ClearPointerOverButton();
    }

    nLogicButton* Button(const char* name) {
        std::string text = ButtonScript;
        for (size_t at; (at = text.find("%s")) != std::string::npos;) text.replace(at, 2, name);
        EXPECT_TRUE(Run(text));
        return static_cast<nLogicButton*>(kernel->Lookup(("/usr/logic/" + std::string(name)).c_str()));
    }
    void Mouse(int type, int x = 0, int y = 0) { PostMouse(input, type, x, y); }
    void MoveTo(int x, int y) { Mouse(N_INPUT_MOUSE_MOVE, x, y); }
    // One frame in the observer's order, with the events queued since the last one.
    void Step() {
        events->Trigger();
        input->Trigger(0.0);
        ASSERT_TRUE(BeginFrame());
        root->Trigger(graph);
        gfx2d->Trigger();
        graph->TraversePass(root);
        graph->VisualPass();
        gfx->EndScene();
        input->FlushEvents();
    }
    bool OverAt(nLogicButton* b, int x, int y) {
        MoveTo(x, y);
        Step();
        return b->IsOver();
    }
    // The "soundtrigger" its state handed on in the last visual pass.
    static float Sound(nModVisualizerState* st) {
        auto* vs = static_cast<nVariableServer*>(nKernelServer::ks->Lookup("/sys/servers/variable"));
        nVariableContext* vars = st->GetVariables();
        nVariable* v = vars ? vars->Find(vs->GetVariableHandleByName("soundtrigger")) : nullptr;
        return v ? v->GetF() : -1.0f;
    }
    std::string Eval(const std::string& expr) { return Run("__eval = " + expr) ? Global("__eval") : "<error>"; }

    nLogicEventServer* events = nullptr;
    nInputServer* input = nullptr;
    nLogic2DServer* gfx2d = nullptr;
};

TEST_F(ButtonTest, ClicksSwitchStatesSoundOnceAndFireActionNextFrameOnlyWhenBegunAndEndedOver) {
    nLogicButton* b = Button("ok");
    ASSERT_TRUE(Run("sel('/usr/logic/ok'); seteventscript('action', 'acted = (acted or 0) + 1; by = fullcwd()');"
                    " addeventfunction('action', 'onaction'); sel('/'); acted = 0;"
                    " function onaction(path) got = path end"));
    // One frame each: pointer moved to (x, y) unless x < 0, then "d" press, "u" release,
    // "s" suppress; what shows after it.
    const struct { int x, y; const char* keys; int state; bool over; float pressSound, overSound; int acted; } frames[] = {
        {-1, 0, "", 0, false, 0, 0, 0},    // the first quad gives the scale
        {200, 100, "", 1, true, 1, 0, 0},  // entering: over state, "sound_press"
        {-1, 0, "", 1, true, 0, 0, 0},     // for one visual pass only
        {-1, 0, "d", 2, true, 0, 0, 0},
        {-1, 0, "u", 1, true, 0, 1, 0},    // released over: "sound_over"; the action waits
        {-1, 0, "", 1, true, 0, 0, 1},     // and runs at the start of the next frame
        {10, 10, "", 0, false, 0, 0, 1},   // leaving: normal state
        {200, 100, "d", 2, true, 1, 0, 1},
        {10, 10, "", 2, false, 0, 0, 1},   // dragged out: still pressed
        {-1, 0, "u", 0, false, 0, 0, 1},   // released outside: nothing fires
        {-1, 0, "", 0, false, 0, 0, 1},
        {-1, 0, "d", 0, false, 0, 0, 1},   // pressed outside
        {200, 100, "", 0, true, 0, 0, 1},  // no over state while pressed
        {-1, 0, "u", 1, true, 0, 0, 1},    // released over: over state, nothing fires
        {-1, 0, "", 1, true, 0, 0, 1},
        {-1, 0, "sd", 2, true, 0, 0, 1},   // suppressed: states switch,
        {-1, 0, "u", 1, true, 0, 0, 1},    // but neither sound nor action
        {-1, 0, "", 1, true, 0, 0, 1},
    };
    int i = 0;
    for (const auto& f : frames) {
        if (f.x >= 0) MoveTo(f.x, f.y);
        for (const char* k = f.keys; *k; k++) {
            if (*k == 's') b->SetSuppressEvent(true);
            else Mouse(*k == 'd' ? N_INPUT_BUTTON_DOWN : N_INPUT_BUTTON_UP);
        }
        Step();
        SCOPED_TRACE("frame " + std::to_string(i++));
        EXPECT_EQ(b->GetCurrentState(), f.state);
        EXPECT_EQ(b->IsOver(), f.over);
        EXPECT_EQ(Sound(b->GetPressSoundState()), f.pressSound);
        EXPECT_EQ(Sound(b->GetOverSoundState()), f.overSound);
        EXPECT_EQ(Global("acted"), std::to_string(f.acted));
    }
    EXPECT_EQ(Global("by"), "/usr/logic/ok") << "the action runs with the button current";
    EXPECT_EQ(Global("got"), "/usr/logic/ok") << "a bound function gets the button's path";
    EXPECT_TRUE(nLogicButton::GetPointerOverButton());
}

TEST_F(ButtonTest, OverlappingButtonsGoToTheLowerPriorityAndAHiddenStateLeavesTheFrame) {
    nLogicButton* back = Button("back");
    nLogicButton* front = Button("front");
    back->SetPriority(2);
    front->SetPriority(1);
    Step();
    EXPECT_TRUE(OverAt(front, 200, 100));
    EXPECT_FALSE(back->IsOver());
    // A texture rect of -1s hides the button: inactive, not drawn, not served.
    front->SwitchState(3);
    EXPECT_TRUE(OverAt(back, 200, 100)) << "the hidden button no longer claims the mouse";
    EXPECT_EQ(graph->Get2DCount(), 1);
    ASSERT_TRUE(Run("sel('/usr/logic/front'); switchstate(0); sel('/')"));
    Step();
    EXPECT_EQ(graph->Get2DCount(), 2);
}

TEST_F(ButtonTest, LeftAndTopEdgesAreOutsideRightAndBottomInsideAndPixelsScaleToVirtualUnits) {
    nLogicButton* b = Button("ok");  // (100, 50) to (300, 150) in virtual units
    Step();
    const struct { int x, y; bool over; } probes[] = {{100, 100, false}, {101, 100, true}, {300, 100, true}, {301, 100, false},
                  {200, 50, false},  {200, 51, true},  {200, 150, true}, {200, 151, false}};
    for (const auto& p : probes) EXPECT_EQ(OverAt(b, p.x, p.y), p.over) << p.x << ", " << p.y;

    // At 1024 x 768 pixel (128, 96) is (100, 75): on the left edge, then just inside.
    Open(1024, 768);
    EXPECT_FALSE(OverAt(b, 10, 10));
    EXPECT_FLOAT_EQ(b->GetScaleX(), 1.28f);
    EXPECT_FALSE(OverAt(b, 128, 96));
    b->SetPosition(99, 50);
    EXPECT_TRUE(OverAt(b, 128, 96));
    b->SetIgnoreInput(true);
    EXPECT_FALSE(OverAt(b, 128, 96)) << "ignored input counts as outside";
}

TEST_F(ButtonTest, AlphaReferenceCountsTransparentTexelsAndTexelsOffTheTextureAsOutside) {
    // 4 x 4 texels: column 1 transparent, the rest opaque white.
    std::vector<uint32_t> texels(16, 0xFFFFFFFFu);
    for (int y = 0; y < 4; y++) texels[size_t(y * 4 + 1)] = 0x00FFFFFFu;
    const std::string tex = Write("alpha.png", imagebytes::Png(4, 4, texels, true));
    ASSERT_TRUE(Run("new('nlogicbutton', '/usr/logic/a'); sel('/usr/logic/a'); settexture('" + tex + "');"
                    " setposition(0, 0); setdimension(4, 4); setalpharef(0.5); sel('/')"));
    auto* b = static_cast<nLogicButton*>(kernel->Lookup("/usr/logic/a"));
    Step();
    // Virtual x picks texel column x: (4, 4) lies past the texture's last column.
    const struct { int x, y; bool over; } probes[] = {{1, 1, false}, {2, 2, true}, {3, 3, true}, {4, 4, false}};
    for (const auto& p : probes) EXPECT_EQ(OverAt(b, p.x, p.y), p.over) << p.x << ", " << p.y;
    b->SetAlphaRef(0.0f);
    EXPECT_TRUE(OverAt(b, 4, 4)) << "without the test the whole rectangle counts";
    EXPECT_FALSE(TakeErrors());
}

TEST_F(ButtonTest, BadStateIndicesAreLoggedAndChangeNothing) {
    nLogicButton* b = Button("ok");
    ASSERT_TRUE(Run("sel('/usr/logic/ok'); setstate(4, 1, 1, 1, 1, 0, 0, 1, 1); setstate(-1, 1, 1, 1, 1, 0, 0, 1, 1);"
                    " switchstate(4); setnormalstate(4); setoverstate(9); setpressedstate(4); beginstates(-3);"
                    " sel('/')"));
    EXPECT_EQ(Errors("is outside the 4 states"), 6);
    EXPECT_EQ(Errors("v_beginstates"), 1);
    EXPECT_EQ((std::vector<int>{b->GetNumStates(), b->GetCurrentState(), b->GetNormalState(), b->GetOverState(),
                                b->GetPressedState()}),
              (std::vector<int>{4, 0, 0, 1, 2}));
    EXPECT_EQ(b->GetState(3).uleft, -1.0f);
    // Fewer states later: a stored index past the table is refused when used.
    b->BeginStates(1);
    log.errors.clear();
    b->SwitchState(b->GetPressedState());
    EXPECT_EQ(Errors("v_switchstate"), 1);
    EXPECT_EQ(b->GetCurrentState(), 0);
}

TEST_F(ButtonTest, BeforeTheFirstQuadThePointerIsOutsideAndAButtonWithoutStatesStillRegisters) {
    auto* b = static_cast<nLogicButton*>(kernel->New("nlogicbutton", "/usr/logic/bare"));
    b->SetDimension(800, 600);
    b->HandleMouse(10, 10, true, true);  // no scale yet: no division by zero
    EXPECT_FALSE(b->IsOver());
    root->Trigger(graph);
    EXPECT_EQ(gfx2d->GetNumRegistered(), 1);
    // A button that dies after registering leaves the table before the 2D step.
    b->Release();
    EXPECT_EQ(gfx2d->GetNumRegistered(), 0);
    // Opting out with -1 everywhere does not register.
    auto* quiet = static_cast<nLogicButton*>(kernel->New("nlogicbutton", "/usr/logic/quiet"));
    for (void (nLogicButton::*set)(int) : {&nLogicButton::SetNormalState, &nLogicButton::SetOverState,
                                           &nLogicButton::SetPressedState}) {
        (quiet->*set)(-1);
    }
    root->Trigger(graph);
    EXPECT_EQ(gfx2d->GetNumRegistered(), 0);
}

TEST_F(ButtonTest, GettersAndTheSaveMatchTheGoldenFileAndLoadBackEqual) {
    Button("ok");
    ASSERT_TRUE(Run("sel('/usr/logic/ok'); setpriority(3); setsuppressevent(true); setalpharef(0.25);"
                    " setignoreinput(true); setpressedstate(-1); seteventscript('action', 'acted = 1');"
                    " addeventfunction('action', 'onaction'); sel('/')"));
    const char* const getters[][2] = {{"getnormalstate", "0"},  {"getoverstate", "1"},    {"getpressedstate", "-1"},
                                      {"getcurrentstate", "0"}, {"getsuppressevent", "1"}, {"getalpharef", "0.25"}};
    for (const auto& g : getters) EXPECT_EQ(Eval(std::string("obj('/usr/logic/ok').") + g[0] + "()"), g[1]);

    ASSERT_TRUE(kernel->Lookup("/usr/logic/ok")->SaveAs(Path("ok").c_str()));
    const std::string golden = std::string(std::getenv("BW_SOURCE_DIR")) + "/tests/logic/golden/button_ok.n";
    const std::vector<uint8_t> saved = ReadFileBytes(Path("ok.n")), want = ReadFileBytes(golden);
    EXPECT_EQ(std::string(saved.begin(), saved.end()), std::string(want.begin(), want.end()));

    kernel->SetCwd(kernel->New("nroot", "/loaded"));
    auto* back = static_cast<nLogicButton*>(kernel->Load(golden.c_str()));
    kernel->SetCwd(nullptr);
    ASSERT_NE(back, nullptr);
    ASSERT_TRUE(back->SaveAs(Path("back").c_str()));
    EXPECT_EQ(ReadFileBytes(Path("back.n")), saved);
    EXPECT_EQ(back->GetState(2).x, 102.0f);
}

}  // namespace
