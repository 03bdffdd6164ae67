#pragma once
// One item of a tool's tree control: its text (the name it is keyed by in its parent's
// child table), its parent, its children (a named list made with the first child) and
// the control item it stands for. Deleting an item deletes its children and its
// control item and takes it out of its parent's table.
#include <cstdint>

#include "kernel/nHashList.h"
#include "kernel/nHashNode.h"

namespace ui {
class TreeControl;
}

class nTreeItem : public nHashNode {
public:
    nTreeItem(ui::TreeControl* tree, const char* text, int image = 0, int selectedImage = 0, intptr_t parameter = 0);
    ~nTreeItem() override;
    nTreeItem(const nTreeItem&) = delete;
    nTreeItem& operator=(const nTreeItem&) = delete;

    // Inserts the item under `parent` (the root when null) after its last child; false
    // when it is inserted already or the parent is not.
    bool Insert(nTreeItem* parent);
    // Stores the text (re-keying the item in its parent's table) and shows it.
    void SetText(const char* text);
    const char* GetText() const { return this->GetName(); }
    // This item when its handle matches, else the first match depth first; null for none.
    nTreeItem* FindById(int handle);
    int GetHandle() const { return this->handle; }
    nTreeItem* GetParent() const { return this->parent; }
    nTreeItem* GetFirstChild() const;
    nTreeItem* GetLastChild() const;
    // Children in order: the next sibling; null after the last.
    nTreeItem* GetNextSibling() const;
    nTreeItem* FindChild(const char* text) const;
    ui::TreeControl* GetTreeControl() const { return this->tree; }

private:
    ui::TreeControl* tree;
    nTreeItem* parent = nullptr;
    nHashList* children = nullptr;
    int handle = 0;
    int image;
    int selectedImage;
    intptr_t parameter;
};
