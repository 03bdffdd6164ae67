// The sound output layer on OpenAL Soft's loopback device: cursors, locking at the
// wrap, volume, spatial placement with the engine's handedness, frequency and loss.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "platform/audio/Device.h"
#include "platform/audio/SoundBuffer.h"
#include "tests/platform/audio/SignalProbe.h"

namespace {

constexpr int Rate = 22050;
constexpr size_t Ring = 64 * audio::SoundBuffer::ChunkBytes;

class AudioDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        audio::Result r;
        device = audio::Device::Open(audio::Output::Loopback, Rate, r);
        ASSERT_TRUE(device) << int(r);
        // The engine's listener: looking down -z with the top turned round (its own
        // way of keeping the right side right in a left-handed device).
        audio::Listener l;
        l.front = {0, 0, -1};
        l.top = {0, -1, 0};
        ASSERT_EQ(device->SetListener(l, false), audio::Result::Ok);
    }
    void TearDown() override {
        buffers.clear();
        device.reset();
    }

    // A buffer holding `ring` bytes of a 1 kHz tone at `hz` (a whole number of periods
    // when the ring holds whole seconds; good enough for levels otherwise).
    audio::SoundBuffer* ToneBuffer(int channels, bool spatial, int hz = Rate, size_t ring = Ring,
                                   float amplitude = 0.5f) {
        audio::Result r;
        auto b = device->CreateBuffer(channels, ring, spatial, r);
        EXPECT_TRUE(b) << int(r);
        if (!b) return nullptr;
        void *p1, *p2;
        size_t n1, n2;
        EXPECT_EQ(b->Lock(0, ring, p1, n1, p2, n2), audio::Result::Ok);
        auto* s = static_cast<int16_t*>(p1);
        for (size_t i = 0; i < n1 / 2; i++) {
            size_t frame = i / size_t(channels);
            s[i] = int16_t(std::lrint(amplitude * 32767.0 * std::sin(2.0 * M_PI * 1000.0 * double(frame) / hz)));
        }
        b->Unlock();
        if (hz != Rate) {
            EXPECT_EQ(b->SetFrequency(hz), audio::Result::Ok);
        }
        buffers.push_back(std::move(b));
        return buffers.back().get();
    }

    // Renders `frames`, servicing the buffers every 256 frames as a frame loop would.
    probe::Samples Render(size_t frames) {
        probe::Samples out(frames * 2);
        for (size_t at = 0; at < frames; at += 256) {
            size_t play, write;
            for (auto& b : buffers) b->GetCurrentPosition(play, write);
            int n = int(std::min<size_t>(256, frames - at));
            EXPECT_TRUE(device->RenderSamples(out.data() + 2 * at, n));
        }
        return out;
    }

    std::unique_ptr<audio::Device> device;
    std::vector<std::unique_ptr<audio::SoundBuffer>> buffers;
};

TEST_F(AudioDeviceTest, CursorsFollowTheOutput) {
    audio::SoundBuffer* b = ToneBuffer(1, false);
    size_t play, write;
    ASSERT_EQ(b->GetCurrentPosition(play, write), audio::Result::Ok);
    EXPECT_EQ(play, 0u);
    EXPECT_EQ(write, 0u);  // nothing is queued before Play
    ASSERT_EQ(b->Play(), audio::Result::Ok);
    b->GetCurrentPosition(play, write);
    EXPECT_EQ(play, 0u);
    // The lead: a tenth of a second, in whole chunks.
    EXPECT_EQ(write, 3 * audio::SoundBuffer::ChunkBytes);

    std::vector<float> out(2 * 1000);
    ASSERT_TRUE(device->RenderSamples(out.data(), 1000));
    b->GetCurrentPosition(play, write);
    EXPECT_EQ(play, 2000u);  // 1000 mono frames of 16 bits
    EXPECT_GE(write - play, size_t(0.1 * Rate * 2) - audio::SoundBuffer::ChunkBytes);
    EXPECT_EQ(write % audio::SoundBuffer::ChunkBytes, 0u);

    // A stall longer than the lead: silence, then playing goes on where the queue ended.
    std::vector<float> stall(2 * 8000);
    ASSERT_TRUE(device->RenderSamples(stall.data(), 8000));
    EXPECT_EQ(probe::Rms(stall, 0, 4000), 0.0);
    size_t before = write;
    b->GetCurrentPosition(play, write);
    EXPECT_EQ(play, before);
    probe::Samples resumed = Render(2000);
    EXPECT_GT(probe::Rms(resumed, 0), 0.1);

    // Round and round: the cursors wrap at the ring's size.
    Render(Ring / 2 + 500);
    b->GetCurrentPosition(play, write);
    EXPECT_LT(play, Ring);
    EXPECT_LT(write, Ring);
}

