#pragma once
// A tree control for tool windows: items with a text, an image, a selected image and a
// parameter, each inserted after its parent's last child; selection (drawn with the caret
// mark), hit tests at the pointer, label editing that ends with a text or is cancelled,
// and notifications for label-edit end, selection change, click, double click and right
// click (run after the frame). Handles are never reused; 0 is the root (none).
// A person edits the selected item's label by F2 or by a second click on it that no
// click follows within the double-click time; Return (or a click elsewhere) ends the edit
// with the text, Esc cancels it. A frame costs the items it shows: each item links to its
// parent, children and siblings, so drawing scans nothing.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace ui {

class ToolWindow;

class TreeControl {
public:
    using Handle = int;

    // 0 when `parent` is no item (nor the root).
    Handle Insert(Handle parent, const std::string& text, int image, int selectedImage, intptr_t parameter);
    // Deletes the item and its subtree; false for no item.
    bool Delete(Handle item);
    bool SetText(Handle item, const std::string& text);
    bool SetImages(Handle item, int image, int selectedImage);
    const std::string* GetText(Handle item) const;
    intptr_t GetParameter(Handle item) const;
    Handle GetParent(Handle item) const;
    // Children in order; empty for no item.
    std::vector<Handle> GetChildren(Handle item) const;
    bool Exists(Handle item) const { return this->Find(item) != nullptr; }
    int GetCount() const { return static_cast<int>(this->items.size()); }
    // Items the last frame looked at (rows laid out, clipped ones too): what a frame's
    // work grows with.
    size_t GetLastFrameVisits() const { return this->visits; }

    // Selects an item (0: none); the change is notified after the frame.
    bool Select(Handle item);
    Handle GetSelection() const { return this->selection; }
    // The item drawn at a point in game-window pixels by the last frame; 0 for none.
    Handle HitTest(float x, float y) const;

    // Label editing: the edit ends with a text, or is cancelled (a null text).
    bool EditLabel(Handle item);
    void EndEditLabel(bool cancel);
    Handle GetEditedItem() const { return this->editing; }
    // The edit field's text while editing, in UTF-8 (a stray byte of the label as a
    // private character, back as that byte when the edit ends).
    std::string& EditText() { return this->editText; }
    static constexpr int kEditKey = 113;  // F2

    void SetColours(unsigned back, unsigned text) { this->backColour = back, this->textColour = text; }

    std::function<void(Handle item, const std::string* text)> onLabelEditEnd;
    std::function<void(Handle item)> onSelectionChanged;
    std::function<void(Handle item)> onClick;
    std::function<void(Handle item)> onDoubleClick;
    std::function<void(Handle item)> onRightClick;
    // An item's image as 16 x 16 pixels (ImGui's colour packing, alpha 0 transparent),
    // drawn before its text; null or unset: text only.
    std::function<const uint32_t*(int image)> imagePixels;
    static constexpr int kImageSize = 16;

    void Build(ToolWindow& window, float width, float height);

private:
    struct Item {
        Handle handle;
        Handle parent;
        std::string text;
        std::string label;  // UTF-8
        int image, selectedImage;
        intptr_t parameter;
        // Links to the neighbours (null at an end); an Item never moves in `items`.
        Item* up = nullptr;
        Item* firstChild = nullptr;
        Item* lastChild = nullptr;
        Item* prevSibling = nullptr;
        Item* nextSibling = nullptr;
        bool open = true;
    };
    // Where the last frame drew a row.
    struct Row {
        Handle handle;
        float left, top, right, bottom;
    };
    Item* Find(Handle item);
    const Item* Find(Handle item) const;
    void BuildItem(ToolWindow& window, Item& item);
    void BuildEditField(ToolWindow& window);
    // Starts the edit that F2 or a second click asked for.
    void StartAskedEdit();
    void DrawImage(const uint32_t* pixels, float x, float y);
    void Post(ToolWindow& window, std::function<void()> note);

    std::unordered_map<Handle, Item> items;  // nodes: an Item stays where it is until deleted
    Item* firstRoot = nullptr;
    Item* lastRoot = nullptr;
    std::vector<Row> rows;  // capacity kept from frame to frame
    size_t visits = 0;
    Handle next = 1;
    Handle selection = 0;
    Handle editing = 0;
    std::string editText;
    bool editFocus = false;
    int builtFrame = -1;  // ImGui's frame count when the tree was last built
    Handle pendingEdit = 0;
    double pendingEditAt = 0.0;
    bool hadKeyboard = false;  // the window's, as the frame began
    unsigned backColour = 0xFFFFFF;  // 0x00BBGGRR
    unsigned textColour = 0x000000;
};

}  // namespace ui
