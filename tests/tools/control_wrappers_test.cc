// The thin wrappers over the widget layer: tree items and their control items, image
// lists from our icons, the toolbar's button table and the menu.
#include <string>

#include "kernel/nFileServer2.h"
#include "platform/ui/MenuBar.h"
#include "platform/ui/ToolBar.h"
#include "platform/ui/TreeControl.h"
#include "tests/tools/ToolsFixture.h"
#include "tools/nBitmap.h"
#include "tools/nImageList.h"
#include "tools/nMenu.h"
#include "tools/nToolBar.h"
#include "tools/nToolBarButton.h"
#include "tools/nTreeItem.h"

namespace {

using ControlWrappersTest = ToolsFixture;

TEST_F(ControlWrappersTest, TreeItemsKeepTheirControlItemsAndTables) {
    ui::TreeControl tree;
    auto* root = new nTreeItem(&tree, "usr", 1, 1, 7);
    ASSERT_TRUE(root->Insert(nullptr));
    EXPECT_FALSE(root->Insert(nullptr));  // once only
    auto* a = new nTreeItem(&tree, "a");
    auto* b = new nTreeItem(&tree, "b");
    auto* c = new nTreeItem(&tree, "c");
    ASSERT_TRUE(a->Insert(root));
    ASSERT_TRUE(b->Insert(root));
    ASSERT_TRUE(c->Insert(a));
    // An item not in the control is no parent.
    nTreeItem loose(&tree, "loose");
    nTreeItem orphan(&tree, "orphan");
    EXPECT_FALSE(orphan.Insert(&loose));

    EXPECT_EQ(tree.GetChildren(root->GetHandle()), (std::vector<int>{a->GetHandle(), b->GetHandle()}));
    EXPECT_EQ(root->GetFirstChild(), a);
    EXPECT_EQ(root->GetLastChild(), b);
    EXPECT_EQ(tree.GetParameter(root->GetHandle()), 7);
    EXPECT_EQ(root->FindById(c->GetHandle()), c);
    EXPECT_EQ(root->FindById(b->GetHandle()), b);
    EXPECT_EQ(root->FindById(9999), nullptr);
    EXPECT_EQ(root->FindById(0), nullptr);

    // A new text re-keys the item in its parent's table and shows in the control.
    b->SetText("renamed");
    EXPECT_EQ(root->FindChild("b"), nullptr);
    EXPECT_EQ(root->FindChild("renamed"), b);
    EXPECT_EQ(*tree.GetText(b->GetHandle()), "renamed");

    // Deleting takes the children and their control items, and leaves the parent's table.
    const int aHandle = a->GetHandle();
    const int cHandle = c->GetHandle();
    tree.Select(cHandle);
    delete a;
    EXPECT_FALSE(tree.Exists(aHandle));
    EXPECT_FALSE(tree.Exists(cHandle));
    EXPECT_EQ(tree.GetSelection(), 0);
    EXPECT_EQ(root->GetFirstChild(), b);
    EXPECT_EQ(root->FindChild("a"), nullptr);
    delete root;
    EXPECT_EQ(tree.GetCount(), 0);
}

TEST_F(ControlWrappersTest, TreeLabelEditsEndWithATextOrCancelled) {
    ui::TreeControl tree;
    const int item = tree.Insert(0, "name", 0, 0, 0);
    EXPECT_EQ(tree.Insert(4711, "x", 0, 0, 0), 0);
    std::vector<std::string> ends;
    tree.onLabelEditEnd = [&](int, const std::string* text) { ends.push_back(text ? *text : "<cancelled>"); };
    ASSERT_TRUE(tree.EditLabel(item));
    tree.EditText() = "new";
    tree.EndEditLabel(false);
    ASSERT_TRUE(tree.EditLabel(item));
    tree.EndEditLabel(true);
    tree.EndEditLabel(false);  // nothing edited
    EXPECT_EQ(ends, (std::vector<std::string>{"new", "<cancelled>"}));
    EXPECT_FALSE(tree.EditLabel(4711));
}

TEST_F(ControlWrappersTest, ImageListsReadOurIconsOnceAndMaskThem) {
    nImageList list(kernel->GetFileServer(), 0xFF0000u);
    EXPECT_TRUE(list.AddBitmap(136, "null"));
    EXPECT_TRUE(list.AddBitmap(129, "nmeshcluster;nmeshnode"));
    EXPECT_TRUE(list.AddBitmap(130, "n3dnode"));
    // The same resource id adds nothing, whatever its label.
    EXPECT_FALSE(list.AddBitmap(136, "nroot"));
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.Build(), 3);
    EXPECT_EQ(list.FindImage("nmeshnode"), 1);
    EXPECT_EQ(list.FindImage("n3dnode"), 2);
    EXPECT_EQ(list.FindImage("nmesh"), 0);
    EXPECT_EQ(list.FindImage("null"), 0);
    EXPECT_EQ(list.FindImage("nroot"), 0);
    int transparent = 0;
    int opaque = 0;
    const uint32_t* image = list.GetImage(1);
    ASSERT_NE(image, nullptr);
    for (int i = 0; i < 256; i++) (image[i] >> 24 == 0 ? transparent : opaque)++;
    EXPECT_GT(transparent, 0);
    EXPECT_GT(opaque, 0);
    EXPECT_EQ(list.GetImage(3), nullptr);

