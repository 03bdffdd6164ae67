#include <SDL2/SDL.h>

#include <string>
#include <vector>

#include "gfx/nD3D8Server.h"
#include "input/nDI8DeviceRecord.h"
#include "input/nDI8Joystick.h"
#include "input/nDI8Server.h"
#include "platform/window/Window.h"
#include "tests/input/InputTestKernel.h"
#include "tests/platform/SdlEvents.h"
#include "tests/platform/SdlTestEnvironment.h"

namespace {

// Everything runs as in the game: the graphics server's pump feeds the window
// procedure and the device buffers, then the input server's frame, then the flush.
class DI8ServerTest : public InputTestKernel {
protected:
    static void SetUpTestSuite() { bwtest::LoadSdlVideo(); }

    void SetUp() override {
        InputTestKernel::SetUp();
        gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        ASSERT_NE(gfx, nullptr);
        input = static_cast<nDI8Server*>(kernel->New("ndi8server", "/sys/servers/input"));
        ASSERT_NE(input, nullptr);
        windowId = gfx->GetWindow()->GetId();
        Frame();  // whatever window creation queued
        ASSERT_FALSE(TakeErrors());
    }

    void Frame() {
        time += 0.02;
        ASSERT_TRUE(gfx->Trigger());
        input->Trigger(time);
        input->FlushEvents();
    }
    // Runs the pump only: the window procedure's events stay queued.
    struct Seen {
        int type, deviceId, number, x, y;
        float relX, relY;
    };
    std::vector<Seen> Pump() {
        EXPECT_TRUE(gfx->Trigger());
        std::vector<Seen> copies;
        for (nInputEvent* e = input->FirstEvent(); e; e = nInputServer::NextEvent(e))
            copies.push_back({e->type, e->deviceId, e->number, e->x, e->y, e->relX, e->relY});
        input->FlushEvents();
        return copies;
    }

    void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
    void Focus(bool gained) { Push(bwtest::sdl::Focus(windowId, gained)); }
    void Key(SDL_Scancode scancode, SDL_Keycode sym, bool down, uint16_t mod = KMOD_NONE) {
        Push(bwtest::sdl::Key(windowId, scancode, sym, down, mod));
    }
    void Motion(int x, int y, int xrel, int yrel) { Push(bwtest::sdl::Motion(windowId, x, y, xrel, yrel)); }
    void Wheel(int notches) { Push(bwtest::sdl::Wheel(windowId, notches)); }

