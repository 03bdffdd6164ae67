#include "platform/ui/TreeControl.h"

#include <imgui.h>
#include <imgui_stdlib.h>

#include "platform/ui/EditorControl.h"
#include "platform/ui/Host.h"
#include "platform/ui/ToolWindow.h"

namespace ui {

namespace {

// Drawn: a name's UTF-8 as it is, a byte of no character as its Windows-1252 one.
void Label(const std::string& text, std::string& label)
{
    Host::NameToUtf8(text, label);
}

}  // namespace

TreeControl::Handle TreeControl::Insert(Handle parent, const std::string& text, int image, int selectedImage,
                                        intptr_t parameter)
{
    Item* up = nullptr;
    if (parent != 0 && (up = this->Find(parent)) == nullptr) return 0;
    const Handle handle = this->next++;
    Item& item = this->items.emplace(handle, Item{handle, parent, text, {}, image, selectedImage, parameter}).first->second;
    Label(text, item.label);
    // After the parent's last child.
    Item*& first = up != nullptr ? up->firstChild : this->firstRoot;
    Item*& last = up != nullptr ? up->lastChild : this->lastRoot;
    item.up = up;
    item.prevSibling = last;
    if (last != nullptr) last->nextSibling = &item;
    else first = &item;
    last = &item;
    return handle;
}

bool TreeControl::Delete(Handle handle)
{
    Item* item = this->Find(handle);
    if (item == nullptr) return false;
    Item*& first = item->up != nullptr ? item->up->firstChild : this->firstRoot;
    Item*& last = item->up != nullptr ? item->up->lastChild : this->lastRoot;
    if (item->prevSibling != nullptr) item->prevSibling->nextSibling = item->nextSibling;
    else first = item->nextSibling;
    if (item->nextSibling != nullptr) item->nextSibling->prevSibling = item->prevSibling;
    else last = item->prevSibling;
    std::vector<Item*> doomed{item};
    for (size_t i = 0; i < doomed.size(); i++) {
        for (Item* child = doomed[i]->firstChild; child != nullptr; child = child->nextSibling) doomed.push_back(child);
    }
    for (const Item* gone : doomed) {
        if (gone->handle == this->selection) this->selection = 0;
        if (gone->handle == this->editing) this->editing = 0;
        if (gone->handle == this->pendingEdit) this->pendingEdit = 0;
    }
    for (const Item* gone : doomed) this->items.erase(gone->handle);
    return true;
}

bool TreeControl::SetText(Handle handle, const std::string& text)
{
    Item* item = this->Find(handle);
    if (item == nullptr) return false;
    item->text = text;
    Label(text, item->label);
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
    const Item* item = this->Find(handle);
    if (handle != 0 && item == nullptr) return children;
    for (const Item* child = item != nullptr ? item->firstChild : this->firstRoot; child != nullptr;
         child = child->nextSibling) {
        children.push_back(child->handle);
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
    for (const Row& row : this->rows) {
        if (x >= row.left && x < row.right && y >= row.top && y < row.bottom) {
            return this->Exists(row.handle) ? row.handle : 0;
        }
    }
    return 0;
}

bool TreeControl::EditLabel(Handle handle)
{
    const Item* item = this->Find(handle);
    if (item == nullptr) return false;
    this->editing = handle;
    // The field edits UTF-8: a name's stray bytes come back from it as they were.
    EditorControl::ToInput(item->text, this->editText);
    this->editFocus = true;
    this->pendingEdit = 0;
    return true;
}

void TreeControl::EndEditLabel(bool cancel)
{
    const Handle item = this->editing;
    if (item == 0) return;
    this->editing = 0;
    std::string text;
    EditorControl::FromInput(this->editText, text);
    if (this->onLabelEditEnd) this->onLabelEditEnd(item, cancel ? nullptr : &text);
}

TreeControl::Item* TreeControl::Find(Handle handle)
{
    if (handle == 0) return nullptr;
    const auto found = this->items.find(handle);
    return found != this->items.end() ? &found->second : nullptr;
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

void TreeControl::StartAskedEdit()
{
    // A click after the second one (the second of a double click, or one elsewhere) or
    // another selection means the second click was not a rename.
    if (this->pendingEdit != 0) {
        if (ImGui::IsMouseClicked(0) || ImGui::IsMouseClicked(1) || this->editing != 0 ||
            this->selection != this->pendingEdit) {
            this->pendingEdit = 0;
        } else if (ImGui::GetTime() >= this->pendingEditAt) {
            this->EditLabel(this->pendingEdit);
        }
    }
    if (this->editing == 0 && this->selection != 0 && this->hadKeyboard && ImGui::IsKeyPressed(kEditKey, false)) {
        this->EditLabel(this->selection);
    }
}

void TreeControl::Build(ToolWindow& window, float width, float height)
{
    this->rows.clear();
    this->visits = 0;
    // An edit whose window was hidden (F12) lost the keyboard with it: it takes it back.
    const int frame = ImGui::GetFrameCount();
    if (this->editing != 0 && this->builtFrame != frame - 1) this->editFocus = true;
    this->builtFrame = frame;
    ImGui::PushID(this);
    ImGui::PushStyleColor(ImGuiCol_ChildBg, (this->backColour & 0xFFFFFFu) | 0xFF000000u);
    ImGui::PushStyleColor(ImGuiCol_Text, (this->textColour & 0xFFFFFFu) | 0xFF000000u);
    if (ImGui::BeginChild("tree", ImVec2(width, height), true)) {
        // Before any row takes a click (and the keyboard with it).
        this->hadKeyboard = ImGui::IsWindowFocused(ImGuiFocusedFlags_RootAndChildWindows);
        this->StartAskedEdit();
        for (Item* item = this->firstRoot; item != nullptr; item = item->nextSibling) this->BuildItem(window, *item);
    }
    ImGui::EndChild();
    ImGui::PopStyleColor(2);
    ImGui::PopID();
}

void TreeControl::BuildEditField(ToolWindow& window)
{
    if (this->editFocus) {
        ImGui::SetKeyboardFocusHere();
        this->editFocus = false;
    }
    const Handle handle = this->editing;
    const auto end = [this, handle](bool cancel) {
        if (this->editing == handle) this->EndEditLabel(cancel);
    };
    // The whole name selected, as the edit starts; the field within the tree's width.
    ImGui::SetNextItemWidth(ImGui::GetContentRegionAvail().x);
    if (ImGui::InputText("##edit", &this->editText,
                         ImGuiInputTextFlags_EnterReturnsTrue | ImGuiInputTextFlags_AutoSelectAll)) {
        this->Post(window, [end] { end(false); });
    } else if (ImGui::IsItemDeactivated()) {
        // Esc cancels; a click elsewhere leaves the field with its text, as on the desktop.
        const bool cancel = ImGui::IsKeyPressed(27, false);
        this->Post(window, [end, cancel] { end(cancel); });
    }
}

void TreeControl::BuildItem(ToolWindow& window, Item& item)
{
    this->visits++;
    const Handle handle = item.handle;
    ImGui::PushID(handle);
    ImGuiTreeNodeFlags flags = ImGuiTreeNodeFlags_OpenOnArrow | ImGuiTreeNodeFlags_SpanAvailWidth;
    if (item.firstChild == nullptr) flags |= ImGuiTreeNodeFlags_Leaf;
    if (this->selection == handle) flags |= ImGuiTreeNodeFlags_Selected;
    const bool edited = this->editing == handle;
    if (edited) flags |= ImGuiTreeNodeFlags_AllowItemOverlap;
    ImGui::SetNextItemOpen(item.open, ImGuiCond_Always);
    // Only the selection lights a row, as in a tree view of the desktop: the row that a
    // closing menu leaves under the pointer would look picked by the menu's click.
    const ImU32 lit = this->selection == handle ? ImGui::GetColorU32(ImGuiCol_Header) : 0;
    ImGui::PushStyleColor(ImGuiCol_HeaderHovered, lit);
    ImGui::PushStyleColor(ImGuiCol_HeaderActive, lit);
    // The text drawn as it is, never as a format nor cut at "##".
    const bool open = ImGui::TreeNodeEx("##node", flags);
    ImGui::PopStyleColor(2);
    item.open = open;
    // Rows out of sight cost their layout only.
    if (ImGui::IsItemVisible()) {
        const ImVec2 p0 = ImGui::GetItemRectMin();
        const ImVec2 p1 = ImGui::GetItemRectMax();
        this->rows.push_back(Row{handle, p0.x, p0.y, p1.x, p1.y});
        if (!edited) {
            float textX = p0.x + ImGui::GetTreeNodeToLabelSpacing();
            if (const uint32_t* pixels = this->imagePixels ? this->imagePixels(item.image) : nullptr) {
                this->DrawImage(pixels, textX, p0.y + (p1.y - p0.y - kImageSize) * 0.5f);
                textX += kImageSize + 2.0f;
            }
            ImGui::GetWindowDrawList()->AddText(ImVec2(textX, p0.y), ImGui::GetColorU32(ImGuiCol_Text),
                                                item.label.data(), item.label.data() + item.label.size());
        }
    }
    if (ImGui::IsItemClicked(0)) {
        const bool twice = ImGui::IsMouseDoubleClicked(0);
        // A click on the row already selected, in the window that had the keyboard, asks
        // for an edit of its label, started once the double-click time passes without
        // another click; the arrow only opens, and the click that brings the window back
        // only does that.
        if (!twice && this->selection == handle && this->editing == 0 && !ImGui::IsItemToggledOpen() &&
            this->hadKeyboard) {
            this->pendingEdit = handle;
            this->pendingEditAt = ImGui::GetTime() + double(ImGui::GetIO().MouseDoubleClickTime);
        }
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
    if (edited) {
        ImGui::SameLine();
        this->BuildEditField(window);
    }
    if (open) {
        for (Item* child = item.firstChild; child != nullptr; child = child->nextSibling) this->BuildItem(window, *child);
        ImGui::TreePop();
    }
    ImGui::PopID();
}

}  // namespace ui
