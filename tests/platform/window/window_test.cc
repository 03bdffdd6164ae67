#include "platform/input/InputSystem.h"
#include "platform/window/KeyInput.h"
#include "platform/window/Window.h"
#include "tests/platform/SdlEvents.h"
#include "tests/platform/SdlTestEnvironment.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const auto* const kVideo = ::testing::AddGlobalTestEnvironment(new bwtest::SdlVideoEnvironment);

using window::CursorMode;
using window::Message;
using window::MessageKind;
using window::Window;

SDL_Keysym Key(SDL_Scancode scancode, SDL_Keycode sym, uint16_t mod = KMOD_NONE)
{
    SDL_Keysym key = {};
    key.scancode = scancode;
    key.sym = sym;
    key.mod = mod;
    return key;
}

TEST(KeyInputTest, VirtualKeysFollowLayoutForLettersAndPositionOtherwise)
{
    // A German keyboard swaps Y and Z: the letter decides.
    EXPECT_EQ(window::VirtualKeyFromSdl(Key(SDL_SCANCODE_Y, SDLK_z)), 'Z');
    EXPECT_EQ(window::VirtualKeyFromSdl(Key(SDL_SCANCODE_0, SDLK_0)), '0');
    // A French keyboard types '&' on the 1 key unshifted; it is still the 1 key.
    EXPECT_EQ(window::VirtualKeyFromSdl(Key(SDL_SCANCODE_1, SDLK_AMPERSAND)), '1');
    EXPECT_EQ(window::VirtualKeyFromSdl(Key(SDL_SCANCODE_F24, SDLK_F24)), 135);
    EXPECT_EQ(window::VirtualKeyFromSdl(Key(SDL_SCANCODE_KP_DIVIDE, SDLK_KP_DIVIDE)), 111);
    EXPECT_EQ(window::VirtualKeyFromSdl(Key(SDL_SCANCODE_RCTRL, SDLK_RCTRL)), 17);
    // The key left of 1 (circumflex on a German keyboard) whatever it types.
    EXPECT_EQ(window::VirtualKeyFromSdl(Key(SDL_SCANCODE_GRAVE, SDLK_CARET)), 220);
    EXPECT_EQ(window::VirtualKeyFromSdl(Key(SDL_SCANCODE_SEMICOLON, 0xF6)), 0);

    EXPECT_EQ(window::ControlCharacterFromSdl(Key(SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE)), 8);
    EXPECT_EQ(window::ControlCharacterFromSdl(Key(SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER)), 13);
    EXPECT_EQ(window::ControlCharacterFromSdl(Key(SDL_SCANCODE_A, SDLK_a)), 0);
}

TEST(KeyInputTest, TextBecomesWindows1252)
{
    EXPECT_EQ(window::Cp1252FromUtf8("a\xC3\xBC\xC3\x9F"), std::string("a\xFC\xDF"));  // aüß
    EXPECT_EQ(window::Cp1252FromUtf8("\xE2\x82\xAC"), std::string("\x80"));           // €
    // Characters without a byte and broken sequences are dropped.
    EXPECT_EQ(window::Cp1252FromUtf8("x\xF0\x9F\x90\x9F" "y"), "xy");
    EXPECT_EQ(window::Cp1252FromUtf8("\xC3" "a\x80" "b"), "ab");
    EXPECT_EQ(window::Cp1252FromUtf8(nullptr), "");
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        this->win = Window::Open("Brinewick");
        ASSERT_NE(this->win, nullptr);
        // Start every test with an empty queue.
        this->win->PumpMessages([](const Message&) { return true; });
    }

    // The pumped messages, each as its kind and the fields that kind carries.
    std::vector<std::string> Pump()
    {
        std::vector<std::string> received;
        this->win->PumpMessages([&received, this](const Message& m) {
            const std::string at = " " + std::to_string(m.x) + "," + std::to_string(m.y);
            switch (m.kind) {
            case MessageKind::Close: received.push_back("close"); break;
            case MessageKind::KeyDown:
                received.push_back("down " + std::to_string(m.virtualKey) + (m.systemKey ? " sys" : ""));
                break;
            case MessageKind::KeyUp: received.push_back("up " + std::to_string(m.virtualKey)); break;
            case MessageKind::Char: received.push_back("char " + std::to_string(m.character)); break;
            case MessageKind::MouseMove: received.push_back("move" + at); break;
            case MessageKind::ButtonDown: received.push_back("press " + std::to_string(m.button) + at); break;
            case MessageKind::ButtonUp: received.push_back("release " + std::to_string(m.button) + at); break;
            case MessageKind::Wheel: received.push_back("wheel " + std::to_string(m.wheelDelta)); break;
            case MessageKind::SetCursor: received.push_back("cursor"); break;
            default: received.push_back("other"); break;
            }
            return m.kind != MessageKind::SetCursor || this->handleSetCursor;
        });
        return received;
    }

    void Push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1); }

    std::unique_ptr<Window> win;
    bool handleSetCursor = true;
};

