#pragma once
// The players in frames as the observer runs them: a display on SDL's offscreen driver
// (640 x 480, 32 or 16 bits), the channel server, the scene graph under a transform
// node that binds the "time" channel, a step clock in place of the wall clock (sleeping
// moves it on), the audio server on the loopback output when a test opens it, and test
// videos encoded into the test's folder.
#include <string>
#include <vector>

#include "gfx/nD3D8Server.h"
#include "platform/system/Clock.h"
#include "scene/nChannelServer.h"
#include "scene/nSceneGraph2.h"
#include "tests/platform/SdlTestEnvironment.h"
#include "tests/script/script_fixture.h"
#include "tests/video/TestVideo.h"

class nAviPlayer;
class nBinkPlayer;
class nDSoundServer2;
class nVisNode;

class StepClock : public sys::Clock {
public:
    int64_t Ticks() override { return ms; }
    int64_t Frequency() override { return 1000; }
    void Sleep(int m) override { ms += m > 0 ? m : 0; }
    int64_t ms = 0;
};

class VideoFixture : public nScriptFixture {
protected:
    static constexpr uint32_t Clear = 0xFF202020u;
    static constexpr int Width = 640;
    static constexpr int Height = 480;

    static void SetUpTestSuite() { bwtest::LoadSdlVideo(); }
    void SetUp() override;

    // Opens the display at 16 or 32 bits.
    void OpenDisplay(int bpp);
    // The audio server at "/sys/servers/audio" on the loopback output, opened.
    nDSoundServer2* OpenAudio();
    // A video encoded into the test's folder; its path.
    std::string Video(const std::string& name, const testvideo::Clip& clip);
    // Players at "/scene/<name>/video" with `file`: each below a transform node of its
    // own, since a scene node draws one video.
    std::string Place(const char* name);
    nBinkPlayer* Bink(const char* name, const std::string& file);
    nAviPlayer* Avi(const char* name, const std::string& file);
    // One frame with the "time" channel at `t`: the display clears, the scene attaches
    // and renders, the frame is presented.
    void Frame(float t = 0.0f);
    // A pixel of the last presented frame, rows from the top.
    uint32_t Presented(int x, int y);
    // The presented pixel at (x, y) is frame k's colour (or the clear colour for -1).
    ::testing::AssertionResult Shows(int x, int y, int k, int tolerance = 3);
    // How many log texts contain `part`.
    int LogCount(const std::string& part) const;

    StepClock clock;
    nD3D8Server* gfx = nullptr;
    nChannelServer* channels = nullptr;
    nSceneGraph2* sg = nullptr;
    nVisNode* scene = nullptr;
    int bpp = 32;
};
