#include "input/nDI8Mouse.h"

#include <cstdio>

#include "input/nInputServer.h"
#include "kernel/nKernelServer.h"

nDI8Mouse::nDI8Mouse(nKernelServer* ks, nInputServer* owner, nDI8DeviceRecord* rec, int deviceIndex)
    : nDI8Device(ks, owner, rec, deviceIndex) {
    for (nDI8Ring& ring : rings) ring.Setup(5, 0.2f);
}

int nDI8Mouse::GetDeviceId() const {
    return index | N_INPUT_DEV_RELMOUSE;
}

void nDI8Mouse::BuildChannels(nRoot* devs) {
    (void)devs;
    char name[32];
    std::snprintf(name, sizeof(name), "relmouse%d/channels", index);
    nRoot* channels = kernel->NewNoFail("nroot", name);
    if (!channels) return;
    kernel->PushCwd(channels);
    for (int a = 0; a < numAxes && a < MaxAxisNames; a++) AxisChannels(GetDeviceId(), a, axisNames[a]);
    for (int b = 0; b < numButtons; b++) {
        std::snprintf(name, sizeof(name), "btn%d", b);
        ButtonEventName(GetDeviceId(), name, b);
    }
    kernel->PopCwd();
}

void nDI8Mouse::BeginFrame(double time) {
    nDI8Device::BeginFrame(time);
    for (size_t a = 0; a < updated.size() && a < 3; a++) updated[a] = 0;
}

void nDI8Mouse::PostAxis(int a, int32_t delta) {
    if (a < 0 || a >= numAxes) return;
    updated[size_t(a)] = 1;
    float s = float(delta) * 0.1f;
    if (a < 3) {
        rings[a].Push(s);
        s = rings[a].Value();
    }
    const int devId = GetDeviceId();
    if (a == 2) {
        // A notch is a click within the frame; the half-axis opposite the
        // clicking button reads 1.
        if (delta > 0) {
            PostButtonDown(devId, numButtons + 5);
            PostButtonUp(devId, numButtons + 5);
            PostAxisValue(devId, 4, 1.0f);
            PostAxisValue(devId, 5, 0.0f);
        } else {
            PostButtonDown(devId, numButtons + 4);
            PostButtonUp(devId, numButtons + 4);
            PostAxisValue(devId, 4, 0.0f);
            PostAxisValue(devId, 5, 1.0f);
        }
        return;
    }
    const float f = server->GetMouseFactor();
    if (server->GetMouseInvert() && a == 1) s = -s;
    PostHalves(devId, a, (s < 0.0f ? -s : 0.0f) * f, (s > 0.0f ? s : 0.0f) * f);
}

void nDI8Mouse::PostButton(int button, bool pressed) {
    if (pressed) PostButtonDown(GetDeviceId(), button);
    else PostButtonUp(GetDeviceId(), button);
}

void nDI8Mouse::EndFrame() {
    for (int a = 0; a < numAxes && a < 3; a++) {
        if (updated[size_t(a)]) continue;
        rings[a].Push(0.0f);
        PostHalves(GetDeviceId(), a, 0.0f, 0.0f);
    }
}
