#include "platform/input/InputDevice.h"

#include "platform/input/InputSystem.h"

#include <SDL2/SDL.h>

#include <cmath>
#include <cstdlib>

namespace input {

InputDevice::InputDevice(InputSystem* owner, DeviceKind deviceKind) : system(owner), kind(deviceKind) {}

InputDevice::~InputDevice()
{
    if (this->sdlJoystick != nullptr) {
        SDL_JoystickClose(this->sdlJoystick);
    }
}

bool InputDevice::GetRange(int32_t& min, int32_t& max) const
{
    if (this->kind != DeviceKind::Joystick) {
        return false;
    }
    min = joystick::kRangeMin;
    max = joystick::kRangeMax;
    return true;
}

void InputDevice::SetDeadZone(int tenThousandths)
{
    this->deadZone = tenThousandths < 0 ? 0 : (tenThousandths > 10000 ? 10000 : tenThousandths);
}

void InputDevice::SetSaturation(int tenThousandths)
{
    this->saturation = tenThousandths < 0 ? 0 : (tenThousandths > 10000 ? 10000 : tenThousandths);
}

void InputDevice::SetCooperativeWindow(uint32_t windowId)
{
    if (windowId != this->cooperativeWindow) {
        this->Unacquire();
    }
    this->cooperativeWindow = windowId;
}

bool InputDevice::Collecting() const
{
    return this->kind != DeviceKind::Keyboard && !this->unplugged && this->cooperativeWindow != 0 &&
           this->system->GetFocusWindow() == this->cooperativeWindow;
}

AcquireResult InputDevice::Acquire()
{
    if (this->unplugged) {
        this->acquired = false;
        return AcquireResult::Unplugged;
    }
    if (this->cooperativeWindow == 0 || this->system->GetFocusWindow() != this->cooperativeWindow) {
        this->Unacquire();
        return AcquireResult::NotAcquired;
    }
    if (this->acquired) {
        return AcquireResult::AlreadyAcquired;
    }
    this->acquired = true;
    return AcquireResult::Acquired;
}

void InputDevice::Unacquire()
{
    this->acquired = false;
    this->head = 0;
    this->count = 0;
}

int InputDevice::GetData(DeviceData* out, int max)
{
    int taken = 0;
    while (taken < max && this->count > 0) {
        out[taken++] = this->buffer[this->head];
        this->head = (this->head + 1) % kDeviceBufferSize;
        --this->count;
    }
    return taken;
}

void InputDevice::Record(uint32_t offset, uint32_t data, uint32_t timeStamp)
{
    if (!this->Collecting()) {
        return;
    }
    if (this->count == kDeviceBufferSize) {
        // Full: the oldest record gives way, so the latest state is never lost.
        this->head = (this->head + 1) % kDeviceBufferSize;
        --this->count;
    }
    DeviceData& record = this->buffer[(this->head + this->count) % kDeviceBufferSize];
    record.offset = offset;
    record.data = data;
    record.timeStamp = timeStamp;
    record.sequence = this->system->NextSequence();
    ++this->count;
}

uint32_t InputDevice::ScaleAxis(int16_t value) const
{
    const double half = (double(joystick::kRangeMax) - double(joystick::kRangeMin)) / 2.0;
    const double centre = double(joystick::kRangeMin) + half;
    // -1..1 over SDL's range, whose negative side is one step longer.
    const double position = value < 0 ? double(value) / 32768.0 : double(value) / 32767.0;
    const double magnitude = std::fabs(position) * 10000.0;
    double scaled = 0.0;
    if (magnitude <= this->deadZone) {
        scaled = 0.0;
    } else if (magnitude >= this->saturation || this->saturation <= this->deadZone) {
        scaled = 1.0;
    } else {
        scaled = (magnitude - this->deadZone) / double(this->saturation - this->deadZone);
    }
    const double result = centre + (position < 0 ? -scaled : scaled) * half;
    const long rounded = std::lround(result);
    if (rounded < joystick::kRangeMin) {
        return uint32_t(joystick::kRangeMin);
    }
    if (rounded > joystick::kRangeMax) {
        return uint32_t(joystick::kRangeMax);
    }
    return uint32_t(rounded);
}

}  // namespace input
