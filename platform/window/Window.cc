#include "platform/window/Window.h"

#include "platform/input/InputSystem.h"
#include "platform/system/System.h"
#include "platform/window/KeyInput.h"
#include "platform/window/XDisplayWatch.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

namespace window {

namespace {

constexpr int kWheelNotch = 120;

int ButtonIndex(uint8_t sdlButton)
{
    switch (sdlButton) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_RIGHT: return 1;
    case SDL_BUTTON_MIDDLE: return 2;
    default: return -1;
    }
}

bool SetIconFromFile(SDL_Window* target, const char* bmpPath)
{
    if (bmpPath == nullptr || bmpPath[0] == 0) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "Window::SetIcon: no file name given");
        return false;
    }
    SDL_Surface* icon = SDL_LoadBMP(bmpPath);
    if (icon == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "Window::SetIcon: cannot load '%s': %s", bmpPath,
                     SDL_GetError());
        return false;
    }
    SDL_SetWindowIcon(target, icon);
    SDL_FreeSurface(icon);
    return true;
}

// Set as a quit or a window's close enters SDL's queue, cleared as one is taken out (the first
// ends the game) or once none can be left: CloseWaiting sees it however many events wait
// before it.
std::atomic<bool> closeQueued{false};

int WatchClose(void*, SDL_Event* event)
{
    if (event->type == SDL_QUIT ||
        (event->type == SDL_WINDOWEVENT && event->window.event == SDL_WINDOWEVENT_CLOSE)) {
        closeQueued = true;
    }
    return 0;
}

// Lets the free SetWindowIcon reach the Window behind an SDL window.
const char* const kSelfKey = "window::Window";

// From the first window on, SDL's video and its OpenGL library are held for the process's
// life, so closing and opening displays never unloads and reloads the driver, and what the
// driver allocates is still attributed to it by the leak check at exit. SDL's own load is
// held rather than libGL or libEGL opened with RTLD_NODELETE: the driver is not that
// library but one Mesa's EGL or GLX opens itself with the display connection and closes
// with it, under a name of its own; only a connection that never ends keeps it, whichever
// driver it is.
bool HoldOpenGl()
{
    static bool held = false;
    if (held) {
        return true;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "Window::Open: no video: %s", SDL_GetError());
        return false;
    }
    if (SDL_GL_LoadLibrary(nullptr) != 0) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "Window::Open: no OpenGL library: %s", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    held = true;
    return true;
}

// The windows that stand, for a fatal stop's box.
std::vector<Window*>& Standing()
{
    static std::vector<Window*> windows;
    return windows;
}

}  // namespace

SDL_Window* Window::Create(const char* caption, int width, int height, int depthBits,
                           int stencilBits, bool borderless)
{
    // Unless the device can draw straight into it, the window's drawable only
    // receives finished frames and needs colour alone.
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, std::max(depthBits, 0));
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, std::max(stencilBits, 0));
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_Window* sdlWindow =
        SDL_CreateWindow(caption != nullptr ? caption : "", 0, 0, std::max(width, 1),
                         std::max(height, 1),
                         SDL_WINDOW_OPENGL | SDL_WINDOW_MINIMIZED |
                             (borderless ? SDL_WINDOW_BORDERLESS : 0));
    if (sdlWindow == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "Window: cannot create the window: %s",
                     SDL_GetError());
    }
    return sdlWindow;
}

std::unique_ptr<Window> Window::Open(const char* caption, int width, int height, int depthBits,
                                     int stencilBits)
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "Window::Open: no video: %s", SDL_GetError());
        return nullptr;
    }
    if (!HoldOpenGl()) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    SDL_Window* sdlWindow = Create(caption, width, height, depthBits, stencilBits, false);
    if (sdlWindow == nullptr) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    XDisplayWatch::Install();
    SDL_DelEventWatch(WatchClose, nullptr);
    SDL_AddEventWatch(WatchClose, nullptr);
    return std::unique_ptr<Window>(new Window(sdlWindow, depthBits, stencilBits));
}

bool Window::DrawableFollowsSize()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver == nullptr || std::strcmp(driver, "offscreen") != 0;
}

bool Window::Remake(int width, int height, int newDepthBits, int newStencilBits)
{
    if (this->fullScreen) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "Window::Remake: not in full screen");
        return false;
    }
    const std::string title = this->GetTitle();
    SDL_Window* made = Create(title.c_str(), width, height, newDepthBits, newStencilBits,
                              this->style == WindowStyle::FullScreen);
    if (made == nullptr) {
        return false;
    }
    if (!this->iconPath.empty()) {
        SetIconFromFile(made, this->iconPath.c_str());
    }
    SDL_SetWindowData(made, kSelfKey, this);
    SDL_CaptureMouse(SDL_FALSE);
    const uint32_t oldId = this->GetId();
    SDL_SetWindowData(this->window, kSelfKey, nullptr);
    XDisplayWatch::Unwatch(this->window);
    SDL_DestroyWindow(this->window);
    this->window = made;
    XDisplayWatch::Watch(made);
    input::InputSystem::WindowRemade(oldId, this->GetId());
    this->depthBits = newDepthBits;
    this->stencilBits = newStencilBits;
    this->ApplyCursor();
    return true;
}

