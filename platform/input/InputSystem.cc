#include "platform/input/InputSystem.h"

#include <SDL2/SDL.h>

namespace input {

namespace {

constexpr int kWheelNotch = 120;
constexpr int kMouseButtons = 5;
constexpr int kMaxJoystickAxes = 8;
constexpr int kMaxJoystickButtons = 32;
constexpr int kMaxJoystickHats = 4;

// SDL's axis order onto the joystick format: two sticks first (X, Y, Z, Rz),
// then the remaining rotations and the sliders.
constexpr uint32_t kAxisOffsets[kMaxJoystickAxes] = {
    joystick::kX, joystick::kY, joystick::kZ, joystick::kRz,
    joystick::kRx, joystick::kRy, joystick::kSlider0, joystick::kSlider1,
};

int MouseButton(uint8_t sdlButton)
{
    switch (sdlButton) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_RIGHT: return 1;
    case SDL_BUTTON_MIDDLE: return 2;
    case SDL_BUTTON_X1: return 3;
    case SDL_BUTTON_X2: return 4;
    default: return -1;
    }
}

// Hundredths of a degree clockwise from north.
uint32_t HatAngle(uint8_t hat)
{
    switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return joystick::kHatCentred;
    }
}

int Clamp(int value, int max)
{
    return value < 0 ? 0 : (value > max ? max : value);
}

}  // namespace

std::vector<InputSystem*> InputSystem::open;

std::unique_ptr<InputSystem> InputSystem::Open()
{
    // Focus decides what is collected; SDL must not drop joystick events of its own.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
        SDL_LogError(SDL_LOG_CATEGORY_INPUT, "InputSystem::Open: no joysticks: %s", SDL_GetError());
        return nullptr;
    }
    std::unique_ptr<InputSystem> system(new InputSystem());
    open.push_back(system.get());
    return system;
}

InputSystem::InputSystem()
{
    auto keyboard = std::unique_ptr<InputDevice>(new InputDevice(this, DeviceKind::Keyboard));
    keyboard->instanceName = "Keyboard";
    keyboard->productName = "Keyboard";
    keyboard->numButtons = 256;
    this->devices.push_back(std::move(keyboard));
    auto mouse = std::unique_ptr<InputDevice>(new InputDevice(this, DeviceKind::Mouse));
    mouse->instanceName = "Mouse";
    mouse->productName = "Mouse";
    mouse->numAxes = 3;
    mouse->numButtons = kMouseButtons;
    this->devices.push_back(std::move(mouse));
    SDL_Window* focus = SDL_GetKeyboardFocus();
    this->focusWindow = focus != nullptr ? SDL_GetWindowID(focus) : 0;
    const int count = SDL_NumJoysticks();
    for (int i = 0; i < count; ++i) {
        this->AddJoystick(i);
    }
}

InputSystem::~InputSystem()
{
    this->devices.clear();
    for (size_t i = 0; i < open.size(); ++i) {
        if (open[i] == this) {
            open.erase(open.begin() + long(i));
            break;
        }
    }
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

InputDevice* InputSystem::GetDevice(int index) const
{
    if (index < 0 || index >= int(this->devices.size())) {
        return nullptr;
    }
    return this->devices[size_t(index)].get();
}

void InputSystem::HandleEvent(const SDL_Event& event)
{
    for (InputSystem* system : open) {
        system->Dispatch(event);
    }
}

void InputSystem::WindowRemade(uint32_t oldId, uint32_t newId)
{
    for (InputSystem* system : open) {
        if (oldId != 0 && system->focusWindow == oldId) {
            system->focusWindow = newId;
        }
    }
}

void InputSystem::AddJoystick(int deviceIndex)
{
    // SDL announces the joysticks present at start as added too.
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
    if (id < 0 || this->FindJoystick(id) != nullptr) {
        return;
    }
    SDL_Joystick* sdlJoystick = SDL_JoystickOpen(deviceIndex);
    if (sdlJoystick == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_INPUT, "InputSystem: cannot open joystick %d: %s", deviceIndex,
                     SDL_GetError());
        return;
    }
    auto device = std::unique_ptr<InputDevice>(new InputDevice(this, DeviceKind::Joystick));
    const char* name = SDL_JoystickName(sdlJoystick);
    device->productName = name != nullptr ? name : "Joystick";
    device->instanceName = device->productName;
    device->numAxes = Clamp(SDL_JoystickNumAxes(sdlJoystick), kMaxJoystickAxes);
    device->numButtons = Clamp(SDL_JoystickNumButtons(sdlJoystick), kMaxJoystickButtons);
    device->numHats = Clamp(SDL_JoystickNumHats(sdlJoystick), kMaxJoystickHats);
    device->sdlJoystick = sdlJoystick;
    device->joystickId = id;
    this->devices.push_back(std::move(device));
}

