// The tools' window layer fed message by message between frames, as the window pump feeds it.
#include <imgui.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "kernel/nFileServer2.h"
#include "platform/ui/TreeControl.h"
#include "script/nScriptlet.h"
#include "tests/tools/ToolsFixture.h"
#include "tools/nContextMenu.h"
#include "tools/nMacroExec2.h"
#include "tools/nTreeView.h"

namespace {

using Place = std::pair<int, int>;

class ToolWindowTest : public ToolsFixture {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        MakePluginServer();
    }
    // 'X' presses the left button at X's place, 'x' lets it go there, '|' ends a layer frame.
    void Play(const std::string& script, const std::map<char, Place>& at) {
        for (char c : script) {
            if (c == '|') {
                LayerFrame();
                continue;
            }
            const bool press = c >= 'A' && c <= 'Z';
            const auto& [x, y] = at.at(press ? c : char(c - 'a' + 'A'));
            Send(window::MessageKind::MouseMove, x, y);
            Send(press ? window::MessageKind::ButtonDown : window::MessageKind::ButtonUp, x, y, 0);
        }
    }
    static Place Centre(const ui::ToolWindow& w, int button) {
        int l = 0, t = 0, r = 0, b = 0;
        EXPECT_TRUE(w.GetButtonScreenRect(button, l, t, r, b));
        return {(l + r) / 2, (t + b) / 2};
    }
};

// Several presses and releases within one frame (a slow frame rate) are each a click of their own.
TEST_F(ToolWindowTest, EveryClickCountsInOrderHoweverItsPressAndReleaseFallBetweenFrames) {
    std::unique_ptr<ui::ToolWindow> w = Host()->MakeToolWindow("Clicks", 300, 100);
    const int a = w->AddButton("A", 10, 10, 80, 25), b = w->AddButton("B", 100, 10, 80, 25);
    std::string got;
    w->onCommand = [&](int button) { got += button == a ? 'A' : 'B'; };
    w->Show();
    Play("||", {});
    const std::map<char, Place> at = {{'A', Centre(*w, a)}, {'B', Centre(*w, b)}};
    std::string twenty = "A|";
    for (int i = 1; i < 20; i++) twenty += i % 2 ? "aB|" : "bA|";
    const std::pair<std::string, std::string> rows[] = {
        {"Aa|Bb|", "AB"},       {"A|a|B|b|", "AB"}, {"A|aB|b|", "AB"}, {"A|aA|a|", "AA"},
        {"A|aBbA|a|", "ABA"},   {"AaBbAa|", "ABA"}, {twenty + "b|", "ABABABABABABABABABAB"},
    };
    for (const auto& [clicks, counted] : rows) {
        got.clear();
        Play(clicks + "||", at);
        EXPECT_EQ(got, counted) << clicks;
    }
}

// F12 hides the tree view's menu for good; a button held as the tools hid does not act when they show.
TEST_F(ToolWindowTest, HiddenToolsShowNoMenuAndActOnNoClick) {
    kernel->New("nroot", "/usr/a");
    auto* tv = static_cast<nTreeView*>(kernel->New("ntreeview", "/sys/servers/plugin/treeview"));
    tv->SetRootNode("/usr");
    tv->SetActive(true);
    std::unique_ptr<ui::ToolWindow> other = Host()->MakeToolWindow("Other", 200, 80);
    const int go = other->AddButton("go", 10, 10, 80, 25);
    std::string acted;
    other->onCommand = [&](int) { acted += "go;"; };
    other->Show();
    Play("||", {});
    Place row{};
    for (int y = 0; y < 600 && row.second == 0; y++) {
        if (tv->GetTreeControl()->HitTest(60.0f, float(y)) == tv->FindItem("/usr/a")) row = {60, y + 4};
    }
    Send(window::MessageKind::ButtonDown, row.first, row.second, 1);
    Send(window::MessageKind::ButtonUp, row.first, row.second, 1);
    Play("||", {});
    nContextMenu* menu = tv->GetContextMenu();
    ASSERT_TRUE(menu->IsShown());
    const std::map<char, Place> at = {{'D', Centre(*menu->GetWindow(), menu->FindItem("delete")->GetButton())},
                                      {'G', Centre(*other, go)}};
    tv->SetActive(false);
    EXPECT_FALSE(menu->IsShown());
    Play("Dd||", at);
    tv->SetActive(true);
    Play("||Dd||", at);
    EXPECT_FALSE(menu->IsShown());
    EXPECT_NE(Lookup("/usr/a"), nullptr);
    auto tools = [&](bool shown) { tv->SetActive(shown), shown ? other->Show() : other->Hide(); };
    Play("G|", at);
    tools(false);
    Play("|g|", at);
    tools(true);
    Play("||", at);
    EXPECT_EQ(acted, "");
    // A click and a key the game took while the tools were hidden, shown in the same frame.
    other->content = [&](ui::ToolWindow&) { acted += ImGui::IsKeyPressed(46) ? "key;" : ""; };
    tools(false);
    Play("||", at);
    EXPECT_FALSE(Send(window::MessageKind::ButtonDown, at.at('G').first, at.at('G').second, 0));
    Send(window::MessageKind::KeyDown, 0, 0, 0, 46);
    Play("g", at);
    Send(window::MessageKind::KeyUp, 0, 0, 0, 46);
    tools(true);
    Play("||", at);
    EXPECT_EQ(acted, "");
}

