// The object tree view: its window, colours, events and icons; items following the
// objects; the console's current object both ways; the context menu's actions and what
// it refuses.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "kernel/nRef.h"
#include "kernel/nTimeServer.h"
#include "platform/ui/TreeControl.h"
#include "scene/nVisNode.h"
#include "script/nConServer.h"
#include "tests/tools/ToolsFixture.h"
#include "tools/nContextMenu.h"
#include "tools/nImageList.h"
#include "tools/nTreeItem.h"
#include "tools/nMacroExec2.h"
#include "tools/nTreeView.h"
#include "kernel/nFileServer2.h"

namespace {

class TreeViewTest : public ToolsFixture {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        MakePluginServer();
        StartClock();
    }
    nTreeView* NewTreeView(const char* root = nullptr) {
        auto* tv = static_cast<nTreeView*>(kernel->New("ntreeview", "/sys/servers/plugin/treeview"));
        if (root) tv->SetRootNode(root);
        return tv;
    }
    // The texts of an item's children, in order.
    static std::string Children(const nTreeItem* item) {
        std::string s;
        for (const nTreeItem* c = item ? item->GetFirstChild() : nullptr; c; c = c->GetNextSibling()) {
            s += std::string(s.empty() ? "" : ",") + c->GetText();
        }
        return s;
    }
    int Item(nTreeView* tv, const char* path) {
        const int item = tv->FindItem(path);
        EXPECT_NE(item, 0) << path;
        return item;
    }
    std::string Menu(nTreeView* tv) {
        std::string s;
        for (int i = 0; i < tv->GetContextMenu()->GetNumItems(); i++) {
            s += std::string(s.empty() ? "" : ",") + tv->GetContextMenu()->GetItem(i)->GetName();
        }
        return s;
    }
    // A right click on the object's item, then the entry picked.
    void Pick(nTreeView* tv, const char* path, const char* entry) {
        tv->OnRightClick(Item(tv, path));
        tv->MenuPicked(entry);
    }
};

TEST_F(TreeViewTest, WindowColoursEventsAndCommands) {
    nTreeView* tv = NewTreeView();
    ASSERT_NE(tv->GetWindow(), nullptr);
    EXPECT_EQ(tv->GetWindow()->GetName(), "TreeView");
    EXPECT_FALSE(tv->GetWindow()->IsVisible());
    EXPECT_EQ(tv->GetContextMenu()->GetClassName(), "contextmenu_treeview");
    EXPECT_EQ(tv->GetEvents(), "nm_rclick_s\nnm_click_s\nnm_dbclick_s\nwm_close_\ntvn_endlabeledit_s\ntvn_selchanged_s\n");
    ASSERT_TRUE(Run("t = obj('/sys/servers/plugin/treeview') function rgb(r, g, b) return r .. ',' .. g .. ',' .. b end"));
    EXPECT_EQ(Eval("rgb(t.gettextcolor())"), "80,80,80");
    EXPECT_EQ(Eval("rgb(t.getbackcolor())"), "220,220,220");
    ASSERT_TRUE(Run("t.setbackcolor(1, 2, 3) t.settextcolor(255, 0, 128)"));
    EXPECT_EQ(tv->GetBackColor(), 0x030201u);
    EXPECT_EQ(tv->GetTextColor(), 0x8000FFu);
    EXPECT_EQ(Eval("rgb(t.getbackcolor())"), "1,2,3");
    EXPECT_EQ(Eval("t.getrootnode()"), "/");

    ASSERT_TRUE(Run("t.setactive(true)"));
    EXPECT_TRUE(tv->GetWindow()->IsVisible());
    tv->Minimize();
    EXPECT_TRUE(tv->GetWindow()->IsMinimised());
    // The close box hides the window; the plugin stays.
    tv->GetWindow()->onClose();
    EXPECT_FALSE(tv->GetActive());
    EXPECT_FALSE(tv->GetWindow()->IsVisible());
    EXPECT_EQ(Lookup("/sys/servers/plugin/treeview"), tv);
}