InputDevice* InputSystem::FindJoystick(int32_t instanceId) const
{
    for (const auto& device : this->devices) {
        if (device->kind == DeviceKind::Joystick && !device->unplugged && device->joystickId == instanceId) {
            return device.get();
        }
    }
    return nullptr;
}

void InputSystem::Dispatch(const SDL_Event& event)
{
    switch (event.type) {
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
            this->focusWindow = event.window.windowID;
        } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST &&
                   event.window.windowID == this->focusWindow) {
            this->focusWindow = 0;
            for (const auto& device : this->devices) {
                device->Unacquire();
            }
        }
        return;
    case SDL_MOUSEMOTION:
        if (event.motion.which == SDL_TOUCH_MOUSEID) {
            return;
        }
        if (event.motion.xrel != 0) {
            this->Mouse()->Record(mouse::kX, uint32_t(event.motion.xrel), event.motion.timestamp);
        }
        if (event.motion.yrel != 0) {
            this->Mouse()->Record(mouse::kY, uint32_t(event.motion.yrel), event.motion.timestamp);
        }
        return;
    case SDL_MOUSEWHEEL: {
        if (event.wheel.which == SDL_TOUCH_MOUSEID || event.wheel.y == 0) {
            return;
        }
        int delta = event.wheel.y * kWheelNotch;
        if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) {
            delta = -delta;
        }
        this->Mouse()->Record(mouse::kZ, uint32_t(delta), event.wheel.timestamp);
        return;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const int button = MouseButton(event.button.button);
        if (event.button.which == SDL_TOUCH_MOUSEID || button < 0) {
            return;
        }
        this->Mouse()->Record(mouse::kButton0 + uint32_t(button),
                              event.type == SDL_MOUSEBUTTONDOWN ? 0x80u : 0u, event.button.timestamp);
        return;
    }
    case SDL_JOYDEVICEADDED:
        this->AddJoystick(event.jdevice.which);
        return;
    case SDL_JOYDEVICEREMOVED:
        if (InputDevice* device = this->FindJoystick(event.jdevice.which)) {
            device->Unacquire();
            device->unplugged = true;
            SDL_JoystickClose(device->sdlJoystick);
            device->sdlJoystick = nullptr;
        }
        return;
    case SDL_JOYAXISMOTION:
        if (InputDevice* device = this->FindJoystick(event.jaxis.which)) {
            if (event.jaxis.axis < device->numAxes) {
                device->Record(kAxisOffsets[event.jaxis.axis], device->ScaleAxis(event.jaxis.value),
                               event.jaxis.timestamp);
            }
        }
        return;
    case SDL_JOYHATMOTION:
        if (InputDevice* device = this->FindJoystick(event.jhat.which)) {
            if (event.jhat.hat < device->numHats) {
                device->Record(joystick::kHat0 + 4u * event.jhat.hat, HatAngle(event.jhat.value),
                               event.jhat.timestamp);
            }
        }
        return;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        if (InputDevice* device = this->FindJoystick(event.jbutton.which)) {
            if (event.jbutton.button < device->numButtons) {
                device->Record(joystick::kButton0 + event.jbutton.button,
                               event.jbutton.state == SDL_PRESSED ? 0x80u : 0u, event.jbutton.timestamp);
            }
        }
        return;
    default: return;
    }
}

}  // namespace input