TEST_F(WindowTest, CloseRequestsReachTheHandler)
{
    ASSERT_TRUE(this->win->RequestClose());
    EXPECT_EQ(this->Pump(), std::vector<std::string>{"close"});
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    this->Push(quit);
    EXPECT_EQ(this->Pump(), std::vector<std::string>{"close"});

    // A looping script's watcher sees a close behind any number of other window events,
    // and no more once it was taken out.
    for (int i = 0; i < 40; i++) {
        this->Push(bwtest::sdl::Focus(this->win->GetId(), i % 2 == 0));
    }
    ASSERT_TRUE(this->win->RequestClose());
    EXPECT_TRUE(Window::CloseWaiting());
    this->Pump();
    EXPECT_FALSE(Window::CloseWaiting());

    // Closing does not destroy the window: the engine decides when.
    EXPECT_NE(SDL_GetWindowFromID(this->win->GetId()), nullptr);
}

TEST_F(WindowTest, KeyboardEventsBecomeKeyAndCharacterMessages)
{
    const uint32_t id = this->win->GetId();
    this->Push(bwtest::sdl::Key(id, SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, true));
    this->Push(bwtest::sdl::Key(id, SDL_SCANCODE_A, SDLK_a, true, KMOD_LALT));
    this->Push(bwtest::sdl::Key(id, SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, false));
    SDL_Event text = {};
    text.type = SDL_TEXTINPUT;
    text.text.windowID = id;
    std::snprintf(text.text.text, sizeof(text.text.text), "%s", "\xC3\xA4");  // ä
    this->Push(text);
    this->Push(bwtest::sdl::Key(id + 100, SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, true));  // another window

    EXPECT_EQ(this->Pump(), (std::vector<std::string>{"down 8", "char 8", "down 65 sys", "up 8", "char 228"}));
}

TEST_F(WindowTest, MouseEventsBecomeCursorMoveButtonAndWheelMessages)
{
    const uint32_t id = this->win->GetId();
    this->Push(bwtest::sdl::Motion(id, -5, 10, 0, 0));  // captured outside the client area: the sign stays
    this->Push(bwtest::sdl::Button(id, SDL_BUTTON_RIGHT, true, 3, 4));
    this->Push(bwtest::sdl::Button(id, SDL_BUTTON_MIDDLE, false, 3, 4));
    this->Push(bwtest::sdl::Wheel(id, -2));

    this->win->SetCursorMode(CursorMode::Hidden);
    this->handleSetCursor = false;
    EXPECT_EQ(this->Pump(),
              (std::vector<std::string>{"cursor", "move -5,10", "press 1 3,4", "release 2 3,4", "wheel -240"}));
    // Unhandled, the pointer becomes the arrow.
    EXPECT_EQ(this->win->GetCursorMode(), CursorMode::Arrow);
}

