#pragma once
// The engine's DirectInput layer on SDL2: one keyboard and the system mouse
// always, and every SDL joystick, those plugged in later included. The window's
// message pump is the only reader of SDL's event queue; it hands every event to
// HandleEvent, which fills the device buffers and follows the window focus.

#include "platform/input/InputDevice.h"

#include <memory>
#include <vector>

union SDL_Event;

namespace input {

class InputSystem {
public:
    // Starts SDL's joystick subsystem. Null (and a log line) when it cannot.
    // Several systems may be open; each sees every event.
    static std::unique_ptr<InputSystem> Open();
    ~InputSystem();
    InputSystem(const InputSystem&) = delete;
    InputSystem& operator=(const InputSystem&) = delete;

    // Keyboard first, then the mouse, then the joysticks in the order they
    // appeared. Devices are never removed (an unplugged joystick stays, marked
    // so), and their pointers stay valid until the system closes.
    int GetNumDevices() const { return int(this->devices.size()); }
    InputDevice* GetDevice(int index) const;

    // The id of the SDL window that has the keyboard focus, 0 for none.
    uint32_t GetFocusWindow() const { return this->focusWindow; }

    // Feeds one SDL event to every open system.
    static void HandleEvent(const SDL_Event& event);
    // A window made again under a new id keeps the focus it had.
    static void WindowRemade(uint32_t oldId, uint32_t newId);

private:
    friend class InputDevice;
    InputSystem();
    void Dispatch(const SDL_Event& event);
    void AddJoystick(int deviceIndex);
    InputDevice* FindJoystick(int32_t instanceId) const;
    InputDevice* Mouse() const { return this->devices[1].get(); }
    uint32_t NextSequence() { return ++this->sequence; }

    static std::vector<InputSystem*> open;
    std::vector<std::unique_ptr<InputDevice>> devices;
    uint32_t focusWindow = 0;
    uint32_t sequence = 0;
};

}  // namespace input
