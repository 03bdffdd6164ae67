// Tool windows on the OpenGL device in a 320 x 240 window: what they draw, read back
// at probe pixels, and what the pump's pushed events do with them.
#include <SDL2/SDL.h>
#include <imgui.h>

#include <filesystem>
#include <map>
#include <vector>

#include "gfx/nD3D8Server.h"
#include "input/nInputServer.h"
#include "platform/window/Window.h"
#include "tests/platform/SdlEvents.h"
#include "tests/platform/SdlTestEnvironment.h"
#include "tests/tools/ToolsFixture.h"
#include "tools/nContextMenu.h"
#include "tools/nEditPlugin.h"
#include "tools/nRootEdit.h"
#include "tools/nMacroExec2.h"
#include "platform/ui/EditorControl.h"
#include "platform/ui/ToolBar.h"
#include "tools/nSciControl.h"
#include "tools/nScriptEditDlg.h"
#include "script/nScriptlet.h"
#include "tools/nToolBar.h"
#include "tools/nTreeView.h"
#include "tools/nImageList.h"
#include "platform/ui/TreeControl.h"
#include "tools/nWinCommandEvent.h"
#include "kernel/nFileServer2.h"

namespace {

constexpr uint32_t kBlue = 0xFF0000FFu;

class ToolDrawTest : public ToolsFixture {
protected:
    ToolDrawTest() { gfxClass = "nd3d8server"; }
    static void SetUpTestSuite() { bwtest::LoadSdlVideo(); }

    void SetUp() override {
        ToolsFixture::SetUp();
        d3d = static_cast<nD3D8Server*>(gfxServer);
        ASSERT_TRUE(d3d->SetDisplayMode("w(320)-h(240)-zbuf(16)"));
        ASSERT_TRUE(d3d->OpenDisplay());
        d3d->SetClearColor(0.0f, 0.0f, 1.0f, 1.0f);
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        StartClock();
        // What reached the game's input during each frame's logic.
        oroot->onTrigger = [this] {
            for (nInputEvent* e = input->FirstEvent(); e; e = nInputServer::NextEvent(e)) {
                events.push_back({e->type, e->number});
            }
        };
    }
    void TearDown() override {
        d3d->CloseDisplay();
        ToolsFixture::TearDown();
    }

    uint32_t At(int x, int y) { return bwtest::Presented(*d3d->GetDevice(), x, y); }
    void Frame() {
        frameTime += 0.03;
        ASSERT_TRUE(FrameAt(frameTime));
    }
    void Push(SDL_Event e) { SDL_PushEvent(&e); }
    uint32_t Id() { return d3d->GetWindow()->GetId(); }
    void PushClick(int x, int y) {
        Push(bwtest::sdl::Motion(Id(), x, y, 0, 0));
        Push(bwtest::sdl::Button(Id(), SDL_BUTTON_LEFT, true, x, y));
        Push(bwtest::sdl::Button(Id(), SDL_BUTTON_LEFT, false, x, y));
    }
    int Count(int type, int number = -1) const {
        int n = 0;
        for (const auto& [t, num] : events) n += t == type && (number < 0 || num == number);
        return n;
    }

