// One audio frame of the engine (16 playing spatial voices, placed anew, streamed from
// a WAV file, plus 1/30 s of loopback output) against raw OpenAL streaming the same
// samples through 16 sources in the same chunks, placing them and rendering the same
// length. Both sides render on OpenAL Soft's loopback device at 22050 Hz.
#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "audio/nAudioPackage.h"
#include "audio/nDSoundServer2.h"
#include "audio/nStream.h"
#include "kernel/nEnv.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "platform/audio/Device.h"
#include "platform/audio/SoundBuffer.h"

namespace {

constexpr int kRate = 22050;
constexpr int kVoices = 16;
constexpr int kFrameSamples = kRate / 30;
constexpr int kSeconds = 2;

// About two seconds of a 1 kHz tone, mono, 16 bits, in whole streaming chunks.
std::vector<int16_t> ToneSamples() {
    const size_t chunkSamples = audio::SoundBuffer::ChunkBytes / 2;
    std::vector<int16_t> s(size_t(kRate) * kSeconds / chunkSamples * chunkSamples);
    for (size_t i = 0; i < s.size(); i++) s[i] = int16_t(std::lrint(12000.0 * std::sin(2.0 * M_PI * 1000.0 * double(i) / kRate)));
    return s;
}

void Put(std::vector<uint8_t>& b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) b.push_back(uint8_t(v >> (8 * i)));
}

std::string WriteToneFile() {
    std::vector<int16_t> s = ToneSamples();
    const uint32_t dataBytes = uint32_t(s.size() * 2);
    std::vector<uint8_t> b;
    for (char c : std::string("RIFF")) b.push_back(uint8_t(c));
    Put(b, 36 + dataBytes, 4);
    for (char c : std::string("WAVEfmt ")) b.push_back(uint8_t(c));
    Put(b, 16, 4);
    Put(b, 1, 2);
    Put(b, 1, 2);
    Put(b, kRate, 4);
    Put(b, kRate * 2, 4);
    Put(b, 2, 2);
    Put(b, 16, 2);
    for (char c : std::string("data")) b.push_back(uint8_t(c));
    Put(b, dataBytes, 4);
    for (int16_t v : s) Put(b, uint16_t(v), 2);
    std::string path = "/tmp/bw_bench_audio_" + std::to_string(::getpid()) + ".wav";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
    return path;
}

class nQuietLog : public nLogHandler {};

