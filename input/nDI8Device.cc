#include "input/nDI8Device.h"

#include <cstdio>

#include "input/nDI8DeviceRecord.h"
#include "input/nInputServer.h"
#include "kernel/nEnv.h"
#include "kernel/nKernelServer.h"

const char* const nDI8Device::axisNames[9] = {"x", "y", "z", "r", "s", "t", "u", "v", "w"};

void nDI8Ring::Setup(int count, float w) {
    numSamples = count < 0 ? 0 : (count > 8 ? 8 : count);
    weight = w;
    for (float& s : samples) s = 0.0f;
}

void nDI8Ring::Push(float sample) {
    if (numSamples == 0) return;
    for (int i = numSamples - 1; i > 0; i--) samples[i] = samples[i - 1];
    samples[0] = sample;
}

float nDI8Ring::Value() const {
    float sum = 0.0f;
    for (int i = 0; i < numSamples; i++) sum += samples[i];
    return sum * weight;
}

nDI8Device::nDI8Device(nKernelServer* ks, nInputServer* owner, nDI8DeviceRecord* rec, int deviceIndex)
    : kernel(ks), server(owner), record(rec), index(deviceIndex) {
    if (rec) {
        rangeMin = rec->rangeMin;
        rangeMax = rec->rangeMax;
        numAxes = rec->numAxes < 0 ? 0 : rec->numAxes;
        numButtons = rec->numButtons < 0 ? 0 : rec->numButtons;
        numHats = rec->numHats < 0 ? 0 : rec->numHats;
    }
    oldValues.assign(size_t(2 * numAxes), 0.0f);
    updated.assign(size_t(numAxes), 0);
}

void nDI8Device::AxisEventName(int devId, const char* channel, int halfAxis) {
    char pattern[128];
    std::snprintf(pattern, sizeof(pattern), "devid=%d type=%d axis=%d", devId, N_INPUT_AXIS_MOVE, halfAxis);
    if (nEnv* env = static_cast<nEnv*>(kernel->NewNoFail("nenv", channel))) env->SetS(pattern);
}

void nDI8Device::ButtonEventName(int devId, const char* channel, int button) {
    char pattern[128];
    std::snprintf(pattern, sizeof(pattern), "devid=%d type=%d btn=%d", devId, N_INPUT_BUTTON_DOWN, button);
    if (nEnv* env = static_cast<nEnv*>(kernel->NewNoFail("nenv", channel))) env->SetS(pattern);
}

void nDI8Device::PostAxisValue(int devId, int halfAxis, float value) {
    nInputEvent* e = server->NewEvent();
    e->type = N_INPUT_AXIS_MOVE;
    e->deviceId = devId;
    e->number = halfAxis;
    e->value = value;
    server->PostEvent(e);
}

void nDI8Device::PostButtonDown(int devId, int button) {
    nInputEvent* e = server->NewEvent();
    e->type = N_INPUT_BUTTON_DOWN;
    e->deviceId = devId;
    e->number = button;
    server->PostEvent(e);
}

void nDI8Device::PostButtonUp(int devId, int button) {
    nInputEvent* e = server->NewEvent();
    e->type = N_INPUT_BUTTON_UP;
    e->deviceId = devId;
    e->number = button;
    server->PostEvent(e);
}

void nDI8Device::PostButtonChange(int devId, int button, float oldValue, float newValue) {
    if (oldValue == 0.0f && newValue > 0.0f) PostButtonDown(devId, button);
    else if (oldValue > 0.0f && newValue <= 0.0f) PostButtonUp(devId, button);
}

void nDI8Device::AxisChannels(int devId, int axis, const char* name) {
    char channel[16];
    std::snprintf(channel, sizeof(channel), "-%s", name);
    AxisEventName(devId, channel, 2 * axis);
    std::snprintf(channel, sizeof(channel), "+%s", name);
    AxisEventName(devId, channel, 2 * axis + 1);
    std::snprintf(channel, sizeof(channel), "-%sbtn", name);
    ButtonEventName(devId, channel, numButtons + 2 * axis);
    std::snprintf(channel, sizeof(channel), "+%sbtn", name);
    ButtonEventName(devId, channel, numButtons + 2 * axis + 1);
}

void nDI8Device::PostHalves(int devId, int axis, float negative, float positive) {
    const size_t lo = size_t(2 * axis);
    if (axis < 0 || lo + 1 >= oldValues.size()) return;
    PostAxisValue(devId, 2 * axis, negative);
    PostAxisValue(devId, 2 * axis + 1, positive);
    PostButtonChange(devId, numButtons + 2 * axis, oldValues[lo], negative);
    PostButtonChange(devId, numButtons + 2 * axis + 1, oldValues[lo + 1], positive);
    oldValues[lo] = negative;
    oldValues[lo + 1] = positive;
}