    nD3D8Server* d3d = nullptr;
    double frameTime = 0.0;
    std::vector<std::pair<int, int>> events;
};

TEST_F(ToolDrawTest, AToolWindowDrawsItsFrameAndButtonsOverTheGame) {
    MakePluginServer();
    std::unique_ptr<ui::ToolWindow> w = Host()->MakeToolWindow("Probe", 160, 100);
    w->SetPosition(20, 20);
    const int ok = w->AddButton("OK", 10, 10, 80, 25);
    Frame();
    // Hidden: the frame is the game's.
    EXPECT_TRUE(bwtest::ColorNear(At(100, 70), kBlue));
    w->Show();
    Frame();
    int l = 0, t = 0, r = 0, b = 0;
    ASSERT_TRUE(w->GetButtonScreenRect(ok, l, t, r, b));
    EXPECT_EQ(r - l, 80);
    EXPECT_EQ(b - t, 25);
    EXPECT_EQ(l, 30);
    EXPECT_GT(t, 30);
    EXPECT_TRUE(bwtest::ColorNear(At(r - 6, t + 3), ui::Colors::Button));
    EXPECT_TRUE(bwtest::ColorNear(At(150, 110), ui::Colors::Window));
    EXPECT_TRUE(bwtest::ColorNear(At(120, 25), ui::Colors::Title));
    EXPECT_TRUE(bwtest::ColorNear(At(200, 70), kBlue));
    EXPECT_TRUE(bwtest::ColorNear(At(10, 10), kBlue));

    // Minimised it keeps its title bar only.
    w->Minimise();
    Frame();
    EXPECT_TRUE(bwtest::ColorNear(At(150, 110), kBlue));
    EXPECT_TRUE(w->IsMinimised());
    w->Show();
    Frame();
    EXPECT_TRUE(bwtest::ColorNear(At(150, 110), ui::Colors::Window));
}

// Unlike the chat, the notice line lies over the tool windows, and goes when taken back.
TEST_F(ToolDrawTest, TheNoticeLineIsDrawnAboveTheToolWindows) {
    MakePluginServer();
    std::unique_ptr<ui::ToolWindow> w = Host()->MakeToolWindow("Probe", 300, 100);
    w->SetPosition(0, 0);
    w->Show();
    Frame();
    EXPECT_TRUE(bwtest::ColorNear(At(200, 4), ui::Colors::Title));
    Host()->SetNotice("Makros: bin:scripts.n kann nicht geschrieben werden.");
    Frame();
    EXPECT_TRUE(bwtest::ColorNear(At(200, 2), ui::Colors::NoticeBack));
    EXPECT_TRUE(bwtest::ColorNear(At(310, 2), ui::Colors::NoticeBack));
    EXPECT_TRUE(bwtest::ColorNear(At(150, 80), ui::Colors::Window));
    Host()->SetNotice("");
    Frame();
    EXPECT_TRUE(bwtest::ColorNear(At(200, 4), ui::Colors::Title));
    EXPECT_TRUE(bwtest::ColorNear(At(310, 2), kBlue));
}

TEST_F(ToolDrawTest, WithNoToolWindowShownTheFrameIsTheGamesAlone) {
    obs->AddLineGroup(matrix44(), 1, 0, 0, 1);
    obs->AddLinePoint(vector3(-0.5f, 0.0f, -0.5f));
    obs->AddLinePoint(vector3(0.5f, 0.0f, -0.5f));
    d3d->SetMatrix(nGfxServer::PROJECTION, matrix44());
    Frame();
    std::vector<uint32_t> without;
    int w = 0, h = 0;
    ASSERT_TRUE(d3d->GetDevice()->CopyFrontBuffer(without, w, h));

    MakePluginServer();
    std::unique_ptr<ui::ToolWindow> hidden = Host()->MakeToolWindow("Hidden", 100, 100);
    obs->AddLineGroup(matrix44(), 1, 0, 0, 1);
    obs->AddLinePoint(vector3(-0.5f, 0.0f, -0.5f));
    obs->AddLinePoint(vector3(0.5f, 0.0f, -0.5f));
    Frame();
    std::vector<uint32_t> with;
    ASSERT_TRUE(d3d->GetDevice()->CopyFrontBuffer(with, w, h));
    EXPECT_TRUE(with == without);
}

TEST_F(ToolDrawTest, KeysAndClicksTakenByAToolWindowNeverReachTheGame) {
    MakePluginServer();
    std::unique_ptr<ui::ToolWindow> w = Host()->MakeToolWindow("Keys", 160, 100);
    w->SetPosition(20, 20);
    const int ok = w->AddButton("OK", 10, 10, 80, 25);
    std::vector<int> commands;
    w->onCommand = [&commands](int button) { commands.push_back(button); };
    w->BringToFront();
    Frame();
    Frame();
    int l = 0, t = 0, r = 0, b = 0;
    ASSERT_TRUE(w->GetButtonScreenRect(ok, l, t, r, b));
    events.clear();
    PushClick((l + r) / 2, (t + b) / 2);
    Push(bwtest::sdl::Key(Id(), SDL_SCANCODE_A, SDLK_a, true));
    Push(bwtest::sdl::Key(Id(), SDL_SCANCODE_F12, SDLK_F12, true));
    Frame();
    Frame();
    EXPECT_EQ(commands, std::vector<int>{ok});
    EXPECT_EQ(Count(N_INPUT_BUTTON_DOWN), 0);
    EXPECT_EQ(Count(N_INPUT_BUTTON_UP), 0);
    EXPECT_EQ(Count(N_INPUT_MOUSE_MOVE), 0);
    // F12 always reaches the game; other keys do not while the window has the keyboard.
    EXPECT_EQ(Count(N_INPUT_KEY_DOWN), 1);
    EXPECT_EQ(Count(N_INPUT_KEY_DOWN, nD3D8Server::TranslateKey(123)), 1);

    // A click beside the window goes to the game and takes the keyboard from the window.
    events.clear();
    PushClick(250, 200);
    Frame();
    Push(bwtest::sdl::Key(Id(), SDL_SCANCODE_A, SDLK_a, false));
    Push(bwtest::sdl::Key(Id(), SDL_SCANCODE_B, SDLK_b, true));
    Frame();
    EXPECT_EQ(Count(N_INPUT_BUTTON_DOWN), 1);
    EXPECT_EQ(Count(N_INPUT_BUTTON_UP), 1);
    // The release of a key the window took stays with it; the game's own key is the game's.
    EXPECT_EQ(Count(N_INPUT_KEY_UP), 0);
    EXPECT_EQ(Count(N_INPUT_KEY_DOWN), 1);
    EXPECT_EQ(commands.size(), 1u);
    events.clear();
    Push(bwtest::sdl::Key(Id(), SDL_SCANCODE_B, SDLK_b, false));
    Frame();
    EXPECT_EQ(Count(N_INPUT_KEY_UP), 1);
}

TEST_F(ToolDrawTest, F12MakesTheToolsAndThenShowsAndHidesThem) {
    // The game's own start script and tools script, run from the test's "bin:".
    for (const char* name : {"init_bw.n", "init_tools.n"}) {
        std::filesystem::copy_file(SourceDir() + "/data/bin/win32/" + name, bin + name);
    }
    kernel->New("nlogicinputserver", "/sys/servers/logicinput");
    ASSERT_TRUE(Run("dofile('bin:init_bw.n')"));
    Frame();
    EXPECT_EQ(Lookup("/sys/servers/plugin"), nullptr);
    auto press = [this] {
        Push(bwtest::sdl::Key(Id(), SDL_SCANCODE_F12, SDLK_F12, true));
        Frame();
        Push(bwtest::sdl::Key(Id(), SDL_SCANCODE_F12, SDLK_F12, false));
        Frame();
    };
    press();
    auto* macros = dynamic_cast<nMacroExec2*>(Lookup("/sys/servers/plugin/macros"));
    ASSERT_NE(macros, nullptr);
    EXPECT_TRUE(macros->GetActive());
    EXPECT_TRUE(macros->GetWindow()->IsVisible());
    // The tree view and both editors, active and hooked into its menu, and the console.
    auto* tv = dynamic_cast<nTreeView*>(Lookup("/sys/servers/plugin/treeview"));
    ASSERT_NE(tv, nullptr);
    EXPECT_TRUE(tv->GetWindow()->IsVisible());
    EXPECT_NE(tv->FindEvent("editroot"), nullptr);
    EXPECT_NE(tv->FindEvent("editscript"), nullptr);
    EXPECT_NE(Lookup("/sys/servers/console"), nullptr);
    // They open apart, not stacked in a corner, and the macros window's title shows whole.
    const ui::ToolWindow* t = tv->GetWindow();
    const ui::ToolWindow* m = macros->GetWindow();
    EXPECT_TRUE(t->GetX() + t->GetWidth() <= m->GetX() || m->GetX() + m->GetWidth() <= t->GetX() ||
                t->GetY() + t->GetHeight() <= m->GetY() || m->GetY() + m->GetHeight() <= t->GetY())
        << t->GetX() << "," << t->GetY() << " " << t->GetWidth() << "x" << t->GetHeight() << " and " << m->GetX()
        << "," << m->GetY() << " " << m->GetWidth() << "x" << m->GetHeight();
    ImGui::SetCurrentContext(gfxServer->GetUiHost()->GetContext());
    EXPECT_GE(float(m->GetWidth()), ImGui::CalcTextSize("Scripts-Macros").x + 2.0f * ImGui::GetFontSize());
    press();
    EXPECT_FALSE(macros->GetActive());
    EXPECT_FALSE(tv->GetActive());
    EXPECT_EQ(tv->FindEvent("editroot"), nullptr);
    EXPECT_FALSE(macros->GetWindow()->IsVisible());
    press();
    EXPECT_TRUE(macros->GetActive());
    // With the keyboard in a tool window F12 still reaches the game.
    macros->GetWindow()->BringToFront();
    Frame();
    ASSERT_TRUE(gfxServer->GetUiHost()->TakesKeyboard());
    press();
    EXPECT_FALSE(macros->GetActive());
    // The tree view closed by its X: F12 hides the others, then shows all of them again,
    // never one shown and one hidden.
    press();
    tv->GetWindow()->onClose();
    Frame();
    ASSERT_FALSE(tv->GetActive());
    for (bool shown : {false, true, false, true}) {
        press();
        EXPECT_EQ(tv->GetActive(), shown);
        EXPECT_EQ(macros->GetActive(), shown);
        EXPECT_EQ(macros->GetWindow()->IsVisible(), shown);
    }
    // Both windows closed by their X: F12 shows all (the editors open no window of their own)
    // but hides all while an editor's dialog shows; with every tool, or their server, deleted it
    // makes them anew.
    for (const char* then : {"", "obj('/sys/servers/plugin/rootedit').open('/sys')",
                             "for _, p in ipairs(toolplugins) do delete(p) end", "delete('/sys/servers/plugin')"}) {
        tv->GetWindow()->onClose();
        macros->GetWindow()->onClose();
        ASSERT_TRUE(Run(then));
        press();
        tv = dynamic_cast<nTreeView*>(Lookup("/sys/servers/plugin/treeview"));
        macros = dynamic_cast<nMacroExec2*>(Lookup("/sys/servers/plugin/macros"));
        EXPECT_EQ(tv->GetActive() && macros->GetActive(), *then != 'o') << then;
        if (*then == 'o') press();
    }
}

TEST_F(ToolDrawTest, AnEditorOpensWithinTheDisplay) {
    for (const char* name : {"init_bw.n", "init_tools.n"}) {
        std::filesystem::copy_file(SourceDir() + "/data/bin/win32/" + name, bin + name);
    }
    kernel->New("nlogicinputserver", "/sys/servers/logicinput");
    ASSERT_TRUE(Run("dofile('bin:init_bw.n')"));
    Frame();
    Push(bwtest::sdl::Key(Id(), SDL_SCANCODE_F12, SDLK_F12, true));
    Frame();
    Frame();
    auto* edit = dynamic_cast<nEditPlugin*>(Lookup("/sys/servers/plugin/rootedit"));
    ASSERT_NE(edit, nullptr);
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    ASSERT_TRUE(d3d->GetDisplayDesc(x0, y0, x1, y1));
    // The tools' windows fill the first row; the editors open below them, whole.
    for (const char* path : {"/usr", "/sys"}) {
        ASSERT_TRUE(edit->Open(path));
        Frame();
        const ui::ToolWindow* w = edit->FindDialog(path)->GetWindow();
        EXPECT_TRUE(w->GetX() >= 0 && w->GetY() >= 0 && w->GetX() + w->GetWidth() <= x1 - x0 &&
                    w->GetY() + w->GetHeight() <= y1 - y0)
            << path << ": " << w->GetX() << "," << w->GetY() << " " << w->GetWidth() << "x" << w->GetHeight();
    }
}

// Keys pushed through the pump into the root editor, each row on a newly opened text.
// One letter a key: "^" and "." press and release Ctrl, "+" "-" Shift, "{" "}" Alt; E, R,
// B, S, T, L, V, Y and Z are End, Return, Backspace, Space, Tab, Left, V, Y and Z; a
// lower-case letter or "@" (a u umlaut) is typed, its key and its text; "(" holds the
// next key, "*" repeats and ")" releases it; "!" takes the focus away and back; "&" and "="
// click at the end of another editor beside this one and of this one; "|" ends a frame.
TEST_F(ToolDrawTest, EveryKeyCountsWithTheModifiersHeldWhenItCameAndUndoStopsAtTheOpenedText) {
    MakePluginServer();
    auto* edit = static_cast<nRootEdit*>(kernel->New("nrootedit", "/sys/servers/plugin/rootedit"));
    edit->SetActive(true);
    auto repeat = [](const std::string& keys, int times) {
        std::string out;
        for (int i = 0; i < times; i++) out += keys;
        return out;
    };
    const std::string clip = "\xE4\xFF" + std::string(20000, 'z') + "\xC3\xA4\n";  // stray bytes, UTF-8, long
    Host()->SetClipboard([&clip] { return clip; }, [](const std::string&) {});
    kernel->New("nroot", "/usr/other");
    ASSERT_TRUE(edit->Open("/usr/other"));
    edit->FindDialog("/usr/other")->GetWindow()->SetPosition(160, 0);
    ui::EditorControl& other = *edit->FindDialog("/usr/other")->GetEditor().GetControl();
    const std::string otherOpened = other.GetText();
    const struct {
        std::string keys;
        double frameSeconds;
        std::string added;  // at the opened text's end afterwards
        std::string inOther = "";
    } rows[] = {
        {repeat("^E.q", 10), 0.03, std::string(10, 'q')},
        {repeat("^E.q^E.q^E.q|", 7), 0.7, std::string(21, 'q')},
        {"^E.Rx", 0.03, "\nx"},  // Return right after a chord breaks the line; the edit goes on
        {"^E.abBc", 0.03, "ac"},
        {"^E.@", 0.03, "\xC3\xBC"},  // the opened text's stray "\xE4" and its "\xC3\xA4" stay as they were
        {"^E.aTbLBc", 0.03, "acb"},
        {"^E.a|b|^Z.c", 0.03, "ac"},
        {"^ZZ.|^Y.", 0.03, ""},
        {"^E.Rab|Rcd|^" + repeat("Z", 30) + ".", 0.03, ""},
        {"^E.Rget|^S.R", 0.03, "\ngetautorun()"},  // only the word before the caret goes
        {"^E.Rget^S.R", 0.7, "\ngetautorun()"},
        {"^E.Ra+L-b{E}q^{q}.", 0.03, "\nbqq"},  // the last q with AltGr, as Windows sends it
        {"^E.Rabcd|(B|*|*|*)|x", 0.7, "\nx"},
        {"^E.R^!q.", 0.03, "\nq"},
        {"^E.Rgetxyz|LLL|^S.R|^Z.", 0.03, "\ngetxyz"},
        {"^E.Rgetx+L-^S.R", 0.03, "\ngetautorun()x"},
        {"^E.R^V.", 0.03, "\n" + clip},
        {"^E.Rab|&cd=ef|&gh", 0.03, "\nabef", "cdgh"},
    };
    const std::map<char, SDL_Scancode> named = {{'E', SDL_SCANCODE_END}, {'R', SDL_SCANCODE_RETURN},
        {'B', SDL_SCANCODE_BACKSPACE}, {'S', SDL_SCANCODE_SPACE}, {'T', SDL_SCANCODE_TAB}, {'L', SDL_SCANCODE_LEFT}, {'Y', SDL_SCANCODE_Y}, {'Z', SDL_SCANCODE_Z},
        {'V', SDL_SCANCODE_V}, {'^', SDL_SCANCODE_LCTRL}, {'.', SDL_SCANCODE_LCTRL}, {'+', SDL_SCANCODE_LSHIFT},
        {'-', SDL_SCANCODE_LSHIFT}, {'{', SDL_SCANCODE_LALT}, {'}', SDL_SCANCODE_LALT}};
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.keys);
        const std::string path = "/usr/src" + std::to_string(n++);
        static_cast<nScriptlet*>(kernel->New("nscriptlet", path.c_str()))->SetScript("x = '\xE4\xC3\xA4'");
        ASSERT_TRUE(edit->Open(path.c_str()));
        nScriptEditDlg* dlg = edit->FindDialog(path.c_str());
        ui::EditorControl& c = *dlg->GetEditor().GetControl();
        const std::string opened = c.GetText();
        ASSERT_NE(opened.find('\xE4'), std::string::npos);
        EXPECT_FALSE(c.CanUndo());
        EXPECT_EQ(dlg->GetToolBar().GetBar().GetState(nScriptEditDlg::Undo) & 4, 0);
        dlg->GetWindow()->SetPosition(0, 0);
        dlg->GetWindow()->SetSize(160, 240);
        Frame();
        float x = 0, y = 0;
        ASSERT_TRUE(c.GetScreenPosition(0, x, y));
        PushClick(int(x) + 2, int(y + c.GetLineHeight() / 2));
        Frame();
        Frame();
        char held = 0;
        const std::string keys = row.keys + "||||";
        for (size_t k = 0; k < keys.size(); k++) {
            const char mode = keys[k];
            const char key = mode == '*' || mode == ')' ? held : mode == '(' ? keys[++k] : mode;
            const bool typed = (key >= 'a' && key <= 'z') || key == '@';
            const SDL_Scancode code = key == '@' ? SDL_SCANCODE_LEFTBRACKET
                                      : typed    ? SDL_Scancode(SDL_SCANCODE_A + (key - 'a'))
                                                 : named.count(key) ? named.at(key) : SDL_SCANCODE_UNKNOWN;
            SDL_Event down = bwtest::sdl::Key(Id(), code, SDL_GetKeyFromScancode(code), true), up = down;
            up.type = SDL_KEYUP, up.key.state = SDL_RELEASED, down.key.repeat = mode == '*';
            if (key == '|') {
                ASSERT_TRUE(FrameAt(frameTime += row.frameSeconds));
            } else if (key == '!') {
                Push(bwtest::sdl::Focus(Id(), false)), Push(bwtest::sdl::Focus(Id(), true));
            } else if (key == '&' || key == '=') {
                ui::EditorControl& e = key == '&' ? other : c;
                ASSERT_TRUE(e.GetScreenPosition(e.GetLength(), x, y));
                PushClick(int(x) + 2, int(y + e.GetLineHeight() / 2));
            } else if (std::string("^+{.-}").find(key) != std::string::npos) {
                Push(std::string("^+{").find(key) != std::string::npos ? down : up);
            } else {
                if (mode != ')') Push(down);
                if (typed && mode != ')') Push(bwtest::sdl::Text(Id(), key == '@' ? "\xC3\xBC" : std::string(1, key).c_str()));
                if (mode == '(') held = key;
                else if (mode != '*') Push(up);
            }
        }
        EXPECT_EQ(other.GetText(), otherOpened + row.inOther);
        other.SetText(otherOpened);
        EXPECT_EQ(c.GetText(), opened + row.added);
        delete dlg;
        Frame();
    }
}

