#pragma once
// One entry of a context menu: its name (key and button text), its place in the menu
// and its push button. Made and deleted by its nContextMenu.
#include <string>

class nContextMenu;

class nContextMenuItem {
public:
    nContextMenuItem(nContextMenu* menu, const char* name, int button);
    // Takes its button out of the menu's window.
    virtual ~nContextMenuItem();
    nContextMenuItem(const nContextMenuItem&) = delete;
    nContextMenuItem& operator=(const nContextMenuItem&) = delete;

    const char* GetName() const { return name_.c_str(); }
    nContextMenu* GetMenu() const { return menu_; }
    // The push button's id in the menu's window (0: none).
    int GetButton() const { return button_; }
    int GetX() const { return x_; }
    int GetY() const { return y_; }
    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }
    // Largest width and height of an entry.
    static constexpr int MaxSide = 4096;
    // Moves and sizes the entry and its button (pixels inside the menu); the size is held
    // to 0 .. MaxSide.
    void Place(int x, int y, int width, int height);

private:
    std::string name_;
    nContextMenu* menu_;
    int button_;
    int x_ = 0;
    int y_ = 0;
    int width_ = 60;
    int height_ = 20;
};
