#pragma once
// The engine's main window on SDL2: creation (minimised and tiny until the
// display opens), placement, windowed or full-screen style, caption, icon,
// pointer (hidden, arrow or an image), mouse capture, and the message pump that
// turns SDL events into window messages for the engine's window procedure.
// The window is always made for OpenGL, so a render device can draw into it.
// Errors are logged through SDL_Log and reported by a false or null result.

#include "platform/window/WindowMessage.h"

#include <cstdint>
#include <memory>
#include <string>

struct SDL_Window;
struct SDL_Cursor;
union SDL_Event;

namespace window {

enum class WindowStyle {
    Windowed,    // caption, system menu, minimise box
    FullScreen,  // no frame
};

enum class CursorMode {
    Hidden,
    Arrow,  // the system's arrow
    Image,  // the image given to SetCursorImage
};

class Window {
public:
    // Starts SDL's video subsystem when needed; the first window loads OpenGL, and
    // video and OpenGL then stay loaded until the process ends. Null (and a log line)
    // when no video driver, OpenGL library or window can be had. The window starts at the given client
    // size; SDL's offscreen driver keeps the drawable it was made with through
    // later resizes. The window's own buffer gets the depth and stencil bits
    // given (the pixel format is fixed when the window is made): a render
    // device whose buffers have the same bits and size can draw straight into it.
    static std::unique_ptr<Window> Open(const char* caption, int width = 1, int height = 1,
                                        int depthBits = 0, int stencilBits = 0);
    // False where the drawable keeps the size the window was made with (SDL's
    // offscreen driver): only a window made again gets a drawable of another size.
    static bool DrawableFollowsSize();
    // Makes the window again with a drawable of that size and those depth and
    // stencil bits, keeping its caption, icon, style, pointer and input focus. Its id
    // changes.
    // Only while no render device uses it and it is not in full screen; on
    // failure (logged) the window stays as it was.
    bool Remake(int width, int height, int depthBits, int stencilBits);
    int GetDepthBits() const { return this->depthBits; }
    int GetStencilBits() const { return this->stencilBits; }
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // What the engine stores as its window handle; stable until the window is made again.
    uint32_t GetId() const;
    SDL_Window* GetSdlWindow() const { return this->window; }

    void SetStyle(WindowStyle style);
    WindowStyle GetStyle() const { return this->style; }
    void SetTitle(const char* title);
    std::string GetTitle() const;
    // Loads a BMP file as the window icon; a missing or unreadable file is logged and
    // leaves the icon as it was.
    bool SetIcon(const char* bmpPath);

    // Restores and shows the window with its frame's top-left corner at (x, y)
    // and a client area of the given size; in full screen it only shows it.
    void Place(int x, int y, int clientWidth, int clientHeight);
    void Minimise();
    bool IsMinimised() const;
    void GetClientSize(int& width, int& height) const;

    // Switches the display to width x height when it offers that mode; where it
    // does not (or cannot switch), the window covers the display's top-left
    // corner at that size without a frame.
    bool EnterFullScreen(int width, int height);
    void LeaveFullScreen();
    bool IsFullScreen() const { return this->fullScreen; }

    // Keeps mouse events coming while a button is held outside the window.
    void CaptureMouse(bool capture);

    void SetCursorMode(CursorMode mode);
    CursorMode GetCursorMode() const { return this->cursorMode; }
    // A colour pointer from 32-bit pixels 0xAARRGGBB, rows top-down. It is
    // shown in CursorMode::Image.
    bool SetCursorImage(int hotX, int hotY, int width, int height, const uint32_t* argb);

    // Hands every pending event of this window to the handler as messages.
    void PumpMessages(const MessageHandler& handler);
    // Queues a close request as if the user had closed the window.
    bool RequestClose();
    // Whether a quit or a window's close waits in the queue, after taking in the system's
    // events; nothing is taken out. For a loop that cannot pump messages now.
    static bool CloseWaiting();
    // Every window that stands leaves full screen and hides: a game that has begun its
    // shutdown shows at once that its close was taken, however long releasing takes.
    static void HideAll();

private:
    explicit Window(SDL_Window* window, int depthBits, int stencilBits);
    static SDL_Window* Create(const char* caption, int width, int height, int depthBits,
                              int stencilBits, bool borderless);
    // Before a fatal stop's box: every window that stands leaves full screen and hides.
    static void HideForFatalBox();
    void Dispatch(const SDL_Event& event, const MessageHandler& handler);
    void ApplyCursor();

    SDL_Window* window = nullptr;
    SDL_Cursor* arrowCursor = nullptr;
    SDL_Cursor* imageCursor = nullptr;
    WindowStyle style = WindowStyle::Windowed;
    CursorMode cursorMode = CursorMode::Arrow;
    bool fullScreen = false;
    int depthBits = 0;
    int stencilBits = 0;
    // Given again to a remade window.
    std::string iconPath;
};

// Sets the icon of the window with that id (what the engine stores as its window handle)
// from a BMP file, as Window::SetIcon does; false (logged) for an unknown window.
bool SetWindowIcon(uint32_t windowId, const char* bmpPath);

}  // namespace window
