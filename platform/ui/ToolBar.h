#pragma once
// A row of 24 x 24 tool buttons (16 x 16 images) and separators at the top of a tool
// window: each button has a command, an image index, a state (enabled or not) and a
// tooltip text. A click on an enabled button reaches the owner after the frame.
#include <functional>
#include <string>
#include <vector>

namespace ui {

class ToolWindow;

class ToolBar {
public:
    static constexpr int kButtonSize = 24;
    static constexpr int kImageSize = 16;
    // Button states: enabled is 4, anything without it is shown disabled.
    static constexpr int kEnabled = 4;

    // False when a button of that command exists (nothing changes).
    bool AddButton(int command, int image, const std::string& tooltip);
    void AddSeparator();
    // False for a command no button has.
    bool SetState(int command, int state);
    bool SetImage(int command, int image);
    int GetState(int command) const;  // -1 for no such button
    int GetCount() const { return static_cast<int>(this->buttons.size()); }
    // Command of the i-th entry (0 for a separator, -1 out of range).
    int GetCommand(int index) const;
    const std::string* GetTooltip(int command) const;
    // Where the last frame drew a button (game-window pixels); false when it did not.
    bool GetButtonScreenRect(int command, float& left, float& top) const;
    // The tooltip shown by the last frame (empty when none).
    const std::string& GetShownTooltip() const { return this->shownTooltip; }

    // Answers a tooltip request when set; else the stored text shows.
    std::function<std::string(int command)> tooltipText;
    // Run after the frame for a clicked enabled button.
    std::function<void(int command)> onClick;

    // Builds the bar at the window's cursor; `imageLabel` names an image (there are no
    // pictures in the layer's font atlas, so the buttons show a short label).
    void Build(ToolWindow& window, const std::function<std::string(int image)>& imageLabel = {});

private:
    struct Button {
        int command;  // 0: separator
        int image;
        int state;
        std::string tooltip;
        float left = 0, top = 0;
        bool drawn = false;
    };
    Button* Find(int command);
    const Button* Find(int command) const;
    std::vector<Button> buttons;
    std::string shownTooltip;
};

}  // namespace ui
