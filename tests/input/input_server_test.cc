#include <string>

#include "input/nInputMapEntry.h"
#include "input/nInputServer.h"
#include "tests/input/InputTestKernel.h"

namespace {

constexpr int Space = 13;
constexpr int KeyA = 39;

class InputServerTest : public InputTestKernel {
protected:
    void SetUp() override {
        InputTestKernel::SetUp();
        input = static_cast<nInputServer*>(kernel->New("ninputserver", "/sys/servers/input"));
        ASSERT_NE(input, nullptr);
    }
    void Key(int code, bool down) { Post(input, down ? N_INPUT_KEY_DOWN : N_INPUT_KEY_UP, N_INPUT_DEV_KEYBOARD, code); }
    // One frame at `time`, as the observer runs it.
    void Frame(double time) {
        input->Trigger(time);
        input->FlushEvents();
    }
    // An axis channel of a made-up device 7: half-axis 1.
    void AddAxisChannel() {
        nEnv* env = static_cast<nEnv*>(kernel->New("nenv", "/sys/share/input/devs/test0/channels/ax"));
        env->SetS("devid=7 type=5 axis=1");
    }
    nInputServer* input = nullptr;
};

TEST_F(InputServerTest, DefaultDevicesPublishKeyAndMouseChannels) {
    EXPECT_EQ(Channel("keyb0", "space"), "devid=65536 type=1 key=13");
    EXPECT_EQ(Channel("keyb0", "1"), "devid=65536 type=1 key=29");
    EXPECT_EQ(Channel("keyb0", "0"), "devid=65536 type=1 key=38");
    EXPECT_EQ(Channel("keyb0", "zircum"), "devid=65536 type=1 key=110");
    EXPECT_EQ(Channel("mouse0", "btn2"), "devid=131072 type=6 btn=2");
    EXPECT_EQ(Channel("mouse0", "btn3"), "<none>");
    nEnv* prod = static_cast<nEnv*>(kernel->Lookup("/sys/share/input/devs/keyb0/prod_name"));
    ASSERT_NE(prod, nullptr);
    EXPECT_STREQ(prod->GetS(), "Default Keyboard");
    ASSERT_NE(kernel->Lookup("/sys/share/input/states"), nullptr);

    // The key table runs without gaps from 4 to 110.
    const struct {
        int code;
        const char* name;
    } rows[] = {{4, "bs"}, {12, "esc"}, {13, "space"}, {29, "1"}, {38, "0"}, {39, "a"}, {64, "z"},
                {68, "num0"}, {84, "f1"}, {107, "f24"}, {110, "zircum"}};
    for (const auto& row : rows) EXPECT_STREQ(nInputServer::GetKeyName(row.code), row.name) << row.code;
    EXPECT_EQ(nInputServer::GetKeyName(3), nullptr);
    EXPECT_EQ(nInputServer::GetKeyName(111), nullptr);
    int n = 0;
    for (const nInputServer::KeyName* k = nInputServer::keyNames; k->name; k++, n++) EXPECT_EQ(k->code, 4 + n);
    EXPECT_EQ(n, 107);
}

TEST_F(InputServerTest, DownUpAndPressedFireInTheirFrames) {
    ASSERT_TRUE(input->Map("keyb0:space.down", "reset"));
    ASSERT_TRUE(input->Map("keyb0:space.pressed", "hold"));
    ASSERT_TRUE(input->Map("keyb0:space.up", "letgo"));
    Frame(10.0);
    EXPECT_EQ(Var("reset"), "false 0.000000");

    Key(Space, true);
    Frame(10.1);
    EXPECT_EQ(Var("reset"), "true 1.000000");
    EXPECT_EQ(Var("hold"), "true 1.000000");
    EXPECT_TRUE(input->GetButton("reset"));
    Key(Space, true);  // auto-repeat changes nothing
    Frame(10.2);
    EXPECT_EQ(Var("reset"), "false 0.000000");
    EXPECT_EQ(Var("hold"), "true 1.000000");
    EXPECT_EQ(Var("letgo"), "false 0.000000");
    Key(Space, false);
    Frame(10.3);
    EXPECT_EQ(Var("hold"), "false 0.000000");
    EXPECT_EQ(Var("letgo"), "true 1.000000");
    Frame(10.4);
    EXPECT_EQ(Var("letgo"), "false 0.000000");

    // A press and a release in one frame: down and up, never held.
    Key(Space, true);
    Key(Space, false);
    Frame(12.0);
    EXPECT_EQ(Var("reset"), "true 1.000000");
    EXPECT_EQ(Var("letgo"), "true 1.000000");
    EXPECT_EQ(Var("hold"), "false 0.000000");

    // Events the console consumed are not seen.
    Post(input, N_INPUT_KEY_DOWN, N_INPUT_DEV_KEYBOARD, Space, 0.0f, N_IEF_HANDLED);
    Frame(14.0);
    EXPECT_EQ(Var("reset"), "false 0.000000");
}

// A quick second tap at a low frame rate: the first press's release and the next press
// (and maybe its release) arrive in one frame, in queue order. The new press must fire and
// decide the held state, not be swallowed by the hold the release has not ended yet.
TEST_F(InputServerTest, AReleaseAndANewPressInOneFrameAreAPress) {
    ASSERT_TRUE(input->Map("keyb0:space.down", "reset"));
    ASSERT_TRUE(input->Map("keyb0:space.pressed", "hold"));
    ASSERT_TRUE(input->Map("keyb0:space.up", "letgo"));
    Key(Space, true);
    Frame(1.0);
    ASSERT_EQ(Var("hold"), "true 1.000000");

    // Up, down: pressed again and still held.
    Key(Space, false);
    Key(Space, true);
    Frame(1.1);
    EXPECT_EQ(Var("reset"), "true 1.000000");
    EXPECT_EQ(Var("letgo"), "true 1.000000");
    EXPECT_EQ(Var("hold"), "true 1.000000");
    Frame(1.2);
    EXPECT_EQ(Var("reset"), "false 0.000000");
    EXPECT_EQ(Var("hold"), "true 1.000000");

    // Up, down, up: the tap fires and the key ends released.
    Key(Space, false);
    Key(Space, true);
    Key(Space, false);
    Frame(1.3);
    EXPECT_EQ(Var("reset"), "true 1.000000");
    EXPECT_EQ(Var("letgo"), "true 1.000000");
    EXPECT_EQ(Var("hold"), "false 0.000000");
    Frame(1.4);
    EXPECT_EQ(Var("hold"), "false 0.000000");

    // A lost focus releases the key; a press in the same frame holds it again.
    Key(Space, true);
    Frame(1.5);
    input->ReleaseAll();
    Key(Space, true);
    Frame(1.6);
    EXPECT_EQ(Var("letgo"), "true 1.000000");
    EXPECT_EQ(Var("reset"), "true 1.000000");
    EXPECT_EQ(Var("hold"), "true 1.000000");
}

TEST_F(InputServerTest, DoubleAndLongPressesFollowTheirTimes) {
    ASSERT_TRUE(input->Map("keyb0:a.double", "dbl"));
    ASSERT_TRUE(input->Map("keyb0:a.longdown", "ld"));
    ASSERT_TRUE(input->Map("keyb0:a.long", "lg"));

    // The first press ever is no double press, however early it comes.
    Key(KeyA, true);
    Frame(0.1);
    EXPECT_EQ(Var("dbl"), "false 0.000000");
    Key(KeyA, false);
    Frame(0.2);
    Key(KeyA, true);  // 0.3 s after the first press
    Frame(0.4);
    EXPECT_EQ(Var("dbl"), "true 1.000000");
    Key(KeyA, false);
    Frame(0.5);
    Key(KeyA, true);  // 0.6 s after the last press
    Frame(1.0);
    EXPECT_EQ(Var("dbl"), "false 0.000000");

    // Held since 1.0: longdown once past 2.0, long from then until the release.
    Frame(1.9);
    EXPECT_EQ(Var("ld"), "false 0.000000");
    EXPECT_EQ(Var("lg"), "false 0.000000");
    Frame(2.1);
    EXPECT_EQ(Var("ld"), "true 1.000000");
    EXPECT_EQ(Var("lg"), "true 1.000000");
    Frame(2.5);
    EXPECT_EQ(Var("ld"), "false 0.000000");
    EXPECT_EQ(Var("lg"), "true 1.000000");
    Key(KeyA, false);
    Frame(2.6);
    EXPECT_EQ(Var("lg"), "false 0.000000");
    Key(KeyA, true);
    Frame(5.0);
    Frame(5.5);
    EXPECT_EQ(Var("ld"), "false 0.000000");

    // Times copied when a mapping is made: a later change leaves it alone.
    input->SetLongPressedTime(0.2);
    ASSERT_TRUE(input->Map("keyb0:a.longdown", "ld2"));
    Frame(5.6);
    Key(KeyA, false);
    Frame(5.7);
    Key(KeyA, true);
    Frame(6.0);
    Frame(6.3);
    EXPECT_EQ(Var("ld2"), "true 1.000000");
    EXPECT_EQ(Var("ld"), "false 0.000000");
}

TEST_F(InputServerTest, StateValuesAddUpAndClamp) {
    AddAxisChannel();
    ASSERT_TRUE(input->Map("keyb0:space.pressed", "both"));
    ASSERT_TRUE(input->Map("keyb0:a.pressed", "both"));
    ASSERT_TRUE(input->Map("test0:ax", "slide"));
    Key(Space, true);
    Key(KeyA, true);
    Post(input, N_INPUT_AXIS_MOVE, 7, 1, 0.35f);
    Frame(1.0);
    EXPECT_EQ(Var("both"), "true 1.000000");
    EXPECT_EQ(Var("slide"), "false 0.350000");
    EXPECT_FLOAT_EQ(input->GetSlider("slide"), 0.35f);
    // The axis value stays until the next axis event.
    Frame(1.1);
    EXPECT_EQ(Var("slide"), "false 0.350000");
    Post(input, N_INPUT_AXIS_MOVE, 7, 1, -0.5f);
    Frame(1.2);
    EXPECT_EQ(Var("slide"), "false 0.000000");
    Post(input, N_INPUT_AXIS_MOVE, 7, 0, 0.9f);  // another half-axis
    Frame(1.3);
    EXPECT_EQ(Var("slide"), "false 0.000000");
    EXPECT_FALSE(input->GetButton("nothing"));
    EXPECT_EQ(input->GetSlider("nothing"), 0.0f);
}

TEST_F(InputServerTest, ScriptTargetsRunInTheirFrameSixteenAtMost) {
    auto* script = static_cast<nRecordingScriptServer*>(kernel->New("nrecordingscriptserver", "/sys/servers/script"));
    for (int i = 0; i < 17; i++) {
        std::string text = "keyb0:" + std::string(nInputServer::GetKeyName(KeyA + i)) + ".down";
        ASSERT_TRUE(input->Map(text.c_str(), ("script:run" + std::to_string(i) + "()").c_str()));
    }
    for (int i = 0; i < 17; i++) Key(KeyA + i, true);
    input->Trigger(1.0);
    ASSERT_EQ(script->ran.size(), 16u);
    EXPECT_EQ(script->ran.front(), "run0()");
    EXPECT_EQ(script->ran.back(), "run15()");
    input->FlushEvents();
    Frame(1.1);
    EXPECT_EQ(script->ran.size(), 16u);

    // Long targets are kept whole: two that differ only at their end are two mappings.
    std::string body(700, 'x');
    ASSERT_TRUE(input->Map("keyb0:space.down", ("script:" + body + "1").c_str()));
    ASSERT_TRUE(input->Map("keyb0:space.down", ("script:" + body + "2").c_str()));
    script->ran.clear();
    Key(Space, true);
    Frame(2.0);
    ASSERT_EQ(script->ran.size(), 2u);
    EXPECT_EQ(script->ran[0], body + "1");
    EXPECT_EQ(script->ran[1], body + "2");
    // Script mappings hold no state.
    EXPECT_EQ(input->GetNumStates(), 0);
}

TEST_F(InputServerTest, BadMappingTextsMakeNothing) {
    const char* bad[] = {"keyb9:space.down", "keyb0:nokey.down", "keyb0space.down", "", "keyb0:.down",
                         "keyb0:../keyb0.down", "..:channels.down", "keyb0:space/x.down"};
    for (const char* text : bad) {
        EXPECT_FALSE(input->Map(text, "st")) << text;
        EXPECT_TRUE(TakeErrors()) << text;
    }
    EXPECT_FALSE(input->Map("keyb0:space.down", ""));
    EXPECT_FALSE(input->Map("keyb0:space.down", "a/b"));
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(input->GetNumMappings(), 0);
    EXPECT_EQ(input->GetNumStates(), 0);
    EXPECT_EQ(input->GetPool().GetNumInUse(), 0);

    // An unknown kind word maps, and never fires.
    ASSERT_TRUE(input->Map("keyb0:space.sometimes", "never"));
    // A prefix before '&' names the same channel under another key.
    ASSERT_TRUE(input->Map("keyb0:tab.down", "tab"));
    ASSERT_TRUE(input->Map("any&keyb0:tab.down", "tab"));
    EXPECT_EQ(input->GetNumMappings(), 3);
    EXPECT_FALSE(TakeErrors());
    Key(Space, true);
    Key(5, true);
    Frame(1.0);
    EXPECT_EQ(Var("never"), "false 0.000000");
    EXPECT_EQ(Var("tab"), "true 1.000000");
}

TEST_F(InputServerTest, MappingPassKeepsWhatIsMappedAgain) {
    ASSERT_TRUE(input->Map("keyb0:space.pressed", "fire"));
    ASSERT_TRUE(input->Map("keyb0:a.pressed", "jump"));
    Key(Space, true);
    Frame(1.0);
    EXPECT_EQ(Var("fire"), "true 1.000000");

    // The identical pair keeps its mapping, held state included.
    input->BeginMap();
    ASSERT_TRUE(input->Map("keyb0:space.pressed", "fire"));
    input->EndMap();
    EXPECT_EQ(input->GetNumMappings(), 1);
    EXPECT_EQ(input->GetNumStates(), 1);
    EXPECT_EQ(input->FindState("jump"), nullptr);
    Frame(1.1);
    EXPECT_EQ(Var("fire"), "true 1.000000");

    // Bound elsewhere while held: the old state reads released from the next frame.
    input->BeginMap();
    ASSERT_TRUE(input->Map("keyb0:space.pressed", "shoot"));
    input->EndMap();
    Frame(1.2);
    EXPECT_EQ(Var("fire"), "false 0.000000");
    EXPECT_FALSE(input->GetButton("fire"));

    input->BeginMap();
    input->EndMap();
    EXPECT_EQ(input->GetNumMappings(), 0);
    EXPECT_EQ(input->GetNumStates(), 0);
    // The state objects stay, as the patterns go back to the pool.
    EXPECT_NE(kernel->Lookup("/sys/share/input/states/fire"), nullptr);
    EXPECT_EQ(input->GetPool().GetNumInUse(), 0);
}

TEST_F(InputServerTest, ReleaseAllReleasesHeldMappingsAndAxes) {
    AddAxisChannel();
    ASSERT_TRUE(input->Map("keyb0:space.pressed", "hold"));
    ASSERT_TRUE(input->Map("keyb0:space.up", "letgo"));
    ASSERT_TRUE(input->Map("test0:ax", "slide"));
    Key(Space, true);
    Post(input, N_INPUT_AXIS_MOVE, 7, 1, 0.5f);
    Frame(1.0);
    EXPECT_EQ(Var("hold"), "true 1.000000");
    input->ReleaseAll();
    Frame(1.1);
    EXPECT_EQ(Var("hold"), "false 0.000000");
    EXPECT_EQ(Var("letgo"), "true 1.000000");
    EXPECT_EQ(Var("slide"), "false 0.000000");
}

TEST_F(InputServerTest, PoolGrowsAndTheFlushReturnsEverything) {
    ASSERT_TRUE(input->Map("keyb0:space.down", "reset"));
    EXPECT_EQ(input->GetPool().GetCapacity(), 128);
    for (int i = 0; i < 200; i++) Key(KeyA, (i & 1) == 0);
    EXPECT_EQ(input->GetPool().GetCapacity(), 256);
    EXPECT_EQ(input->GetPool().GetNumInUse(), 201);
    int queued = 0;
    for (nInputEvent* e = input->FirstEvent(); e; e = nInputServer::NextEvent(e)) queued++;
    EXPECT_EQ(queued, 200);
    input->StartLogging();
    log.lines.clear();
    input->Trigger(1.0);
    EXPECT_EQ(log.lines.size(), 200u);
    input->FlushEvents();
    EXPECT_EQ(input->FirstEvent(), nullptr);
    EXPECT_EQ(input->GetPool().GetNumInUse(), 1);  // the mapping's pattern
    // A record comes back cleared.
    nInputEvent* e = input->NewEvent();
    EXPECT_EQ(e->type, 0);
    EXPECT_EQ(e->number, 0);
    EXPECT_FALSE(e->node.IsLinked());
}

}  // namespace
