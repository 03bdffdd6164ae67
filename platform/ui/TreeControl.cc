#include "platform/ui/TreeControl.h"

#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>

#include "platform/ui/Host.h"
#include "platform/ui/ToolWindow.h"

namespace ui {

TreeControl::Handle TreeControl::Insert(Handle parent, const std::string& text, int image, int selectedImage,
                                        intptr_t parameter)
{
    if (parent != 0 && this->Find(parent) == nullptr) return 0;
    Item item{this->next++, parent, text, {}, image, selectedImage, parameter};
    Host::ToUtf8(text, item.label);
    // Insertion order keeps siblings in order; a child goes after its parent's subtree.
    this->items.push_back(std::move(item));
    return this->items.back().handle;
}

bool TreeControl::Delete(Handle handle)
{
    if (this->Find(handle) == nullptr) return false;
    std::vector<Handle> doomed{handle};
    for (size_t i = 0; i < doomed.size(); i++) {
        for (const Item& item : this->items) {
            if (item.parent == doomed[i]) doomed.push_back(item.handle);
        }
    }
    std::erase_if(this->items, [&doomed](const Item& item) {
        return std::find(doomed.begin(), doomed.end(), item.handle) != doomed.end();
    });
    if (std::find(doomed.begin(), doomed.end(), this->selection) != doomed.end()) this->selection = 0;
    if (std::find(doomed.begin(), doomed.end(), this->editing) != doomed.end()) this->editing = 0;
    return true;
}

bool TreeControl::SetText(Handle handle, const std::string& text)
{
    Item* item = this->Find(handle);
    if (item == nullptr) return false;
    item->text = text;
    Host::ToUtf8(text, item->label);
    return true;
}

bool TreeControl::SetImages(Handle handle, int image, int selectedImage)
{
    Item* item = this->Find(handle);
    if (item == nullptr) return false;
    item->image = image;
    item->selectedImage = selectedImage;
    return true;
}

const std::string* TreeControl::GetText(Handle handle) const
{
    const Item* item = this->Find(handle);
    return item != nullptr ? &item->text : nullptr;
}

intptr_t TreeControl::GetParameter(Handle handle) const
{
    const Item* item = this->Find(handle);
    return item != nullptr ? item->parameter : 0;
}

TreeControl::Handle TreeControl::GetParent(Handle handle) const
{
    const Item* item = this->Find(handle);
    return item != nullptr ? item->parent : 0;
}

std::vector<TreeControl::Handle> TreeControl::GetChildren(Handle handle) const
{
    std::vector<Handle> children;
    if (handle != 0 && this->Find(handle) == nullptr) return children;
    for (const Item& item : this->items) {
        if (item.parent == handle) children.push_back(item.handle);
    }
    return children;
}

bool TreeControl::Select(Handle handle)
{
    if (handle != 0 && this->Find(handle) == nullptr) return false;
    if (this->selection != handle) {
        this->selection = handle;
        if (this->onSelectionChanged) this->onSelectionChanged(handle);
    }
    return true;
}

TreeControl::Handle TreeControl::HitTest(float x, float y) const
{
    for (const Item& item : this->items) {
        if (item.drawn && x >= item.left && x < item.right && y >= item.top && y < item.bottom) return item.handle;
    }
    return 0;
}

bool TreeControl::EditLabel(Handle handle)
{
    const Item* item = this->Find(handle);
    if (item == nullptr) return false;
    this->editing = handle;
    this->editText = item->text;
    this->editFocus = true;
    return true;
}

void TreeControl::EndEditLabel(bool cancel)
{
    const Handle item = this->editing;
    if (item == 0) return;
    this->editing = 0;
    const std::string text = this->editText;
    if (this->onLabelEditEnd) this->onLabelEditEnd(item, cancel ? nullptr : &text);
}

TreeControl::Item* TreeControl::Find(Handle handle)
{
    if (handle == 0) return nullptr;
    for (Item& item : this->items) {
        if (item.handle == handle) return &item;
    }
    return nullptr;
}

const TreeControl::Item* TreeControl::Find(Handle handle) const
{
    return const_cast<TreeControl*>(this)->Find(handle);
}

void TreeControl::Post(ToolWindow& window, std::function<void()> note)
{
    window.Defer(std::move(note));
}

void TreeControl::DrawImage(const uint32_t* pixels, float x, float y)
{
    // One rectangle a run of equal pixels in a row.
    ImDrawList* list = ImGui::GetWindowDrawList();
    for (int row = 0; row < kImageSize; row++) {
        const uint32_t* line = pixels + row * kImageSize;
        for (int col = 0; col < kImageSize;) {
            int end = col + 1;
            while (end < kImageSize && line[end] == line[col]) end++;
            if ((line[col] >> 24) != 0) {
                list->AddRectFilled(ImVec2(x + float(col), y + float(row)), ImVec2(x + float(end), y + float(row + 1)),
                                    line[col]);
            }
            col = end;
        }
    }
}

void TreeControl::Build(ToolWindow& window, float width, float height)
{
    for (Item& item : this->items) item.drawn = false;
    ImGui::PushID(this);
    ImGui::PushStyleColor(ImGuiCol_ChildBg, (this->backColour & 0xFFFFFFu) | 0xFF000000u);
    ImGui::PushStyleColor(ImGuiCol_Text, (this->textColour & 0xFFFFFFu) | 0xFF000000u);
    if (ImGui::BeginChild("tree", ImVec2(width, height), true)) {
        for (Item& item : this->items) {
            if (item.parent == 0) this->BuildItem(window, item);
        }
    }
    ImGui::EndChild();
    ImGui::PopStyleColor(2);
    ImGui::PopID();
}

void TreeControl::BuildItem(ToolWindow& window, Item& item)
{
    const Handle handle = item.handle;
    ImGui::PushID(handle);
    bool hasChildren = false;
    for (const Item& other : this->items) hasChildren = hasChildren || other.parent == handle;
    ImGuiTreeNodeFlags flags = ImGuiTreeNodeFlags_OpenOnArrow | ImGuiTreeNodeFlags_SpanAvailWidth;
    if (!hasChildren) flags |= ImGuiTreeNodeFlags_Leaf;
    if (this->selection == handle) flags |= ImGuiTreeNodeFlags_Selected;
    ImGui::SetNextItemOpen(item.open, ImGuiCond_Always);
    // Only the selection lights a row, as in a tree view of the desktop: the row that a
    // closing menu leaves under the pointer would look picked by the menu's click.
    const ImU32 lit = this->selection == handle ? ImGui::GetColorU32(ImGuiCol_Header) : 0;
    ImGui::PushStyleColor(ImGuiCol_HeaderHovered, lit);
    ImGui::PushStyleColor(ImGuiCol_HeaderActive, lit);
    bool open = false;
    if (this->editing == handle) {
        open = ImGui::TreeNodeEx("##node", flags | ImGuiTreeNodeFlags_AllowItemOverlap);
        ImGui::PopStyleColor(2);
        ImGui::SameLine();
        if (this->editFocus) {
            ImGui::SetKeyboardFocusHere();
            this->editFocus = false;
        }
        if (ImGui::InputText("##edit", &this->editText, ImGuiInputTextFlags_EnterReturnsTrue)) {
            this->Post(window, [this] { this->EndEditLabel(false); });
        } else if (ImGui::IsKeyPressed(27)) {
            this->Post(window, [this] { this->EndEditLabel(true); });
        }
    } else {
        // The text drawn as it is, never as a format nor cut at "##".
        open = ImGui::TreeNodeEx("##node", flags);
        ImGui::PopStyleColor(2);
        const ImVec2 p = ImGui::GetItemRectMin();
        float textX = p.x + ImGui::GetTreeNodeToLabelSpacing();
        if (const uint32_t* pixels = this->imagePixels ? this->imagePixels(item.image) : nullptr) {
            this->DrawImage(pixels, textX, p.y + (ImGui::GetItemRectSize().y - kImageSize) * 0.5f);
            textX += kImageSize + 2.0f;
        }
        ImGui::GetWindowDrawList()->AddText(ImVec2(textX, p.y),
                                            ImGui::GetColorU32(ImGuiCol_Text), item.label.data(),
                                            item.label.data() + item.label.size());
    }
    // Item pointers stay valid while the frame builds: nothing is inserted meanwhile.
    const ImVec2 p0 = ImGui::GetItemRectMin();
    const ImVec2 p1 = ImGui::GetItemRectMax();
    item.left = p0.x, item.top = p0.y, item.right = p1.x, item.bottom = p1.y;
    item.drawn = true;
    item.open = open;
    if (ImGui::IsItemClicked(0)) {
        const bool twice = ImGui::IsMouseDoubleClicked(0);
        this->Post(window, [this, handle, twice] {
            if (!this->Exists(handle)) return;
            this->Select(handle);
            if (this->onClick) this->onClick(handle);
            if (twice && this->onDoubleClick) this->onDoubleClick(handle);
        });
    }
    if (ImGui::IsItemClicked(1)) {
        this->Post(window, [this, handle] {
            if (this->Exists(handle) && this->onRightClick) this->onRightClick(handle);
        });
    }
    if (open) {
        for (Item& child : this->items) {
            if (child.parent == handle) this->BuildItem(window, child);
        }
        ImGui::TreePop();
    }
    ImGui::PopID();
}

}  // namespace ui