class MenuDrawTest : public ToolDrawTest {
protected:
    static void Picked(void* context, nContextMenuItem* entry) {
        static_cast<MenuDrawTest*>(context)->picked.push_back(entry->GetName());
    }
    std::vector<std::string> picked;
};

TEST_F(MenuDrawTest, AMenuShownAtAPointIsPickedByAPushedClick) {
    MakePluginServer();
    nContextMenu menu(Host(), "contextmenu_treeview");
    menu.callback = Picked;
    menu.callbackContext = this;
    for (const char* name : {"a", "b", "c"}) menu.AddItem(name);
    menu.ShowAt(100, 100);
    Frame();
    for (int y : {110, 130, 150}) EXPECT_TRUE(bwtest::ColorNear(At(140, y), ui::Colors::Button)) << y;
    EXPECT_TRUE(bwtest::ColorNear(At(140, 165), kBlue));
    EXPECT_TRUE(bwtest::ColorNear(At(190, 130), kBlue));

    PushClick(140, 130);
    Frame();
    Frame();
    EXPECT_EQ(picked, std::vector<std::string>{"b"});
    EXPECT_FALSE(menu.IsShown());
    Frame();
    EXPECT_TRUE(bwtest::ColorNear(At(140, 130), kBlue));

    menu.ShowAt(100, 100);
    Frame();
    PushClick(20, 20);
    Frame();
    EXPECT_FALSE(menu.IsShown());
    Frame();
    EXPECT_TRUE(bwtest::ColorNear(At(140, 110), kBlue));
    EXPECT_EQ(picked.size(), 1u);
}