TEST_F(AudioDeviceTest, LockGivesTwoPartsAtTheWrapWithTheRingsContents) {
    audio::Result r;
    auto b = device->CreateBuffer(2, Ring, false, r);
    ASSERT_TRUE(b);
    void *p1, *p2;
    size_t n1, n2;
    ASSERT_EQ(b->Lock(Ring - 8, 12, p1, n1, p2, n2), audio::Result::Ok);
    EXPECT_EQ(n1, 8u);
    EXPECT_EQ(n2, 4u);
    ASSERT_NE(p2, nullptr);
    std::memset(p1, 0x11, n1);
    std::memset(p2, 0x22, n2);
    b->Unlock();
    ASSERT_EQ(b->Lock(0, Ring, p1, n1, p2, n2), audio::Result::Ok);
    EXPECT_EQ(n1, Ring);
    EXPECT_EQ(p2, nullptr);
    EXPECT_EQ(static_cast<uint8_t*>(p1)[0], 0x22);
    EXPECT_EQ(static_cast<uint8_t*>(p1)[Ring - 1], 0x11);
    EXPECT_EQ(b->Lock(Ring, 4, p1, n1, p2, n2), audio::Result::InvalidParam);
    EXPECT_EQ(b->Lock(0, Ring + 2, p1, n1, p2, n2), audio::Result::InvalidParam);
    // Buffers the layer cannot stream are refused.
    EXPECT_FALSE(device->CreateBuffer(2, Ring, true, r));
    EXPECT_EQ(r, audio::Result::InvalidParam);
    EXPECT_FALSE(device->CreateBuffer(1, Ring + 2, false, r));
    EXPECT_FALSE(device->CreateBuffer(3, Ring, false, r));
}

TEST_F(AudioDeviceTest, VolumeIsInHundredthsOfADecibel) {
    audio::SoundBuffer* b = ToneBuffer(2, false);
    b->Play();
    double full = probe::Rms(Render(4000), 0, 2000);
    ASSERT_GT(full, 0.3);
    ASSERT_EQ(b->SetVolume(-2000), audio::Result::Ok);
    double quiet = probe::Rms(Render(4000), 0, 2000);
    EXPECT_NEAR(quiet / full, 0.1, 0.005);
    ASSERT_EQ(b->SetVolume(-10000), audio::Result::Ok);
    EXPECT_EQ(probe::Rms(Render(2000), 0, 1000), 0.0);
    EXPECT_EQ(b->SetVolume(100), audio::Result::InvalidParam);
    EXPECT_EQ(b->GetVolume(), -10000);
}

TEST_F(AudioDeviceTest, SpatialBuffersFollowTheEngineHandednessAndDistance) {
    audio::SoundBuffer* b = ToneBuffer(1, true);
    b->Play();
    audio::Buffer3D p;
    p.minDistance = 1.0f;
    p.maxDistance = 20.0f;
    auto place = [&](float x, float z) {
        p.position = {x, 0.0f, z};
        ASSERT_EQ(b->Set3DParameters(p, true), audio::Result::Ok);
        device->CommitDeferredSettings();
    };
    // At camera +x: the right side.
    place(4.0f, 0.0f);
    probe::Samples right = Render(4000);
    EXPECT_GT(probe::Rms(right, 1, 1000), 4.0 * probe::Rms(right, 0, 1000) + 0.01);
    place(-4.0f, 0.0f);
    probe::Samples left = Render(4000);
    EXPECT_GT(probe::Rms(left, 0, 1000), 4.0 * probe::Rms(left, 1, 1000) + 0.01);

    // Inverse distance beyond the minimum distance: twice as far, half as loud.
    auto level = [&](float distance) {
        place(0.0f, -distance);  // straight ahead
        probe::Samples s = Render(4000);
        return probe::Rms(s, 0, 1000) + probe::Rms(s, 1, 1000);
    };
    double at2 = level(2.0f), at4 = level(4.0f);
    EXPECT_NEAR(at4 / at2, 0.5, 0.02);
    // Beyond the maximum distance: silent.
    EXPECT_GT(level(19.0f), 0.0);
    EXPECT_EQ(level(21.0f), 0.0);
    // The listener walking up to the sound hears it again.
    audio::Listener l = device->GetListener();
    l.position = {0.0f, 0.0f, -10.0f};
    ASSERT_EQ(device->SetListener(l, false), audio::Result::Ok);
    probe::Samples near = Render(4000);
    EXPECT_GT(probe::Rms(near, 0, 1000), 0.01);

    p.position.x = NAN;
    EXPECT_EQ(b->Set3DParameters(p, false), audio::Result::InvalidParam);
    l.front = {0, 0, 0};
    EXPECT_EQ(device->SetListener(l, false), audio::Result::InvalidParam);
}

