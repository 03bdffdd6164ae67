#pragma once
// The small popup of flat push buttons that a tool shows at the pointer after a right
// click (plain class, no object of the tree): entries in the order they were added, a
// callback for the entry picked; a click elsewhere hides it. Any number of menus may
// share a class name.
#include <memory>
#include <string>
#include <vector>

#include "tools/nContextMenuItem.h"

namespace ui {
class Host;
class ToolWindow;
}  // namespace ui

class nContextMenu {
public:
    using Callback = void (*)(void* context, nContextMenuItem* entry);

    // A hidden menu in the layer; without a layer (null) the menu keeps its entries but
    // has no window.
    nContextMenu(ui::Host* host, const char* className);
    virtual ~nContextMenu();
    nContextMenu(const nContextMenu&) = delete;
    nContextMenu& operator=(const nContextMenu&) = delete;

    // The entry of that name; a new one (60 x 20) when there is none, and the menu is
    // laid out again.
    nContextMenuItem* AddItem(const char* name);
    // Deletes the entry of that name, if any, and lays out the menu again.
    void DeleteItem(const char* name);
    void DeleteAll();
    nContextMenuItem* FindItem(const char* name) const;
    int GetNumItems() const { return static_cast<int>(entries_.size()); }
    nContextMenuItem* GetItem(int index) const;

    // Shown topmost at the pointer (the layer's last pointer position), keyboard untouched.
    void ShowAtPointer();
    void ShowAt(int x, int y);
    void Hide();
    bool IsShown() const;
    // The tool window the menu belongs to: it hides with it and never shows without it.
    void SetOwner(const ui::ToolWindow* owner);

    const std::string& GetClassName() const { return className_; }
    int GetX() const { return x_; }
    int GetY() const { return y_; }
    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }
    ui::ToolWindow* GetWindow() const { return window_.get(); }

    // Called with callbackContext and the entry the user picked; the menu hides after it
    // (unless the callback deleted the menu).
    Callback callback = nullptr;
    void* callbackContext = nullptr;

private:
    void Layout();
    void Picked(int button);

    int x_ = 0;
    int y_ = 0;
    int width_ = 80;
    int height_ = 10;
    ui::Host* host_;
    std::unique_ptr<ui::ToolWindow> window_;
    std::string className_;
    std::vector<std::unique_ptr<nContextMenuItem>> entries_;
    // Dies with the menu: tells a callback's caller whether the menu is still there.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