TEST_F(TreeViewTest, EveryIconRowGivesItsClassesItsImageOnce) {
    nTreeView* tv = NewTreeView();
    // Rows whose bitmap is in the list already add no image; "nroot" shares the default's.
    int expected = -1;
    std::string bitmaps = ";";
    for (int r = 0; r < nTreeView::kNumIconRows; r++) {
        const nTreeView::IconRow& row = nTreeView::kIconRows[r];
        const std::string key = ";" + std::to_string(row.bitmap) + ";";
        const bool added = bitmaps.find(key) == std::string::npos;
        if (added) bitmaps += std::to_string(row.bitmap) + ";", expected++;
        std::string names = row.classes;
        for (size_t p = 0; p <= names.size();) {
            size_t e = names.find(';', p);
            if (e == std::string::npos) e = names.size();
            const std::string name = names.substr(p, e - p);
            p = e + 1;
            if (name == "null") continue;
            EXPECT_EQ(tv->GetClassImage(name.c_str()), added ? expected : 0) << name;
        }
    }
    EXPECT_EQ(tv->GetImageList()->GetCount(), expected + 1);
    EXPECT_EQ(tv->GetClassImage("nroot"), 0);
    EXPECT_EQ(tv->GetClassImage("nmeshcluster"), 13);
    EXPECT_EQ(tv->GetClassImage("nosuchclass"), 0);
    // Superclasses do not count: a scriptlet subclass not in the table gets the default.
    EXPECT_EQ(tv->GetClassImage("nobsgfx"), 0);
}

TEST_F(TreeViewTest, ItemPathsFromEachKindOfRoot) {
    kernel->New("nroot", "/usr/logic/a/b");
    nTreeView* tv = NewTreeView();
    EXPECT_STREQ(tv->GetRootItem()->GetText(), "/");
    EXPECT_EQ(tv->GetItemPath(tv->GetRootItem()->GetHandle()), "/");
    EXPECT_EQ(tv->GetItemPath(Item(tv, "/usr/logic/a/b")), "/usr/logic/a/b");
    EXPECT_EQ(tv->GetRootItem()->FindById(Item(tv, "/usr"))->GetParent(), tv->GetRootItem());

    tv->SetRootNode("/usr");
    EXPECT_STREQ(tv->GetRootItem()->GetText(), "usr");
    EXPECT_EQ(tv->GetItemPath(Item(tv, "/usr/logic/a")), "/usr/logic/a");
    EXPECT_EQ(tv->FindItem("/sys"), 0);

    tv->SetRootNode("/usr/logic");
    EXPECT_EQ(tv->GetItemPath(tv->GetRootItem()->GetHandle()), "/usr/logic");
    EXPECT_EQ(tv->GetItemPath(Item(tv, "/usr/logic/a/b")), "/usr/logic/a/b");
    EXPECT_EQ(tv->GetTreeControl()->GetCount(), 3);
    // The same path keeps the items; a path that names nothing leaves none.
    const int root = tv->GetRootItem()->GetHandle();
    ASSERT_TRUE(Run("obj('/sys/servers/plugin/treeview').setrootnode('/usr/logic')"));
    EXPECT_EQ(tv->GetRootItem()->GetHandle(), root);
    tv->SetRootNode("/nothing/here");
    EXPECT_EQ(tv->GetRootItem(), nullptr);
    EXPECT_EQ(tv->GetTreeControl()->GetCount(), 0);
    tv->Refresh();
    EXPECT_EQ(tv->GetTreeControl()->GetCount(), 0);
}

TEST_F(TreeViewTest, RefreshFollowsAddedRenamedAndDeletedObjects) {
    kernel->New("nroot", "/usr/logic/a/b");
    kernel->New("nroot", "/usr/logic/c");
    nTreeView* tv = NewTreeView("/usr/logic");
    EXPECT_EQ(Children(tv->GetRootItem()), "a,c");
    ASSERT_TRUE(Run("new('nscriptlet', '/usr/logic/d') new('nroot', '/usr/logic/a/b/deep') "
                    "obj('/usr/logic/c').setname('renamed') delete('/usr/logic/a/b')"));
    tv->Refresh();
    // New items follow the items kept.
    EXPECT_EQ(Children(tv->GetRootItem()), "a,renamed,d");
    EXPECT_EQ(Children(tv->GetRootItem()->FindChild("a")), "");
    EXPECT_EQ(tv->GetTreeControl()->GetCount(), 4);
    const int d = Item(tv, "/usr/logic/d");
    EXPECT_EQ(tv->GetRootItem()->FindById(d)->GetText(), std::string("d"));

    // The root renamed by a script: a new root item, for the object at the path again.
    ASSERT_TRUE(Run("obj('/usr/logic').setname('other') new('nroot', '/usr/logic/x')"));
    tv->Refresh();
    ASSERT_NE(tv->GetRootItem(), nullptr);
    EXPECT_STREQ(tv->GetRootItem()->GetText(), "logic");
    EXPECT_EQ(Children(tv->GetRootItem()), "x");
    EXPECT_EQ(tv->GetTreeControl()->GetCount(), 2);
}