TEST_F(AudioDeviceTest, FrequencySetsThePlayingRate) {
    // A tone recorded at 11025 Hz, played on a 22050 Hz output.
    audio::SoundBuffer* low = ToneBuffer(1, false, 11025);
    low->Play();
    probe::Samples s = Render(11025);
    EXPECT_NEAR(probe::Frequency(s, 0, Rate, 2000), 1000.0, 3.0);
    EXPECT_EQ(low->SetFrequency(50), audio::Result::InvalidParam);
    EXPECT_EQ(low->GetFrequency(), 11025);
}

// Silence is not streamed: the cursors run on with the output, and sound written at the
// write cursor is heard exactly as far ahead as the write cursor was.
TEST_F(AudioDeviceTest, SilenceHoldsAndSoundComesInOnTime) {
    audio::Result r;
    auto owned = device->CreateBuffer(1, Ring, true, r);
    ASSERT_TRUE(owned);
    audio::SoundBuffer* b = owned.get();
    buffers.push_back(std::move(owned));
    b->Play();
    size_t play, write;
    b->GetCurrentPosition(play, write);
    EXPECT_EQ(play, 0u);
    EXPECT_EQ(write, 3 * audio::SoundBuffer::ChunkBytes);
    std::vector<float> out(2 * 1000);
    ASSERT_TRUE(device->RenderSamples(out.data(), 1000));
    b->GetCurrentPosition(play, write);
    EXPECT_EQ(play, 2000u);
    ASSERT_EQ(write, 4 * audio::SoundBuffer::ChunkBytes);

    void *p1, *p2;
    size_t n1, n2;
    ASSERT_EQ(b->Lock(write, 8192, p1, n1, p2, n2), audio::Result::Ok);
    auto* s = static_cast<int16_t*>(p1);
    for (size_t i = 0; i < n1 / 2; i++) s[i] = int16_t(16000.0 * std::sin(2.0 * M_PI * 1000.0 * double(i) / Rate));
    b->Unlock();
    probe::Samples heard = Render(12000);
    const size_t due = (write - play) / 2;
    EXPECT_NEAR(double(probe::FirstAbove(heard, 0.02)), double(due), 2.0);
    EXPECT_NEAR(double(probe::EndAbove(heard, 0.02)), double(due + 4096), 3.0);
    // Holding again afterwards, the position still follows the output frame by frame.
    size_t before;
    b->GetCurrentPosition(before, write);
    Render(3000);
    b->GetCurrentPosition(play, write);
    EXPECT_EQ(play, before + 6000);
    EXPECT_GT(write, play);
}

TEST_F(AudioDeviceTest, LostBuffersRefuseLocksUntilRestored) {
    audio::SoundBuffer* b = ToneBuffer(1, false);
    b->Play();
    Render(1000);
    b->SimulateLoss();
    EXPECT_TRUE(b->IsLost());
    void *p1, *p2;
    size_t n1, n2;
    EXPECT_EQ(b->Lock(0, 16, p1, n1, p2, n2), audio::Result::BufferLost);
    // Its memory is gone: once the queue has played out, silence.
    Render(4000);
    EXPECT_EQ(probe::Rms(Render(2000), 0), 0.0);
    ASSERT_EQ(b->Restore(), audio::Result::Ok);
    EXPECT_FALSE(b->IsLost());
    ASSERT_EQ(b->Lock(0, Ring, p1, n1, p2, n2), audio::Result::Ok);
    EXPECT_EQ(static_cast<int16_t*>(p1)[100], 0);
}

TEST(AudioDeviceOpen, DefaultFallsBackToTheNullOutputWhichKeepsTime) {
    audio::Result r;
    EXPECT_FALSE(audio::Device::Open(audio::Output::Loopback, 1000, r));
    EXPECT_EQ(r, audio::Result::InvalidParam);

    auto device = audio::Device::Open(audio::Output::Default, Rate, r, "no such sound card");
    ASSERT_TRUE(device) << int(r);
    EXPECT_EQ(device->GetOutput(), audio::Output::Null);
    EXPECT_EQ(device->GetRate(), Rate);
    std::vector<float> out(2);
    EXPECT_FALSE(device->RenderSamples(out.data(), 1));
    auto b = device->CreateBuffer(1, Ring, true, r);
    ASSERT_TRUE(b);
    b->Play();
    size_t before, play, write;
    const auto begun = std::chrono::steady_clock::now();
    b->GetCurrentPosition(before, write);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    b->GetCurrentPosition(play, write);
    const double passed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    // Playing advanced with the wall clock (2 bytes a frame): at least the 60 ms slept, at most
    // what passed meanwhile, however long a busy machine kept the test waiting.
    EXPECT_GE(play - before, size_t(0.055 * Rate) * 2);
    EXPECT_LE(play - before, size_t((passed + 0.001) * Rate) * 2);
    device->SetSpeakerConfig(audio::Speakers::Quad);
    EXPECT_EQ(device->GetSpeakerConfig(), audio::Speakers::Quad);
}

}  // namespace
