#include "input/nDI8Server.h"

#include "input/nDI8DeviceRecord.h"
#include "input/nDI8Joystick.h"
#include "input/nDI8Keyboard.h"
#include "input/nDI8Mouse.h"
#include "kernel/nEnv.h"
#include "kernel/nKernelServer.h"
#include "platform/input/InputSystem.h"

const nClassInfo nDI8Server::classInfo = nClassInfo::Make<nDI8Server>("ndi8server", "ninputserver");

namespace {

constexpr int BufferSize = input::kDeviceBufferSize;
constexpr int JoystickDeadZone = 250;
constexpr int JoystickSaturation = 9999;

}  // namespace

nDI8Server::nDI8Server() : refDevs("/sys/share/input/devs"), refHwnd("/sys/env/hwnd") {
    system = input::InputSystem::Open();
    if (!system) nKernelServer::FatalError("nDI8Server: Could not initialize DirectInput8!\n");
    if (nEnv* env = refHwnd.Resolve()) hwnd = uint32_t(env->GetI());
    EnumDevices();
}

nDI8Server::~nDI8Server() {
    devices.clear();
    records.clear();
    system.reset();
}

void nDI8Server::EnumDevices() {
    const int count = system->GetNumDevices();
    for (; numSeen < count; numSeen++) AddDevice(system->GetDevice(numSeen));
}

void nDI8Server::AddDevice(input::InputDevice* device) {
    auto record = std::make_unique<nDI8DeviceRecord>();
    record->device = device;
    record->instanceName = device->GetInstanceName();
    record->productName = device->GetProductName();
    record->kind = int32_t(device->GetKind());
    record->numAxes = device->GetNumAxes();
    record->numButtons = device->GetNumButtons();
    record->numHats = device->GetNumHats();
    device->SetCooperativeWindow(hwnd);
    switch (device->GetKind()) {
        case input::DeviceKind::Mouse:
            record->rangeMin = -50;
            record->rangeMax = 50;
            break;
        case input::DeviceKind::Joystick:
            device->SetDeadZone(JoystickDeadZone);
            device->SetSaturation(JoystickSaturation);
            if (!device->GetRange(record->rangeMin, record->rangeMax)) record->rangeMin = record->rangeMax = 0;
            break;
        case input::DeviceKind::Keyboard: break;
    }
    device->Acquire();

    std::unique_ptr<nDI8Device> object;
    switch (record->kind) {
        case nDI8DeviceRecord::Keyboard:
            object = std::make_unique<nDI8Keyboard>(nKernelServer::ks, this, record.get(), numKeyboards++);
            break;
        case nDI8DeviceRecord::Mouse:
            object = std::make_unique<nDI8Mouse>(nKernelServer::ks, this, record.get(), numMice++);
            break;
        default:
            object = std::make_unique<nDI8Joystick>(nKernelServer::ks, this, record.get(), numJoysticks++);
            break;
    }
    nRoot* devs = refDevs.Get();
    nKernelServer::ks->PushCwd(devs);
    object->BuildChannels(devs);
    nKernelServer::ks->PopCwd();
    records.push_back(std::move(record));
    devices.push_back(std::move(object));
}

void nDI8Server::SetCooperativeLevels(uint32_t window) {
    for (auto& record : records) {
        record->device->Unacquire();
        record->device->SetCooperativeWindow(window);
    }
}

