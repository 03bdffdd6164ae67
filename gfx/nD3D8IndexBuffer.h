#pragma once

#include <memory>

#include "gfx/nIndexBuffer.h"
#include "kernel/nPathRef.h"

namespace render {
class DeviceBuffer;
}

// Index buffer in a device buffer (script class "nd3d8indexbuffer", no commands), so
// that vertex pools can draw with it. Without an open display it keeps its indices in
// ordinary memory like its base and cannot be drawn.
class nD3D8IndexBuffer : public nIndexBuffer {
public:
    static const nClassInfo classInfo;

    nD3D8IndexBuffer();
    ~nD3D8IndexBuffer() override;

    // Replaces any earlier indices; leaves the buffer locked for writing.
    void Begin(int dynamic, int type, int count) override;
    void End() override;
    // Straight into the device buffer: its copy is not cleared first, and it takes the
    // largest index as given instead of looking through the indices again.
    bool Fill(int type, const void* indices, int count, uint16_t maxIndex) override;
    bool Lock() override;
    void Unlock() override;

    render::DeviceBuffer* GetDeviceBuffer() const { return deviceBuffer.get(); }
    // True the first time a draw meets the buffer without a device buffer (until a Begin
    // makes one), so that such a draw logs once, not every frame.
    bool FirstDrawWithoutDevice() {
        const bool first = !drawRefused;
        drawRefused = true;
        return first;
    }

private:
    // Begin with the flags of the first lock.
    void begin(int dynamic, int type, int count, unsigned lockFlags);

    nPathRef<nRoot> refGfx;
    std::unique_ptr<render::DeviceBuffer> deviceBuffer;
    bool drawRefused = false;
};
