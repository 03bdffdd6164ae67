#include "tests/audio/SoundSceneFixture.h"

#include <cstdio>

#include "audio/nAudioPackage.h"
#include "audio/nVoiceSet.h"
#include "kernel/nEnv.h"
#include "platform/audio/Device.h"

const nClassInfo nRecordingAudio::classInfo = nClassInfo::Make<nRecordingAudio>("nrecordingaudio", "naudioserver2");

std::string nRecordingAudio::Take() {
    std::string ops;
    for (const SoundCall& c : calls) ops += (ops.empty() ? "" : " ") + c.op;
    calls.clear();
    return ops;
}

nSoundDesc nRecordingAudio::TakeOne(const char* op) {
    const nSoundDesc desc = calls.empty() ? nSoundDesc() : calls[0].desc;
    EXPECT_EQ(Take(), op);
    return desc;
}

void SoundSceneFixture::SetUp() {
    SceneFixture::SetUp();
    nAudioPackage(kernel);
    kernel->AddClass(nRecordingAudio::classInfo);
}

nRecordingAudio* SoundSceneFixture::Recorder() {
    recorder = static_cast<nRecordingAudio*>(kernel->New("nrecordingaudio", "/sys/servers/audio"));
    audio = recorder;
    return recorder;
}

nDSoundServer2* SoundSceneFixture::Loopback() {
    // The display's window id, which the server reads when it opens.
    static_cast<nEnv*>(kernel->New("nenv", "/sys/env/hwnd"))->SetI(1);
    player = static_cast<nDSoundServer2*>(kernel->New("ndsoundserver2", "/sys/servers/audio"));
    player->SetOutput(audio::Output::Loopback);
    EXPECT_TRUE(player->OpenAudio());
    audio = player;
    return player;
}

std::string SoundSceneFixture::Wav(const std::string& name, const wav::Bytes& bytes) {
    std::string path = Path(name);
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

std::string SoundSceneFixture::ToneFile(const std::string& name, double hz, double seconds) {
    return Wav(name, wav::File(1, Rate, wav::Tone(hz, Rate, seconds)));
}

nSoundNode* SoundSceneFixture::Sound(const char* path, const std::string& file) {
    auto* n = static_cast<nSoundNode*>(kernel->New("nsoundnode", path));
    n->SetFile(file.c_str());
    return n;
}

nTestVisNode* SoundSceneFixture::Place(const char* path, float x, float y, float z) {
    nTestVisNode* t = Transform(path, x, y, z);
    t->ownContext = true;
    return t;
}

void SoundSceneFixture::SetChannel(const char* name, float a, float b, float c) {
    channels->SetChannel3f(channels->GenChannel(name), a, b, c);
}

void SoundSceneFixture::SoundFrame(nVisNode* root, const std::vector<uint32_t>& contexts) {
    time += 1.0 / 30.0;
    audio->BeginScene(time);
    gfx->SetMatrix(nGfxServer::VIEWER, viewer);
    gfx->BeginScene();
    sg->BeginScene(gfx->GetMatrix(nGfxServer::INVVIEWER));
    for (uint32_t ctx : contexts) {
        sg->SetRenderContext(ctx);
        root->Attach(sg);
    }
    sg->EndScene(true);
    gfx->EndScene();
    audio->EndScene();
}

probe::Samples SoundSceneFixture::Play(nVisNode* root, int frames) {
    probe::Samples out(size_t(frames) * FrameSamples * 2);
    for (int i = 0; i < frames; i++) {
        SoundFrame(root);
        EXPECT_TRUE(player->GetAudioDevice()->RenderSamples(out.data() + size_t(i) * FrameSamples * 2, FrameSamples));
    }
    return out;
}

int SoundSceneFixture::VoicesInUse(int kind) {
    nVoiceSet* set = player->GetVoiceSet(kind);
    int n = 0;
    for (int i = 0; i < set->GetNumVoices(); i++) n += !set->GetVoice(i).IsFree();
    return n;
}
