#include "platform/ui/Host.h"

#include "platform/font/Face.h"
#include "platform/ui/EditorControl.h"
#include "platform/ui/Resources.h"
#include "platform/ui/ToolWindow.h"

#include <SDL2/SDL_clipboard.h>
#include <SDL2/SDL_log.h>
#include <SDL2/SDL_stdinc.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <utility>

namespace ui {

namespace {

constexpr int kF12 = 123;
constexpr float kFontPixels = 13.0f;
// Passes a frame may run for keys that came faster than frames; the rest wait a frame.
constexpr int kMaxPasses = 16;
// Key messages kept for frames that do not come (no tools running): past this many the
// oldest are fed at once, in one pass, as the keys were before they were queued.
constexpr size_t kMaxQueuedKeys = 4096;

bool IsModifier(int vk)
{
    return vk >= 16 && vk <= 18;
}

// Keys whose press only brings a character: letters, digits, space, the keypad's digits
// and signs and the punctuation keys. Others move the caret or edit.
bool IsCharacterKey(int vk)
{
    return vk == 32 || (vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z') || (vk >= 96 && vk <= 111 && vk != 108) ||
           (vk >= 186 && vk <= 192) || (vk >= 219 && vk <= 223) || vk == 226;
}

// Latin-1 and what Windows-1252 adds above it.
const ImWchar kGlyphs[] = {0x0020, 0x00FF, 0x0152, 0x0153, 0x0160, 0x0161, 0x0178, 0x0178,
                           0x017D, 0x017E, 0x0192, 0x0192, 0x02C6, 0x02C6, 0x02DC, 0x02DC,
                           0x2013, 0x2014, 0x2018, 0x201E, 0x2020, 0x2022, 0x2026, 0x2026,
                           0x2030, 0x2030, 0x2039, 0x203A, 0x20AC, 0x20AC, 0x2122, 0x2122,
                           0};

// 0xAARRGGBB to ImGui's packing (red in the low byte).
ImU32 Packed(unsigned argb)
{
    return (argb & 0xFF00FF00u) | ((argb & 0xFFu) << 16) | ((argb >> 16) & 0xFFu);
}

ImVec4 Color(unsigned argb)
{
    return ImGui::ColorConvertU32ToFloat4(Packed(argb));
}

void AddFont(ImFontAtlas& fonts, const char* family)
{
    const std::string file = font::Face::FindFile(family, false, false);
    if (file.empty() || fonts.AddFontFromFileTTF(file.c_str(), kFontPixels, nullptr, kGlyphs) == nullptr) {
        SDL_Log("ui::Host: no font file for \"%s\"; the built-in font stands in", family);
        fonts.AddFontDefault();
    }
}

}  // namespace

Host::Host()
{
    std::fill(std::begin(this->keyToGame), std::end(this->keyToGame), true);
    std::fill(std::begin(this->buttonToGame), std::end(this->buttonToGame), true);
    ImGuiContext* previous = ImGui::GetCurrentContext();
    this->context = ImGui::CreateContext();
    ImGui::SetCurrentContext(this->context);
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    io.BackendPlatformName = "window pump";
    io.BackendRendererName = "render layer";
    io.BackendFlags |= ImGuiBackendFlags_RendererHasVtxOffset;
    io.ConfigWindowsMoveFromTitleBarOnly = true;
    // Virtual-key numbers, as the pump hands them over.
    const std::pair<ImGuiKey, int> keys[] = {
        {ImGuiKey_Tab, 9},       {ImGuiKey_LeftArrow, 37}, {ImGuiKey_RightArrow, 39},
        {ImGuiKey_UpArrow, 38},  {ImGuiKey_DownArrow, 40}, {ImGuiKey_PageUp, 33},
        {ImGuiKey_PageDown, 34}, {ImGuiKey_Home, 36},      {ImGuiKey_End, 35},
        {ImGuiKey_Insert, 45},   {ImGuiKey_Delete, 46},    {ImGuiKey_Backspace, 8},
        {ImGuiKey_Space, 32},    {ImGuiKey_Enter, 13},     {ImGuiKey_Escape, 27},
        {ImGuiKey_KeyPadEnter, 13}, {ImGuiKey_A, 'A'},     {ImGuiKey_C, 'C'},
        {ImGuiKey_V, 'V'},       {ImGuiKey_X, 'X'},        {ImGuiKey_Y, 'Y'},
        {ImGuiKey_Z, 'Z'},
    };
    for (const auto& [key, vk] : keys) io.KeyMap[key] = vk;

    AddFont(*io.Fonts, "DejaVu Sans");
    AddFont(*io.Fonts, "DejaVu Sans Mono");
    io.Fonts->Build();
    io.Fonts->SetTexID(kFontTexture);
    this->ApplyStyle();
    this->work.reserve(16);
    this->running.reserve(16);
    this->keys.reserve(64);
    if (previous != nullptr) ImGui::SetCurrentContext(previous);
}

Host::~Host()
{
    for (ToolWindow* w : this->windows) w->host = nullptr;
    ImGui::DestroyContext(this->context);
}

void Host::ApplyStyle()
{
    ImGuiStyle& style = ImGui::GetStyle();
    ImGui::StyleColorsLight(&style);
    style.WindowPadding = ImVec2(0.0f, 0.0f);
    style.WindowRounding = 0.0f;
    style.WindowBorderSize = 1.0f;
    style.WindowMinSize = ImVec2(1.0f, 1.0f);
    style.FrameRounding = 0.0f;
    style.ScrollbarRounding = 0.0f;
    style.GrabRounding = 0.0f;
    style.PopupRounding = 0.0f;
    ImVec4* c = style.Colors;
    c[ImGuiCol_WindowBg] = Color(Colors::Window);
    c[ImGuiCol_ChildBg] = Color(Colors::Window);
    c[ImGuiCol_PopupBg] = Color(Colors::Window);
    c[ImGuiCol_TitleBg] = Color(Colors::TitleInactive);
    c[ImGuiCol_TitleBgCollapsed] = Color(Colors::TitleInactive);
    c[ImGuiCol_TitleBgActive] = Color(Colors::Title);
    c[ImGuiCol_Border] = Color(Colors::Border);
    c[ImGuiCol_Text] = Color(Colors::Text);
    c[ImGuiCol_Button] = Color(Colors::Button);
    c[ImGuiCol_ButtonHovered] = Color(Colors::ButtonHovered);
    c[ImGuiCol_ButtonActive] = Color(Colors::ButtonPressed);
}

std::unique_ptr<ToolWindow> Host::MakeDialog(int dialogId)
{
    const DialogResource* dialog = FindDialog(dialogId);
    if (dialog == nullptr) {
        SDL_Log("ui::Host: no dialog resource %d", dialogId);
        return nullptr;
    }
    return this->MakeToolWindow(dialog->name, DialogUnitsToPixelsX(dialog->width),
                                DialogUnitsToPixelsY(dialog->height));
}

std::unique_ptr<ToolWindow> Host::MakeToolWindow(const std::string& title, int width, int height)
{
    std::unique_ptr<ToolWindow> w(new ToolWindow(this, this->nextWindow++, ToolWindow::Kind::Tool, title,
                                                 std::max(width, 1), std::max(height, 1)));
    // The title's room is measured in the frame; this guess keeps the next window clear.
    const int wide = std::max(w->width, TitleWidthGuess(title));
    constexpr int gap = 8;
    if (this->placeX > gap && this->placeX + wide > this->lastDisplayWidth) {
        this->placeX = gap;
        this->placeY += this->placeRow + gap;
        this->placeRow = 0;
    }
    w->x = this->placeX;
    w->y = this->placeY;
    // The window stays on the display: rows that run past its bottom put it as low as it
    // fits, and one larger than the display is made as large as the display.
    w->width = std::min(w->width, std::max(1, this->lastDisplayWidth));
    w->height = std::min(w->height, std::max(1, this->lastDisplayHeight));
    w->x = std::max(0, std::min(w->x, this->lastDisplayWidth - w->width));
    w->y = std::max(0, std::min(w->y, this->lastDisplayHeight - w->height));
    this->placeX += wide + gap;
    this->placeRow = std::max(this->placeRow, w->height);
    this->Register(w.get());
    return w;
}

std::unique_ptr<ToolWindow> Host::MakePopup(const std::string& className, int width, int height)
{
    std::unique_ptr<ToolWindow> w(new ToolWindow(this, this->nextWindow++, ToolWindow::Kind::Popup,
                                                 className, std::max(width, 1), std::max(height, 1)));
    this->Register(w.get());
    return w;
}

ToolWindow* Host::FindWindow(int id) const
{
    for (ToolWindow* w : this->windows) {
        if (w->id == id) return w;
    }
    return nullptr;
}

void Host::Register(ToolWindow* window)
{
    this->windows.push_back(window);
}

void Host::Unregister(ToolWindow* window)
{
    this->windows.erase(std::remove(this->windows.begin(), this->windows.end(), window), this->windows.end());
}

bool Host::HasShownWindows() const
{
    for (const ToolWindow* w : this->windows) {
        if (w->visible) return true;
    }
    return false;
}

bool Host::OverShownWindow(int x, int y) const
{
    for (const ToolWindow* w : this->windows) {
        if (w->visible && x >= w->x && y >= w->y && x < w->x + w->width && y < w->y + w->height) return true;
    }
    return false;
}

void Host::HidePopupsAwayFrom(int x, int y)
{
    for (ToolWindow* w : this->windows) {
        if (w->kind != ToolWindow::Kind::Popup || !w->visible) continue;
        if (x < w->x || y < w->y || x >= w->x + w->width || y >= w->y + w->height) w->visible = false;
    }
}

void Host::HidePopupsOf(const ToolWindow& window, bool wasShown)
{
    if (window.kind != ToolWindow::Kind::Tool) return;
    bool toolShown = false;
    for (const ToolWindow* w : this->windows) {
        toolShown = toolShown || (w != &window && w->kind == ToolWindow::Kind::Tool && w->visible);
    }
    for (ToolWindow* w : this->windows) {
        if (w->kind == ToolWindow::Kind::Popup && (w->ownerId == window.id || (wasShown && !toolShown))) {
            w->visible = false;
        }
    }
}

void Host::GetPointerPosition(int& x, int& y) const
{
    x = this->pointerX;
    y = this->pointerY;
}

void Host::SetGameKey(int virtualKey, bool always)
{
    if (virtualKey >= 0 && virtualKey < 256) this->gameKeys[virtualKey] = always;
}

bool Host::HandleMessage(const window::Message& message)
{
    ImGui::SetCurrentContext(this->context);
    ImGuiIO& io = ImGui::GetIO();
    switch (message.kind) {
    case window::MessageKind::MouseMove:
        this->pointerX = message.x;
        this->pointerY = message.y;
        // A drag that a tool window took goes on there, also before a frame saw its press.
        return this->OverShownWindow(message.x, message.y) || !this->buttonToGame[0] ||
               (this->takesPointer && io.MouseDown[0]);
    case window::MessageKind::ButtonDown: {
        if (message.button < 0 || message.button > 2) return false;
        this->pointerX = message.x;
        this->pointerY = message.y;
        // A click outside a popup takes its activation away.
        this->HidePopupsAwayFrom(message.x, message.y);
        // In order with the keys: one typed before the click goes where the keyboard was.
        // One that came while no tool window showed went to the game alone: F12 showing
        // the tools later in the frame must not make it a click on them too.
        if (this->HasShownWindows()) this->QueueKey(message.kind, message.button, message.x, message.y);
        const bool taken = this->OverShownWindow(message.x, message.y);
        this->buttonToGame[message.button] = !taken;
        return taken;
    }
    case window::MessageKind::ButtonUp: {
        if (message.button < 0 || message.button > 2) return false;
        this->QueueKey(message.kind, message.button, message.x, message.y);
        // A release goes where its press went.
        const bool toGame = this->buttonToGame[message.button];
        this->buttonToGame[message.button] = true;
        return !toGame;
    }
    case window::MessageKind::Wheel:
        if (!this->HasShownWindows()) return false;
        io.MouseWheel += static_cast<float>(message.wheelDelta) / 120.0f;
        return this->OverShownWindow(this->pointerX, this->pointerY);
    case window::MessageKind::KeyDown: {
        const int vk = message.virtualKey;
        if (vk < 0 || vk > 255) return false;
        // As a click: a key pressed while no tool window showed is the game's alone; only
        // the modifiers count as held once the tools show.
        if (this->HasShownWindows() || IsModifier(vk)) this->QueueKey(message.kind, vk);
        const bool taken = this->takesKeyboard && vk != kF12 && !this->gameKeys[vk] && this->HasShownWindows();
        this->keyToGame[vk] = !taken;
        return taken;
    }
    case window::MessageKind::KeyUp: {
        const int vk = message.virtualKey;
        if (vk < 0 || vk > 255) return false;
        this->QueueKey(message.kind, vk);
        const bool toGame = this->keyToGame[vk];
        this->keyToGame[vk] = true;
        return !toGame;
    }
    case window::MessageKind::Char: {
        if (!this->takesKeyboard || !this->HasShownWindows()) return false;
        const unsigned c = font::Face::ToUnicode(static_cast<uint8_t>(message.character));
        if (c != 0) this->QueueKey(message.kind, static_cast<int>(c));
        return true;
    }
    case window::MessageKind::Deactivate:
        for (bool& down : io.MouseDown) down = false;
        // The keys go up after the ones pressed before, in their order.
        this->QueueKey(message.kind, 0);
        std::fill(std::begin(this->keyToGame), std::end(this->keyToGame), true);
        std::fill(std::begin(this->buttonToGame), std::end(this->buttonToGame), true);
        return false;
    default:
        return false;
    }
}

void Host::QueueKey(window::MessageKind kind, int code, int x, int y)
{
    if (this->keys.size() >= kMaxQueuedKeys) {
        this->FeedKeys(0, false);
        this->keys.clear();
    }
    this->keys.push_back(KeyMessage{kind, code, x, y});
}

size_t Host::FeedKeys(size_t first, bool split)
{
    ImGuiIO& io = ImGui::GetIO();
    // Once a key is pressed or a character typed, this pass reads them with the modifiers
    // held now: a change of them waits. ImGui takes a pass's characters first and then
    // its keys in an order of its own, so after a key that moves or edits, a character or
    // another such key waits too; not the control character the pump sends with a key.
    // A click moves the keyboard within its pass: keys before it are read in a pass before,
    // keys after it in one after it.
    bool read = false;
    bool acting = false;
    bool afterPress = false;
    bool clicked = false;
    size_t i = first;
    for (; i < this->keys.size(); ++i) {
        const KeyMessage m = this->keys[i];
        const int vk = m.code;
        const bool afterKeyDown = afterPress;
        afterPress = m.kind == window::MessageKind::KeyDown;
        if (split && clicked && m.kind != window::MessageKind::ButtonUp) break;
        if (m.kind == window::MessageKind::ButtonDown) {
            // A press is new to ImGui only when a pass saw the button up before it: one that
            // follows a release no pass has seen yet waits for a pass of its own, so that
            // the click before it ends where it was and this one begins anew.
            const bool releaseUnseen = !io.MouseDown[vk] && io.MouseDownDuration[vk] >= 0.0f;
            if (split && (read || this->buttonReleaseLater[vk] || releaseUnseen)) break;
            clicked = true;
            this->pressX = m.x;
            this->pressY = m.y;
            this->pressSeen = true;
            io.MouseDown[vk] = true;
            this->buttonUnseen[vk] = true;
            this->buttonReleaseLater[vk] = false;
            continue;
        }
        if (m.kind == window::MessageKind::ButtonUp) {
            // Seen where it came: the pointer may be over another window by now.
            this->pressX = m.x;
            this->pressY = m.y;
            this->pressSeen = true;
            // A button pressed and released in one pass stays down for it, so it clicks.
            if (this->buttonUnseen[vk]) {
                this->buttonReleaseLater[vk] = true;
            } else {
                io.MouseDown[vk] = false;
            }
            continue;
        }
        if (m.kind == window::MessageKind::KeyDown) {
            const bool modifier = IsModifier(vk);
            const bool acts = !modifier && (!IsCharacterKey(vk) || this->keyHeld[17] || this->keyHeld[18]);
            // A key pressed again after its release in this pass needs a pass of its own;
            // one held down and repeated does nothing new.
            if (split && (this->keyReleaseLater[vk] || (modifier && read && !this->keyHeld[vk]) ||
                          (acts && acting && !this->keyHeld[vk]))) {
                break;
            }
            read = read || !modifier;
            acting = acting || acts;
            // Up now: a new press, even when the last pass saw the key down before its release.
            if (!io.KeysDown[vk]) io.KeysDownDuration[vk] = -1.0f;
            io.KeysDown[vk] = true;
            this->keyHeld[vk] = true;
            this->keyUnseen[vk] = true;
            this->keyReleaseLater[vk] = false;
        } else if (m.kind == window::MessageKind::KeyUp) {
            if (split && IsModifier(vk) && read && this->keyHeld[vk]) break;
            this->keyHeld[vk] = false;
            // A key pressed and released in one pass stays down for it, so it counts.
            if (this->keyUnseen[vk]) {
                this->keyReleaseLater[vk] = true;
            } else {
                io.KeysDown[vk] = false;
            }
        } else if (m.kind == window::MessageKind::Char) {
            if (split && acting && !(vk < 32 && afterKeyDown)) break;
            read = true;
            io.AddInputCharacter(static_cast<unsigned>(vk));
        } else {
            if (split && read) break;
            for (int b = 0; b < 3; ++b) {
                if (this->buttonUnseen[b]) {
                    this->buttonReleaseLater[b] = true;
                } else {
                    io.MouseDown[b] = false;
                }
            }
            for (int k = 0; k < 256; ++k) {
                this->keyHeld[k] = false;
                if (this->keyUnseen[k]) {
                    this->keyReleaseLater[k] = true;
                } else {
                    io.KeysDown[k] = false;
                }
            }
        }
        io.KeyShift = this->keyHeld[16];
        io.KeyCtrl = this->keyHeld[17];
        io.KeyAlt = this->keyHeld[18];
    }
    return i;
}

void Host::ForgetInput()
{
    ImGuiIO& io = ImGui::GetIO();
    ImGuiContext& g = *GImGui;
    if (this->built) {
        // What a button held as the tools hid was pressed on lets go without acting: its
        // release never reached a shown window. A text field keeps the keyboard.
        bool held = false;
        for (float d : io.MouseDownDuration) held = held || d >= 0.0f;
        if (held && g.ActiveId != 0) ImGui::ClearActiveID();
        if (g.OpenPopupStack.Size > 0) ImGui::ClosePopupToLevel(0, false);
    }
    // Characters and turns of the wheel that no shown window read are dropped, and a key
    // or button held now counts as held, not as a press, once the tools show again.
    io.ClearInputCharacters();
    io.MouseWheel = 0.0f;
    io.MouseWheelH = 0.0f;
    for (size_t b = 0; b < std::size(io.MouseDown); ++b) io.MouseDownDuration[b] = io.MouseDown[b] ? 0.0f : -1.0f;
    for (size_t k = 0; k < std::size(io.KeysDown); ++k) io.KeysDownDuration[k] = io.KeysDown[k] ? 0.0f : -1.0f;
}

void Host::CloseMenusOfHiddenWindows()
{
    ImGuiContext& g = *GImGui;
    for (int i = 0; i < g.OpenPopupStack.Size; ++i) {
        // A menu belongs to the window whose menu bar or popup opened it.
        const ImGuiPopupData& popup = g.OpenPopupStack[i];
        ImGuiWindow* from = popup.Window;
        while (from != nullptr && (from->Flags & ImGuiWindowFlags_Popup) != 0) from = from->ParentWindow;
        if (from == nullptr) from = popup.SourceWindow;
        bool shown = false;
        for (const ToolWindow* w : this->windows) {
            shown = shown || (from != nullptr && from->RootWindow != nullptr && w->visible &&
                              w->layerId == from->RootWindow->ID);
        }
        if (!shown) {
            ImGui::ClosePopupToLevel(i, false);
            return;
        }
    }
}

void Host::Defer(int windowId, std::function<void()> job)
{
    this->work.push_back(Work{windowId, std::move(job)});
}

void Host::Frame(int displayWidth, int displayHeight, float seconds)
{
    ImGui::SetCurrentContext(this->context);
    // Passes until every queued key was read as it came; only the first one takes the
    // frame's time. Without a shown window no pass reads keys: they are fed at once.
    size_t fed = 0;
    int passes = 0;
    this->pressSeen = false;
    do {
        // Only a pass that builds windows reads what was fed, so only then is it split.
        fed = this->FeedKeys(fed, this->HasShownWindows() && displayWidth > 0 && displayHeight > 0);
        this->Pass(displayWidth, displayHeight, passes == 0 ? seconds : 0.0f);
        passes++;
    } while (fed < this->keys.size() && passes < kMaxPasses);
    this->keys.erase(this->keys.begin(), this->keys.begin() + static_cast<std::ptrdiff_t>(fed));
}

void Host::Pass(int displayWidth, int displayHeight, float seconds)
{
    ImGui::SetCurrentContext(this->context);
    ImGuiIO& io = ImGui::GetIO();
    // A popup never shows without the window it belongs to (shown after it hid, or left).
    for (ToolWindow* w : this->windows) {
        if (w->kind != ToolWindow::Kind::Popup || !w->visible || w->ownerId == 0) continue;
        const ToolWindow* owner = this->FindWindow(w->ownerId);
        if (owner == nullptr || !owner->visible) w->visible = false;
    }
    const bool build = this->HasShownWindows() && displayWidth >= 1 && displayHeight >= 1;
    if (!build) {
        this->drawData = nullptr;
        this->takesPointer = false;
        this->takesKeyboard = false;
    } else {
        io.DisplaySize = ImVec2(static_cast<float>(displayWidth), static_cast<float>(displayHeight));
        this->lastDisplayWidth = displayWidth;
        this->lastDisplayHeight = displayHeight;
        io.DeltaTime = std::isfinite(seconds) && seconds > 0.0001f ? seconds : 0.0001f;
        // Where this frame's last button message came, in the passes after it, and where a
        // release that no pass has seen yet came; else the pointer where it is now.
        const bool atButton = this->pressSeen || this->releasePending;
        const int x = atButton ? this->pressX : this->pointerX;
        const int y = atButton ? this->pressY : this->pointerY;
        this->releasePending = false;
        io.MousePos = ImVec2(static_cast<float>(x), static_cast<float>(y));
        // A popup that a click focused gives the keyboard back to the window that had it
        // once it hides; ImGui would hand it to its top-most window instead.
        if (const ImGuiWindow* nav = GImGui->NavWindow; nav != nullptr && nav != this->keyboardWindow) {
            for (const ToolWindow* w : this->windows) {
                if (w->kind != ToolWindow::Kind::Popup || w->visible || w->layerId != nav->RootWindow->ID) continue;
                const bool back = this->keyboardWindow != nullptr && this->keyboardWindow->Active;
                ImGui::FocusWindow(back ? this->keyboardWindow : nullptr);
                break;
            }
        }
        this->CloseMenusOfHiddenWindows();
        ImGui::NewFrame();
        // Only content builders run inside the frame, and they may not delete windows.
        for (size_t i = 0; i < this->windows.size(); ++i) {
            if (this->windows[i]->visible) this->BuildWindow(*this->windows[i]);
        }
        if (!this->notice.empty()) this->DrawNotice(displayWidth);
        ImGui::Render();
        this->drawData = ImGui::GetDrawData();
        this->takesPointer = io.WantCaptureMouse;
        // A focused tool window has the keyboard, as a separate window would; a popup never.
        ImGuiWindow* focused = GImGui->NavWindow != nullptr ? GImGui->NavWindow->RootWindow : nullptr;
        bool toolFocused = false, popupFocused = false;
        for (const ToolWindow* w : this->windows) {
            const bool it = focused != nullptr && w->visible && w->layerId == focused->ID;
            toolFocused = toolFocused || (it && w->kind == ToolWindow::Kind::Tool);
            popupFocused = popupFocused || (it && w->kind == ToolWindow::Kind::Popup);
        }
        if (!popupFocused) this->keyboardWindow = focused;
        this->takesKeyboard = io.WantCaptureKeyboard || toolFocused;
    }
    for (int b = 0; b < 3; ++b) {
        if (this->buttonReleaseLater[b]) io.MouseDown[b] = false;
        this->releasePending = this->releasePending || (build && this->buttonReleaseLater[b]);
        this->buttonReleaseLater[b] = false;
        this->buttonUnseen[b] = false;
    }
    for (int k = 0; k < 256; ++k) {
        if (this->keyReleaseLater[k]) io.KeysDown[k] = false;
        this->keyReleaseLater[k] = false;
        this->keyUnseen[k] = false;
    }
    if (!build) this->ForgetInput();
    this->built = build;
    // Work queued meanwhile waits for the next frame.
    this->running.swap(this->work);
    for (Work& job : this->running) {
        if (this->FindWindow(job.windowId) != nullptr) job.work();
    }
    this->running.clear();
}

// A title's width in pixels, before a frame can measure it: the font's letters are at
// most about 7 pixels wide; the close box and the padding take about 40.
int Host::TitleWidthGuess(const std::string& title)
{
    return static_cast<int>(title.size()) * 7 + 40;
}

void Host::BuildWindow(ToolWindow& w)
{
    const bool popup = w.kind == ToolWindow::Kind::Popup;
    ImGuiWindowFlags flags = ImGuiWindowFlags_NoSavedSettings;
    if (popup) {
        flags |= ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                 ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse |
                 ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoFocusOnAppearing |
                 ImGuiWindowFlags_NoNavFocus;
    }
    float width = static_cast<float>(w.width);
    float height = static_cast<float>(w.height);
    if (!popup) {
        // The whole title fits beside the collapse arrow and the close box, and below the
        // bars there is room for the resize grip, which would otherwise lie over the close
        // box. The window is never larger than the display: what does not fit scrolls.
        const ImGuiStyle& style = ImGui::GetStyle();
        const ImVec2 display = ImGui::GetIO().DisplaySize;
        const float font = ImGui::GetFontSize();
        const float title = ImGui::CalcTextSize(w.title.c_str(), nullptr, true).x;
        const float boxes = 2.0f * (font + style.FramePadding.x * 2.0f + style.ItemInnerSpacing.x);
        const float bar = font + style.FramePadding.y * 2.0f;
        const ImVec2 least(title + boxes + style.FramePadding.x * 2.0f,
                           bar * (w.menuBar ? 2.0f : 1.0f) + std::floor(font * 1.35f));
        ImGui::SetNextWindowSizeConstraints(least, ImVec2(std::max(display.x, least.x), std::max(display.y, least.y)));
        if (w.placeNext || w.sizeNext) {
            // Placed or sized by the tools, the window begins on the display and ends at its
            // edges; cut to the room below it, it keeps its width beside the scrollbar it gains.
            const float x = std::clamp(static_cast<float>(w.x), 0.0f, std::max(0.0f, display.x - least.x));
            const float y = std::clamp(static_cast<float>(w.y), 0.0f, std::max(0.0f, display.y - least.y));
            const ImVec2 room(std::max(least.x, display.x - x), std::max(least.y, display.y - y));
            if (height > room.y) width += style.ScrollbarSize;
            width = std::clamp(width, least.x, room.x);
            height = std::clamp(height, least.y, room.y);
            w.x = static_cast<int>(x);
            w.y = static_cast<int>(y);
            w.placeNext = w.sizeNext = true;
        }
    }
    if (w.placeNext) {
        ImGui::SetNextWindowPos(ImVec2(static_cast<float>(w.x), static_cast<float>(w.y)), ImGuiCond_Always);
        w.placeNext = false;
    }
    if (w.sizeNext) {
        ImGui::SetNextWindowSize(ImVec2(width, height), ImGuiCond_Always);
        w.sizeNext = false;
    }
    if (w.collapseNext) {
        ImGui::SetNextWindowCollapsed(w.minimised, ImGuiCond_Always);
        w.collapseNext = false;
    }
    if (w.focusNext) {
        ImGui::SetNextWindowFocus();
        w.focusNext = false;
    } else if (w.quietNext) {
        flags |= ImGuiWindowFlags_NoFocusOnAppearing;
    }
    w.quietNext = false;
    if (w.menuBar) flags |= ImGuiWindowFlags_MenuBar;
    bool open = true;
    const bool shown = ImGui::Begin(w.title.c_str(), popup ? nullptr : &open, flags);
    if (popup) ImGui::BringWindowToDisplayFront(ImGui::GetCurrentWindow());
    const ImVec2 pos = ImGui::GetWindowPos();
    w.x = static_cast<int>(pos.x);
    w.y = static_cast<int>(pos.y);
    w.minimised = ImGui::IsWindowCollapsed();
    if (!w.minimised) {
        const ImVec2 size = ImGui::GetWindowSize();
        w.width = static_cast<int>(size.x);
        w.height = static_cast<int>(size.y);
    }
    w.layerId = ImGui::GetCurrentWindow()->ID;
    if (shown && w.menuBar && ImGui::BeginMenuBar()) {
        w.menuBar(w);
        ImGui::EndMenuBar();
    }
    if (shown) {
        ImDrawList* list = ImGui::GetWindowDrawList();
        // Client positions count from the content's unscrolled start: SetCursorPos scrolls.
        const ImVec2 origin(ImGui::GetCursorStartPos().x + ImGui::GetScrollX(),
                            ImGui::GetCursorStartPos().y + ImGui::GetScrollY());
        const float fontSize = ImGui::GetFontSize();
        for (ToolWindow::Button& b : w.buttons) {
            ImGui::SetCursorPos(ImVec2(origin.x + static_cast<float>(b.x), origin.y + static_cast<float>(b.y)));
            ImGui::PushID(b.id);
            const bool clicked = ImGui::InvisibleButton("button", ImVec2(static_cast<float>(b.width),
                                                                         static_cast<float>(b.height)));
            const bool hovered = ImGui::IsItemHovered();
            const bool held = ImGui::IsItemActive();
            ImGui::PopID();
            const ImVec2 p0 = ImGui::GetItemRectMin();
            const ImVec2 p1 = ImGui::GetItemRectMax();
            b.left = p0.x;
            b.top = p0.y;
            b.right = p1.x;
            b.bottom = p1.y;
            b.drawn = true;
            const unsigned face = held && hovered ? Colors::ButtonPressed
                                  : hovered       ? Colors::ButtonHovered
                                                  : Colors::Button;
            list->AddRectFilled(p0, p1, Packed(face));
            list->AddRect(p0, p1, Packed(Colors::Border));
            // The text drawn as it is (no format, no "##" cut), its glyphs clipped to the
            // button as they are made, so that buttons need no draw command of their own.
            const ImVec4 clip(p0.x, p0.y, p1.x, p1.y);
            list->AddText(ImGui::GetFont(), fontSize,
                          ImVec2(p0.x + 4.0f, p0.y + std::floor((p1.y - p0.y - fontSize) * 0.5f)),
                          Packed(Colors::Text), b.label.data(), b.label.data() + b.label.size(), 0.0f, &clip);
            if (clicked) {
                const int windowId = w.id;
                const int buttonId = b.id;
                this->Defer(windowId, [this, windowId, buttonId] {
                    ToolWindow* target = this->FindWindow(windowId);
                    if (target == nullptr || !target->onCommand) return;
                    // A copy: the handler may delete the window that holds it.
                    std::function<void(int)> handler = target->onCommand;
                    handler(buttonId);
                });
            }
        }
        if (w.content) w.content(w);
    }
    ImGui::End();
    if (!open) {
        const int windowId = w.id;
        this->Defer(windowId, [this, windowId] {
            ToolWindow* target = this->FindWindow(windowId);
            if (target == nullptr) return;
            if (!target->onClose) {
                target->Hide();
                return;
            }
            std::function<void()> handler = target->onClose;
            handler();
        });
    }
}

void Host::ToUtf8(const std::string& text, std::string& utf8)
{
    utf8.clear();
    for (char ch : text) {
        const unsigned c = font::Face::ToUnicode(static_cast<uint8_t>(ch));
        if (c == 0) {
            utf8 += '?';
        } else if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
}

void Host::NameToUtf8(const std::string& name, std::string& utf8)
{
    std::string input, one;
    EditorControl::ToInput(name, input);
    utf8.clear();
    for (size_t i = 0; i < input.size(); i++) {
        // The input's private characters U+F700..U+F7FF stand for bytes of no character.
        if (input[i] == '\xEF' && i + 2 < input.size() && (input[i + 1] == '\x9E' || input[i + 1] == '\x9F')) {
            const int byte = ((input[i + 1] & 0x3F) << 6 | (input[i + 2] & 0x3F)) - 0x700;
            ToUtf8(std::string(1, static_cast<char>(byte)), one);
            utf8 += one;
            i += 2;
        } else {
            utf8 += input[i];
        }
    }
}

void Host::DrawNotice(int displayWidth)
{
    // On the foreground list, drawn after every window; it takes no click.
    ImDrawList* list = ImGui::GetForegroundDrawList();
    const float pad = 6.0f;
    const float wrap = std::max(1.0f, static_cast<float>(displayWidth) - 2.0f * pad);
    const char* begin = this->notice.data();
    const char* end = begin + this->notice.size();
    const ImVec2 size = ImGui::CalcTextSize(begin, end, false, wrap);
    list->AddRectFilled(ImVec2(0.0f, 0.0f), ImVec2(static_cast<float>(displayWidth), size.y + 2.0f * pad),
                        Packed(Colors::NoticeBack));
    list->AddText(ImGui::GetFont(), ImGui::GetFontSize(), ImVec2(pad, pad), Packed(Colors::NoticeText), begin, end,
                  wrap);
}

void Host::SetClipboard(std::function<std::string()> get, std::function<void(const std::string&)> set)
{
    this->clipboardGet = std::move(get);
    this->clipboardSet = std::move(set);
}

std::string Host::GetClipboardText() const
{
    if (this->clipboardGet) return this->clipboardGet();
    char* text = SDL_GetClipboardText();
    std::string result = text != nullptr ? text : "";
    SDL_free(text);
    return result;
}

void Host::SetClipboardText(const std::string& text)
{
    if (this->clipboardSet) {
        this->clipboardSet(text);
    } else {
        SDL_SetClipboardText(text.c_str());
    }
}

}  // namespace ui