void BM_EngineAudioFrame(benchmark::State& state) {
    const std::string file = WriteToneFile();
    nQuietLog quiet;
    auto* kernel = new nKernelServer([](nKernelServer* ks) {
        nKernelPackage(ks);
        nAudioPackage(ks);
    });
    kernel->SetLogHandler(&quiet);
    static_cast<nEnv*>(kernel->New("nenv", "/sys/env/hwnd"))->SetI(1);
    auto* audio = static_cast<nDSoundServer2*>(kernel->New("ndsoundserver2", "/sys/servers/audio"));
    audio->SetOutput(audio::Output::Loopback);
    if (!audio->OpenAudio()) {
        state.SkipWithError("no loopback output");
        delete kernel;
        return;
    }
    nStream* stream = audio->NewStream(file.c_str(), true);
    std::vector<nSoundDesc> sounds(kVoices);
    for (int i = 0; i < kVoices; i++) {
        sounds[size_t(i)].soundId = audio->NewSoundId();
        sounds[size_t(i)].stream = stream;
    }
    std::vector<float> out(size_t(kFrameSamples) * 2);
    double time = 0.0;
    auto frame = [&] {
        time += 1.0 / 30.0;
        audio->BeginScene(time);
        for (int i = 0; i < kVoices; i++) {
            nSoundDesc& s = sounds[size_t(i)];
            const float a = float(time) + float(i);
            s.position = vector3(4.0f * std::cos(a), 0.0f, 4.0f * std::sin(a));
            audio->UpdateSound(s);
        }
        audio->EndScene();
        audio->GetAudioDevice()->RenderSamples(out.data(), kFrameSamples);
    };
    // The start writes half a buffer ahead for every voice; steady play is measured.
    for (int i = 0; i < 10; i++) frame();
    for (auto _ : state) {
        frame();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["voices"] = kVoices;
    stream->Release();
    delete kernel;
    std::remove(file.c_str());
}
BENCHMARK(BM_EngineAudioFrame);

void BM_RawOpenALFrame(benchmark::State& state) {
    const std::vector<int16_t> samples = ToneSamples();
    const size_t bytes = samples.size() * 2;
    auto* raw = reinterpret_cast<const uint8_t*>(samples.data());
    ALCdevice* dev = alcLoopbackOpenDeviceSOFT(nullptr);
    const ALCint attrs[] = {ALC_FREQUENCY,        kRate,          ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                            ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT, ALC_HRTF_SOFT,            ALC_FALSE,
                            0};
    ALCcontext* ctx = dev ? alcCreateContext(dev, attrs) : nullptr;
    if (!ctx) {
        state.SkipWithError("no loopback output");
        if (dev) alcCloseDevice(dev);
        return;
    }
    alcMakeContextCurrent(ctx);
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
    constexpr size_t kChunk = audio::SoundBuffer::ChunkBytes;
    constexpr int kLead = 3;  // chunks, as much as the engine's lead at this rate
    struct Voice {
        ALuint source = 0;
        ALuint buffers[kLead + 1] = {};
        std::vector<ALuint> idle;
        size_t at = 0;
    };
    std::vector<Voice> voices(kVoices);
    for (Voice& v : voices) {
        alGenSources(1, &v.source);
        alGenBuffers(kLead + 1, v.buffers);
        v.idle.assign(v.buffers, v.buffers + kLead + 1);
        alSourcef(v.source, AL_REFERENCE_DISTANCE, 5.0f);
        alSourcef(v.source, AL_MAX_DISTANCE, 50.0f);
    }
    std::vector<float> out(size_t(kFrameSamples) * 2);
    double time = 0.0;
    auto frame = [&] {
        time += 1.0 / 30.0;
        for (int i = 0; i < kVoices; i++) {
            Voice& v = voices[size_t(i)];
            ALint processed = 0;
            alGetSourcei(v.source, AL_BUFFERS_PROCESSED, &processed);
            while (processed-- > 0) {
                ALuint b;
                alSourceUnqueueBuffers(v.source, 1, &b);
                v.idle.push_back(b);
            }
            while (v.idle.size() > 1) {
                ALuint b = v.idle.back();
                v.idle.pop_back();
                // The tone loops; its length is a whole number of chunks.
                alBufferData(b, AL_FORMAT_MONO16, raw + v.at, ALsizei(kChunk), kRate);
                alSourceQueueBuffers(v.source, 1, &b);
                v.at = (v.at + kChunk) % bytes;
            }
            ALint st;
            alGetSourcei(v.source, AL_SOURCE_STATE, &st);
            if (st != AL_PLAYING) alSourcePlay(v.source);
            const float a = float(time) + float(i);
            alSource3f(v.source, AL_POSITION, 4.0f * std::cos(a), 0.0f, -4.0f * std::sin(a));
        }
        alcRenderSamplesSOFT(dev, out.data(), kFrameSamples);
    };
    for (int i = 0; i < 10; i++) frame();
    for (auto _ : state) {
        frame();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["voices"] = kVoices;
    for (Voice& v : voices) {
        alSourceStop(v.source);
        alSourcei(v.source, AL_BUFFER, 0);
        alDeleteSources(1, &v.source);
        alDeleteBuffers(kLead + 1, v.buffers);
    }
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(ctx);
    alcCloseDevice(dev);
}
BENCHMARK(BM_RawOpenALFrame);

}  // namespace
