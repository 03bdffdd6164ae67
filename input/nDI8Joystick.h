#pragma once
// A joystick or gamepad ("joy%d", device id index | 0x40000): axes normalised
// over the device range, smoothed over three samples and squared per half; hats
// as two axes each ("a"/"b", "c"/"d", "e"/"f"); buttons.
#include "input/nDI8Device.h"

class nDI8Joystick : public nDI8Device {
public:
    static const int MaxHats = 3;
    // What an axis is read over when the device reports no usable range.
    static const int32_t DefaultRangeMin = 0;
    static const int32_t DefaultRangeMax = 65535;

    nDI8Joystick(nKernelServer* ks, nInputServer* server, nDI8DeviceRecord* record, int index);

    void BuildChannels(nRoot* devs) override;
    void BeginFrame(double frameTime) override;
    void PostAxis(int axis, int32_t raw) override;
    void PostButton(int button, bool pressed) override;
    void PostHat(int hat, uint32_t raw) override;
    void EndFrame() override;

    int GetDeviceId() const;
    // Centres every axis and hat and lets go of every button: what a joystick
    // that was unplugged reads from then on.
    void ReleaseInputs();

private:
    // Posts the ring value of axis `a`, squared per half.
    void PostSmoothed(int a, float v);
};
