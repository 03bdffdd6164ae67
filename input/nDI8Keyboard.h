#pragma once
// A keyboard found by DirectInput: no channels and no events, since keys come
// from the window's messages. Kept so every reported device has its object.
#include "input/nDI8Device.h"

class nDI8Keyboard : public nDI8Device {
public:
    using nDI8Device::nDI8Device;
};
