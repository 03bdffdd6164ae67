// The context menu's entries and layout, and picking an entry through the layer.
#include <string>

#include "tests/tools/ToolsFixture.h"
#include "tools/nContextMenu.h"

namespace {

class ContextMenuTest : public ToolsFixture {
protected:
    void SetUp() override {
        ToolsFixture::SetUp();
        MakePluginServer();
    }
    static void Picked(void* context, nContextMenuItem* entry) {
        auto* self = static_cast<ContextMenuTest*>(context);
        self->picked.push_back(entry->GetName());
        if (self->deleteInCallback) self->menu.reset();
    }
    std::vector<std::string> picked;
    bool deleteInCallback = false;
    std::unique_ptr<nContextMenu> menu;
};

TEST_F(ContextMenuTest, EntriesStackInOrderAtTheMenuWidth) {
    menu = std::make_unique<nContextMenu>(Host(), "contextmenu_treeview");
    EXPECT_EQ(menu->GetWidth(), 80);
    EXPECT_EQ(menu->GetHeight(), 10);
    nContextMenuItem* a = menu->AddItem("delete");
    menu->AddItem("cut");
    menu->AddItem("copy");
    EXPECT_EQ(menu->AddItem("delete"), a);
    ASSERT_EQ(menu->GetNumItems(), 3);
    EXPECT_EQ(menu->GetWindow()->GetButtonCount(), 3);
    for (int i = 0; i < 3; i++) {
        nContextMenuItem* e = menu->GetItem(i);
        EXPECT_EQ(e->GetX(), 0);
        EXPECT_EQ(e->GetY(), 20 * i);
        EXPECT_EQ(e->GetWidth(), 80);
        EXPECT_EQ(e->GetHeight(), 20);
    }
    EXPECT_EQ(menu->GetHeight(), 60);
    EXPECT_EQ(menu->GetWindow()->GetHeight(), 60);

    menu->DeleteItem("cut");
    menu->DeleteItem("nothing");
    ASSERT_EQ(menu->GetNumItems(), 2);
    EXPECT_STREQ(menu->GetItem(1)->GetName(), "copy");
    EXPECT_EQ(menu->GetItem(1)->GetY(), 20);
    EXPECT_EQ(menu->GetHeight(), 40);
    EXPECT_EQ(menu->GetWindow()->GetButtonCount(), 2);

    // Without a layer the entries still keep their order.
    nContextMenu bare(nullptr, "contextmenu_treeview");
    bare.AddItem("x");
    bare.ShowAt(5, 5);
    EXPECT_EQ(bare.GetWindow(), nullptr);
    EXPECT_EQ(bare.GetNumItems(), 1);
    EXPECT_FALSE(bare.IsShown());
}

TEST_F(ContextMenuTest, APickedEntryCallsBackAndHidesAClickElsewhereHides) {
    // Two menus of one class name live side by side.
    nContextMenu other(Host(), "contextmenu_treeview");
    menu = std::make_unique<nContextMenu>(Host(), "contextmenu_treeview");
    menu->callback = Picked;
    menu->callbackContext = this;
    for (const char* name : {"delete", "100%s ##x", "paste"}) menu->AddItem(name);
    Send(window::MessageKind::MouseMove, 100, 100);
    menu->ShowAtPointer();
    EXPECT_EQ(menu->GetX(), 100);
    EXPECT_TRUE(menu->IsShown());
    LayerFrame();
    // The popup takes the pointer but not the keyboard.
    EXPECT_TRUE(Send(window::MessageKind::MouseMove, 140, 130));
    EXPECT_FALSE(Host()->TakesKeyboard());
    Click(140, 130);
    ASSERT_EQ(picked.size(), 1u);
    EXPECT_EQ(picked[0], "100%s ##x");
    EXPECT_FALSE(menu->IsShown());

    menu->ShowAt(100, 100);
    LayerFrame();
    Click(400, 400);
    EXPECT_FALSE(menu->IsShown());
    EXPECT_EQ(picked.size(), 1u);

    // A callback may delete the menu it was called from.
    menu->ShowAt(100, 100);
    LayerFrame();
    deleteInCallback = true;
    Click(140, 150);
    EXPECT_EQ(menu, nullptr);
    ASSERT_EQ(picked.size(), 2u);
    EXPECT_EQ(picked[1], "paste");
    LayerFrame();
}

}  // namespace
