#pragma once
// A tool window's menu made from a menu resource and set on the window (its menu bar);
// entries can be checked, enabled and grayed by command. Gone with the wrapper.
#include <memory>

namespace ui {
class MenuBar;
class ToolWindow;
}  // namespace ui

class nMenu {
public:
    // Loads menu `menuId` and sets it on `window`; an unknown id (logged) leaves the
    // window without a menu.
    nMenu(ui::ToolWindow* window, int menuId);
    virtual ~nMenu();
    nMenu(const nMenu&) = delete;
    nMenu& operator=(const nMenu&) = delete;

    bool IsLoaded() const { return this->loaded; }
    void Check(int command);
    void Uncheck(int command);
    void Enable(int command);
    void Gray(int command);
    ui::MenuBar& GetMenu() { return *this->menu; }

private:
    ui::ToolWindow* window;
    std::unique_ptr<ui::MenuBar> menu;
    bool loaded = false;
};
