#pragma once
// Values shared by the sound output layer (Device, SoundBuffer). The layer is shaped
// after the voice-and-listener sound device the engine's audio server drives:
// coordinates are left-handed as that device's (x right, y up, z into the screen), the
// layer turns them into OpenAL's right-handed ones.

namespace audio {

// Outcome of a call; the audio server turns these into names for its log.
enum class Result {
    Ok = 0,
    Allocated,
    ControlUnavail,
    InvalidParam,
    InvalidCall,
    Generic,
    PrioLevelNeeded,
    OutOfMemory,
    BadFormat,
    Unsupported,
    NoDriver,
    AlreadyInitialized,
    NoAggregation,
    BufferLost,
    OtherAppHasPrio,
    Uninitialized,
    NoInterface,
    AccessDenied,
    NoVirtualization,
};

// Where the mix goes. Default is the system's output, or the null output when there is
// none; Null mixes at the wall clock's pace into nothing; Loopback mixes only when the
// caller asks for samples (tests, benchmarks).
enum class Output { Default, Null, Loopback };

enum class Speakers { FivePointOne, Headphone, Mono, Quad, Stereo, Surround };

struct Vector {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

// Placement of one spatial buffer.
struct Buffer3D {
    Vector position;
    Vector velocity;
    float minDistance = 1.0f;
    float maxDistance = 1.0e9f;
};

// The listener: where it stands, how it moves, where it looks.
struct Listener {
    Vector position;
    Vector velocity;
    Vector front{0.0f, 0.0f, 1.0f};
    Vector top{0.0f, 1.0f, 0.0f};
    float distanceFactor = 1.0f;  // metres per unit
    float rolloff = 1.0f;
    float doppler = 1.0f;
};

}  // namespace audio