void nDI8Server::Trigger(double time) {
    float frameTime = float(time - curTime);
    if (frameTime < 0.0001f || frameTime > 2.0f) frameTime = 0.0001f;

    const uint32_t window = uint32_t(refHwnd.Get()->GetI());
    if (window != hwnd) {
        hwnd = window;
        SetCooperativeLevels(hwnd);
    }
    EnumDevices();

    for (auto& device : devices) device->BeginFrame(frameTime);

    input::DeviceData data[BufferSize];
    for (size_t r = 0; r < records.size(); r++) {
        input::InputDevice* device = records[r]->device;
        const input::AcquireResult acquired = device->Acquire();
        nDI8Device* object = devices[r].get();
        const int32_t kind = records[r]->kind;
        if (acquired == input::AcquireResult::Unplugged && kind == nDI8DeviceRecord::Joystick &&
            !records[r]->released) {
            // Its last values would otherwise be repeated for ever.
            static_cast<nDI8Joystick*>(object)->ReleaseInputs();
            records[r]->released = true;
        }
        if (acquired != input::AcquireResult::Acquired && acquired != input::AcquireResult::AlreadyAcquired) continue;
        const int count = device->GetData(data, BufferSize);
        for (int i = 0; i < count; i++) {
            const uint32_t offset = data[i].offset;
            const bool pressed = (data[i].data & 0x80u) != 0;
            if (kind == nDI8DeviceRecord::Keyboard) {
                object->PostButton(int(offset) - 1, pressed);
            } else if (kind == nDI8DeviceRecord::Mouse) {
                if (offset == 0 || offset == 4 || offset == 8) object->PostAxis(int(offset / 4), int32_t(data[i].data));
                else if (offset >= 12 && offset <= 19) object->PostButton(int(offset - 12), pressed);
            } else {
                if (offset == 0 || offset == 4 || offset == 8) object->PostAxis(int(offset / 4), int32_t(data[i].data));
                else if (offset == 20) object->PostAxis(3, int32_t(data[i].data));
                else if (offset == 32 || offset == 36 || offset == 40 || offset == 44)
                    object->PostHat(int((offset - 32) / 4), data[i].data);
                else if (offset >= 48 && offset <= 63) object->PostButton(int(offset - 48), pressed);
            }
        }
    }

    for (auto& device : devices) device->EndFrame();
    nInputServer::Trigger(time);
}

const char* nDI8Server::GetErrorName(uint32_t hr) {
    static const struct {
        uint32_t code;
        const char* name;
    } names[] = {
        // In this order; codes shared by two names give the first.
        {0x00000000u, "DI_OK"},
        {0x00000001u, "DI_BUFFEROVERFLOW"},
        {0x00000003u, "DI_DOWNLOADSKIPPED"},
        {0x00000004u, "DI_EFFECTRESTARTED"},
        {0x00000002u, "DI_POLLEDDEVICE"},
        {0x0000000Bu, "DI_SETTINGSNOTSAVED"},
        {0x00000008u, "DI_TRUNCATED"},
        {0x0000000Cu, "DI_TRUNCATEDANDRESTARTED"},
        {0x00000013u, "DI_WRITEPROTECT"},
        {0x800700AAu, "DIERR_ACQUIRED"},
        {0x800704DFu, "DIERR_ALREADYINITIALIZED"},
        {0x80070077u, "DIERR_BADDRIVERVER"},
        {0x80070481u, "DIERR_BETADIRECTINPUTVERSION"},
        {0x80040201u, "DIERR_DEVICEFULL"},
        {0x80040154u, "DIERR_DEVICENOTREG"},
        {0x80040208u, "DIERR_EFFECTPLAYING"},
        {0x80004005u, "DIERR_GENERIC"},
        {0x80070005u, "DIERR_HANDLEEXISTS"},
        {0x80040204u, "DIERR_HASEFFECTS"},
        {0x80040206u, "DIERR_INCOMPLETEEFFECT"},
        {0x8007001Eu, "DIERR_INPUTLOST"},
        {0x80070057u, "DIERR_INVALIDPARAM"},
        {0x8004020Bu, "DIERR_MAPFILEFAIL"},
        {0x80040202u, "DIERR_MOREDATA"},
        {0x80040110u, "DIERR_NOAGGREGATION"},
        {0x80004002u, "DIERR_NOINTERFACE"},
        {0x8007000Cu, "DIERR_NOTACQUIRED"},
        {0x80040207u, "DIERR_NOTBUFFERED"},
        {0x80040203u, "DIERR_NOTDOWNLOADED"},
        {0x80040205u, "DIERR_NOTEXCLUSIVEACQUIRED"},
        {0x80070002u, "DIERR_NOTFOUND"},
        {0x80070015u, "DIERR_NOTINITIALIZED"},
        {0x8007047Eu, "DIERR_OLDDIRECTINPUTVERSION"},
        {0x8007000Eu, "DIERR_OUTOFMEMORY"},
        {0x8004020Au, "DIERR_REPORTFULL"},
        {0x80040209u, "DIERR_UNPLUGGED"},
        {0x80004001u, "DIERR_UNSUPPORTED"},
        {0x8000000Au, "E_PENDING"},
        {0x80070006u, "E_HANDLE"},
        {0x80004003u, "E_POINTER"},
    };
    for (const auto& n : names)
        if (n.code == hr) return n.name;
    return "UNKNOWN";
}