TEST_F(TreeViewTest, TriggerRefreshesEveryTwoSecondsAndFollowsTheConsole) {
    auto* console = static_cast<nConServer*>(kernel->New("nconserver", "/sys/servers/console"));
    kernel->New("nroot", "/usr/a/b");
    nTreeView* tv = NewTreeView("/usr");
    kernel->New("nroot", "/usr/late");
    clock.Set(1.0);
    tv->Trigger();
    EXPECT_EQ(tv->FindItem("/usr/late"), 0);
    clock.Set(2.5);
    EXPECT_TRUE(tv->Trigger());
    EXPECT_NE(tv->FindItem("/usr/late"), 0);

    // A selection makes the object the console's; the console's moves select.
    ASSERT_TRUE(Run("sel_paths = '' function onsel(p) sel_paths = sel_paths .. p .. ';' end "
                    "obj('/sys/servers/plugin/treeview').addeventfunction('tvn_selchanged', 'onsel')"));
    tv->GetTreeControl()->Select(Item(tv, "/usr/a"));
    EXPECT_EQ(console->GetCwd(), Lookup("/usr/a"));
    EXPECT_EQ(tv->GetSelectedPath(), "/usr/a");
    console->SetCwd(Lookup("/usr/a/b"));
    tv->Trigger();
    EXPECT_EQ(tv->GetTreeControl()->GetSelection(), Item(tv, "/usr/a/b"));
    EXPECT_EQ(Global("sel_paths"), "/usr/a;/usr/a/b;");
    EXPECT_EQ(tv->FindItem("/usr/a/./b/.."), Item(tv, "/usr/a"));
    // An object the items lack yet: refreshed at once, selected at the next call.
    kernel->New("nroot", "/usr/a/new");
    console->SetCwd(Lookup("/usr/a/new"));
    tv->Trigger();
    EXPECT_NE(tv->FindItem("/usr/a/new"), 0);
    tv->Trigger();
    EXPECT_EQ(tv->GetSelectedPath(), "/usr/a/new");
}

TEST_F(TreeViewTest, WithoutAConsoleSelectingAndFollowingDoNothingLoggedOnce) {
    kernel->New("nroot", "/usr/a");
    nTreeView* tv = NewTreeView("/usr");
    nRoot* cwd = kernel->GetCwd();
    tv->GetTreeControl()->Select(Item(tv, "/usr/a"));
    tv->Trigger();
    tv->Trigger();
    EXPECT_EQ(kernel->GetCwd(), cwd);
    const std::string line = "no console at /sys/servers/console";
    const size_t first = log.text.find(line);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(log.text.find(line, first + 1), std::string::npos);
}

TEST_F(TreeViewTest, ClicksAndRenamesFireWithTheObjectsPath) {
    kernel->New("nroot", "/usr/a");
    kernel->New("nroot", "/usr/b");
    nTreeView* tv = NewTreeView("/usr");
    ASSERT_TRUE(Run("got = '' function note(p) got = got .. p .. ';' end t = obj('/sys/servers/plugin/treeview') "
                    "t.addeventfunction('nm_click', 'note') t.addeventfunction('nm_dbclick', 'note') "
                    "t.addeventfunction('tvn_endlabeledit', 'note')"));
    tv->OnClick(Item(tv, "/usr/a"), false);
    tv->OnClick(Item(tv, "/usr/b"), true);
    EXPECT_EQ(Global("got"), "/usr/a;/usr/b;");

    ui::TreeControl* tree = tv->GetTreeControl();
    const int a = Item(tv, "/usr/a");
    tree->EditLabel(a);
    tree->EditText() = "alpha";
    tree->EndEditLabel(false);
    EXPECT_NE(Lookup("/usr/alpha"), nullptr);
    EXPECT_EQ(*tree->GetText(a), "alpha");
    EXPECT_EQ(tv->GetSelectedPath(), "/usr/alpha");
    EXPECT_EQ(Global("got"), "/usr/a;/usr/b;/usr/alpha;");
    // Cancelled, empty, with "/" or a sibling's name: nothing changes, the text comes back.
    for (const char* bad : {"alpha-cancelled", "", "x/y", "b", ".."}) {
        tree->EditLabel(a);
        tree->EditText() = bad;
        tree->SetText(a, bad);
        tree->EndEditLabel(std::string(bad) == "alpha-cancelled");
        if (std::string(bad) != "alpha-cancelled") {
            EXPECT_EQ(*tree->GetText(a), "alpha") << bad;
        }
    }
    EXPECT_NE(Lookup("/usr/alpha"), nullptr);
    EXPECT_NE(Lookup("/usr/b"), nullptr);
    EXPECT_EQ(Children(tv->GetRootItem()), "logic,alpha,b");
    EXPECT_TRUE(LogHas("a sibling's name"));
    EXPECT_EQ(Global("got"), "/usr/a;/usr/b;/usr/alpha;");
    // The servers keep the names they are looked up by.
    tv->SetRootNode("/");
    tree->EditLabel(Item(tv, "/sys/servers/plugin"));
    tree->EditText() = "moved";
    tree->EndEditLabel(false);
    EXPECT_EQ(Lookup("/sys/servers/moved"), nullptr);
    EXPECT_TRUE(LogHas("'rename' refused for '/sys/servers/plugin'"));
}