    nD3D8Server* gfx = nullptr;
    nDI8Server* input = nullptr;
    uint32_t windowId = 0;
    double time = 100.0;
};

TEST(TranslateKeyTest, VirtualKeysGiveEngineCodes) {
    const struct {
        int vk;
        int code;
    } rows[] = {{1, 1},    {4, 3},    {8, 4},    {13, 6},   {16, 7},   {20, 11},  {27, 12},  {32, 13},  {47, 28},
                {48, 38},  {49, 29},  {57, 37},  {65, 39},  {90, 64},  {91, 65},  {93, 67},  {96, 68},  {105, 77},
                {106, 78}, {111, 83}, {112, 84}, {135, 107}, {144, 108}, {145, 109}, {220, 110}, {0, 0},   {3, 0},
                {58, 0},   {64, 0},   {94, 0},   {136, 0},  {186, 0},  {219, 0},  {221, 0},  {-1, 0},   {255, 0}};
    for (const auto& row : rows) EXPECT_EQ(nD3D8Server::TranslateKey(row.vk), row.code) << "virtual key " << row.vk;
    // Every engine code the window produces has the input server's name for it.
    for (int vk = 5; vk <= 220; vk++) {
        const int code = nD3D8Server::TranslateKey(vk);
        if (code >= 4) {
            EXPECT_NE(nInputServer::GetKeyName(code), nullptr) << vk;
        }
    }
}

TEST_F(DI8ServerTest, PublishesTheDevicesAndTheirChannels) {
    EXPECT_EQ(Channel("keyb0", "space"), "devid=65536 type=1 key=13");
    EXPECT_EQ(Channel("mouse0", "btn0"), "devid=131072 type=6 btn=0");
    EXPECT_EQ(Channel("relmouse0", "-x"), "devid=2097152 type=5 axis=0");
    EXPECT_EQ(Channel("relmouse0", "+x"), "devid=2097152 type=5 axis=1");
    EXPECT_EQ(Channel("relmouse0", "+z"), "devid=2097152 type=5 axis=5");
    EXPECT_EQ(Channel("relmouse0", "btn0"), "devid=2097152 type=6 btn=0");
    EXPECT_EQ(Channel("relmouse0", "btn4"), "devid=2097152 type=6 btn=4");
    EXPECT_EQ(Channel("relmouse0", "-xbtn"), "devid=2097152 type=6 btn=5");
    EXPECT_EQ(Channel("relmouse0", "-zbtn"), "devid=2097152 type=6 btn=9");
    EXPECT_EQ(Channel("relmouse0", "+zbtn"), "devid=2097152 type=6 btn=10");
    // No joystick attached: no joystick objects, and nothing reported as wrong.
    EXPECT_EQ(kernel->Lookup("/sys/share/input/devs/joy0"), nullptr);
    EXPECT_EQ(input->GetNumDevices(), 2);
    EXPECT_FALSE(TakeErrors());
    EXPECT_STREQ(nDI8Server::GetErrorName(0), "DI_OK");
    EXPECT_STREQ(nDI8Server::GetErrorName(0x80040209u), "DIERR_UNPLUGGED");
    EXPECT_STREQ(nDI8Server::GetErrorName(0x12345u), "UNKNOWN");
}

TEST_F(DI8ServerTest, SpaceThroughSdlSetsTheStateForOneFrame) {
    ASSERT_TRUE(input->Map("keyb0:space.down", "reset"));
    ASSERT_TRUE(input->Map("keyb0:space.pressed", "hold"));
    Key(SDL_SCANCODE_SPACE, SDLK_SPACE, true);
    Frame();
    EXPECT_EQ(Var("reset"), "true 1.000000");
    Frame();
    EXPECT_EQ(Var("reset"), "false 0.000000");
    EXPECT_EQ(Var("hold"), "true 1.000000");
    Key(SDL_SCANCODE_SPACE, SDLK_SPACE, false);
    Frame();
    EXPECT_EQ(Var("hold"), "false 0.000000");

    // Held Alt makes system keys: no key events.
    Key(SDL_SCANCODE_SPACE, SDLK_SPACE, true, KMOD_LALT);
    Frame();
    EXPECT_EQ(Var("reset"), "false 0.000000");
}

TEST_F(DI8ServerTest, WindowPostsCharactersAndMousePositions) {
    const struct {
        SDL_Scancode scancode;
        SDL_Keycode sym;
        int key;
        int character;
    } keys[] = {{SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, 4, 8},
                {SDL_SCANCODE_TAB, SDLK_TAB, 5, 9},
                {SDL_SCANCODE_RETURN, SDLK_RETURN, 6, 13},
                {SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, 12, 27}};
    for (const auto& k : keys) {
        Key(k.scancode, k.sym, true);
        std::vector<Seen> events = Pump();
        ASSERT_EQ(events.size(), 2u) << k.character;
        EXPECT_EQ(events[0].type, N_INPUT_KEY_DOWN);
        EXPECT_EQ(events[0].deviceId, N_INPUT_DEV_KEYBOARD);
        EXPECT_EQ(events[0].number, k.key);
        EXPECT_EQ(events[1].type, N_INPUT_KEY_CHAR);
        EXPECT_EQ(events[1].number, k.character);
    }

    // No display open: a position, and relative coordinates of 0.
    Motion(40, 30, 0, 0);
    std::vector<Seen> events = Pump();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, N_INPUT_MOUSE_MOVE);
    EXPECT_EQ(events[0].deviceId, N_INPUT_DEV_MOUSE);
    EXPECT_EQ(events[0].x, 40);
    EXPECT_EQ(events[0].y, 30);
    EXPECT_EQ(events[0].relX, 0.0f);
    EXPECT_EQ(events[0].relY, 0.0f);

    ASSERT_TRUE(gfx->SetDisplayMode("w(800)-h(600)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(hal)"));
    ASSERT_TRUE(gfx->OpenDisplay());
    // Headless the display's window is made again at the mode's size, under a new id.
    windowId = gfx->GetWindow()->GetId();
    Pump();
    Motion(40, 30, 0, 0);
    events = Pump();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FLOAT_EQ(events[0].relX, 0.05f);
    EXPECT_FLOAT_EQ(events[0].relY, 0.05f);

