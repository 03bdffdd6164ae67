#pragma once
// One playing sound as a sound node describes it to the audio server each frame; the
// server copies it into its requests and voices.
#include <cstdint>

#include "kernel/vector3.h"

class nStream;

struct nSoundDesc {
    // What the server is doing with the sound.
    enum State : int32_t { None = 0, Start = 1, Update = 2, Playing = 3, Finished = 4 };

    bool ambient = false;  // the sound sits at the listener
    int32_t soundId = 0;
    int32_t state = None;
    // Not owned: the voice that plays the sound holds its own reference.
    nStream* stream = nullptr;
    int32_t streamPos = 0;  // bytes of the stream already written
    float priority = 1.0f;
    float volume = 1.0f;  // 0..1
    float frequency = 1.0f;
    vector3 position;
    vector3 velocity;
    float minDist = 5.0f;
    float maxDist = 50.0f;
};
