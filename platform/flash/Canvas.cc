#include "platform/flash/Canvas.h"

#include <algorithm>
#include <cstring>

namespace flash {

namespace {

uint32_t Load(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void Store(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

}  // namespace

void Canvas::Attach(uint8_t* target, int w, int h) {
    this->pixels = target;
    this->width = target != nullptr ? std::max(w, 0) : 0;
    this->height = target != nullptr ? std::max(h, 0) : 0;
}

bool Canvas::Clip(int& x0, int& y0, int& x1, int& y1) const {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, this->width);
    y1 = std::min(y1, this->height);
    return x0 < x1 && y0 < y1;
}

void Canvas::Clear(int x0, int y0, int x1, int y1, Color color) {
    if (!Clip(x0, y0, x1, y1)) return;
    const uint32_t word = color.Word();
    for (int y = y0; y < y1; ++y) {
        uint8_t* p = Row(y) + size_t(x0) * 4;
        for (int x = x0; x < x1; ++x, p += 4) Store(p, word);
    }
}

void Canvas::Fill(int x0, int y0, int x1, int y1, Color color) {
    if (color.a == 255) {
        Clear(x0, y0, x1, y1, color);
        return;
    }
    if (color.a == 0 || !Clip(x0, y0, x1, y1)) return;
    const uint32_t word = color.Word();
    for (int y = y0; y < y1; ++y) {
        uint8_t* p = Row(y) + size_t(x0) * 4;
        for (int x = x0; x < x1; ++x, p += 4) Store(p, Over(Load(p), word));
    }
}

void Canvas::Blit(const uint32_t* image, int imageWidth, int imageHeight, int x, int y) {
    int x0 = x, y0 = y, x1 = x + imageWidth, y1 = y + imageHeight;
    if (image == nullptr || !Clip(x0, y0, x1, y1)) return;
    for (int row = y0; row < y1; ++row) {
        const uint32_t* src = image + size_t(row - y) * size_t(imageWidth) + size_t(x0 - x);
        uint8_t* p = Row(row) + size_t(x0) * 4;
        for (int col = x0; col < x1; ++col, p += 4, ++src) {
            const uint32_t s = *src;
            const uint32_t sa = s >> 24;
            if (sa == 255) {
                Store(p, s);
            } else if (sa != 0) {
                Store(p, Over(Load(p), s));
            }
        }
    }
}

void Canvas::Blend(const uint8_t* coverage, int coverageWidth, int coverageHeight, int x, int y, Color color) {
    int x0 = x, y0 = y, x1 = x + coverageWidth, y1 = y + coverageHeight;
    if (coverage == nullptr || color.a == 0 || !Clip(x0, y0, x1, y1)) return;
    const uint32_t rgb = color.Word() & 0x00FFFFFFu;
    for (int row = y0; row < y1; ++row) {
        const uint8_t* c = coverage + size_t(row - y) * size_t(coverageWidth) + size_t(x0 - x);
        uint8_t* p = Row(row) + size_t(x0) * 4;
        for (int col = x0; col < x1; ++col, p += 4, ++c) {
            if (*c == 0) continue;
            const uint32_t a = (uint32_t(*c) * color.a + 127) / 255;
            Store(p, Over(Load(p), rgb | a << 24));
        }
    }
}

void Canvas::PackA4R4G4B4(const uint8_t* bgra, uint8_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i, bgra += 4, out += 2) {
        out[0] = uint8_t((bgra[1] & 0xF0) | (bgra[0] >> 4));
        out[1] = uint8_t((bgra[3] & 0xF0) | (bgra[2] >> 4));
    }
}

}  // namespace flash