    // Captured outside the window, a position keeps its sign.
    window::Message msg;
    msg.kind = window::MessageKind::ButtonDown;
    msg.button = 1;
    msg.x = -5;
    msg.y = 10;
    gfx->WindowProc(msg);
    nInputEvent* e = input->FirstEvent();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->type, N_INPUT_BUTTON_DOWN);
    EXPECT_EQ(e->number, 1);
    EXPECT_EQ(e->x, -5);
    EXPECT_LT(e->relX, 0.0f);
    input->FlushEvents();
    gfx->CloseDisplay();
}

TEST_F(DI8ServerTest, LosingTheFocusReleasesHeldMappings) {
    ASSERT_TRUE(input->Map("keyb0:space.pressed", "hold"));
    ASSERT_TRUE(input->Map("keyb0:space.up", "letgo"));
    Focus(true);
    Key(SDL_SCANCODE_SPACE, SDLK_SPACE, true);
    Frame();
    EXPECT_EQ(Var("hold"), "true 1.000000");
    Focus(false);
    Frame();
    EXPECT_EQ(Var("hold"), "false 0.000000");
    EXPECT_EQ(Var("letgo"), "true 1.000000");
}

TEST_F(DI8ServerTest, RelativeMouseMovesButtonsAndWheel) {
    ASSERT_TRUE(input->Map("relmouse0:+x", "right"));
    ASSERT_TRUE(input->Map("relmouse0:-x", "left"));
    ASSERT_TRUE(input->Map("relmouse0:+xbtn.pressed", "rightbtn"));
    ASSERT_TRUE(input->Map("relmouse0:+y", "down"));
    ASSERT_TRUE(input->Map("relmouse0:-y", "up"));
    ASSERT_TRUE(input->Map("relmouse0:+zbtn.down", "wheelaway"));
    ASSERT_TRUE(input->Map("relmouse0:-zbtn.down", "wheeltoward"));
    ASSERT_TRUE(input->Map("relmouse0:-z", "minusz"));
    ASSERT_TRUE(input->Map("relmouse0:+z", "plusz"));
    ASSERT_TRUE(input->Map("relmouse0:btn0.down", "click"));

    // Without the focus the mouse is not acquired and counts nothing.
    Motion(10, 10, 10, 0);
    Frame();
    EXPECT_EQ(Var("right"), "false 0.000000");

    Focus(true);
    Frame();
    Motion(20, 10, 10, 0);
    Frame();
    EXPECT_EQ(Var("right"), "false 0.200000");
    EXPECT_EQ(Var("left"), "false 0.000000");
    EXPECT_EQ(Var("rightbtn"), "true 1.000000");
    Frame();
    EXPECT_EQ(Var("right"), "false 0.000000");
    EXPECT_EQ(Var("rightbtn"), "false 0.000000");

    // Upwards is "-y"; inverted, "+y".
    Motion(20, 0, 0, -10);
    Frame();
    EXPECT_EQ(Var("up"), "false 0.200000");
    EXPECT_EQ(Var("down"), "false 0.000000");
    // Idle frames push zeros until the smoothing ring has forgotten the move.
    for (int i = 0; i < 5; i++) Frame();
    input->SetMouseInvert(true);
    Motion(20, 0, 0, -10);
    Frame();
    EXPECT_EQ(Var("down"), "false 0.200000");
    EXPECT_EQ(Var("up"), "false 0.000000");
    input->SetMouseInvert(false);

    Wheel(1);
    Frame();
    EXPECT_EQ(Var("wheelaway"), "true 1.000000");
    EXPECT_EQ(Var("wheeltoward"), "false 0.000000");
    EXPECT_EQ(Var("minusz"), "false 1.000000");
    EXPECT_EQ(Var("plusz"), "false 0.000000");
    Wheel(-1);
    Frame();
    EXPECT_EQ(Var("wheelaway"), "false 0.000000");
    EXPECT_EQ(Var("wheeltoward"), "true 1.000000");
    EXPECT_EQ(Var("plusz"), "false 1.000000");
    Frame();
    EXPECT_EQ(Var("plusz"), "false 0.000000");

    Push(bwtest::sdl::Button(windowId, SDL_BUTTON_LEFT, true));
    Frame();
    EXPECT_EQ(Var("click"), "true 1.000000");
}