TEST_F(TreeViewTest, RightClickRebuildsTheMenuBeforeItsEventAndShowsIt) {
    kernel->New("nroot", "/usr/a");
    nTreeView* tv = NewTreeView("/usr");
    ASSERT_TRUE(Run("seen = '' function onr(p) seen = seen .. p .. ':' .. "
                    "obj('/sys/servers/plugin/treeview').getevents():len() .. ';' "
                    "obj('/sys/servers/plugin/treeview').contextadd('mine', 120, 30, 'mine') end "
                    "function mine(p) seen = seen .. 'mine ' .. p .. ';' end "
                    "obj('/sys/servers/plugin/treeview').addeventfunction('nm_rclick', 'onr')"));
    tv->GetContextMenu()->AddItem("stale");
    tv->OnRightClick(Item(tv, "/usr/a"));
    EXPECT_EQ(Menu(tv), "delete,copy,cut,mine");
    EXPECT_TRUE(tv->GetContextMenu()->IsShown());
    nContextMenuItem* mine = tv->GetContextMenu()->FindItem("mine");
    EXPECT_EQ(mine->GetWidth(), 120);
    EXPECT_EQ(mine->GetHeight(), 30);
    EXPECT_EQ(tv->GetEvents().substr(tv->GetEvents().size() - 7), "mine_s\n");
    // Picked: its event first, with the object's path.
    tv->MenuPicked("mine");
    EXPECT_NE(Global("seen").find("mine /usr/a;"), std::string::npos);
    // "paste" only while something is copied.
    Pick(tv, "/usr/a", "copy");
    tv->OnRightClick(Item(tv, "/usr/a"));
    EXPECT_EQ(Menu(tv).substr(0, 26), "delete,paste,copy,cut,mine");
    ASSERT_TRUE(Run("obj('/sys/servers/plugin/treeview').contextdel('mine')"));
    EXPECT_EQ(tv->GetContextMenu()->FindItem("mine"), nullptr);
    // Sizes past the ends are held where the menu's sums of them stay in range (the
    // entries below one of INT_MIN or INT_MAX height overflowed their position).
    ASSERT_TRUE(Run("local tv = obj('/sys/servers/plugin/treeview') tv.contextadd('low', -2147483648, -2147483648, 'mine') "
                    "tv.contextadd('high', 2147483647, 2147483647, 'mine') tv.contextadd('next', 10, 10, 'mine')"));
    nContextMenuItem* next = tv->GetContextMenu()->FindItem("next");
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(tv->GetContextMenu()->FindItem("low")->GetHeight(), 0);
    EXPECT_EQ(tv->GetContextMenu()->FindItem("high")->GetHeight(), nContextMenuItem::MaxSide);
    EXPECT_GE(next->GetY(), nContextMenuItem::MaxSide);

    // A bound function that deletes the view: no menu is shown by a view that is gone.
    ASSERT_TRUE(Run("function bye(p) delete('/sys/servers/plugin/treeview') end "
                    "obj('/sys/servers/plugin/treeview').addeventfunction('nm_rclick', 'bye')"));
    tv->OnRightClick(Item(tv, "/usr/a"));
    EXPECT_EQ(Lookup("/sys/servers/plugin/treeview"), nullptr);
}

