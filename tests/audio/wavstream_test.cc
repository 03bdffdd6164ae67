// WAV streams: what opens, what is refused, and how reads loop, end and crossfade.
#include <cstring>

#include "audio/nWavStream.h"
#include "tests/audio/AudioTestKernel.h"

namespace {

class WavStreamTest : public AudioTestKernel {
protected:
    nWavStream* Open(const char* name, const wav::Bytes& bytes, bool looping) {
        stream = static_cast<nWavStream*>(kernel->New("nwavstream", "/sys/share/audio/test"));
        opened = stream->Open(Write(name, bytes).c_str(), looping);
        return stream;
    }
    std::vector<int16_t> Read(int samples, int16_t fill = 0) {
        std::vector<int16_t> out(size_t(samples), fill);
        lastRead = stream->Read(out.data(), samples * 2);
        return out;
    }
    // Samples 1, 2, 3, ...: a gap or a repeat shows at once.
    static std::vector<int16_t> Ramp(int n) {
        std::vector<int16_t> s;
        for (int i = 1; i <= n; i++) s.push_back(int16_t(i));
        return s;
    }
    nWavStream* stream = nullptr;
    bool opened = false;
    int lastRead = 0;
};

TEST_F(WavStreamTest, OpensMonoWithChunksBeforeTheData) {
    // An odd-sized "LIST" chunk (with its pad byte) and a longer "fmt " chunk.
    wav::Bytes fmt = wav::Fmt(1, 11025, 16);
    fmt.push_back(0);
    fmt.push_back(0);
    Open("list.wav",
         wav::Riff({wav::Chunk("fmt ", fmt), wav::Chunk("LIST", {'I', 'N', 'F', 'O', 'x'}),
                    wav::Chunk("data", wav::Samples(Ramp(100)))}),
         false);
    ASSERT_TRUE(opened);
    EXPECT_FALSE(TakeErrors());
    EXPECT_EQ(stream->GetKind(), 1);
    EXPECT_EQ(stream->GetSampleRate(), 11025);
    EXPECT_EQ(stream->GetDataSize(), 200);
    EXPECT_EQ(Read(3), (std::vector<int16_t>{1, 2, 3}));

    Open("stereo.wav", wav::File(2, 44100, Ramp(8)), true);
    ASSERT_TRUE(opened);
    EXPECT_EQ(stream->GetKind(), 2);
    EXPECT_EQ(stream->GetSampleRate(), 44100);
    // An extensible header describing 16-bit PCM opens too.
    Open("ext.wav",
         wav::Riff({wav::Chunk("fmt ", wav::Fmt(1, 22050, 16, 0xFFFE)), wav::Chunk("data", wav::Samples(Ramp(4)))}),
         false);
    EXPECT_TRUE(opened);
}

TEST_F(WavStreamTest, RefusesMalformedFilesAndLeavesNothingBehind) {
    const wav::Bytes fmt = wav::Chunk("fmt ", wav::Fmt(1, 22050, 16));
    const wav::Bytes data = wav::Chunk("data", wav::Samples(Ramp(50)));
    wav::Bytes truncated = wav::Riff({fmt, data});
    truncated.resize(truncated.size() - 10);
    const struct {
        const char* name;
        wav::Bytes bytes;
    } bad[] = {
        {"riff.wav", wav::Riff({fmt, data}, "AVI ")},
        {"fmtlate.wav", wav::Riff({wav::Chunk("LIST", {1, 2}), fmt, data})},
        {"8bit.wav", wav::Riff({wav::Chunk("fmt ", wav::Fmt(1, 22050, 8)), data})},
        {"3chn.wav", wav::Riff({wav::Chunk("fmt ", wav::Fmt(3, 22050, 16)), data})},
        {"0chn.wav", wav::Riff({wav::Chunk("fmt ", wav::Fmt(0, 22050, 16)), data})},
        {"0hz.wav", wav::Riff({wav::Chunk("fmt ", wav::Fmt(1, 0, 16)), data})},
        {"shortfmt.wav", wav::Riff({wav::Chunk("fmt ", {1, 0, 1, 0}), data})},
        {"nodata.wav", wav::Riff({fmt, wav::Chunk("LIST", {1, 2, 3})})},
        {"datapast.wav", wav::Riff({fmt, wav::Chunk("data", wav::Samples(Ramp(50)), 1000)})},
        {"chunkpast.wav", wav::Riff({fmt, wav::Chunk("LIST", {1, 2}, 0x7ffffff0), data})},
        {"empty.wav", wav::Riff({fmt, wav::Chunk("data", {})})},
        {"onebyte.wav", wav::Riff({fmt, wav::Chunk("data", {7})})},
        {"truncated.wav", truncated},
        {"header.wav", wav::Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A'}},
        {"nothing.wav", wav::Bytes{}},
    };
    OpenServer();
    for (const auto& b : bad) {
        SCOPED_TRACE(b.name);
        EXPECT_EQ(audio->NewStream(Write(b.name, b.bytes).c_str(), false), nullptr);
        ASSERT_EQ(log.errors.size(), 1u);
        EXPECT_NE(log.errors[0].find(b.name), std::string::npos) << log.errors[0];
        log.errors.clear();
        EXPECT_EQ(kernel->Lookup("/sys/share/audio")->GetHead(), nullptr);
    }
    EXPECT_EQ(audio->NewStream((dir / "missing.wav").string().c_str(), true), nullptr);
    EXPECT_TRUE(TakeErrors());
}

TEST_F(WavStreamTest, LoopingReadsWrapWithoutAGap) {
    Open("loop.wav", wav::File(1, 22050, Ramp(10)), true);
    ASSERT_TRUE(opened);
    EXPECT_EQ(Read(7), (std::vector<int16_t>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(Read(25), (std::vector<int16_t>{8, 9, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
                                              1, 2}));
    EXPECT_EQ(lastRead, 50);
    EXPECT_EQ(stream->Tell(), 4);
    // Exactly at the end a looping stream tells 0: the next read starts over.
    stream->Seek(20);
    EXPECT_EQ(stream->Tell(), 0);
    EXPECT_FALSE(stream->IsEndReached());
    EXPECT_EQ(Read(2), (std::vector<int16_t>{1, 2}));
}

TEST_F(WavStreamTest, OneShotReadsEndInSilence) {
    Open("once.wav", wav::File(1, 22050, Ramp(10)), false);
    ASSERT_TRUE(opened);
    stream->Seek(12);
    EXPECT_EQ(Read(8, 99), (std::vector<int16_t>{7, 8, 9, 10, 0, 0, 0, 0}));
    EXPECT_EQ(lastRead, 8);
    EXPECT_TRUE(stream->IsEndReached());
    EXPECT_EQ(stream->Tell(), 20);
    EXPECT_EQ(Read(3, 99), (std::vector<int16_t>{0, 0, 0}));
    EXPECT_EQ(lastRead, 0);
    // A voice that seeks back plays it again.
    stream->Seek(0);
    EXPECT_FALSE(stream->IsEndReached());
    EXPECT_EQ(Read(2), (std::vector<int16_t>{1, 2}));
    // Positions beyond the data are the end.
    stream->Seek(1000);
    EXPECT_TRUE(stream->IsEndReached());
}

TEST_F(WavStreamTest, CrossfadeMovesFromTheOldSamplesToTheNew) {
    std::vector<int16_t> loud(400, -12000);
    Open("fade.wav", wav::File(1, 22050, loud), false);
    ASSERT_TRUE(opened);
    // What the buffer held: a steady +12000, rewritten in two parts (a wrap).
    std::vector<int16_t> buf(300, 12000);
    stream->BeginCrossfade();
    EXPECT_EQ(stream->Read(buf.data(), 200), 200);
    EXPECT_EQ(stream->Read(buf.data() + 100, 400), 400);
    stream->EndCrossfade();
    EXPECT_EQ(buf[0], 12000);
    for (int i = 1; i < 300; i++) {
        SCOPED_TRACE(i);
        ASSERT_LE(buf[i], buf[i - 1]);
        // No jump: a half-cosine over 256 samples moves at most pi/512 of the swing.
        ASSERT_LE(buf[i - 1] - buf[i], 24000 * 3.1416 / 512 + 1);
    }
    EXPECT_GT(buf[254], -12000);
    EXPECT_EQ(buf[256], -12000);
    EXPECT_EQ(buf[299], -12000);
    // Without a crossfade the new data is written as it is.
    std::vector<int16_t> plain(2, 5);
    stream->Seek(0);
    stream->Read(plain.data(), 4);
    EXPECT_EQ(plain, (std::vector<int16_t>{-12000, -12000}));
}

}  // namespace
