#pragma once
// A kernel with the kernel's, the script's and the audio folder's classes, a log that
// keeps error texts, a scratch folder for WAV files, and an audio server on the
// loopback output with a frame loop that renders what each frame plays.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "audio/nAudioPackage.h"
#include "audio/nDSoundServer2.h"
#include "audio/nSoundDesc.h"
#include "audio/nStream.h"
#include "audio/nVoiceSet.h"
#include "kernel/nEnv.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "tests/kernel/TestLog.h"
#include "platform/audio/Device.h"
#include "script/nScriptPackage.h"
#include "tests/audio/WavBytes.h"
#include "tests/platform/audio/SignalProbe.h"

class AudioTestKernel : public ::testing::Test {
protected:
    static constexpr int Rate = 22050;
    static constexpr int FrameSamples = Rate / 30;

    void SetUp() override {
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nScriptPackage(ks);
            nAudioPackage(ks);
        });
        kernel->SetLogHandler(&log);
        // The display's window id, which the server reads when it opens.
        static_cast<nEnv*>(kernel->New("nenv", "/sys/env/hwnd"))->SetI(1);
    }
    void TearDown() override {
        kernel->SetLogHandler(nullptr);
        delete kernel;
        kernel = nullptr;
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }

    bool TakeErrors() { return log.TakeErrors(); }
    std::string Write(const char* name, const wav::Bytes& bytes) {
        if (dir.empty()) {
            dir = std::filesystem::temp_directory_path() / ("bw_audio_" + std::to_string(::getpid()));
            std::filesystem::create_directories(dir);
        }
        std::string path = (dir / name).string();
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f) {
            if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return path;
    }

    // The server at "/sys/servers/audio", opened on the loopback output.
    nDSoundServer2* OpenServer(const char* mode = "") {
        audio = static_cast<nDSoundServer2*>(kernel->New("ndsoundserver2", "/sys/servers/audio"));
        audio->SetMode(mode);
        audio->SetOutput(audio::Output::Loopback);
        EXPECT_TRUE(audio->OpenAudio());
        return audio;
    }
    nStream* Stream(const char* name, const wav::Bytes& bytes, bool looping) {
        nStream* s = audio->NewStream(Write(name, bytes).c_str(), looping);
        EXPECT_NE(s, nullptr) << name;
        return s;
    }
    nSoundDesc Sound(nStream* stream, float priority = 1.0f, vector3 position = vector3(0.0f, 0.0f, -2.0f)) {
        nSoundDesc d;
        d.soundId = audio->NewSoundId();
        d.stream = stream;
        d.priority = priority;
        d.position = position;
        return d;
    }
    // One audio frame 1/30 s after the last, with the requests `sounds` makes.
    void Frame(const std::function<void()>& sounds = {}) {
        time += 1.0 / 30.0;
        audio->BeginScene(time);
        if (sounds) sounds();
        audio->EndScene();
    }
    // `frames` frames, each followed by the 1/30 s of output it leads to.
    probe::Samples Play(int frames, const std::function<void()>& sounds = {}) {
        probe::Samples out(size_t(frames) * FrameSamples * 2);
        for (int i = 0; i < frames; i++) {
            Frame(sounds);
            EXPECT_TRUE(audio->GetAudioDevice()->RenderSamples(out.data() + size_t(i) * FrameSamples * 2, FrameSamples));
        }
        return out;
    }
    nVoiceSet& Set(int kind) { return *audio->GetVoiceSet(kind); }
    int VoicesInUse(int kind) {
        int n = 0;
        for (int i = 0; i < Set(kind).GetNumVoices(); i++) n += !Set(kind).GetVoice(i).IsFree();
        return n;
    }

    nKernelServer* kernel = nullptr;
    nTestLog log;  // script errors are among the printed lines
    std::filesystem::path dir;
    nDSoundServer2* audio = nullptr;
    double time = 0.0;
};