TEST_F(DI8ServerTest, VirtualJoystickAxesHatsAndButtons) {
    Focus(true);
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 4, 1);
    ASSERT_GE(index, 0) << SDL_GetError();
    SDL_Joystick* joystick = SDL_JoystickOpen(index);
    ASSERT_NE(joystick, nullptr);
    Frame();  // plugged in: it joins at the next frame
    ASSERT_EQ(input->GetNumDevices(), 3);
    EXPECT_EQ(Channel("joy0", "+x"), "devid=262144 type=5 axis=1");
    EXPECT_EQ(Channel("joy0", "-y"), "devid=262144 type=5 axis=2");
    EXPECT_EQ(Channel("joy0", "+a"), "devid=262144 type=5 axis=5");
    EXPECT_EQ(Channel("joy0", "-b"), "devid=262144 type=5 axis=6");
    EXPECT_EQ(Channel("joy0", "+abtn"), "devid=262144 type=6 btn=9");
    EXPECT_EQ(Channel("joy0", "btn3"), "devid=262144 type=6 btn=3");
    EXPECT_EQ(Channel("joy0", "-c"), "<none>");

    ASSERT_TRUE(input->Map("joy0:+x", "px"));
    ASSERT_TRUE(input->Map("joy0:-x", "nx"));
    ASSERT_TRUE(input->Map("joy0:+xbtn.pressed", "pxbtn"));
    ASSERT_TRUE(input->Map("joy0:+a", "east"));
    ASSERT_TRUE(input->Map("joy0:+abtn.pressed", "eastbtn"));
    ASSERT_TRUE(input->Map("joy0:btn2.down", "fire"));

    SDL_JoystickSetVirtualAxis(joystick, 0, 0);
    Frame();
    Frame();
    EXPECT_EQ(Var("px"), "false 0.000000");
    EXPECT_EQ(Var("nx"), "false 0.000000");

    // The ring of three fills: this frame's sample and the end-of-frame repeat
    // make two, the next frame's repeat the third.
    SDL_JoystickSetVirtualAxis(joystick, 0, 32767);
    Frame();
    EXPECT_NEAR(input->GetSlider("px"), 4.0f / 9.0f, 1e-5f);
    EXPECT_TRUE(input->GetButton("pxbtn"));
    Frame();
    EXPECT_EQ(Var("px"), "false 1.000000");
    EXPECT_EQ(Var("nx"), "false 0.000000");

    SDL_JoystickSetVirtualHat(joystick, 0, SDL_HAT_RIGHT);
    Frame();
    EXPECT_EQ(Var("east"), "false 1.000000");
    EXPECT_EQ(Var("eastbtn"), "true 1.000000");
    SDL_JoystickSetVirtualHat(joystick, 0, SDL_HAT_CENTERED);
    Frame();
    EXPECT_EQ(Var("east"), "false 0.000000");
    EXPECT_EQ(Var("eastbtn"), "false 0.000000");

    ASSERT_TRUE(input->Map("joy0:btn2.pressed", "firing"));
    SDL_JoystickSetVirtualButton(joystick, 2, SDL_PRESSED);
    Frame();
    EXPECT_EQ(Var("fire"), "true 1.000000");

    // Unplugged while held: everything lets go instead of repeating its last values.
    SDL_JoystickClose(joystick);
    SDL_JoystickDetachVirtual(index);
    Frame();
    EXPECT_EQ(Var("firing"), "false 0.000000");
    Frame();
    Frame();
    EXPECT_EQ(Var("px"), "false 0.000000");
    EXPECT_EQ(Var("pxbtn"), "false 0.000000");
    EXPECT_FALSE(TakeErrors());
}

TEST_F(DI8ServerTest, JoystickWithoutARangeReadsOverTheDefaultRange) {
    nDI8DeviceRecord record;
    record.kind = nDI8DeviceRecord::Joystick;
    record.numAxes = 2;
    record.numButtons = 2;
    record.rangeMin = 0;
    record.rangeMax = 0;
    nDI8Joystick joystick(kernel, input, &record, 5);
    ASSERT_TRUE(input->Map("keyb0:space.down", "unused"));
    nKernelServer::ks->PushCwd(kernel->Lookup("/sys/share/input/devs"));
    joystick.BuildChannels(nullptr);
    nKernelServer::ks->PopCwd();
    ASSERT_TRUE(input->Map("joy5:+x", "px"));
    for (int i = 0; i < 3; i++) {
        joystick.BeginFrame(0.02);
        joystick.PostAxis(0, 65535);
        joystick.EndFrame();
        input->nInputServer::Trigger(time += 0.02);
        input->FlushEvents();
    }
    EXPECT_EQ(Var("px"), "false 1.000000");
}

}  // namespace