// Whether a pixel of the presented frame inside [x0, x1) x [y0, y1) is within
// `tolerance` of `colour` (0xAARRGGBB).
bool AnyNear(render::Device& device, float x0, float y0, float x1, float y1, uint32_t colour, int tolerance) {
    std::vector<uint32_t> pixels;
    int w = 0, h = 0;
    if (!device.CopyFrontBuffer(pixels, w, h)) return false;
    for (int y = std::max(0, int(y0)); y < std::min(h, int(y1) + 1); y++) {
        for (int x = std::max(0, int(x0)); x < std::min(w, int(x1) + 1); x++) {
            if (bwtest::ColorNear(pixels[size_t(y) * size_t(w) + size_t(x)] | 0xFF000000u, colour, tolerance)) {
                return true;
            }
        }
    }
    return false;
}

TEST_F(ToolDrawTest, TheScriptEditorShowsBarsLineNumbersAndColouredText) {
    MakePluginServer();
    auto dlg = std::make_unique<nScriptEditDlg>(Host(), kernel->GetFileServer(), "/usr/x");
    std::string text = "end -- remark\n";
    for (int i = 1; i < 40; i++) text += i == 30 ? "end -- later\n" : "x = 1\n";
    dlg->GetEditor().SetText(text.c_str());
    ui::ToolWindow* w = dlg->GetWindow();
    w->SetPosition(0, 0);
    w->SetSize(320, 240);
    w->Show();
    Frame();
    Frame();
    ui::EditorControl& c = *dlg->GetEditor().GetControl();
    render::Device& device = *d3d->GetDevice();
    const float lh = c.GetLineHeight();
    ASSERT_GT(lh, 0.0f);
    // Style 5 (keywords) is 0x00FF0000 as a Windows colour: pure blue; style 1 and 2
    // (comments) 0x074F2D: red 0x2D, green 0x4F, blue 0x07.
    const uint32_t keyword = 0xFF0000FFu;
    const uint32_t comment = 0xFF2D4F07u;
    float x = 0, y = 0, x2 = 0, y2 = 0;
    ASSERT_TRUE(c.GetScreenPosition(0, x, y));
    ASSERT_TRUE(c.GetScreenPosition(3, x2, y2));
    EXPECT_TRUE(AnyNear(device, x, y, x2, y + lh, keyword, 40));
    EXPECT_FALSE(AnyNear(device, x, y, x2, y + lh, comment, 20));
    ASSERT_TRUE(c.GetScreenPosition(4, x, y));
    ASSERT_TRUE(c.GetScreenPosition(13, x2, y2));
    EXPECT_TRUE(AnyNear(device, x, y, x2, y + lh, comment, 20));
    EXPECT_FALSE(AnyNear(device, x, y, x2, y + lh, keyword, 40));
    // Line numbers in margin 1 (30 pixels, left of margin 2's 20), dark on the margin.
    ASSERT_TRUE(c.GetScreenPosition(0, x, y));
    EXPECT_TRUE(AnyNear(device, x - 50, y, x - 20, y + lh, 0xFF000000u, 60));
    // The toolbar and menu bar are drawn above the text.
    float bx = 0, by = 0;
    ASSERT_TRUE(dlg->GetToolBar().GetBar().GetButtonScreenRect(32910, bx, by));
    EXPECT_LT(by + 24.0f, y + 1.0f);
    EXPECT_TRUE(AnyNear(device, bx, by, bx + 24, by + 24, 0xFFA0A0A0u, 8));
    EXPECT_TRUE(AnyNear(device, 4, by - 18, 60, by - 2, 0xFF000000u, 60));

    // Scrolled: line 30's keyword and comment keep their colours where the control says.
    const size_t line30 = c.PositionFromLine(30);
    Push(bwtest::sdl::Motion(Id(), int(x) + 60, int(y) + 40, 0, 0));
    Push(bwtest::sdl::Wheel(Id(), -10));
    Frame();
    Frame();
    ASSERT_TRUE(c.GetScreenPosition(line30, x, y));
    ASSERT_GT(y, 40.0f);
    ASSERT_LT(y + lh, 236.0f);
    ASSERT_TRUE(c.GetScreenPosition(line30 + 3, x2, y2));
    EXPECT_TRUE(AnyNear(device, x, y, x2, y + lh, keyword, 40));
    ASSERT_TRUE(c.GetScreenPosition(line30 + 4, x, y));
    ASSERT_TRUE(c.GetScreenPosition(line30 + 12, x2, y2));
    EXPECT_TRUE(AnyNear(device, x, y, x2, y + lh, comment, 20));

    // A click into the text puts the caret there, drawn where the control says.
    ASSERT_TRUE(c.GetScreenPosition(line30 + 2, x, y));
    PushClick(int(x) + 3, int(y + lh / 2));
    Frame();
    Frame();
    EXPECT_EQ(c.GetCaret(), line30 + 2);
    float cx = 0, cy = 0;
    ASSERT_TRUE(c.GetScreenPosition(c.GetCaret(), cx, cy));
    EXPECT_TRUE(AnyNear(device, cx - 1, cy + 2, cx + 1, cy + lh - 2, 0xFF000000u, 30));

    // Ctrl+Space asks for completion; the list shows below the caret.
    dlg->completionHandler = [&](nWinCommandEvent&, const std::string& word) { dlg->ShowCompletion(word, "endlich ende"); };
    Push(bwtest::sdl::Key(Id(), SDL_SCANCODE_LCTRL, SDLK_LCTRL, true, KMOD_LCTRL));
    Push(bwtest::sdl::Key(Id(), SDL_SCANCODE_SPACE, SDLK_SPACE, true, KMOD_LCTRL));
    Frame();
    Push(bwtest::sdl::Key(Id(), SDL_SCANCODE_SPACE, SDLK_SPACE, false, KMOD_LCTRL));
    Push(bwtest::sdl::Key(Id(), SDL_SCANCODE_LCTRL, SDLK_LCTRL, false));
    Frame();
    Frame();
    ASSERT_TRUE(c.IsCompletionActive());
    EXPECT_EQ(c.GetText().substr(line30, 4), "end ");
    float lx = 0, ly = 0;
    ASSERT_TRUE(c.GetCompletionScreenPosition(lx, ly));
    ASSERT_TRUE(c.GetScreenPosition(c.GetCaret(), cx, cy));
    EXPECT_FLOAT_EQ(ly, cy + lh);
    EXPECT_FLOAT_EQ(lx, cx);
    // Its entries' text is drawn in the list.
    EXPECT_TRUE(AnyNear(device, lx + 2, ly + 2, lx + 60, ly + 2 * lh, 0xFF000000u, 60));
    dlg.reset();
    Frame();
}

}  // namespace

