// The video layer on videos the test encodes: what a file says about itself, frames in
// order and by number, conversions into the display's layouts, the sound track, the
// pacing clock, and files that are no video.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/system/Clock.h"
#include "platform/video/Decoder.h"
#include "platform/video/Pacer.h"
#include "tests/video/TestVideo.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace {

using testvideo::FrameColor;

// 0xRRGGBB within `tol` in every channel.
::testing::AssertionResult Near(uint32_t got, uint32_t want, int tol) {
    for (int s = 0; s < 24; s += 8) {
        if (std::abs(int((got >> s) & 0xFF) - int((want >> s) & 0xFF)) > tol) {
            char text[64];
            std::snprintf(text, sizeof(text), "got 0x%06X, want 0x%06X", got, want);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}

uint32_t From565(uint16_t v) {
    const uint32_t r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
    return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

class DecoderTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }
    std::string Path(const std::string& name) {
        if (dir.empty()) {
            dir = std::filesystem::temp_directory_path() / ("bw_videodecode_" + std::to_string(::getpid()));
            std::filesystem::create_directories(dir);
        }
        return (dir / name).string();
    }
    std::vector<uint8_t> Bytes(const testvideo::Clip& clip, const char* name) {
        std::string error;
        EXPECT_TRUE(testvideo::Write(Path(name), clip, &error)) << error;
        std::ifstream in(Path(name), std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::unique_ptr<video::Decoder> Open(const std::vector<uint8_t>& bytes, std::string* why = nullptr) {
        std::string error;
        auto d = video::Decoder::Open(std::make_unique<video::MemorySource>(bytes.data(), bytes.size()), error);
        if (why) *why = error;
        return d;
    }
    // The 32-bit colour of pixel (x, y) of the current frame.
    static uint32_t Pixel(video::Decoder& d, int x, int y) {
        uint32_t v = 0;
        EXPECT_TRUE(d.CopyTo(video::Layout::BGRX32, x, y, 1, 1, reinterpret_cast<uint8_t*>(&v), 4));
        return v & 0xFFFFFF;
    }
    std::filesystem::path dir;
};

TEST_F(DecoderTest, FramesComeInOrderWrapAndComeByNumber) {
    testvideo::Clip clip;  // FFV1 in NUT: lossless, and the container counts no frames
    clip.pixelFormat = AV_PIX_FMT_BGR0;
    clip.frames = 60;
    clip.rateNum = 30000;
    clip.rateDen = 1001;
    auto d = Open(Bytes(clip, "a.nut"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Width(), 64);
    EXPECT_EQ(d->Height(), 48);
    EXPECT_EQ(d->FrameRate().num, 30000);
    EXPECT_EQ(d->FrameRate().den, 1001);
    EXPECT_EQ(d->FrameCount(), 60);
    EXPECT_EQ(d->CurrentFrame(), -1);
    bool wrapped = true;
    for (int k = 0; k < 60; ++k) {
        ASSERT_TRUE(d->NextFrame(&wrapped));
        EXPECT_FALSE(wrapped);
        EXPECT_EQ(d->CurrentFrame(), k);
        ASSERT_EQ(Pixel(*d, 10, 10), FrameColor(k)) << "frame " << k;
    }
    ASSERT_TRUE(d->NextFrame(&wrapped));
    EXPECT_TRUE(wrapped);
    EXPECT_EQ(d->CurrentFrame(), 0);
    EXPECT_EQ(Pixel(*d, 0, 0), FrameColor(0));
    // Backwards, far ahead, a little ahead, and past the end (the last frame).
    for (int n : {40, 7, 59, 13, 15, 2, 200}) {
        ASSERT_TRUE(d->SeekFrame(n)) << n;
        const int want = n > 59 ? 59 : n;
        EXPECT_EQ(d->CurrentFrame(), want);
        EXPECT_EQ(Pixel(*d, 63, 47), FrameColor(want)) << "frame " << n;
    }
}

TEST_F(DecoderTest, ConversionsKeepThePictureUprightInEveryLayout) {
    struct Case {
        const char* container;
        const char* codec;
        int format;
        int tolerance;
    };
    const Case cases[] = {
        {"nut", "ffv1", AV_PIX_FMT_BGR0, 0},
        {"avi", "rawvideo", AV_PIX_FMT_BGR24, 0},
        {"avi", "rawvideo", AV_PIX_FMT_PAL8, 0},
        {"avi", "msvideo1", AV_PIX_FMT_RGB555LE, 8},
        {"nut", "mpeg4", AV_PIX_FMT_YUV420P, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.container) + " " + c.codec);
        testvideo::Clip clip;
        clip.container = c.container;
        clip.codec = c.codec;
        clip.pixelFormat = c.format;
        clip.frames = 3;
        clip.bands = true;
        auto d = Open(Bytes(clip, (std::string("b.") + c.container).c_str()));
        ASSERT_NE(d, nullptr);
        ASSERT_TRUE(d->SeekFrame(2));
        // 32 bits with a clipped part: the top band above, the bottom band below.
        std::vector<uint32_t> part(20 * 30, 0);
        ASSERT_TRUE(d->CopyTo(video::Layout::BGRX32, 40, 10, 20, 30, reinterpret_cast<uint8_t*>(part.data()), 80));
        EXPECT_TRUE(Near(part[0] & 0xFFFFFF, FrameColor(2), c.tolerance));
        EXPECT_TRUE(Near(part[29 * 20 + 19] & 0xFFFFFF, testvideo::BandColor(2), c.tolerance));
        // 5-6-5 of the whole frame at a wider pitch.
        std::vector<uint16_t> wide(100 * 48, 0);
        ASSERT_TRUE(d->CopyTo(video::Layout::RGB565, 0, 0, 64, 48, reinterpret_cast<uint8_t*>(wide.data()), 200));
        EXPECT_TRUE(Near(From565(wide[5 * 100 + 5]), FrameColor(2), c.tolerance + 12));
        EXPECT_TRUE(Near(From565(wide[40 * 100 + 60]), testvideo::BandColor(2), c.tolerance + 12));
        EXPECT_EQ(wide[5 * 100 + 64], 0) << "written past the row";
        // The picture for a copy of one's own: palette frames stay 8-bit.
        video::Picture pic;
        ASSERT_TRUE(d->GetPicture(pic));
        EXPECT_EQ(pic.bitsPerPixel, c.format == AV_PIX_FMT_PAL8 ? 8 : 24);
        const uint8_t* top = pic.pixels + 3 * std::ptrdiff_t(pic.pitch);
        const uint8_t* bottom = pic.pixels + 44 * std::ptrdiff_t(pic.pitch);
        auto rgb = [&](const uint8_t* row) {
            if (pic.bitsPerPixel == 8) return pic.palette[row[0]] & 0xFFFFFFu;
            return uint32_t(row[2]) << 16 | uint32_t(row[1]) << 8 | row[0];
        };
        EXPECT_TRUE(Near(rgb(top), FrameColor(2), c.tolerance));
        EXPECT_TRUE(Near(rgb(bottom), testvideo::BandColor(2), c.tolerance));
        // A part outside the frame is refused.
        EXPECT_FALSE(d->CopyTo(video::Layout::BGRX32, 50, 0, 20, 1, reinterpret_cast<uint8_t*>(part.data()), 80));
    }
}

TEST_F(DecoderTest, TheSoundTrackDecodesToSixteenBitsAtTheAskedRate) {
    testvideo::Clip clip;
    clip.frames = 25;
    clip.toneHz = 441;
    auto d = Open(Bytes(clip, "tone.nut"));
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(d->HasAudio());
    ASSERT_TRUE(d->SetAudioOutput(44100, 2));
    std::vector<int16_t> s(2 * 44100);
    const int got = d->ReadAudio(s.data(), 44100);
    // One second of video carries about a second of tone; both sides alike.
    EXPECT_GT(got, 43000);
    EXPECT_LE(got, 44100);
    int crossings = 0, peak = 0;
    for (int i = 1; i < got; ++i) {
        if (s[2 * (i - 1)] < 0 && s[2 * i] >= 0) crossings++;
        peak = std::max(peak, std::abs(int(s[2 * i])));
        ASSERT_EQ(s[2 * i], s[2 * i + 1]);
    }
    EXPECT_NEAR(crossings, 441 * got / 44100, 3);
    EXPECT_GT(peak, 10000);
    // Video frames still come, in order, after the sound read ahead.
    for (int k = 0; k < 25; ++k) {
        ASSERT_TRUE(d->NextFrame());
        ASSERT_EQ(Pixel(*d, 1, 1), FrameColor(k));
    }
    // A video without sound says so.
    clip.toneHz = 0;
    auto silent = Open(Bytes(clip, "silent.nut"));
    ASSERT_NE(silent, nullptr);
    EXPECT_FALSE(silent->HasAudio());
    EXPECT_FALSE(silent->SetAudioOutput(44100, 2));
    // Rates past any sound card's are refused before the resampler is built.
    EXPECT_FALSE(d->SetAudioOutput(video::Decoder::MaxSampleRate + 1, 2));
}

TEST_F(DecoderTest, WhatIsNoPlayableVideoIsRefusedWithAReason) {
    testvideo::Clip clip;
    clip.frames = 4;
    const std::vector<uint8_t> good = Bytes(clip, "good.nut");
    std::vector<uint8_t> bink = {'B', 'I', 'K', 'i'};
    for (int i = 0; i < 400; ++i) bink.push_back(uint8_t(i * 7 + 3));
    std::vector<uint8_t> bink2 = bink;
    bink2[0] = 'K', bink2[1] = 'B', bink2[2] = '2', bink2[3] = 'a';
    // An AVI whose frames are in a format no decoder here knows.
    clip.container = "avi";
    clip.codec = "rawvideo";
    std::vector<uint8_t> unknown = Bytes(clip, "unknown.avi");
    for (size_t at = 0; at + 4 <= unknown.size(); ++at) {
        if (std::memcmp(&unknown[at], "strf", 4) == 0) std::memcpy(&unknown[at + 8 + 16], "ZQX9", 4);
        if (std::memcmp(&unknown[at], "vids", 4) == 0) std::memcpy(&unknown[at + 4], "ZQX9", 4);
    }
    // An AVI that gives its frames no rate.
    std::vector<uint8_t> still = Bytes(clip, "still.avi");
    for (size_t at = 0; at + 4 <= still.size(); ++at) {
        if (std::memcmp(&still[at], "avih", 4) == 0) std::memset(&still[at + 8], 0, 4);
        if (std::memcmp(&still[at], "strh", 4) == 0) std::memset(&still[at + 8 + 20], 0, 8);
    }
    // libavformat may make up a rate of its own; a rate of 0 never comes through.
    if (auto d = Open(still)) {
        EXPECT_GT(d->FrameRate().num, 0);
        EXPECT_GT(d->FrameRate().den, 0);
    }
    const std::vector<std::vector<uint8_t>> bad = {
        unknown,
        {},
        std::vector<uint8_t>(good.begin(), good.begin() + std::ptrdiff_t(good.size() / 8)),
        std::vector<uint8_t>(1000, 0x55),
        {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'},
        bink,
        bink2,
    };
    for (size_t i = 0; i < bad.size(); ++i) {
        std::string why;
        EXPECT_EQ(Open(bad[i], &why), nullptr) << "case " << i;
        EXPECT_FALSE(why.empty()) << "case " << i;
    }
}

class StepClock : public sys::Clock {
public:
    int64_t Ticks() override { return ms; }
    int64_t Frequency() override { return 1000; }
    void Sleep(int m) override {
        ms += m;
        sleeps++;
    }
    int64_t ms = 1000;
    int sleeps = 0;
};

TEST_F(DecoderTest, PacerHoldsFramesToTheRateBySoundOrWallClock) {
    StepClock clock;
    video::Pacer pacer(&clock, video::Rate{25, 1});
    EXPECT_FALSE(pacer.Wait(-1.0));  // nothing shown yet
    pacer.FrameShown();
    while (pacer.Wait(-1.0)) pacer.Service();
    EXPECT_EQ(clock.ms, 1040);
    // A slow frame waits for nothing.
    pacer.FrameShown();
    clock.ms += 50;
    EXPECT_FALSE(pacer.Wait(-1.0));
    // Behind by more than a quarter second: the schedule starts over from the next frame.
    clock.ms += 1000;
    pacer.FrameShown();
    const int before = clock.sleeps;
    while (pacer.Wait(-1.0)) pacer.Service();
    EXPECT_EQ(clock.sleeps - before, 40);
    // The sound's clock leads while it runs: 3 frames shown, due at 0.12 s of sound.
    video::Pacer bySound(&clock, video::Rate{25, 1});
    for (int i = 0; i < 3; ++i) bySound.FrameShown();
    EXPECT_TRUE(bySound.Wait(0.10));
    EXPECT_FALSE(bySound.Wait(0.12));
    // A sound clock that stands still holds the frame one period at most.
    int waits = 0;
    while (bySound.Wait(0.0)) {
        bySound.Service();
        waits++;
    }
    EXPECT_EQ(waits, 40);
}

}  // namespace
