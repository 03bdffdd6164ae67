#pragma once
// A video's sound track on the audio output: a looping buffer of its own, kept filled
// ahead of the play position with the decoder's 16-bit samples at the output's rate.
// How much of it has been played is the clock the pictures follow.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace audio {
class Device;
class SoundBuffer;
}  // namespace audio

namespace video {

class Decoder;

class Sound {
public:
    // Seconds of sound the buffer holds.
    static constexpr double BufferSeconds = 0.5;

    // Starts the decoder's sound track playing on `device`; null with `error` when the
    // video has none or the output refuses a buffer. The decoder must outlive the sound.
    static std::unique_ptr<Sound> Start(audio::Device& device, Decoder& decoder, std::string& error);
    ~Sound();
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;

    // Follows the play position and writes what was played over with what comes next
    // (silence when the decoder has nothing yet). False once the output has gone.
    bool Service();
    // Seconds of sound played since the start.
    double Seconds() const;

private:
    Sound() = default;
    void fill(uint64_t upTo);

    Decoder* decoder = nullptr;
    std::unique_ptr<audio::SoundBuffer> buffer;
    int rate = 0;
    int channels = 0;
    size_t ringBytes = 0;
    size_t lastPlay = 0;
    uint64_t played = 0;   // bytes played since the start
    uint64_t written = 0;  // bytes written since the start
    std::vector<int16_t> chunk;
};

}  // namespace video
