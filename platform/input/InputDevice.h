#pragma once
// One input device as the engine's DirectInput layer sees it: a keyboard, the
// system mouse or a joystick, with its capabilities and a buffer of data records
// (at most 128; the oldest give way). Records are collected while the window
// the device cooperates with has the keyboard focus; the keyboard never
// collects any (keys come from the window's messages).

#include <cstdint>
#include <string>

struct _SDL_Joystick;

namespace input {

enum class DeviceKind {
    Keyboard = 1,
    Mouse = 2,
    Joystick = 3,
};

enum class AcquireResult {
    Acquired,         // newly acquired
    AlreadyAcquired,  // it was acquired already
    NotAcquired,      // its window has no focus (or it has no window)
    Unplugged,        // the joystick is gone
};

// One buffered change: where in the device's data format it happened and its
// new value (a relative count for mouse axes, 0..65535 for joystick axes,
// hundredths of a degree for hats, bit 7 set for a pressed button).
struct DeviceData {
    uint32_t offset = 0;
    uint32_t data = 0;
    uint32_t timeStamp = 0;  // milliseconds
    uint32_t sequence = 0;   // increases over all devices
};

// Offsets of the mouse data format.
namespace mouse {
constexpr uint32_t kX = 0;
constexpr uint32_t kY = 4;
constexpr uint32_t kZ = 8;        // the wheel: 120 a notch, positive away from the user
constexpr uint32_t kButton0 = 12;  // to 19
}  // namespace mouse

// Offsets of the joystick data format.
namespace joystick {
constexpr uint32_t kX = 0;
constexpr uint32_t kY = 4;
constexpr uint32_t kZ = 8;
constexpr uint32_t kRx = 12;
constexpr uint32_t kRy = 16;
constexpr uint32_t kRz = 20;
constexpr uint32_t kSlider0 = 24;
constexpr uint32_t kSlider1 = 28;
constexpr uint32_t kHat0 = 32;      // to 44, four bytes apart
constexpr uint32_t kButton0 = 48;   // to 79
constexpr uint32_t kHatCentred = 0xFFFFFFFFu;
constexpr int32_t kRangeMin = 0;
constexpr int32_t kRangeMax = 65535;
}  // namespace joystick

constexpr int kDeviceBufferSize = 128;

class InputSystem;

class InputDevice {
public:
    InputDevice(const InputDevice&) = delete;
    InputDevice& operator=(const InputDevice&) = delete;
    ~InputDevice();

    DeviceKind GetKind() const { return this->kind; }
    const std::string& GetInstanceName() const { return this->instanceName; }
    const std::string& GetProductName() const { return this->productName; }
    int GetNumAxes() const { return this->numAxes; }
    int GetNumButtons() const { return this->numButtons; }
    int GetNumHats() const { return this->numHats; }
    // Joysticks: the value range of their axes; false for other devices.
    bool GetRange(int32_t& min, int32_t& max) const;
    // Joysticks: values within `deadZone` ten-thousandths of the centre read
    // as the centre, beyond `saturation` as the end of the range.
    void SetDeadZone(int tenThousandths);
    void SetSaturation(int tenThousandths);

    // The window (SDL window id) whose focus the device follows; 0 for none.
    void SetCooperativeWindow(uint32_t windowId);
    uint32_t GetCooperativeWindow() const { return this->cooperativeWindow; }
    AcquireResult Acquire();
    // Drops the acquisition and whatever the buffer holds.
    void Unacquire();
    bool IsAcquired() const { return this->acquired; }
    bool IsUnplugged() const { return this->unplugged; }

    // Moves up to `max` records, oldest first, into `out`; their number.
    int GetData(DeviceData* out, int max);
    int GetBufferedCount() const { return this->count; }

private:
    friend class InputSystem;
    InputDevice(InputSystem* system, DeviceKind kind);
    bool Collecting() const;
    void Record(uint32_t offset, uint32_t data, uint32_t timeStamp);
    // A raw SDL axis value (-32768..32767) on the device range, with dead zone
    // and saturation applied.
    uint32_t ScaleAxis(int16_t value) const;

    InputSystem* system;
    DeviceKind kind;
    std::string instanceName;
    std::string productName;
    int numAxes = 0;
    int numButtons = 0;
    int numHats = 0;
    int deadZone = 0;
    int saturation = 10000;
    uint32_t cooperativeWindow = 0;
    bool acquired = false;
    bool unplugged = false;
    _SDL_Joystick* sdlJoystick = nullptr;
    int32_t joystickId = -1;
    DeviceData buffer[kDeviceBufferSize];
    int head = 0;  // oldest record
    int count = 0;
};

}  // namespace input