// With any number of macros: the wheel brings the last into sight, and the X closes the window.
TEST_F(ToolWindowTest, TheMacrosWindowKeepsToTheDisplayScrollsToEveryMacroAndClosesByItsX) {
    ASSERT_TRUE(Run("function mark(s) ran = s end"));
    std::ofstream(Path("file")) << "x";
    StartClock();
    for (int count : {0, 1000}) {
        if (nRoot* scripts = Lookup("/scripts")) scripts->Release();
        std::filesystem::remove(bin + "scripts.n");
        for (int i = 0; i < count; i++) {
            const std::string path = "/scripts/m" + std::to_string(i), text = "mark('" + std::to_string(i) + "')";
            static_cast<nScriptlet*>(kernel->New("nscriptlet", path.c_str()))->SetScript(text.c_str());
        }
        auto* m = static_cast<nMacroExec2*>(kernel->New("nmacroexec2", "/sys/servers/plugin/macros"));
        m->SetActive(true);
        m->Trigger();
        Play("||", {});
        ui::ToolWindow* w = m->GetWindow();
        EXPECT_TRUE(w->GetX() >= 0 && w->GetY() >= 0 && w->GetX() + w->GetWidth() <= 800 &&
                    w->GetY() + w->GetHeight() <= 600) << count;
        if (count > 0) {
            Send(window::MessageKind::MouseMove, w->GetX() + 40, w->GetY() + 40);
            Host()->HandleMessage({.kind = window::MessageKind::Wheel, .wheelDelta = -120 * count});
            Play("||", {});
            const Place last = Centre(*w, m->GetButton(count - 1)->GetButton());
            EXPECT_LT(last.second, w->GetY() + w->GetHeight());
            Play("Pp||", {{'P', last}});
            EXPECT_EQ(Global("ran"), std::to_string(count - 1));
        }
        // The close box, at the title bar's right end.
        const float font = ImGui::GetFontSize();
        const Place close{int(float(w->GetX() + w->GetWidth()) - ImGui::GetStyle().FramePadding.x - font / 2.0f),
                          int(float(w->GetY()) + ImGui::GetStyle().FramePadding.y + font / 2.0f)};
        Play("Xx||", {{'X', close}});
        EXPECT_FALSE(m->IsShown()) << count;
        // Closed, the window still has its word above the tools when bin: cannot take a macro.
        auto look = [&] { return clock.Set(double(clock.ticks) / 1e6 + 6.0), plugins->Trigger(), Host()->GetNotice(); };
        ASSERT_TRUE(kernel->GetFileServer()->SetAssign("bin", (Path("file") + "/").c_str()));
        ASSERT_TRUE(Run("new('nscriptlet', '/scripts/neu')"));
        EXPECT_NE(look(), "") << count;
        ASSERT_TRUE(kernel->GetFileServer()->SetAssign("bin", bin.c_str()));
        EXPECT_EQ(look(), "") << count;
        m->Release();
    }
}

}  // namespace
