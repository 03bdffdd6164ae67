// The display probe start-up asks first. Each case runs in a process of its own (as CTest
// runs them); the failing drivers must be chosen before SDL's video ever starts.
#include "platform/window/DisplayProbe.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(DisplayProbeTest, FailsWithItsReasonWhereNoOpenGlDisplayCanBeHad)
{
    ASSERT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u) << "run this case in a process of its own";
    // A driver that does not exist, and one without OpenGL: each fails with its reason on
    // standard error and leaves SDL's video stopped, as it found it.
    const struct {
        const char* driver;
        const char* reason;
    } cases[] = {{"nosuchdriver", "no video driver"}, {"dummy", "OpenGL"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.driver);
        setenv("SDL_VIDEODRIVER", c.driver, 1);
        std::string reason;
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(window::ProbeDisplayCapabilities(&reason));
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        EXPECT_NE(err.find("Display probe: " + reason), std::string::npos) << err;
        EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
}

TEST(DisplayProbeTest, PassesOnSoftwareGlAndKeepsVideoForTheDisplay)
{
    // Video and OpenGL stay loaded after a pass, for the display that opens next, with no
    // context of the probe's left current.
    std::string reason = "untouched";
    EXPECT_TRUE(window::ProbeDisplayCapabilities(&reason));
    EXPECT_EQ(reason, "untouched");
    EXPECT_TRUE(window::ProbeDisplayCapabilities());
    EXPECT_NE(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
}

}  // namespace
