#pragma once
// The input server on the DirectInput layer (script class "ndi8server", no
// commands of its own), created at "/sys/servers/input". It wraps every mouse,
// keyboard and joystick of the layer in a device object, publishes the channels
// of relative mice and joysticks, and each frame turns the devices' buffered data
// into input events before the base class evaluates the mappings. Joysticks
// plugged in later join at the next frame.
#include <memory>
#include <vector>

#include "input/nInputServer.h"
#include "kernel/nList.h"

namespace input {
class InputSystem;
class InputDevice;
}  // namespace input
class nDI8Device;
class nEnv;
struct nDI8DeviceRecord;

class nDI8Server : public nInputServer {
public:
    static const nClassInfo classInfo;

    nDI8Server();
    ~nDI8Server() override;

    void Trigger(double time) override;

    // Name of a DirectInput result code, "UNKNOWN" for others.
    static const char* GetErrorName(uint32_t hr);

    int GetNumDevices() const { return int(devices.size()); }
    nDI8Device* GetDevice(int i) const { return devices[size_t(i)].get(); }
    input::InputSystem* GetInputSystem() const { return system.get(); }

private:
    // Records and device objects for the layer's devices not seen yet.
    void EnumDevices();
    void AddDevice(input::InputDevice* device);
    void SetCooperativeLevels(uint32_t window);

    nPathRef<nRoot> refDevs;
    nPathRef<nEnv> refHwnd;
    std::unique_ptr<input::InputSystem> system;
    std::vector<std::unique_ptr<nDI8DeviceRecord>> records;
    std::vector<std::unique_ptr<nDI8Device>> devices;
    uint32_t hwnd = 0;
    int numMice = 0;
    int numJoysticks = 0;
    int numKeyboards = 0;
    int numSeen = 0;
};