TEST_F(WindowTest, PlacementFullScreenTitleAndIcon)
{
    this->win->SetTitle("Brinewick");
    EXPECT_EQ(this->win->GetTitle(), "Brinewick");

    this->win->Place(0, 0, 640, 480);
    int w = 0;
    int h = 0;
    this->win->GetClientSize(w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(640, 480));
    EXPECT_FALSE(this->win->IsMinimised());

    this->win->SetStyle(window::WindowStyle::FullScreen);
    ASSERT_TRUE(this->win->EnterFullScreen(800, 600));
    this->win->Place(0, 0, 800, 600);  // placing after the device opened keeps full screen
    EXPECT_TRUE(this->win->IsFullScreen());
    this->win->GetClientSize(w, h);
    EXPECT_EQ(w, 800);
    this->win->LeaveFullScreen();
    EXPECT_FALSE(this->win->IsFullScreen());
    EXPECT_FALSE(this->win->EnterFullScreen(0, 600));

    EXPECT_FALSE(this->win->SetIcon("/nonexistent/icon.bmp"));
    EXPECT_FALSE(this->win->SetIcon(""));
    const std::string path = ::testing::TempDir() + "bw_icon.bmp";
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormat(0, 16, 16, 32, SDL_PIXELFORMAT_ARGB8888);
    ASSERT_NE(icon, nullptr);
    SDL_FillRect(icon, nullptr, 0xFF2060A0u);
    ASSERT_EQ(SDL_SaveBMP(icon, path.c_str()), 0);
    SDL_FreeSurface(icon);
    EXPECT_TRUE(this->win->SetIcon(path.c_str()));
    std::remove(path.c_str());

    const uint32_t pixels[4] = {0xFFFFFFFFu, 0, 0, 0xFFFFFFFFu};
    EXPECT_FALSE(this->win->SetCursorImage(2, 0, 2, 2, pixels));  // hotspot outside
    EXPECT_FALSE(this->win->SetCursorImage(0, 0, 2, 2, nullptr));
}

// A window made at a size draws at that size from the start: the offscreen driver never
// resizes a drawable, so a window made at 1 x 1 and placed keeps a 1 x 1 one.
TEST(WindowSizeTest, AWindowMadeAtItsSizeHasADrawableOfThatSize)
{
    for (const auto& [asked, made] : {std::make_pair(320, 320), std::make_pair(0, 1)}) {
        std::unique_ptr<Window> sized = Window::Open("sized", asked, 240);
        ASSERT_NE(sized, nullptr);
        int w = 0;
        int h = 0;
        sized->GetClientSize(w, h);
        EXPECT_EQ(std::make_pair(w, h), std::make_pair(made, 240));
        SDL_GLContext context = SDL_GL_CreateContext(sized->GetSdlWindow());
        ASSERT_NE(context, nullptr) << SDL_GetError();
        using GetIntegers = void (*)(unsigned, int*);
        auto getIntegers = reinterpret_cast<GetIntegers>(SDL_GL_GetProcAddress("glGetIntegerv"));
        ASSERT_NE(getIntegers, nullptr);
        int viewport[4] = {0, 0, 0, 0};
        getIntegers(0x0BA2 /* GL_VIEWPORT: the drawable's size at first use */, viewport);
        EXPECT_EQ(std::make_pair(viewport[2], viewport[3]), std::make_pair(made, 240));
        SDL_GL_DeleteContext(context);
    }
}

