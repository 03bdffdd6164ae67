#include "tools/nContextMenuItem.h"

#include <algorithm>

#include "platform/ui/ToolWindow.h"
#include "tools/nContextMenu.h"

nContextMenuItem::nContextMenuItem(nContextMenu* menu, const char* name, int button)
    : name_(name ? name : ""), menu_(menu), button_(button) {}

nContextMenuItem::~nContextMenuItem() {
    if (ui::ToolWindow* window = menu_ ? menu_->GetWindow() : nullptr) window->RemoveButton(button_);
}

void nContextMenuItem::Place(int x, int y, int width, int height) {
    // Sizes come from scripts: held where the menu's sums of them stay in range.
    width = std::clamp(width, 0, MaxSide);
    height = std::clamp(height, 0, MaxSide);
    x_ = x;
    y_ = y;
    width_ = width;
    height_ = height;
    if (ui::ToolWindow* window = menu_ ? menu_->GetWindow() : nullptr) window->MoveButton(button_, x, y, width, height);
}
