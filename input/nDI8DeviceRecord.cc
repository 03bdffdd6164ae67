#include "input/nDI8DeviceRecord.h"

#include "platform/input/InputDevice.h"

nDI8DeviceRecord::~nDI8DeviceRecord() {
    if (device) device->Unacquire();
    node.Remove();
}
