#pragma once
// A window of the tools inside the game window: a tool window with a title bar and a
// close box, or a popup (no frame, shown topmost at a point without taking the
// keyboard, hidden when a click lands outside it). It holds child push buttons at
// client positions, user data and an optional content builder for richer controls.
// Made hidden by Host; what the user does reaches the owner after the frame (onCommand,
// onClose, Defer), when the owner may delete the window.
#include <functional>
#include <string>
#include <vector>

namespace ui {

class Host;

class ToolWindow {
public:
    enum class Kind { Tool, Popup };

    ~ToolWindow();
    ToolWindow(const ToolWindow&) = delete;
    ToolWindow& operator=(const ToolWindow&) = delete;

    // Unique for the process; stays unused after the window goes.
    int GetId() const { return this->id; }
    Kind GetKind() const { return this->kind; }
    // The dialog name of a tool window, the class name of a popup (Windows-1252).
    const std::string& GetName() const { return this->name; }
    // Null once the host is gone.
    Host* GetHost() const { return this->host; }

    // Shows the window restored from minimised, with the keyboard unless told otherwise.
    void Show(bool activate = true);
    void Hide();
    void Minimise();
    bool IsVisible() const { return this->visible; }
    bool IsMinimised() const { return this->minimised; }
    // Shows it above the other windows with the keyboard.
    void BringToFront();
    // Popups: shown topmost with its top-left corner at (x, y), keyboard untouched.
    void ShowAt(int x, int y);
    // Popups: the tool window it belongs to (null: none), which hides it when it hides or
    // goes. Every popup hides when the last tool window shown hides.
    void SetOwner(const ToolWindow* owner);

    // Game-window pixels; the size is the whole window's.
    void SetPosition(int x, int y);
    void SetSize(int width, int height);
    int GetX() const { return this->x; }
    int GetY() const { return this->y; }
    int GetWidth() const { return this->width; }
    int GetHeight() const { return this->height; }

    void SetUserData(void* data) { this->userData = data; }
    void* GetUserData() const { return this->userData; }

    // Child push buttons at client pixels (below the title bar); the text (a name, UTF-8)
    // shows in full as written, whatever bytes it holds. Ids start at 1 and are not reused.
    int AddButton(const std::string& text, int x, int y, int width, int height);
    bool MoveButton(int button, int x, int y, int width, int height);
    bool SetButtonText(int button, const std::string& text);
    bool RemoveButton(int button);
    void RemoveAllButtons();
    int GetButtonCount() const { return static_cast<int>(this->buttons.size()); }
    // The button's text; null for an unknown id.
    const std::string* GetButtonText(int button) const;
    // Game-window pixels of a button as last drawn (false before it was drawn).
    bool GetButtonScreenRect(int button, int& left, int& top, int& right, int& bottom) const;

    // Run after the frame: a clicked button (its id), the close box. Either may delete
    // the window.
    std::function<void(int button)> onCommand;
    std::function<void()> onClose;
    // Builds further controls inside the window during the frame (after the buttons); it
    // must not delete windows: work that may do so goes through Defer.
    std::function<void(ToolWindow&)> content;
    // Builds the entries of the window's menu bar during the frame (none while unset).
    std::function<void(ToolWindow&)> menuBar;
    // Runs `work` after this frame's windows are built, unless the window is gone by then.
    void Defer(std::function<void()> work);

private:
    friend class Host;
    ToolWindow(Host* host, int id, Kind kind, const std::string& name, int width, int height);

    struct Button {
        int id;
        std::string text;
        std::string label;  // the text in UTF-8, as drawn
        int x, y, width, height;
        // Drawn last at, in game-window pixels.
        float left = 0, top = 0, right = 0, bottom = 0;
        bool drawn = false;
    };
    Button* FindButton(int button);
    const Button* FindButton(int button) const;

    Host* host;
    int id;
    Kind kind;
    std::string name;
    std::string title;  // the ImGui name: UTF-8 name, then the id
    bool visible = false;
    bool minimised = false;
    bool placeNext = true;   // position to be applied at the next frame
    bool sizeNext = true;    // size likewise
    bool collapseNext = false;
    bool focusNext = false;
    bool quietNext = false;  // shown without taking the keyboard
    unsigned layerId = 0;    // ImGui's id of the window, once built
    int ownerId = 0;         // a popup's tool window, 0 for none
    int x = 0, y = 0, width = 0, height = 0;
    void* userData = nullptr;
    std::vector<Button> buttons;
    int nextButton = 1;
};

}  // namespace ui
