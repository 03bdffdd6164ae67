#include "audio/nDSoundServer2.h"

#include <algorithm>
#include <cmath>

#include "audio/nStream.h"
#include "audio/nVoiceSet.h"
#include "kernel/nEnv.h"
#include "kernel/nKernelServer.h"
#include "platform/audio/Device.h"

const nClassInfo nDSoundServer2::classInfo = nClassInfo::Make<nDSoundServer2>("ndsoundserver2", "naudioserver2");

nDSoundServer2::nDSoundServer2() : refHwnd("/sys/env/hwnd") {}

nDSoundServer2::~nDSoundServer2() {
    CloseAudio();
}

const char* nDSoundServer2::ErrorName(audio::Result result) {
    using audio::Result;
    switch (result) {
        case Result::Allocated: return "DSERR_ALLOCATED";
        case Result::ControlUnavail: return "DSERR_CONTROLUNAVAIL";
        case Result::InvalidParam: return "DSERR_INVALIDPARAM";
        case Result::InvalidCall: return "DSERR_INVALIDCALL";
        case Result::Generic: return "DSERR_GENERIC";
        case Result::PrioLevelNeeded: return "DSERR_PRIOLEVELNEEDED";
        case Result::OutOfMemory: return "DSERR_OUTOFMEMORY";
        case Result::BadFormat: return "DSERR_BADFORMAT";
        case Result::Unsupported: return "DSERR_UNSUPPORTED";
        case Result::NoDriver: return "DSERR_NODRIVER";
        case Result::AlreadyInitialized: return "DSERR_ALREADYINITIALIZED";
        case Result::NoAggregation: return "DSERR_NOAGGREGATION";
        case Result::BufferLost: return "DSERR_BUFFERLOST";
        case Result::OtherAppHasPrio: return "DSERR_OTHERAPPHASPRIO";
        case Result::Uninitialized: return "DSERR_UNINITIALIZED";
        case Result::NoInterface: return "DSERR_NOINTERFACE";
        case Result::AccessDenied: return "DSERR_ACCESSDENIED";
        case Result::NoVirtualization: return "DS_NO_VIRTUALIZATION";
        default: return "<UNKNOWN ERROR>";
    }
}

void nDSoundServer2::SetMasterVolume(float volume) {
    if (isOpen) nAudioServer2::SetMasterVolume(volume);
}

void nDSoundServer2::MuteAudio(bool mute) {
    if (isOpen) nAudioServer2::MuteAudio(mute);
}

bool nDSoundServer2::OpenAudio() {
    if (isOpen) return true;
    // The window only matters to the bookkeeping: OpenAL plays without one, so audio
    // opened before the display is no reason to stop.
    nRoot* hwnd = refHwnd.Resolve();
    const int windowId = hwnd && hwnd->IsA("nenv") ? static_cast<nEnv*>(hwnd)->GetI() : 0;
    audio::Result result = audio::Result::Ok;
    device = audio::Device::Open(output, sampleRate, result);
    if (!device) {
        n_error("nDSoundServer2::OpenAudio(): no sound output at %d Hz: %s\n", sampleRate, ErrorName(result));
        CloseAudio();
        return false;
    }
    if (output == audio::Output::Default && device->GetOutput() == audio::Output::Null) {
        n_printf("nDSoundServer2::OpenAudio(): no sound card answered; playing into the null output\n");
    }
    device->SetCooperativeLevel(windowId);
    static const audio::Speakers speakers[] = {audio::Speakers::FivePointOne, audio::Speakers::Headphone,
                                               audio::Speakers::Mono,         audio::Speakers::Quad,
                                               audio::Speakers::Stereo,       audio::Speakers::Surround};
    device->SetSpeakerConfig(speakerMode >= 0 && speakerMode < 6 ? speakers[speakerMode] : audio::Speakers::Stereo);
    if (speakerMode != Stereo) {
        static const char* const words[] = {"5.1", "head", "mono", "quad", "stereo", "surround"};
        n_printf("nDSoundServer2::OpenAudio(): speakers(%s) kept; the output keeps its own channel layout\n",
                 words[speakerMode]);
    }
    if (bitsPerSample != 16) {
        n_printf("nDSoundServer2::OpenAudio(): bps(%d) kept; voices play 16-bit samples\n", bitsPerSample);
    }
    spatialSet.reset(new nVoiceSet(*device, nVoiceSet::Spatial, numChannels));
    stereoSet.reset(new nVoiceSet(*device, nVoiceSet::Stereo, NumStereoVoices));
    fadeGain = 1.0f;
    return nAudioServer2::OpenAudio();
}