TEST_F(TreeViewTest, DeleteCutCopyAndPaste) {
    kernel->New("nroot", "/usr/src/obj/inner");
    kernel->New("nroot", "/usr/dst");
    nTreeView* tv = NewTreeView("/usr");

    // Copies: the name, then the counter's name; onto the copied object itself nothing.
    Pick(tv, "/usr/src/obj", "copy");
    Pick(tv, "/usr/dst", "paste");
    EXPECT_NE(Lookup("/usr/dst/obj/inner"), nullptr);
    Pick(tv, "/usr/dst", "paste");
    nRoot* dst = Lookup("/usr/dst");
    ASSERT_EQ(dst->GetNumChildren(), 2);
    const std::string second = dst->GetTail()->GetName();
    EXPECT_EQ(second.rfind("obj_copy", 0), 0u) << second;
    EXPECT_NE(tv->FindItem(("/usr/dst/" + second).c_str()), 0);
    Pick(tv, "/usr/src/obj", "paste");
    EXPECT_EQ(Lookup("/usr/src/obj")->GetNumChildren(), 1);
    // Into its own subtree: refused.
    Pick(tv, "/usr/src/obj/inner", "paste");
    EXPECT_EQ(Lookup("/usr/src/obj/inner")->GetNumChildren(), 0);
    EXPECT_TRUE(LogHas("not pasted into its own subtree"));

    // A cut leaves the tree and comes back where pasted, under a "_copy" name where taken.
    nRef<nRoot> cut;
    cut = Lookup("/usr/src/obj");
    Pick(tv, "/usr/src/obj", "cut");
    EXPECT_EQ(Lookup("/usr/src/obj"), nullptr);
    EXPECT_EQ(tv->FindItem("/usr/src/obj"), 0);
    EXPECT_EQ(tv->GetCutObject(), cut.GetUnsafe());
    Pick(tv, "/usr/dst", "paste");
    EXPECT_EQ(cut->GetParent(), dst);
    EXPECT_EQ(std::string(cut->GetName()).rfind("obj_copy", 0), 0u);
    EXPECT_EQ(tv->GetCutObject(), nullptr);

    // Delete: the parent becomes current, the object goes.
    Pick(tv, "/usr/dst/obj", "delete");
    EXPECT_EQ(Lookup("/usr/dst/obj"), nullptr);
    EXPECT_EQ(kernel->GetCwd(), dst);
    EXPECT_EQ(tv->FindItem("/usr/dst/obj"), 0);

    // "/" and the view's own ancestors are neither deleted nor cut.
    tv->SetRootNode("/");
    for (const char* entry : {"delete", "cut"}) {
        for (const char* path : {"/", "/sys", "/sys/servers/plugin", "/sys/servers/plugin/treeview"}) {
            Pick(tv, path, entry);
            EXPECT_NE(Lookup(path), nullptr) << entry << " " << path;
        }
    }
    EXPECT_EQ(tv->GetCutObject(), nullptr);
}

TEST_F(TreeViewTest, TheEnginesServersAreNeitherDeletedNorCut) {
    kernel->New("nroot", "/sys/servers/engine/part");
    kernel->New("nroot", "/usr/loose");
    nTreeView* tv = NewTreeView("/");
    for (const char* entry : {"delete", "cut", "copy"}) {
        for (const char* path : {"/sys/servers/engine", "/sys/servers/engine/part"}) {
            log.text.clear();
            Pick(tv, path, entry);
            EXPECT_NE(Lookup(path), nullptr) << entry << " " << path;
            EXPECT_TRUE(LogHas("engine's servers")) << entry << " " << path << ": " << log.text;
        }
    }
    EXPECT_EQ(tv->GetCutObject(), nullptr);
    // No copy to paste: a second server would act as the first.
    Pick(tv, "/usr/loose", "paste");
    EXPECT_EQ(Lookup("/usr/loose")->GetHead(), nullptr);
    // Others go as before.
    Pick(tv, "/usr/loose", "delete");
    EXPECT_EQ(Lookup("/usr/loose"), nullptr);
}

TEST_F(TreeViewTest, ACutVisualNodePastedMarksItsNewParentsChanged) {
    auto* dst = static_cast<nVisNode*>(kernel->New("n3dnode", "/usr/dst"));
    auto* inner = static_cast<nVisNode*>(kernel->New("n3dnode", "/usr/dst/inner"));
    kernel->New("n3dnode", "/usr/src/vis");
    nTreeView* tv = NewTreeView("/usr");
    // Both parents hold collected channel sets.
    ASSERT_NE(dst->GetChannelSet(), nullptr);
    ASSERT_NE(inner->GetChannelSet(), nullptr);
    ASSERT_FALSE(dst->ChannelsChanged());
    ASSERT_FALSE(inner->ChannelsChanged());
    Pick(tv, "/usr/src/vis", "cut");
    Pick(tv, "/usr/dst/inner", "paste");
    EXPECT_NE(Lookup("/usr/dst/inner/vis"), nullptr);
    EXPECT_TRUE(inner->ChannelsChanged());
    EXPECT_TRUE(dst->ChannelsChanged());
}

