#pragma once
// A push button of the macro executor's window, tied to its macro object by identity,
// so that any name (long, or with "%" or "##") finds its macro.
#include <string>

#include "kernel/nRef.h"
#include "kernel/nRoot.h"

namespace ui {
class ToolWindow;
}

class nMacroButton {
public:
    // A button labelled with the macro's name in `window` (none when null).
    nMacroButton(ui::ToolWindow* window, nRoot* macro);
    // Takes the button out of the window.
    virtual ~nMacroButton();
    nMacroButton(const nMacroButton&) = delete;
    nMacroButton& operator=(const nMacroButton&) = delete;

    const std::string& GetName() const { return name_; }
    // Null once the macro object died.
    nRoot* GetMacro() const { return macro_.GetUnsafe(); }
    int GetButton() const { return button_; }
    float GetX() const { return x_; }
    float GetY() const { return y_; }
    float GetWidth() const { return width_; }
    float GetHeight() const { return height_; }
    void Place(float x, float y, float width, float height);
    // Follows a renamed macro.
    void SetName(const char* name);

private:
    std::string name_;
    nRef<nRoot> macro_;
    float x_ = 0.0f;
    float y_ = 0.0f;
    float width_ = 80.0f;
    float height_ = 25.0f;
    ui::ToolWindow* window_;
    int button_ = 0;
};
