// The tools' window layer as the window pump feeds it, message by message between frames:
// every click counts in order however its press and release fall between frames, hidden
// tools show no menu or popup and act on no click or key, and windows keep to the display.
#include <imgui.h>
#include <imgui_internal.h>
#include <imgui_stdlib.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>

#include "platform/ui/TreeControl.h"
#include "script/nScriptlet.h"
#include "tests/tools/ToolsFixture.h"
#include "tools/nContextMenu.h"
#include "tools/nMacroExec2.h"
#include "tools/nTreeView.h"

namespace {

using window::MessageKind;

class ToolWindowTest : public ToolsFixture {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        MakePluginServer();
    }
    void Move(int x, int y) { Send(MessageKind::MouseMove, x, y); }
    void Wheel(int notches) {
        window::Message m;
        m.kind = MessageKind::Wheel;
        m.wheelDelta = notches * 120;
        Host()->HandleMessage(m);
    }
    void Type(char c) {
        Send(MessageKind::KeyDown, 0, 0, 0, c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        Send(MessageKind::Char, 0, 0, 0, c);
        Send(MessageKind::KeyUp, 0, 0, 0, c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    // Plays clicks over named places: an upper-case letter moves the pointer to its place
    // and presses the left button there, its lower-case letter lets it go there, "|" ends
    // a frame of the layer.
    void Play(const std::string& script, const std::map<char, std::pair<int, int>>& at) {
        for (char c : script) {
            if (c == '|') {
                LayerFrame();
                continue;
            }
            const bool press = c >= 'A' && c <= 'Z';
            const auto& [x, y] = at.at(press ? c : char(c - 'a' + 'A'));
            if (press) Move(x, y);
            Send(press ? MessageKind::ButtonDown : MessageKind::ButtonUp, x, y, 0);
        }
    }
    static std::pair<int, int> Centre(const ui::ToolWindow& w, int button) {
        int l = 0, t = 0, r = 0, b = 0;
        EXPECT_TRUE(w.GetButtonScreenRect(button, l, t, r, b));
        return {(l + r) / 2, (t + b) / 2};
    }
    // The middle of a row that the last frame drew for `item`.
    static std::pair<int, int> RowCentre(const ui::TreeControl& tree, int item) {
        int top = -1, bottom = -1;
        for (int y = 0; y < 600; y++) {
            if (tree.HitTest(60.0f, float(y)) != item) continue;
            if (top < 0) top = y;
            bottom = y;
        }
        EXPECT_GE(top, 0) << item;
        return {60, (top + bottom) / 2};
    }
    // The centre of a tool window's close box, from ImGui's title bar layout.
    static std::pair<int, int> CloseBox(const ui::ToolWindow& w) {
        const ImGuiStyle& style = ImGui::GetStyle();
        const float font = ImGui::GetFontSize();
        return {int(float(w.GetX() + w.GetWidth()) - style.FramePadding.x - font / 2.0f),
                int(float(w.GetY()) + style.FramePadding.y + font / 2.0f)};
    }
};

// Each row's clicks on two buttons (A, B) and two tree rows (R, S) must each count once, in
// their order: a press that comes after the release before it within one frame (a person's
// click at ten frames a second) is a click of its own, as its own frame would make it.
TEST_F(ToolWindowTest, EveryClickCountsInOrderHoweverItsPressAndReleaseFallBetweenFrames) {
    std::unique_ptr<ui::ToolWindow> w = Host()->MakeToolWindow("Clicks", 300, 260);
    w->SetPosition(0, 0);
    const int a = w->AddButton("A", 10, 10, 80, 25);
    const int b = w->AddButton("B", 100, 10, 80, 25);
    ui::TreeControl tree;
    const int r = tree.Insert(0, "r", 0, 0, 0);
    const int s = tree.Insert(0, "s", 0, 0, 0);
    std::string got;
    w->onCommand = [&](int button) { got += button == a ? 'A' : 'B'; };
    tree.onClick = [&](int item) { got += item == r ? 'R' : 'S'; };
    w->content = [&tree](ui::ToolWindow& self) {
        ImGui::SetCursorPos(ImVec2(0.0f, 80.0f));
        tree.Build(self, 280.0f, 150.0f);
    };
    w->Show();
    LayerFrame();
    LayerFrame();
    const std::map<char, std::pair<int, int>> at = {
        {'A', Centre(*w, a)}, {'B', Centre(*w, b)}, {'R', RowCentre(tree, r)}, {'S', RowCentre(tree, s)}};
    std::string twenty = "R|", alternate;
    for (int i = 1; i < 20; i++) twenty += i % 2 ? "rS|" : "sR|", alternate += i % 2 ? "RS" : "";
    twenty += "s|";
    alternate += "RS";
    alternate.resize(20);
    const struct {
        std::string clicks;
        std::string counted;
    } rows[] = {
        {"Aa|Bb|", "AB"},
        {"A|a|B|b|", "AB"},
        {"A|aB|b|", "AB"},
        {"A|aA|a|", "AA"},
        {"A|aBbA|a|", "ABA"},
        {"AaBbAa|", "ABA"},
        {"R|rS|s|", "RS"},
        {"R|rSsR|r|", "RSR"},
        {"A|aR|r|", "AR"},
        {"S|sA|a|", "SA"},
        {twenty, alternate},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.clicks);
        tree.Select(0);
        got.clear();
        Play(row.clicks + "||", at);
        EXPECT_EQ(got, row.counted);
    }
}

// However the tools hide, a popup that belongs to a hidden window (or any popup, once no
// tool window shows) is hidden with it, stays hidden, and a click where it was acts on nothing.
TEST_F(ToolWindowTest, APopupHidesWithItsWindowAndAClickWhereItWasDoesNothing) {
    const struct {
        const char* hide;  // "t": its tool window, "u": the other one, "tu": both, "x": its window deleted
        bool ownedShown, looseShown;
    } rows[] = {{"t", false, true}, {"u", true, true}, {"tu", false, false}, {"x", false, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.hide);
        std::unique_ptr<ui::ToolWindow> t = Host()->MakeToolWindow("T", 150, 100);
        std::unique_ptr<ui::ToolWindow> u = Host()->MakeToolWindow("U", 150, 100);
        t->SetPosition(0, 0);
        u->SetPosition(400, 0);
        t->Show();
        u->Show();
        std::string picked;
        nContextMenu owned(Host(), "menu"), loose(Host(), "menu");
        owned.SetOwner(t.get());
        for (nContextMenu* menu : {&owned, &loose}) {
            menu->AddItem("delete");
            menu->callback = [](void* p, nContextMenuItem*) { *static_cast<std::string*>(p) += "picked;"; };
            menu->callbackContext = &picked;
        }
        owned.ShowAt(200, 200);
        loose.ShowAt(200, 300);
        LayerFrame();
        ASSERT_TRUE(owned.IsShown() && loose.IsShown());
        const std::string hide = row.hide;
        if (hide.find('t') != std::string::npos) t->Hide();
        if (hide.find('u') != std::string::npos) u->Hide();
        if (hide == "x") t.reset();
        EXPECT_EQ(owned.IsShown(), row.ownedShown);
        EXPECT_EQ(loose.IsShown(), row.looseShown);
        // Shown again by its tool while its window is hidden, it still does not show.
        if (!row.ownedShown) owned.ShowAt(200, 200);
        LayerFrame();
        EXPECT_EQ(owned.IsShown(), row.ownedShown);
        Play("Dd||", {{'D', {240, 210}}});
        if (!row.looseShown) Play("Dd||", {{'D', {240, 310}}});
        EXPECT_EQ(picked, row.ownedShown ? "picked;" : "");
        if (t) t->Show();
        u->Show();
        LayerFrame();
        EXPECT_FALSE(owned.IsShown() && !row.ownedShown);
    }
}

// A button held as the tools hide, a menu open in a tool's menu bar and characters typed just
// before F12 all die with the hide: none acts once the tools show again.
TEST_F(ToolWindowTest, WhatHiddenToolsWereGivenNeverActsWhenTheyShowAgain) {
    std::unique_ptr<ui::ToolWindow> w = Host()->MakeToolWindow("Tool", 300, 200);
    w->SetPosition(0, 0);
    const int go = w->AddButton("go", 10, 10, 80, 25);
    std::string acted, typed;
    w->onCommand = [&](int) { acted += "go;"; };
    w->menuBar = [&](ui::ToolWindow&) {
        if (ImGui::BeginMenu("Menu")) {
            if (ImGui::MenuItem("Item")) acted += "item;";
            ImGui::EndMenu();
        }
    };
    w->content = [&](ui::ToolWindow&) {
        ImGui::SetCursorPos(ImVec2(10.0f, 100.0f));
        ImGui::SetNextItemWidth(200.0f);
        ImGui::InputText("##typed", &typed);
    };
    w->Show();
    LayerFrame();
    LayerFrame();
    const auto button = Centre(*w, go);
    // Characters typed into the field, then F12 before the tools' frame.
    const std::pair<int, int> field = {w->GetX() + 60, w->GetY() + 100 + int(ImGui::GetFrameHeight() / 2.0f)};
    Play("Ff||", {{'F', field}});
    Type('a');
    LayerFrame();
    ASSERT_EQ(typed, "a");
    Type('b');
    w->Hide();
    LayerFrame();
    Type('c');
    LayerFrame();
    w->Show();
    Play("|||", {});
    EXPECT_EQ(typed, "a");
    // The field keeps the keyboard across the hide.
    Type('d');
    LayerFrame();
    EXPECT_EQ(typed, "ad");
    // The held button: pressed, the tools hidden, let go, shown again.
    Play("G|", {{'G', button}});
    w->Hide();
    Play("|g|", {{'G', button}});
    w->Show();
    Play("|||", {});
    EXPECT_EQ(acted, "");

    // The menu: opened by a click on its title in the menu bar, the tools hidden and shown.
    const std::pair<int, int> title = {w->GetX() + 20, w->GetY() + int(ImGui::GetFrameHeight() * 1.5f)};
    Play("Mm|||", {{'M', title}});
    ImGui::SetCurrentContext(Host()->GetContext());
    ASSERT_EQ(GImGui->OpenPopupStack.Size, 1);
    ImGuiWindow* menu = GImGui->OpenPopupStack[0].Window;
    ASSERT_NE(menu, nullptr);
    const std::pair<int, int> item = {int(menu->Pos.x) + 20, int(menu->Pos.y + menu->Size.y / 2)};
    w->Hide();
    LayerFrame();
    w->Show();
    LayerFrame();
    EXPECT_EQ(GImGui->OpenPopupStack.Size, 0);
    Play("Ii||", {{'I', item}});
    EXPECT_EQ(acted, "");
}

// F12 (the tree view made inactive) hides its right-click menu: a click where "delete" was
// deletes nothing, and the menu does not come back with the tree view.
TEST_F(ToolWindowTest, TheTreeViewsMenuHidesWithItAndDeletesNothingHidden) {
    for (const char* name : {"a", "b"}) kernel->New("nroot", (std::string("/usr/") + name).c_str());
    auto* tv = static_cast<nTreeView*>(kernel->New("ntreeview", "/sys/servers/plugin/treeview"));
    tv->SetRootNode("/usr");
    tv->GetWindow()->SetPosition(0, 0);
    tv->SetActive(true);
    LayerFrame();
    LayerFrame();
    const auto row = RowCentre(*tv->GetTreeControl(), tv->FindItem("/usr/a"));
    Move(row.first, row.second);
    Send(MessageKind::ButtonDown, row.first, row.second, 1);
    Send(MessageKind::ButtonUp, row.first, row.second, 1);
    LayerFrame();
    LayerFrame();
    nContextMenu* menu = tv->GetContextMenu();
    ASSERT_TRUE(menu->IsShown());
    ASSERT_NE(menu->FindItem("delete"), nullptr);
    const auto entry = Centre(*menu->GetWindow(), menu->FindItem("delete")->GetButton());
    tv->SetActive(false);
    EXPECT_FALSE(menu->IsShown());
    Play("Dd||", {{'D', entry}});
    EXPECT_NE(Lookup("/usr/a"), nullptr);
    tv->SetActive(true);
    LayerFrame();
    EXPECT_FALSE(menu->IsShown());
    Play("Dd||", {{'D', entry}});
    EXPECT_NE(Lookup("/usr/a"), nullptr);
}

// The macros window with any number of macros lies on the display, its last macro is
// reached by the wheel and by the scrollbar and pressed, and its X closes it, empty too.
TEST_F(ToolWindowTest, TheMacrosWindowKeepsToTheDisplayScrollsToEveryMacroAndClosesByItsX) {
    ASSERT_TRUE(Run("function mark(s) ran = s end"));
    for (int count : {0, 1, 90, 1000}) {
        SCOPED_TRACE(count);
        if (nRoot* scripts = Lookup("/scripts")) scripts->Release();
        std::filesystem::remove(bin + "scripts.n");
        std::filesystem::remove(bin + "scripts.bak");
        for (int i = 0; i < count; i++) {
            const std::string path = "/scripts/m" + std::to_string(i);
            const std::string text = "mark('" + std::to_string(i) + "')";
            static_cast<nScriptlet*>(kernel->New("nscriptlet", path.c_str()))->SetScript(text.c_str());
        }
        auto* m = static_cast<nMacroExec2*>(kernel->New("nmacroexec2", "/sys/servers/plugin/macros"));
        m->SetActive(true);
        m->Trigger();
        ASSERT_EQ(m->GetNumButtons(), count);
        LayerFrame();
        LayerFrame();
        ui::ToolWindow* w = m->GetWindow();
        EXPECT_TRUE(w->GetX() >= 0 && w->GetY() >= 0 && w->GetX() + w->GetWidth() <= 800 &&
                    w->GetY() + w->GetHeight() <= 600)
            << w->GetX() << "," << w->GetY() << " " << w->GetWidth() << "x" << w->GetHeight();
        // Whether a macro's button lies whole inside the window, below its title bar.
        auto inSight = [&](int index) {
            int l = 0, t = 0, r = 0, b = 0;
            return w->GetButtonScreenRect(m->GetButton(index)->GetButton(), l, t, r, b) && l >= w->GetX() &&
                   t >= w->GetY() + int(ImGui::GetFrameHeight()) && r <= w->GetX() + w->GetWidth() &&
                   b <= w->GetY() + w->GetHeight();
        };
        auto press = [&](int index) {
            ASSERT_TRUE(Run("ran = ''"));
            Play("Pp||", {{'P', Centre(*w, m->GetButton(index)->GetButton())}});
            EXPECT_EQ(Global("ran"), std::to_string(index));
        };
        if (count > 0) {
            EXPECT_TRUE(inSight(0));
            Move(w->GetX() + 40, w->GetY() + 40);
            Wheel(-count);
            LayerFrame();
            LayerFrame();
            EXPECT_TRUE(inSight(count - 1));
            press(count - 1);
            // The scrollbar, dragged to the top and back to the bottom.
            const int bar = w->GetX() + w->GetWidth() - int(ImGui::GetStyle().ScrollbarSize / 2.0f) - 1;
            const int middle = w->GetY() + w->GetHeight() / 2;
            if (count > 90) {
                Play("S|", {{'S', {bar, middle}}});
                Move(bar, 0);
                Play("|s||", {{'S', {bar, 0}}});
                EXPECT_TRUE(inSight(0));
                EXPECT_FALSE(inSight(count - 1));
                Play("S|", {{'S', {bar, middle}}});
                Move(bar, 599);
                Play("|s||", {{'S', {bar, 599}}});
                EXPECT_TRUE(inSight(count - 1));
                press(count - 1);
            }
            press(count > 4 ? count - 2 : 0);
        }
        Play("Xx||", {{'X', CloseBox(*w)}});
        EXPECT_FALSE(m->GetActive());
        EXPECT_FALSE(w->IsVisible());
        m->Release();
    }
}

}  // namespace