TEST_F(TreeViewTest, ACutObjectNeverPastedGoesBackAtACopyOrTheViewsEndOrDiesWhereItsPlaceIsGone) {
    kernel->New("nroot", "/usr/held/child");
    nTreeView* tv = NewTreeView("/usr");
    nRef<nRoot> held;
    held = Lookup("/usr/held");
    Pick(tv, "/usr/held", "cut");
    ASSERT_TRUE(held.IsValid());
    // A copy, or the next cut, puts the cut object back where it was: nothing is lost unasked.
    Pick(tv, "/usr", "copy");
    EXPECT_EQ(Lookup("/usr/held"), held.GetUnsafe());
    EXPECT_TRUE(LogHas("'held', cut and never pasted, is back as '/usr/held' at a copy")) << log.text;

    kernel->New("nroot", "/usr/again");
    tv->Refresh();
    held = Lookup("/usr/again");
    Pick(tv, "/usr/again", "cut");
    ASSERT_TRUE(held.IsValid());
    tv->Release();
    EXPECT_EQ(Lookup("/usr/again"), held.GetUnsafe());
    EXPECT_TRUE(LogHas("'again', cut and never pasted, is back as '/usr/again'")) << log.text;

    kernel->New("nroot", "/usr/gone/child");
    tv = NewTreeView("/usr");
    held = Lookup("/usr/gone/child");
    Pick(tv, "/usr/gone/child", "cut");
    ASSERT_TRUE(Run("delete('/usr/gone')"));
    tv->Release();
    EXPECT_FALSE(held.IsValid());
    EXPECT_TRUE(LogHas("'child', cut and never pasted, released")) << log.text;
}

