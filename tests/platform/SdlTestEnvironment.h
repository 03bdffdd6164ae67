#pragma once
// What every test program that opens windows or GL devices shares: SDL's video and the
// OpenGL library loaded once for the whole run, OpenGL errors reported as test failures,
// probes of the presented frame and a tolerant colour comparison for them.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "platform/render/Device.h"
#include "platform/render/GlDebug.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace bwtest {

// Never unloaded, so that what the drivers leak is still attributed to them at exit
// (an unloaded library leaves stacks that no suppression can name).
inline void LoadSdlVideo()
{
    // Any OpenGL error fails the test that caused it.
    render::glErrorHandler = [](const char* message) { ADD_FAILURE() << "OpenGL error: " << message; };
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    ASSERT_EQ(SDL_GL_LoadLibrary(nullptr), 0) << SDL_GetError();
}

class SdlVideoEnvironment : public ::testing::Environment {
public:
    void SetUp() override { LoadSdlVideo(); }
};

// Compares the red, green and blue bytes of two 0xAARRGGBB colours.
inline ::testing::AssertionResult ColorNear(uint32_t actual, uint32_t expected, int tolerance = 3)
{
    for (int shift = 0; shift < 24; shift += 8) {
        const int a = int((actual >> shift) & 0xFF);
        const int e = int((expected >> shift) & 0xFF);
        if (std::abs(a - e) > tolerance) {
            char text[64];
            std::snprintf(text, sizeof(text), "colour 0x%08X, expected 0x%08X", actual, expected);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}

// A pixel of the frame last presented on `device`, rows counted from the top, made
// opaque; 0 for a probe outside the frame.
inline uint32_t Presented(render::Device& device, int x, int y)
{
    std::vector<uint32_t> pixels;
    int w = 0;
    int h = 0;
    EXPECT_TRUE(device.CopyFrontBuffer(pixels, w, h));
    if (x < 0 || y < 0 || x >= w || y >= h) return 0;
    return pixels[size_t(y) * size_t(w) + size_t(x)] | 0xFF000000u;
}

}  // namespace bwtest
