#pragma once
// A relative mouse ("relmouse%d", device id index | 0x200000): x and y smoothed
// over five frames and scaled by the input server's mouse factor, the wheel as
// clicks of the "+zbtn" / "-zbtn" buttons, and idle axes falling back to 0.
#include "input/nDI8Device.h"

class nDI8Mouse : public nDI8Device {
public:
    nDI8Mouse(nKernelServer* ks, nInputServer* server, nDI8DeviceRecord* record, int index);

    void BuildChannels(nRoot* devs) override;
    void BeginFrame(double frameTime) override;
    void PostAxis(int axis, int32_t delta) override;
    void PostButton(int button, bool pressed) override;
    void EndFrame() override;

    int GetDeviceId() const;
};