void nDSoundServer2::CloseAudio() {
    // The voices' buffers go before the output they play into.
    spatialSet.reset();
    stereoSet.reset();
    device.reset();
    nAudioServer2::CloseAudio();
}

nVoiceSet* nDSoundServer2::GetVoiceSet(int kind) const {
    return kind == nVoiceSet::Spatial ? spatialSet.get() : kind == nVoiceSet::Stereo ? stereoSet.get() : nullptr;
}

nVoiceSet* nDSoundServer2::SetFor(const nSoundDesc& desc) const {
    if (!isOpen || !desc.stream) return nullptr;
    return GetVoiceSet(desc.stream->GetKind());
}

void nDSoundServer2::BeginScene(double time) {
    nAudioServer2::BeginScene(time);
    if (!isOpen) return;
    spatialSet->BeginRequests();
    stereoSet->BeginRequests();
}

void nDSoundServer2::StartSound(const nSoundDesc& desc) {
    if (nVoiceSet* set = SetFor(desc)) set->AddRequest(desc, nSoundDesc::Start);
}

void nDSoundServer2::UpdateSound(const nSoundDesc& desc) {
    nVoiceSet* set = SetFor(desc);
    if (!set) return;
    if (set->IsPlaying(desc.soundId)) set->AddRequest(desc, nSoundDesc::Update);
    // A looping sound that lost its voice asks again.
    else if (desc.stream->IsLooping()) set->AddRequest(desc, nSoundDesc::Start);
}

void nDSoundServer2::StopSound(const nSoundDesc& desc) {
    if (nVoiceSet* set = SetFor(desc)) set->StopSound(desc.soundId);
}

void nDSoundServer2::StopAllVoices() {
    if (spatialSet) spatialSet->StopAll();
    if (stereoSet) stereoSet->StopAll();
}

void nDSoundServer2::FlushAudio(float fadeOut, float fadeIn) {
    if (fadeOut < 0.01f && fadeIn < 0.01f) {
        StopAllVoices();
        fading = false;
        fadeGain = 1.0f;
    } else {
        nAudioServer2::FlushAudio(fadeOut, fadeIn);
    }
}

void nDSoundServer2::EndScene() {
    if (!isOpen) {
        nAudioServer2::EndScene();
        return;
    }
    if (fading) {
        const double now = curTime;
        if (now < fadeOutEnd) {
            const double span = fadeOutEnd - fadeStart;
            fadeGain = span > 0.0 ? float(std::sqrt(std::max(0.0, (fadeOutEnd - now) / span))) : 0.0f;
        } else if (!fadedOut) {
            muteGain = 1.0f;
            StopAllVoices();
            fadeGain = 0.0f;
            fadedOut = true;
        } else if (now < fadeInEnd) {
            fadeGain = float(std::sqrt(std::max(0.0, 1.0 - (fadeInEnd - now) / (fadeInEnd - fadeOutEnd))));
        } else {
            fadeGain = 1.0f;
            fading = false;
        }
    }
    const float gain = muteGain * masterVolume * fadeGain;
    spatialSet->SetGain(gain);
    stereoSet->SetGain(gain);

    const float(*m)[4] = listenerMatrix.m;
    const vector3 position(m[3][0], m[3][1], m[3][2]);
    spatialSet->Update(position, listenerVelocity);
    stereoSet->Update(position, listenerVelocity);

    audio::Listener l;
    l.position = {position.x, position.y, position.z};
    l.velocity = {listenerVelocity.x, listenerVelocity.y, listenerVelocity.z};
    l.front = {-m[2][0], -m[2][1], -m[2][2]};
    l.top = {-m[1][0], -m[1][1], -m[1][2]};
    l.distanceFactor = 1.0f;
    l.rolloff = rolloffFactor;
    l.doppler = dopplerFactor;
    // Once per bad spell, not every frame.
    const bool refused = device->SetListener(l, true) != audio::Result::Ok;
    if (refused && !listenerRefused) n_error("nDSoundServer2::EndScene(): listener not finite or without direction; kept the last one\n");
    listenerRefused = refused;
    device->CommitDeferredSettings();
    nAudioServer2::EndScene();
}