// Where the drawable keeps its size (the offscreen driver the tests run on), a window made
// again gets the new size and depth bits; it keeps its caption, style and focus, its messages come
// under the new id, and the old id names no window any more. Full screen refuses it.
TEST_F(WindowTest, AWindowMadeAgainHasTheNewDrawableAndKeepsCaptionStyleAndMessages)
{
    ASSERT_FALSE(Window::DrawableFollowsSize());
    this->win->SetTitle("Brinewick");
    this->win->SetStyle(window::WindowStyle::FullScreen);
    const uint32_t oldId = this->win->GetId();
    std::unique_ptr<input::InputSystem> input = input::InputSystem::Open();
    ASSERT_NE(input, nullptr);
    this->Push(bwtest::sdl::Focus(oldId, true));
    this->Pump();
    ASSERT_EQ(input->GetFocusWindow(), oldId);
    ASSERT_TRUE(this->win->Remake(320, 200, 24, 8));
    const uint32_t id = this->win->GetId();
    EXPECT_NE(id, oldId);
    EXPECT_EQ(input->GetFocusWindow(), id) << "the focus follows the window";
    EXPECT_EQ(SDL_GetWindowFromID(oldId), nullptr);
    EXPECT_EQ(SDL_GetWindowFromID(id), this->win->GetSdlWindow());
    EXPECT_EQ(this->win->GetTitle(), "Brinewick");
    EXPECT_EQ(this->win->GetStyle(), window::WindowStyle::FullScreen);
    EXPECT_NE(SDL_GetWindowFlags(this->win->GetSdlWindow()) & SDL_WINDOW_BORDERLESS, 0u);
    EXPECT_EQ(std::make_pair(this->win->GetDepthBits(), this->win->GetStencilBits()), std::make_pair(24, 8));
    int w = 0;
    int h = 0;
    this->win->GetClientSize(w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(320, 200));
    SDL_GLContext context = SDL_GL_CreateContext(this->win->GetSdlWindow());
    ASSERT_NE(context, nullptr) << SDL_GetError();
    using GetIntegers = void (*)(unsigned, int*);
    auto getIntegers = reinterpret_cast<GetIntegers>(SDL_GL_GetProcAddress("glGetIntegerv"));
    ASSERT_NE(getIntegers, nullptr);
    int depth = 0;
    int stencil = 0;
    getIntegers(0x0D56 /* GL_DEPTH_BITS */, &depth);
    getIntegers(0x0D57 /* GL_STENCIL_BITS */, &stencil);
    EXPECT_EQ(std::make_pair(depth, stencil), std::make_pair(24, 8));
    SDL_GL_DeleteContext(context);

    this->Pump();
    this->Push(bwtest::sdl::Key(oldId, SDL_SCANCODE_A, SDLK_a, true));
    this->Push(bwtest::sdl::Key(id, SDL_SCANCODE_B, SDLK_b, true));
    EXPECT_EQ(this->Pump(), std::vector<std::string>{"down 66"});

    // The icon given by id reaches the window object, which gives it to the next window.
    const char* src = std::getenv("BW_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    EXPECT_TRUE(window::SetWindowIcon(id, (std::string(src) + "/data/bin/win32/brinewick.bmp").c_str()));
    ASSERT_TRUE(this->win->EnterFullScreen(800, 600));
    EXPECT_FALSE(this->win->Remake(800, 600, 16, 0));
    EXPECT_EQ(this->win->GetId(), id);
    this->win->LeaveFullScreen();
    ASSERT_TRUE(this->win->Remake(640, 480, 16, 0));
    this->win->GetClientSize(w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(640, 480));
}

TEST_F(WindowTest, GameIconLoadsByWindowIdAndBadIconFilesAreRefused)
{
    const char* src = std::getenv("BW_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    const std::string icon = std::string(src) + "/data/bin/win32/brinewick.bmp";
    EXPECT_TRUE(window::SetWindowIcon(this->win->GetId(), icon.c_str()));

    // The game's own image: 32x32 with an alpha channel, see-through in the corners and
    // opaque in the middle.
    SDL_Surface* loaded = SDL_LoadBMP(icon.c_str());
    ASSERT_NE(loaded, nullptr) << SDL_GetError();
    SDL_Surface* argb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(loaded);
    ASSERT_NE(argb, nullptr);
    EXPECT_EQ(std::make_pair(argb->w, argb->h), std::make_pair(32, 32));
    const auto* pixels = static_cast<const uint32_t*>(argb->pixels);
    const int stride = argb->pitch / 4;
    EXPECT_EQ(pixels[0] >> 24, 0u);
    EXPECT_EQ(pixels[31 * stride + 31] >> 24, 0u);
    EXPECT_EQ(pixels[16 * stride + 16] >> 24, 0xFFu);
    SDL_FreeSurface(argb);

    // Missing, foreign, truncated files and unknown windows: refused, never a crash.
    const std::string junk = ::testing::TempDir() + "bw_icon_junk.bmp";
    const std::string cut = ::testing::TempDir() + "bw_icon_cut.bmp";
    if (FILE* f = std::fopen(junk.c_str(), "wb")) {
        std::fputs("BM this is no bitmap at all", f);
        std::fclose(f);
    }
    if (FILE* in = std::fopen(icon.c_str(), "rb")) {
        char head[200];
        const size_t n = std::fread(head, 1, sizeof(head), in);
        std::fclose(in);
        if (FILE* out = std::fopen(cut.c_str(), "wb")) {
            std::fwrite(head, 1, n, out);
            std::fclose(out);
        }
    }
    for (const std::string& bad : {std::string("/nonexistent/brinewick.bmp"), junk, cut}) {
        EXPECT_FALSE(window::SetWindowIcon(this->win->GetId(), bad.c_str())) << bad;
    }
    EXPECT_FALSE(window::SetWindowIcon(0, icon.c_str()));
    EXPECT_FALSE(window::SetWindowIcon(this->win->GetId() + 1000, icon.c_str()));
    std::remove(junk.c_str());
    std::remove(cut.c_str());
}

}  // namespace