    // A bitmap that does not load keeps its place as an empty image.
    EXPECT_TRUE(list.AddBitmap(9999, "nfoo"));
    EXPECT_EQ(list.Build(), 4);
    EXPECT_EQ(list.FindImage("nfoo"), 3);
    EXPECT_EQ(list.GetImage(3)[0], 0u);
}

TEST_F(ControlWrappersTest, ToolBarButtonsAreKeyedByCommandAndUnknownIdsChangeNothing) {
    EXPECT_EQ(nToolBarButton::Key(32910), "1000000010001110");
    nToolBar bar(nullptr, 116, nullptr);
    ASSERT_TRUE(bar.AddButton(0, 32910, 120));
    bar.AddSeparator();
    ASSERT_TRUE(bar.AddButton(5, 32909, 122));
    // A second button of a command leaves the bar as it was.
    EXPECT_FALSE(bar.AddButton(3, 32910, 118));
    EXPECT_EQ(bar.GetBar().GetCount(), 3);
    EXPECT_EQ(bar.Find(32910)->image, 0);
    EXPECT_EQ(bar.GetTooltipText(32910), "Undo");

    bar.Disable(32910);
    EXPECT_EQ(bar.Find(32910)->state, 0);
    EXPECT_EQ(bar.GetBar().GetState(32910), 0);
    bar.Enable(32910);
    EXPECT_EQ(bar.GetBar().GetState(32910), 4);
    bar.SetInfo(32909, 2);
    EXPECT_EQ(bar.Find(32909)->image, 2);
    bar.Disable(1);
    bar.SetState(0, 0);
    bar.SetInfo(1, 1);
    EXPECT_EQ(bar.Find(0), nullptr);
    EXPECT_EQ(bar.GetBar().GetState(32909), 4);
    EXPECT_EQ(bar.GetTooltipText(1), "");
}

TEST_F(ControlWrappersTest, MenusCheckEnableAndGrayByCommand) {
    MakePluginServer();
    std::unique_ptr<ui::ToolWindow> w = Host()->MakeDialog(107);
    {
        nMenu menu(w.get(), 116);
        ASSERT_TRUE(menu.IsLoaded());
        EXPECT_TRUE(static_cast<bool>(w->menuBar));
        menu.Gray(32910);
        menu.Check(32909);
        EXPECT_FALSE(menu.GetMenu().IsEnabled(32910));
        EXPECT_TRUE(menu.GetMenu().IsChecked(32909));
        menu.Enable(32910);
        menu.Uncheck(32909);
        EXPECT_TRUE(menu.GetMenu().IsEnabled(32910));
        EXPECT_FALSE(menu.GetMenu().IsChecked(32909));
        // The menu shows in the window's bar.
        w->Show();
        LayerFrame();
    }
    EXPECT_FALSE(static_cast<bool>(w->menuBar));
    nMenu none(w.get(), 4711);
    EXPECT_FALSE(none.IsLoaded());
    EXPECT_FALSE(static_cast<bool>(w->menuBar));
}

}  // namespace
