#include "audio/nAudioServer2.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "audio/nStream.h"
#include "kernel/nKernelServer.h"
#include "kernel/nFileServer2.h"

static const nCmdDef<nAudioServer2> audioCmds[] = {
    Bind<&nAudioServer2::SetMode>("v_setmode_s", "SMOD"),
    Bind<&nAudioServer2::GetMode>("s_getmode_v", "GMOD"),
    Bind<&nAudioServer2::SetMasterVolume>("v_setmastervolume_f", "SMVS"),
    Bind<&nAudioServer2::GetMasterVolume>("f_getmastervolume_v", "GMVS"),
    Bind<&nAudioServer2::OpenAudio>("b_openaudio_v", "OPAD"),
    Bind<&nAudioServer2::CloseAudio>("v_closeaudio_v", "CLAD"),
    Bind<&nAudioServer2::FlushAudio>("v_flushaudio_ff", "FLAD"),
    Bind<&nAudioServer2::MuteAudio>("v_muteaudio_b", "MUAD"),
};
const nClassInfo nAudioServer2::classInfo = nClassInfo::Make<nAudioServer2>("naudioserver2", "nroot", audioCmds);

namespace {

constexpr size_t MaxModeText = 511;
constexpr size_t MaxValueText = 31;

// The value of the first "key(value)" item of `mode` with this key; false when none.
bool findItem(const std::string& mode, const char* key, std::string& value) {
    size_t begin = 0;
    while (begin <= mode.size()) {
        size_t end = mode.find('-', begin);
        if (end == std::string::npos) end = mode.size();
        std::string item = mode.substr(begin, end - begin);
        size_t open = item.find('(');
        size_t close = item.find(')', open == std::string::npos ? 0 : open);
        if (open != std::string::npos && close != std::string::npos && item.compare(0, open, key) == 0 &&
            std::strlen(key) == open) {
            value = item.substr(open + 1, close - open - 1).substr(0, MaxValueText);
            return true;
        }
        begin = end + 1;
    }
    return false;
}

bool parseInt(const std::string& text, int& out) {
    if (text.empty() || text.size() > 9) return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end) return false;
    out = int(v);
    return true;
}

}  // namespace

nAudioServer2::nAudioServer2() {
    GetStreamRoot();
}

nAudioServer2::~nAudioServer2() {
    nRoot* root = refStreamRoot.GetUnsafe();
    refStreamRoot.Set(nullptr);
    if (root) root->Release();
}

nRoot* nAudioServer2::GetStreamRoot() {
    if (nRoot* root = refStreamRoot.GetUnsafe()) return root;
    nKernelServer* ks = nKernelServer::ks;
    // Found already (another server made it): take a reference of our own, so that our
    // release leaves it to its other owners.
    nRoot* root = ks->Lookup("/sys/share/audio");
    if (root) root->AddRef();
    else root = ks->New("nroot", "/sys/share/audio");
    refStreamRoot.Set(root);
    return root;
}

void nAudioServer2::SetMode(const char* mode) {
    device = 0;
    bitsPerSample = 16;
    sampleRate = 22050;
    numChannels = 16;
    speakerMode = Stereo;
    std::string text = mode ? mode : "";
    if (text.size() > MaxModeText) text.resize(MaxModeText);

    struct {
        const char* key;
        int* field;
    } numbers[] = {{"dev", &device}, {"bps", &bitsPerSample}, {"hz", &sampleRate}, {"chn", &numChannels}};
    for (auto& n : numbers) {
        std::string value;
        if (!findItem(text, n.key, value)) continue;
        if (!parseInt(value, *n.field)) {
            n_error("nAudioServer2::SetMode(): cannot read '%s(%s)' in '%s'\n", n.key, value.c_str(), text.c_str());
        }
    }
    if (numChannels < 0 || numChannels > MaxVoices) {
        n_error("nAudioServer2::SetMode(): chn(%d) is not within 0..%d\n", numChannels, MaxVoices);
        numChannels = numChannels < 0 ? 0 : MaxVoices;
    }
    std::string value;
    if (findItem(text, "speakers", value)) {
        static const char* const words[] = {"5.1", "head", "mono", "quad", "stereo", "surround"};
        for (int i = 0; i < 6; i++) {
            if (value == words[i]) speakerMode = i;
        }
    }
}

const char* nAudioServer2::GetMode() {
    return nullptr;
}

void nAudioServer2::SetMasterVolume(float volume) {
    masterVolume = volume;
}

float nAudioServer2::GetMasterVolume() {
    return masterVolume;
}

bool nAudioServer2::OpenAudio() {
    isOpen = true;
    return true;
}

void nAudioServer2::CloseAudio() {
    isOpen = false;
}

int nAudioServer2::NewSoundId() {
    return ++soundIdCounter;
}

void nAudioServer2::BeginScene(double time) {
    inScene = true;
    curTime = time;
    if (fading && time < fadeStart) fadeStart = time;
}

void nAudioServer2::SetListener(const matrix44& matrix, const vector3& velocity, float doppler, float rolloff) {
    listenerMatrix = matrix;
    listenerVelocity = velocity;
    dopplerFactor = doppler;
    rolloffFactor = rolloff;
}

void nAudioServer2::StartSound(const nSoundDesc&) {}

void nAudioServer2::UpdateSound(const nSoundDesc&) {}

void nAudioServer2::StopSound(const nSoundDesc&) {}

void nAudioServer2::EndScene() {
    inScene = false;
}

void nAudioServer2::FlushAudio(float fadeOut, float fadeIn) {
    fadeStart = curTime;
    fading = true;
    fadedOut = false;
    fadeOutEnd = curTime + fadeOut;
    fadeInEnd = fadeOutEnd + fadeIn;
}

void nAudioServer2::MuteAudio(bool mute) {
    muteGain = mute ? 0.0f : 1.0f;
}

std::string nAudioServer2::MakeStreamName(const char* fileName) {
    std::string name = fileName ? fileName : "";
    for (char& c : name) {
        if (c == '.' || c == '/' || c == '\\' || c == ':') c = '_';
    }
    return name;
}

nStream* nAudioServer2::NewStream(const char* fileName, bool looping) {
    if (!fileName) return nullptr;
    const bool wav = std::strstr(fileName, ".wav") != nullptr;
    if (!wav) {
        if (std::strstr(fileName, ".ogg")) n_error("nAudioServer2::NewStream(): '%s': Ogg Vorbis is not supported\n", fileName);
        return nullptr;
    }
    // Every spelling of one file shares one stream.
    const std::string name = MakeStreamName(nFileServer2::Share(fileName).c_str());
    nRoot* root = GetStreamRoot();
    if (nRoot* found = root->Find(name.c_str())) {
        if (!found->IsA(nStream::classInfo.name)) {
            n_error("nAudioServer2::NewStream(): '%s' is taken by an object that is no stream\n",
                    found->GetFullName().c_str());
            return nullptr;
        }
        found->AddRef();
        return static_cast<nStream*>(found);
    }
    const std::string path = root->GetFullName() + "/" + name;
    auto* stream = static_cast<nStream*>(nKernelServer::ks->NewNoFail("nwavstream", path.c_str()));
    if (!stream) {
        n_error("nAudioServer2::NewStream(): cannot make '%s'\n", path.c_str());
        return nullptr;
    }
    if (!stream->Open(fileName, looping)) {
        stream->Release();
        return nullptr;
    }
    return stream;
}