namespace {

class TreeDrawTest : public ToolDrawTest {
protected:
    // The screen rectangle the last frame drew an item in.
    bool ItemRect(nTreeView* tv, int item, int& l, int& t, int& r, int& b) {
        l = t = 10000, r = b = -1;
        for (int y = 0; y < 240; y++) {
            for (int x = 0; x < 320; x++) {
                if (tv->GetTreeControl()->HitTest(float(x), float(y)) != item) continue;
                l = std::min(l, x), t = std::min(t, y), r = std::max(r, x), b = std::max(b, y);
            }
        }
        return r >= 0;
    }
    void PushRightClick(int x, int y) {
        Push(bwtest::sdl::Motion(Id(), x, y, 0, 0));
        Push(bwtest::sdl::Button(Id(), SDL_BUTTON_RIGHT, true, x, y));
        Push(bwtest::sdl::Button(Id(), SDL_BUTTON_RIGHT, false, x, y));
    }
    void ClickEntry(nTreeView* tv, const char* entry) {
        int l = 0, t = 0, r = 0, b = 0;
        nContextMenu* menu = tv->GetContextMenu();
        ASSERT_NE(menu->FindItem(entry), nullptr) << entry;
        ASSERT_TRUE(menu->GetWindow()->GetButtonScreenRect(menu->FindItem(entry)->GetButton(), l, t, r, b));
        PushClick((l + r) / 2, (t + b) / 2);
        Frame();
        Frame();
    }
};

TEST_F(TreeDrawTest, ItemsShowWithIconsAndAPushedRightClickCopiesAndPastes) {
    MakePluginServer();
    kernel->New("nscriptlet", "/usr/src");
    kernel->New("nroot", "/usr/dst");
    auto* tv = static_cast<nTreeView*>(kernel->New("ntreeview", "/sys/servers/plugin/treeview"));
    tv->SetRootNode("/usr");
    tv->GetWindow()->SetPosition(0, 0);
    tv->SetActive(true);
    Frame();
    Frame();
    int l = 0, t = 0, r = 0, b = 0;
    const int src = tv->FindItem("/usr/src");
    ASSERT_TRUE(ItemRect(tv, src, l, t, r, b));

    // The scriptlet's icon: an opaque pixel of it shows in its row, in its colour.
    const uint32_t* icon = tv->GetImageList()->GetImage(tv->GetClassImage("nscriptlet"));
    ASSERT_NE(icon, nullptr);
    uint32_t colour = 0;
    for (int i = 0; i < 256 && !colour; i++) {
        if (icon[i] >> 24) colour = icon[i];
    }
    ASSERT_NE(colour, 0u);
    const uint32_t argb = 0xFF000000u | (colour & 0xFFu) << 16 | (colour & 0xFF00u) | (colour >> 16 & 0xFFu);
    bool seen = false;
    for (int y = t; y <= b && !seen; y++) {
        for (int x = l; x <= r && !seen; x++) seen = bwtest::ColorNear(At(x, y), argb);
    }
    EXPECT_TRUE(seen);

    // A pushed right click shows the menu at the pointer; "copy", then "paste" on another item.
    PushRightClick((l + r) / 2, (t + b) / 2);
    Frame();
    Frame();
    ASSERT_TRUE(tv->GetContextMenu()->IsShown());
    EXPECT_EQ(tv->GetContextMenu()->GetNumItems(), 3);
    ClickEntry(tv, "copy");
    EXPECT_FALSE(tv->GetContextMenu()->IsShown());
    ASSERT_TRUE(ItemRect(tv, tv->FindItem("/usr/dst"), l, t, r, b));
    // The pointer comes over the item first: where the menu was drawn last, the layer
    // still sees the menu for one frame.
    Push(bwtest::sdl::Motion(Id(), (l + r) / 2, (t + b) / 2, 0, 0));
    Frame();
    PushRightClick((l + r) / 2, (t + b) / 2);
    Frame();
    Frame();
    EXPECT_EQ(tv->GetContextMenu()->GetNumItems(), 4);
    ClickEntry(tv, "paste");
    EXPECT_NE(Lookup("/usr/dst/src"), nullptr);
    const int pasted = tv->FindItem("/usr/dst/src");
    ASSERT_NE(pasted, 0);
    Frame();
    EXPECT_TRUE(ItemRect(tv, pasted, l, t, r, b));
}

// Right click, then a click on the menu's "copy": the row that comes out from under the
// entry, with the pointer still on it, is drawn as before, not lit as if picked; only a
// click on a row lights it. The tree window keeps the keyboard.
TEST_F(TreeDrawTest, AClickOnAMenuEntryLightsNoRowUnderIt) {
    MakePluginServer();
    for (const char* name : {"a", "b", "c", "d", "e", "f"}) kernel->New("nroot", (std::string("/usr/") + name).c_str());
    auto* tv = static_cast<nTreeView*>(kernel->New("ntreeview", "/sys/servers/plugin/treeview"));
    tv->SetRootNode("/usr");
    tv->GetWindow()->SetPosition(0, 0);
    tv->SetActive(true);
    // A tool window opened after it, as the tools' other windows are.
    std::unique_ptr<ui::ToolWindow> other = Host()->MakeToolWindow("Other", 100, 60);
    other->SetPosition(220, 150);
    other->Show(false);
    Frame();
    Frame();
    int l = 0, t = 0, r = 0, b = 0;
    ASSERT_TRUE(ItemRect(tv, tv->FindItem("/usr/a"), l, t, r, b));
    PushClick(l + 30, (t + b) / 2);
    Frame();
    Frame();
    const uint32_t back = 0xFF000000u | nTreeView::kBackColour;
    PushRightClick(l + 30, (t + b) / 2);
    Frame();
    Frame();
    ASSERT_TRUE(tv->GetContextMenu()->IsShown());
    int el = 0, et = 0, er = 0, eb = 0;
    nContextMenu* menu = tv->GetContextMenu();
    ASSERT_TRUE(menu->GetWindow()->GetButtonScreenRect(menu->FindItem("copy")->GetButton(), el, et, er, eb));
    ClickEntry(tv, "copy");
    Frame();
    Frame();
    Frame();
    ASSERT_FALSE(menu->IsShown());
    const int under = tv->GetTreeControl()->HitTest(float(el + 20), float((et + eb) / 2));
    ASSERT_NE(under, 0);
    ASSERT_TRUE(ItemRect(tv, under, l, t, r, b));
    EXPECT_TRUE(bwtest::ColorNear(At(r - 4, (t + b) / 2), back));
    EXPECT_TRUE(bwtest::ColorNear(At(100, 4), ui::Colors::Title)) << "the tree's title bar, focused";
    // The row of "a", clicked before, stays lit.
    ASSERT_TRUE(ItemRect(tv, tv->FindItem("/usr/a"), l, t, r, b));
    EXPECT_FALSE(bwtest::ColorNear(At(r - 4, (t + b) / 2), back));
}

}  // namespace
