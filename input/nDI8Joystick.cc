#include "input/nDI8Joystick.h"

#include <cstdio>

#include "input/nInputServer.h"
#include "kernel/nKernelServer.h"

nDI8Joystick::nDI8Joystick(nKernelServer* ks, nInputServer* owner, nDI8DeviceRecord* rec, int deviceIndex)
    : nDI8Device(ks, owner, rec, deviceIndex) {
    if (numHats > MaxHats) numHats = MaxHats;
    // Two half-axes per axis, then two axes (four halves) per hat.
    oldValues.assign(size_t(2 * numAxes + 4 * numHats), 0.0f);
    for (nDI8Ring& ring : rings) ring.Setup(3, 1.0f / 3.0f);
    if (rangeMax <= rangeMin) {
        rangeMin = DefaultRangeMin;
        rangeMax = DefaultRangeMax;
    }
}

int nDI8Joystick::GetDeviceId() const {
    return index | N_INPUT_DEV_JOYSTICK;
}

void nDI8Joystick::BuildChannels(nRoot* devs) {
    (void)devs;
    char name[32];
    std::snprintf(name, sizeof(name), "joy%d/channels", index);
    nRoot* channels = kernel->NewNoFail("nroot", name);
    if (!channels) return;
    kernel->PushCwd(channels);
    const int devId = GetDeviceId();
    for (int a = 0; a < numAxes && a < MaxAxisNames; a++) AxisChannels(devId, a, axisNames[a]);
    static const char* const hatNames[MaxHats][2] = {{"a", "b"}, {"c", "d"}, {"e", "f"}};
    for (int p = 0; p < numHats; p++) {
        AxisChannels(devId, numAxes + 2 * p, hatNames[p][0]);
        AxisChannels(devId, numAxes + 2 * p + 1, hatNames[p][1]);
    }
    for (int b = 0; b < numButtons; b++) {
        std::snprintf(name, sizeof(name), "btn%d", b);
        ButtonEventName(devId, name, b);
    }
    kernel->PopCwd();
}

void nDI8Joystick::BeginFrame(double time) {
    nDI8Device::BeginFrame(time);
    for (size_t a = 0; a < updated.size() && a < 4; a++) updated[a] = 0;
}

void nDI8Joystick::PostSmoothed(int a, float v) {
    PostHalves(GetDeviceId(), a, v < 0.0f ? v * v : 0.0f, v > 0.0f ? v * v : 0.0f);
}

void nDI8Joystick::PostAxis(int a, int32_t raw) {
    if (a < 0 || a >= numAxes) return;
    float v = float(2.0 * (double(raw) - double(rangeMin)) / (double(rangeMax) - double(rangeMin)) - 1.0);
    if (v > -0.01f && v < 0.01f) v = 0.0f;
    if (a < 4) {
        updated[size_t(a)] = 1;
        rings[a].Push(v);
        v = rings[a].Value();
    }
    PostSmoothed(a, v);
}

void nDI8Joystick::PostButton(int button, bool pressed) {
    if (pressed) PostButtonDown(GetDeviceId(), button);
    else PostButtonUp(GetDeviceId(), button);
}

void nDI8Joystick::PostHat(int p, uint32_t raw) {
    if (p < 0 || p >= numHats) return;
    int h = 0;
    int v = 0;
    if ((raw & 0xFFFFu) != 0xFFFFu) {
        if (raw <= 2250 || raw > 33750) { h = 0; v = -1; }
        else if (raw <= 6750) { h = 1; v = -1; }
        else if (raw <= 11250) { h = 1; v = 0; }
        else if (raw <= 15750) { h = 1; v = 1; }
        else if (raw <= 20250) { h = 0; v = 1; }
        else if (raw <= 24750) { h = -1; v = 1; }
        else if (raw <= 29250) { h = -1; v = 0; }
        else { h = -1; v = -1; }
    }
    const int devId = GetDeviceId();
    const int axis = numAxes + 2 * p;
    PostHalves(devId, axis, h < 0 ? 1.0f : 0.0f, h > 0 ? 1.0f : 0.0f);
    PostHalves(devId, axis + 1, v < 0 ? 1.0f : 0.0f, v > 0 ? 1.0f : 0.0f);
}

void nDI8Joystick::ReleaseInputs() {
    const int32_t centre = int32_t((int64_t(rangeMin) + int64_t(rangeMax)) / 2);
    for (int a = 0; a < numAxes; a++) PostAxis(a, centre);
    for (int p = 0; p < numHats; p++) PostHat(p, 0xFFFFFFFFu);
    for (int b = 0; b < numButtons; b++) PostButton(b, false);
}

void nDI8Joystick::EndFrame() {
    for (int a = 0; a < numAxes && a < 4; a++) {
        rings[a].Push(rings[a].Newest());
        PostSmoothed(a, rings[a].Value());
    }
}
