#pragma once
// The tools' widget layer on one Dear ImGui context: it takes the pointer, wheel, key
// and character messages of the window pump (deciding which the game must not see),
// builds the shown tool windows once a frame into draw data for the Renderer, and
// then runs the work their clicks asked for. No window shown: no frame, nothing drawn,
// nothing taken from the game.
#include "platform/window/WindowMessage.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct ImGuiContext;
struct ImGuiWindow;
struct ImDrawData;

namespace ui {

class ToolWindow;

// Tool window colours, 0xAARRGGBB, opaque.
namespace Colors {
constexpr unsigned Window = 0xFFD4D0C8u;
constexpr unsigned Title = 0xFF0A246Au;
constexpr unsigned TitleInactive = 0xFF808080u;
constexpr unsigned Button = 0xFFE4E2DCu;
constexpr unsigned ButtonHovered = 0xFFF4F2ECu;
constexpr unsigned ButtonPressed = 0xFFB0ACA4u;
constexpr unsigned Border = 0xFF404040u;
constexpr unsigned Text = 0xFF000000u;
constexpr unsigned NoticeBack = 0xFFA01010u;
constexpr unsigned NoticeText = 0xFFFFFFFFu;
}  // namespace Colors

// The texture id of the font atlas in draw commands; other ids are render textures.
inline void* const kFontTexture = reinterpret_cast<void*>(uintptr_t{1});

class Host {
public:
    Host();
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // A hidden tool window made from a dialog resource (its size in pixels, its name as
    // title); null (logged) for an unknown id.
    std::unique_ptr<ToolWindow> MakeDialog(int dialogId);
    // A hidden tool window of a given title and size, placed beside the tool windows made
    // before it, at least as wide as its title.
    std::unique_ptr<ToolWindow> MakeToolWindow(const std::string& title, int width, int height);
    // A hidden popup; any number may share a class name.
    std::unique_ptr<ToolWindow> MakePopup(const std::string& className, int width, int height);
    // The window of that id while it exists.
    ToolWindow* FindWindow(int id) const;

    // A message of the window pump; true when a tool window takes it, so that the game's
    // input must not see it. A release goes where its press went; F12 is never taken.
    bool HandleMessage(const window::Message& message);
    // Where the pointer was last seen, in game-window pixels.
    void GetPointerPosition(int& x, int& y) const;
    bool TakesPointer() const { return this->takesPointer; }
    bool TakesKeyboard() const { return this->takesKeyboard; }
    // A key (virtual-key code) that, like F12, reaches the game also while a tool window
    // has the keyboard: the way out of a mode the tools started (Esc of the viewer).
    void SetGameKey(int virtualKey, bool always);

    // Builds the shown windows for a display of that size, `seconds` after the last
    // frame, then runs what their clicks and close boxes asked for.
    void Frame(int displayWidth, int displayHeight, float seconds);
    // What the last frame built; null when it showed no window.
    ImDrawData* GetDrawData() const { return this->drawData; }
    ImGuiContext* GetContext() const { return this->context; }
    bool HasShownWindows() const;

    // Runs after this frame's windows are built, unless window `windowId` is gone by then.
    void Defer(int windowId, std::function<void()> work);

    // The clipboard of the editor controls: SDL's unless replaced (tests inject their own).
    void SetClipboard(std::function<std::string()> get, std::function<void(const std::string&)> set);
    std::string GetClipboardText() const;
    void SetClipboardText(const std::string& text);

    // Text for drawing: Windows-1252 to UTF-8.
    static void ToUtf8(const std::string& text, std::string& utf8);
    // A name for drawing as written: its UTF-8 as it is, a byte of no character as its
    // Windows-1252 one (object names are UTF-8; old ones may hold such bytes).
    static void NameToUtf8(const std::string& name, std::string& utf8);

    // One line (UTF-8) drawn above every tool window while the tools show, until it is set
    // empty: a word the person must not miss, where the chat lies under the windows.
    void SetNotice(const std::string& text) { this->notice = text; }
    const std::string& GetNotice() const { return this->notice; }

private:
    friend class ToolWindow;
    void Register(ToolWindow* window);
    void Unregister(ToolWindow* window);
    void BuildWindow(ToolWindow& window);
    static int TitleWidthGuess(const std::string& title);
    bool OverShownWindow(int x, int y) const;
    void HidePopupsAwayFrom(int x, int y);
    void ApplyStyle();
    void DrawNotice(int displayWidth);
    // Applies queued key messages from `first` on to the ImGui state, up to the first one
    // that this pass would read wrongly (with the modifiers of another moment, or before
    // a key pressed ahead of it); all of them unless `split`. Returns where it stopped.
    size_t FeedKeys(size_t first, bool split);
    void QueueKey(window::MessageKind kind, int code, int x = 0, int y = 0);
    // One ImGui frame over the shown windows, then the work their clicks asked for.
    void Pass(int displayWidth, int displayHeight, float seconds);
    // After a pass that built no window: nothing fed meanwhile may act once windows show.
    void ForgetInput();
    // Closes ImGui's menus whose window is hidden or gone.
    void CloseMenusOfHiddenWindows();
    // A tool window hid or goes: the popups it owns hide, and all of them when it was the
    // last tool window shown (the tools hid).
    void HidePopupsOf(const ToolWindow& window, bool wasShown);

    ImGuiContext* context = nullptr;
    std::vector<ToolWindow*> windows;
    int nextWindow = 1;
    // Where the next tool window opens: side by side from the top-left corner, a row
    // further down once the display's width (as last seen) is used up; kept within its
    // height.
    int placeX = 8, placeY = 8, placeRow = 0, lastDisplayWidth = 800, lastDisplayHeight = 600;
    ImDrawData* drawData = nullptr;
    // Whether the last pass built windows.
    bool built = false;
    bool takesPointer = false;
    bool takesKeyboard = false;
    bool gameKeys[256] = {};
    // The window that had the keyboard before a popup took it (null for none).
    ImGuiWindow* keyboardWindow = nullptr;
    int pointerX = 0;
    int pointerY = 0;
    // Presses that no frame has seen yet: their release waits for the next frame, so a
    // press and release between two frames still make a click.
    bool buttonUnseen[3] = {};
    bool buttonReleaseLater[3] = {};
    bool keyUnseen[256] = {};
    bool keyReleaseLater[256] = {};
    // Whether the person holds each key, as of the last key message fed.
    bool keyHeld[256] = {};
    // Key, character, button and focus messages in their order, waiting for a frame: ImGui
    // reads keys and modifiers once a frame, so a chord and the key after it need two
    // passes, and so do keys typed before and after a click into another window.
    struct KeyMessage {
        window::MessageKind kind;
        int code;  // the key, the character or the button
        int x, y;  // a button's
    };
    // The last click fed this frame, where it came.
    int pressX = 0, pressY = 0;
    bool pressSeen = false;
    // A release that the next pass sees first, at pressX, pressY (it came in a pass that
    // saw its press).
    bool releasePending = false;
    std::vector<KeyMessage> keys;
    // Whether the game saw the last press: its release follows it there, so the game
    // neither keeps a key held nor sees a release without its press.
    bool keyToGame[256];
    bool buttonToGame[3];
    struct Work {
        int windowId;
        std::function<void()> work;
    };
    std::vector<Work> work;
    std::vector<Work> running;
    std::string notice;
    std::function<std::string()> clipboardGet;
    std::function<void(const std::string&)> clipboardSet;
};

}  // namespace ui