// The gestures a person renames by, in the layer's frames as the window pump feeds it:
// rows found by hit tests and clicked, keys and characters typed.
TEST_F(TreeViewTest, F2AndASecondClickRenameWithTheRefusalsAndOtherClicksDoNot) {
    MakePluginServer();
    kernel->New("nroot", "/usr/b");
    nTreeView* tv = NewTreeView("/usr");
    ui::TreeControl* tree = tv->GetTreeControl();
    tv->GetWindow()->SetPosition(0, 0);
    tv->SetActive(true);
    std::unique_ptr<ui::ToolWindow> other = Host()->MakeToolWindow("Other", 100, 60);
    other->SetPosition(600, 400);
    other->Show(false);
    const auto wait = [this] { for (int i = 0; i < 12; i++) LayerFrame(); };  // past the double-click time
    const auto clickRow = [&](const char* path) {
        for (int y = 0; y < 600; y++) {
            if (tree->HitTest(60.0f, float(y)) == tv->FindItem(path)) return Click(60, y + 4);
        }
        ADD_FAILURE() << "no row for " << path;
    };
    using K = window::MessageKind;
    const auto key = [this](int vk) { Send(K::KeyDown, 0, 0, 0, vk), Send(K::KeyUp, 0, 0, 0, vk), LayerFrame(); };
    ASSERT_TRUE(Run("function note(p) got = got .. p .. ';' end t = obj('/sys/servers/plugin/treeview') "
                    "t.addeventfunction('tvn_endlabeledit', 'note') t.addeventfunction('nm_dbclick', 'note')"));
    // Gestures: F2, a second click, a double click, a second click that brings the window
    // back, F2 with nothing selected. Ends: Return, Esc, a click on another row, Return after
    // a refresh, F12 twice or a script's delete; none: no edit box. "+": typed after the old name.
    struct Case { char gesture; const char* name; char end; const char* path; const char* logged; const char* old = "old"; };
    const Case cases[] = {
        {'F', "alpha", 'R', "/usr/alpha", ""},  {'2', "beta", 'R', "/usr/beta", ""},
        {'2', "gamma", 'C', "/usr/gamma", ""},  {'F', "delta", 'E', "/usr/old", ""},
        {'F', "", 'R', "/usr/old", "an empty name"}, {'2', "x/y", 'R', "/usr/old", "a name with '/'"},
        {'F', "b", 'R', "/usr/old", "a sibling's name"}, {'D', "", 0, "/usr/old", ""}, {'B', "", 0, "/usr/old", ""},
        {'N', "", 0, "/usr/old", ""}, {'F', "eps", 'T', "/usr/eps", ""}, {'F', "zeta", '1', "/usr/zeta", ""},
        {'F', "eta", 'X', "", "is gone"},
        {'F', "+x", 'R', "/usr/f\xE4x", "", "f\xE4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, c.gesture) + " '" + c.name + "' " + c.end);
        const std::string from = std::string("/usr/") + c.old;
        if (!Lookup(from.c_str())) kernel->New("nroot", from.c_str());
        tv->Refresh();
        tree->Select(0);
        wait();
        log.text.clear();
        ASSERT_TRUE(Run("got = ''"));
        const int old = tv->FindItem(from.c_str());
        if (c.gesture != 'N') clickRow(from.c_str());
        if (c.gesture == 'F' || c.gesture == 'N') {
            key(ui::TreeControl::kEditKey);
        } else {
            if (c.gesture != 'D') wait();
            EXPECT_EQ(tree->GetEditedItem(), 0) << "a first click only selects";
            if (c.gesture == 'B') Click(650, 440);
            clickRow(from.c_str());
            wait();
        }
        ASSERT_EQ(tree->GetEditedItem(), c.end ? old : 0);
        if (c.end) {
            LayerFrame();
            key(*c.name == '+' ? 35 : 8);  // the old name, all selected, goes, or End keeps it
            for (const char* p = c.name + (*c.name == '+'); *p; p++) Send(K::Char, 0, 0, 0, static_cast<unsigned char>(*p));
            LayerFrame();
            if (c.end == 'T') tv->Refresh(), LayerFrame();
            if (c.end == '1') tv->SetActive(false), LayerFrame(), tv->SetActive(true), LayerFrame(), LayerFrame();
            if (c.end == 'X') ASSERT_TRUE(Run("delete('/usr/old')")), LayerFrame();
            if (c.end == 'C') clickRow("/usr/b");
            else key(c.end == 'E' ? 27 : 13);
            LayerFrame();
        }
        const std::string path = c.path;
        EXPECT_EQ(tree->GetEditedItem(), 0);
        EXPECT_EQ(tv->GetItemPath(old), path.empty() ? from : path);
        EXPECT_EQ(Lookup(c.path) != nullptr, !path.empty());
        EXPECT_EQ(Global("got"), c.gesture == 'D' ? from + ";" : !path.empty() && path != from ? path + ";" : "");
        EXPECT_TRUE(*c.logged ? LogHas(c.logged) : !LogHas("not renamed")) << log.text;
        if (nRoot* o = path != "/usr/old" ? Lookup(c.path) : nullptr) o->Release();
    }
}

// A frame visits each shown item once and none under a closed one.
TEST_F(TreeViewTest, AFrameVisitsEachShownItemOnce) {
    MakePluginServer();
    std::unique_ptr<ui::ToolWindow> window = Host()->MakeToolWindow("Tree", 300, 300);
    ui::TreeControl tree;
    window->content = [&tree](ui::ToolWindow& w) { tree.Build(w, 280, 260); };
    window->SetPosition(0, 0);
    window->Show();
    int first = 0;
    for (int i = 0, group = 0; i < 400; i++) {
        if (i % 10 == 0) group = tree.Insert(0, "group", 0, 0, 0), first = first ? first : group;
        else tree.Insert(group, "item", 0, 0, 0);
    }
    LayerFrame();
    EXPECT_EQ(tree.GetLastFrameVisits(), 400u);
    int x = 0, y = 0;  // the first group's arrow closes it
    while (y < 300 && tree.HitTest(150.0f, float(y)) != first) y++;
    while (x < 150 && tree.HitTest(float(x), float(y)) != first) x++;
    Click(x + 6, y + 4);
    EXPECT_EQ(tree.GetLastFrameVisits(), 391u);
}

// "/scripts" and the assigns that stood when the view was made stay where the game looks for
// them; an assign made later goes as others do. R: F2 to "renamed", C: cut, D: delete.
TEST_F(TreeViewTest, ScriptsAndTheGamesAssignsStayWhereTheGameLooksForThem) {
    ASSERT_TRUE(kernel->GetFileServer()->SetAssign("save", Path("save/").c_str()));
    kernel->New("nscriptlet", "/scripts/m1");
    nTreeView* tv = NewTreeView();
    ASSERT_TRUE(kernel->GetFileServer()->SetAssign("mine", Path("mine/").c_str()));
    const char *scripts = "refused for '/scripts'", *assign = "an assign the game runs on",
               *holder = "which holds the game's assigns";
    const struct {
        const char* path;
        char gesture;
        const char* refusal;  // logged; empty where it goes as asked
    } rows[] = {
        {"/scripts", 'R', scripts}, {"/scripts", 'C', scripts}, {"/scripts/m1", 'R', ""}, {"/scripts/m1", 'C', ""},
        {"/sys/share/assigns/bin", 'R', assign}, {"/sys/share/assigns/bin", 'D', assign},
        {"/sys/share/assigns/bin", 'C', assign}, {"/sys/share/assigns/home", 'D', assign},
        {"/sys/share/assigns/save", 'R', assign}, {"/sys/share/assigns", 'D', holder},
        {"/sys/share/assigns", 'R', holder}, {"/sys/share", 'C', holder},
        {"/sys/share/assigns/mine", 'R', ""}, {"/scripts", 'D', ""},
    };
    const std::string renamed = "renamed";
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.path) + " " + row.gesture);
        log.text.clear();
        tv->Refresh();
        const int item = Item(tv, row.path);
        nRoot* object = Lookup(row.path);
        nRoot* parent = object->GetParent();
        const std::string name = object->GetName();
        if (row.gesture == 'R') tv->OnLabelEditEnd(item, &renamed);
        else Pick(tv, row.path, row.gesture == 'C' ? "cut" : "delete");
        const bool refused = *row.refusal != '\0';
        EXPECT_EQ(Lookup(row.path) != nullptr, refused) << log.text;
        if (refused) {
            EXPECT_TRUE(LogHas(row.refusal)) << log.text;
            EXPECT_EQ(*tv->GetTreeControl()->GetText(item), name);
        }
        // What went as asked comes back for the rows after it.
        if (!refused && row.gesture == 'R') Lookup((std::string(parent->GetFullName()) + "/renamed").c_str())->SetName(name.c_str());
        if (!refused && row.gesture == 'C') tv->Refresh(), Pick(tv, parent->GetFullName().c_str(), "paste");
        if (row.gesture != 'D') EXPECT_NE(Lookup(row.path), nullptr);
    }
    EXPECT_EQ(Lookup("/scripts"), nullptr);
    EXPECT_STREQ(kernel->GetFileServer()->GetAssign("bin"), bin.c_str());
}