Window::Window(SDL_Window* sdlWindow, int depth, int stencil)
    : window(sdlWindow), depthBits(depth), stencilBits(stencil)
{
    // Some drivers (offscreen) have no system pointers; every use is guarded.
    this->arrowCursor = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
    SDL_SetWindowData(sdlWindow, kSelfKey, this);
    XDisplayWatch::Watch(sdlWindow);
    Standing().push_back(this);
    sys::SetFatalBoxPrelude(HideForFatalBox);
}

void Window::HideAll()
{
    HideForFatalBox();
}

void Window::HideForFatalBox()
{
    // A full-screen window stays above the box, and a game that has stopped shows
    // nothing worth seeing: the box stands alone. Hiding also gives back the desktop's
    // display mode.
    for (Window* owner : Standing()) {
        if ((SDL_GetWindowFlags(owner->window) & SDL_WINDOW_FULLSCREEN) != 0) {
            SDL_SetWindowFullscreen(owner->window, 0);
        }
        SDL_HideWindow(owner->window);
    }
}

Window::~Window()
{
    std::vector<Window*>& standing = Standing();
    standing.erase(std::remove(standing.begin(), standing.end(), this), standing.end());
    if (this->fullScreen) {
        this->LeaveFullScreen();
    }
    SDL_CaptureMouse(SDL_FALSE);
    if (this->imageCursor != nullptr || this->arrowCursor != nullptr) {
        SDL_SetCursor(SDL_GetDefaultCursor());
    }
    if (this->imageCursor != nullptr) {
        SDL_FreeCursor(this->imageCursor);
    }
    if (this->arrowCursor != nullptr) {
        SDL_FreeCursor(this->arrowCursor);
    }
    XDisplayWatch::Unwatch(this->window);
    SDL_DestroyWindow(this->window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

uint32_t Window::GetId() const
{
    return SDL_GetWindowID(this->window);
}

void Window::SetStyle(WindowStyle newStyle)
{
    this->style = newStyle;
    SDL_SetWindowBordered(this->window, newStyle == WindowStyle::Windowed ? SDL_TRUE : SDL_FALSE);
}

void Window::SetTitle(const char* title)
{
    SDL_SetWindowTitle(this->window, title != nullptr ? title : "");
}

std::string Window::GetTitle() const
{
    return SDL_GetWindowTitle(this->window);
}

bool Window::SetIcon(const char* bmpPath)
{
    if (!SetIconFromFile(this->window, bmpPath)) {
        return false;
    }
    this->iconPath = bmpPath;
    return true;
}

bool SetWindowIcon(uint32_t windowId, const char* bmpPath)
{
    SDL_Window* target = windowId != 0 ? SDL_GetWindowFromID(windowId) : nullptr;
    if (target == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "SetWindowIcon: no window %u", windowId);
        return false;
    }
    if (auto* owner = static_cast<Window*>(SDL_GetWindowData(target, kSelfKey))) {
        return owner->SetIcon(bmpPath);
    }
    return SetIconFromFile(target, bmpPath);
}

void Window::Place(int x, int y, int clientWidth, int clientHeight)
{
    if (clientWidth < 1 || clientHeight < 1) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "Window::Place: bad client size %dx%d", clientWidth,
                     clientHeight);
        return;
    }
    if (this->fullScreen) {
        // Full screen already covers the display at the mode's size.
        SDL_ShowWindow(this->window);
        SDL_RaiseWindow(this->window);
        return;
    }
    SDL_RestoreWindow(this->window);
    SDL_SetWindowSize(this->window, clientWidth, clientHeight);
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;
    if (this->style == WindowStyle::Windowed &&
        SDL_GetWindowBordersSize(this->window, &top, &left, &bottom, &right) != 0) {
        top = 0;
        left = 0;
    }
    SDL_SetWindowPosition(this->window, x + left, y + top);
    SDL_ShowWindow(this->window);
}

void Window::Minimise()
{
    SDL_MinimizeWindow(this->window);
}

bool Window::IsMinimised() const
{
    return (SDL_GetWindowFlags(this->window) & SDL_WINDOW_MINIMIZED) != 0;
}

