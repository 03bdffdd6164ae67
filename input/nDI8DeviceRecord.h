#pragma once
// One device the DirectInput layer reported: its layer object, names, kind, axis
// range and counts of axes, buttons and hats. The layer owns the device; the
// record gives up its acquisition when it dies.
#include <cstdint>
#include <string>

#include "kernel/nNode.h"

namespace input {
class InputDevice;
}

struct nDI8DeviceRecord {
    enum Kind : int32_t { Keyboard = 1, Mouse = 2, Joystick = 3 };

    nDI8DeviceRecord() : node(this) {}
    ~nDI8DeviceRecord();
    nDI8DeviceRecord(const nDI8DeviceRecord&) = delete;
    nDI8DeviceRecord& operator=(const nDI8DeviceRecord&) = delete;

    nNode node;
    input::InputDevice* device = nullptr;
    std::string instanceName;
    std::string productName;
    int32_t kind = 0;
    int32_t rangeMin = 0;
    int32_t rangeMax = 0;
    int32_t numAxes = 0;
    int32_t numButtons = 0;
    int32_t numHats = 0;
    // Set once the device is gone and its inputs were let go.
    bool released = false;
};
