#include "tools/nMacroButton.h"

#include "platform/ui/ToolWindow.h"

nMacroButton::nMacroButton(ui::ToolWindow* window, nRoot* macro)
    : name_(macro && macro->GetName() ? macro->GetName() : ""), macro_(macro), window_(window) {
    if (window_) button_ = window_->AddButton(name_, 0, 0, 80, 25);
}

nMacroButton::~nMacroButton() {
    if (window_) window_->RemoveButton(button_);
}

void nMacroButton::Place(float x, float y, float width, float height) {
    // Laid out again as it was (each look at the macros): the window's button stays.
    if (x == x_ && y == y_ && width == width_ && height == height_) return;
    x_ = x;
    y_ = y;
    width_ = width;
    height_ = height;
    if (window_) window_->MoveButton(button_, int(x), int(y), int(width), int(height));
}

void nMacroButton::SetName(const char* name) {
    name_ = name ? name : "";
    if (window_) window_->SetButtonText(button_, name_);
}
