#include "tools/nTreeItem.h"

#include "platform/ui/TreeControl.h"

nTreeItem::nTreeItem(ui::TreeControl* tree, const char* text, int image, int selectedImage, intptr_t parameter)
    : nHashNode(text != nullptr ? text : ""), tree(tree), image(image), selectedImage(selectedImage),
      parameter(parameter) {}

nTreeItem::~nTreeItem() {
    if (this->children != nullptr) {
        while (nHashNode* child = this->children->GetHead()) delete static_cast<nTreeItem*>(child);
        delete this->children;
    }
    Remove();
    // The children took their control items; this one goes last.
    if (this->handle != 0 && this->tree != nullptr) this->tree->Delete(this->handle);
}

bool nTreeItem::Insert(nTreeItem* newParent) {
    if (this->handle != 0 || this->tree == nullptr) return false;
    if (newParent != nullptr && (newParent->handle == 0 || newParent->tree != this->tree)) return false;
    this->handle = this->tree->Insert(newParent != nullptr ? newParent->handle : 0, this->GetName(), this->image,
                                      this->selectedImage, this->parameter);
    if (this->handle == 0) return false;
    this->parent = newParent;
    if (newParent != nullptr) {
        if (newParent->children == nullptr) newParent->children = new nHashList(16);
        newParent->children->AddTail(this);
    }
    return true;
}

void nTreeItem::SetText(const char* text) {
    this->SetName(text != nullptr ? text : "");
    if (this->handle != 0 && this->tree != nullptr) this->tree->SetText(this->handle, this->GetName());
}

nTreeItem* nTreeItem::FindById(int id) {
    if (id == 0) return nullptr;
    if (this->handle == id) return this;
    for (nTreeItem* child = this->GetFirstChild(); child != nullptr; child = child->GetNextSibling()) {
        if (nTreeItem* found = child->FindById(id)) return found;
    }
    return nullptr;
}

nTreeItem* nTreeItem::GetFirstChild() const {
    return this->children != nullptr ? static_cast<nTreeItem*>(this->children->GetHead()) : nullptr;
}

nTreeItem* nTreeItem::GetLastChild() const {
    return this->children != nullptr ? static_cast<nTreeItem*>(this->children->GetTail()) : nullptr;
}

nTreeItem* nTreeItem::GetNextSibling() const {
    return this->parent != nullptr ? static_cast<nTreeItem*>(this->GetSucc()) : nullptr;
}

nTreeItem* nTreeItem::FindChild(const char* text) const {
    return this->children != nullptr && text != nullptr ? static_cast<nTreeItem*>(this->children->Find(text))
                                                        : nullptr;
}