void Window::GetClientSize(int& width, int& height) const
{
    SDL_GL_GetDrawableSize(this->window, &width, &height);
}

bool Window::EnterFullScreen(int width, int height)
{
    if (width < 1 || height < 1) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "Window::EnterFullScreen: bad size %dx%d", width,
                     height);
        return false;
    }
    const int display = SDL_GetWindowDisplayIndex(this->window) >= 0
                            ? SDL_GetWindowDisplayIndex(this->window)
                            : 0;
    SDL_DisplayMode wanted = {};
    bool listed = false;
    const int count = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < count && !listed; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(display, i, &mode) == 0 && mode.w == width && mode.h == height) {
            wanted = mode;
            listed = true;
        }
    }
    SDL_SetWindowBordered(this->window, SDL_FALSE);
    SDL_RestoreWindow(this->window);
    SDL_SetWindowSize(this->window, width, height);
    if (listed && SDL_SetWindowDisplayMode(this->window, &wanted) == 0 &&
        SDL_SetWindowFullscreen(this->window, SDL_WINDOW_FULLSCREEN) == 0) {
        this->fullScreen = true;
        SDL_ShowWindow(this->window);
        return true;
    }
    // No such mode: a frameless window of that size in the display's corner.
    SDL_Rect bounds = {0, 0, 0, 0};
    SDL_GetDisplayBounds(display, &bounds);
    SDL_SetWindowPosition(this->window, bounds.x, bounds.y);
    SDL_ShowWindow(this->window);
    this->fullScreen = true;
    return true;
}

void Window::LeaveFullScreen()
{
    if ((SDL_GetWindowFlags(this->window) & SDL_WINDOW_FULLSCREEN) != 0) {
        SDL_SetWindowFullscreen(this->window, 0);
    }
    SDL_SetWindowBordered(this->window,
                          this->style == WindowStyle::Windowed ? SDL_TRUE : SDL_FALSE);
    this->fullScreen = false;
}

void Window::CaptureMouse(bool capture)
{
    // Fails without focus (and always on drivers without a pointer); the
    // events then simply stop at the window's edge.
    SDL_CaptureMouse(capture ? SDL_TRUE : SDL_FALSE);
}

void Window::SetCursorMode(CursorMode mode)
{
    this->cursorMode = mode;
    this->ApplyCursor();
}

bool Window::SetCursorImage(int hotX, int hotY, int width, int height, const uint32_t* argb)
{
    if (argb == nullptr || width < 1 || height < 1 || hotX < 0 || hotY < 0 || hotX >= width ||
        hotY >= height) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO,
                     "Window::SetCursorImage: bad image %dx%d with hotspot %d,%d", width, height,
                     hotX, hotY);
        return false;
    }
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<uint32_t*>(argb), width, height, 32, width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (surface == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "Window::SetCursorImage: %s", SDL_GetError());
        return false;
    }
    SDL_Cursor* cursor = SDL_CreateColorCursor(surface, hotX, hotY);
    SDL_FreeSurface(surface);
    if (cursor == nullptr) {
        // Drivers without pointers cannot make one; nothing is shown there anyway.
        SDL_LogWarn(SDL_LOG_CATEGORY_VIDEO, "Window::SetCursorImage: no pointer image: %s",
                    SDL_GetError());
        return false;
    }
    if (this->imageCursor != nullptr) {
        if (SDL_GetCursor() == this->imageCursor) {
            SDL_SetCursor(cursor);
        }
        SDL_FreeCursor(this->imageCursor);
    }
    this->imageCursor = cursor;
    this->ApplyCursor();
    return true;
}

void Window::ApplyCursor()
{
    switch (this->cursorMode) {
    case CursorMode::Hidden:
        SDL_ShowCursor(SDL_DISABLE);
        break;
    case CursorMode::Arrow:
        if (this->arrowCursor != nullptr) {
            SDL_SetCursor(this->arrowCursor);
        }
        SDL_ShowCursor(SDL_ENABLE);
        break;
    case CursorMode::Image:
        if (this->imageCursor != nullptr) {
            SDL_SetCursor(this->imageCursor);
            SDL_ShowCursor(SDL_ENABLE);
        } else {
            SDL_ShowCursor(SDL_DISABLE);
        }
        break;
    }
}

bool Window::RequestClose()
{
    SDL_Event event = {};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    event.window.windowID = this->GetId();
    if (SDL_PushEvent(&event) < 0) {
        SDL_LogError(SDL_LOG_CATEGORY_VIDEO, "Window::RequestClose: %s", SDL_GetError());
        return false;
    }
    return true;
}