// The view refreshes every 2 s and the macro buttons look every 5 s of the tools' own time
// (a renamed macro's button), however the game's clock stands still; a new macro gets its
// button at once.
TEST_F(TreeViewTest, TheViewAndTheMacroButtonsKeepTheirTimesWhileTheGamesClockStands) {
    nTimeServer* ts = kernel->GetTimeServer();
    const std::pair<const char*, std::function<void()>> rows[] = {
        {"stopped", [ts] { ts->StopTime(); }},
        {"locked steps", [ts] { ts->LockDeltaT(0.02); }},
        {"scale 0", [ts] { ts->SetTimeScale(0.0f); }},
        {"set back", [ts] { ts->SetTime(0.0); }},
    };
    double t0 = 0.0;
    for (const auto& [what, stand] : rows) {
        SCOPED_TRACE(what);
        clock.Set(t0 += 100.0);
        std::filesystem::remove_all(bin);  // no macros of the row before
        std::filesystem::create_directories(bin);
        kernel->New("nroot", "/usr/old");
        nTreeView* tv = NewTreeView("/usr");
        auto* m = static_cast<nMacroExec2*>(kernel->New("nmacroexec2", "/sys/servers/plugin/macros"));
        kernel->New("nscriptlet", "/scripts/alt");
        tv->Trigger();
        m->Trigger();
        stand();
        const double game = ts->GetTime();
        kernel->New("nroot", "/usr/neu");
        kernel->New("nscriptlet", "/scripts/neu");
        ASSERT_TRUE(Run("delete('/usr/old')"));
        m->Trigger();
        ASSERT_EQ(m->GetNumButtons(), 2);
        ASSERT_TRUE(Run("obj('/scripts/alt').setname('umbenannt')"));
        for (const double after : {1.5, 2.5, 4.5, 5.5}) {
            clock.Set(t0 + after);
            if (std::string(what) == "set back") stand();
            tv->Trigger();
            m->Trigger();
            EXPECT_EQ(ts->GetTime(), game);
            EXPECT_EQ(tv->FindItem("/usr/neu") != 0, after > 2.0) << after;
            EXPECT_EQ(tv->FindItem("/usr/old") != 0, after < 2.0) << after;
            EXPECT_EQ(m->GetButton(0)->GetName(), after > 5.0 ? "umbenannt" : "alt") << after;
        }
        ts->StartTime(), ts->LockDeltaT(0.0), ts->SetTimeScale(1.0f);
        ASSERT_TRUE(Run("delete('/sys/servers/plugin/treeview') delete('/sys/servers/plugin/macros') "
                        "delete('/usr/neu') if exists('/scripts') then delete('/scripts') end"));
    }
}

}  // namespace
