// The graphics server's queued screen text.
#include "gfx/nD3D8Font.h"
#include "gfx/nD3D8Server.h"
#include "kernel/nColorByte.h"
#include "platform/render/Device.h"

namespace {
uint32_t packColor(const float c[4]) {
    auto channel = [](float v) { return n_unit_byte(v); };
    return channel(c[3]) << 24 | channel(c[0]) << 16 | channel(c[1]) << 8 | channel(c[2]);
}
}  // namespace

void nD3D8Server::makeFontObjects() {
    if (!font || !device) return;
    font->InvalidateDeviceObjects();
    font->DeleteDeviceObjects();
    if (font->InitDeviceObjects(device.get())) font->RestoreDeviceObjects();
}

void nD3D8Server::SetTextPos(float x, float y) {
    textPos[0] = x;
    textPos[1] = y;
}

void nD3D8Server::SetTextColor(float r, float g, float b, float a) {
    textColor[0] = r;
    textColor[1] = g;
    textColor[2] = b;
    textColor[3] = a;
}

bool nD3D8Server::Text(const char* text) {
    if (!text) return false;
    if (textCount == int(textQueue.size())) textQueue.emplace_back();
    TextRecord& r = textQueue[size_t(textCount++)];
    r.text.assign(text);
    r.x = textPos[0];
    r.y = textPos[1];
    for (int i = 0; i < 4; ++i) r.color[i] = textColor[i];
    return true;
}

void nD3D8Server::drawTexts() {
    if (textCount == 0) return;
    device->SetRenderState(render::RenderState::FogEnable, 0);
    for (int i = 0; i < textCount; ++i) {
        const TextRecord& r = textQueue[size_t(i)];
        if (font) {
            font->DrawText((r.x + 1.0f) * float(dispWidth) * 0.5f, (r.y + 1.0f) * float(dispHeight) * 0.5f,
                           packColor(r.color), r.text.c_str());
        }
    }
    textCount = 0;
}