bool Window::CloseWaiting()
{
    SDL_PumpEvents();
    // Quits and window events share one span of event types: with none of them left, a close
    // was taken out or flushed.
    if (closeQueued && !SDL_HasEvents(SDL_QUIT, SDL_WINDOWEVENT)) {
        closeQueued = false;
    }
    return closeQueued || XDisplayWatch::Gone();
}

void Window::PumpMessages(const MessageHandler& handler)
{
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        if (event.type == SDL_QUIT ||
            (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE)) {
            closeQueued = false;
        }
        // The input layer's device buffers see every event first (mouse counts,
        // wheel, buttons, joysticks, focus); the window procedure gets messages.
        input::InputSystem::HandleEvent(event);
        this->Dispatch(event, handler);
    }
    // A window another X client destroyed sends no event of its own; its errors stand for one.
    if (XDisplayWatch::TakeGone() && handler) {
        Message close;
        close.kind = MessageKind::Close;
        handler(close);
    }
}

void Window::Dispatch(const SDL_Event& event, const MessageHandler& handler)
{
    const uint32_t id = this->GetId();
    auto send = [&handler](const Message& message) {
        return handler ? handler(message) : false;
    };
    Message message;
    switch (event.type) {
    case SDL_QUIT:
        message.kind = MessageKind::Close;
        send(message);
        return;
    case SDL_WINDOWEVENT:
        if (event.window.windowID != id && event.window.windowID != 0) {
            return;
        }
        switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE: message.kind = MessageKind::Close; break;
        case SDL_WINDOWEVENT_FOCUS_GAINED: message.kind = MessageKind::Activate; break;
        case SDL_WINDOWEVENT_FOCUS_LOST: message.kind = MessageKind::Deactivate; break;
        case SDL_WINDOWEVENT_EXPOSED: message.kind = MessageKind::Paint; break;
        case SDL_WINDOWEVENT_ENTER:
            message.kind = MessageKind::SetCursor;
            if (!send(message)) {
                this->SetCursorMode(CursorMode::Arrow);
            }
            return;
        case SDL_WINDOWEVENT_MINIMIZED:
            message.kind = MessageKind::Size;
            message.minimised = true;
            break;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            message.kind = MessageKind::Size;
            SDL_GL_GetDrawableSize(this->window, &message.width, &message.height);
            break;
        default: return;
        }
        send(message);
        return;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        if (event.key.windowID != id && event.key.windowID != 0) {
            return;
        }
        message.virtualKey = VirtualKeyFromSdl(event.key.keysym);
        if (message.virtualKey == 0) {
            return;
        }
        message.kind = event.type == SDL_KEYDOWN ? MessageKind::KeyDown : MessageKind::KeyUp;
        message.repeat = event.key.repeat != 0;
        message.systemKey = (event.key.keysym.mod & KMOD_ALT) != 0 || message.virtualKey == 121 ||
                            message.virtualKey == 18;
        send(message);
        const int control = ControlCharacterFromSdl(event.key.keysym);
        if (event.type == SDL_KEYDOWN && control != 0) {
            Message character;
            character.kind = MessageKind::Char;
            character.character = control;
            send(character);
        }
        return;
    }
    case SDL_TEXTINPUT:
        if (event.text.windowID != id && event.text.windowID != 0) {
            return;
        }
        for (const char byte : Cp1252FromUtf8(event.text.text)) {
            Message character;
            character.kind = MessageKind::Char;
            character.character = static_cast<unsigned char>(byte);
            send(character);
        }
        return;
    case SDL_MOUSEMOTION: {
        if (event.motion.windowID != id && event.motion.windowID != 0) {
            return;
        }
        Message cursor;
        cursor.kind = MessageKind::SetCursor;
        if (!send(cursor)) {
            this->SetCursorMode(CursorMode::Arrow);
        }
        message.kind = MessageKind::MouseMove;
        message.x = event.motion.x;
        message.y = event.motion.y;
        send(message);
        return;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (event.button.windowID != id && event.button.windowID != 0) {
            return;
        }
        message.button = ButtonIndex(event.button.button);
        if (message.button < 0) {
            return;
        }
        message.kind =
            event.type == SDL_MOUSEBUTTONDOWN ? MessageKind::ButtonDown : MessageKind::ButtonUp;
        message.x = event.button.x;
        message.y = event.button.y;
        send(message);
        return;
    case SDL_MOUSEWHEEL:
        if (event.wheel.windowID != id && event.wheel.windowID != 0) {
            return;
        }
        message.kind = MessageKind::Wheel;
        message.wheelDelta = event.wheel.y * kWheelNotch;
        if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) {
            message.wheelDelta = -message.wheelDelta;
        }
        SDL_GetMouseState(&message.x, &message.y);
        send(message);
        return;
    default: return;
    }
}

}  // namespace window
